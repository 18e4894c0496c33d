#include "runtime/runtime.h"

#include "runtime/tables.h"

namespace korvax {

namespace {

// The unsigned core: quotient and remainder of magnitudes in one pass.
// By zero it yields 0xFFFFFFFF for both, as the ARM library routine does.
struct UnsignedDivision {
    uint32_t quotient;
    uint32_t remainder;
};

UnsignedDivision divide_unsigned(uint32_t n, uint32_t d) {
    if (d == 0) return {0xFFFFFFFFu, 0xFFFFFFFFu};
    return {n / d, n % d};
}

uint32_t magnitude(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

int32_t random_state = 0;

}  // namespace

int32_t divide(int32_t a, int32_t b) {
    uint32_t q = divide_unsigned(magnitude(a), magnitude(b)).quotient;
    if ((a < 0) != (b < 0)) q = 0u - q;
    return static_cast<int32_t>(q);
}

int32_t remainder(int32_t a, int32_t b) {
    uint32_t r = divide_unsigned(magnitude(a), magnitude(b)).remainder;
    if (a < 0) r = 0u - r;
    return static_cast<int32_t>(r);
}

// m of every divisor below KNOWN_DIVISORS, worked out by the compiler: the
// perspective divisors of the mesh pipeline are small, so nearly every vertex
// finds its m here, and no frame pays for a division or a check.
namespace {

constexpr DivisorTable make_divisor_table() {
    DivisorTable table{};
    for (uint32_t d = 1; d < KNOWN_DIVISORS; ++d) table.m[d] = 0xFFFFFFFFu / d;
    return table;
}

}  // namespace

constexpr DivisorTable known_divisor_m = make_divisor_table();

namespace {

// One digit of the root: `one` is 4^k for step k.
inline void root_step(uint32_t& rest, uint32_t& root, uint32_t one) {
    if (rest >= root + one) {
        rest -= root + one;
        root = (root >> 1) + one;
    } else {
        root >>= 1;
    }
}

}  // namespace

int32_t isqrt(int32_t x) {
    if (x >= 0 && x < (1 << 30)) {
        // Below 2^30 the trials below give floor(sqrt(x)) (0x8000 squared is
        // 2^30 and never kept); digit by digit gives it in fewer steps: from
        // the largest 4^k not above x (none for x = 0) down to 4^0. The steps
        // are written out and entered at the first one, found by halving the
        // range of k, instead of a loop shifting `one` down.
        uint32_t rest = static_cast<uint32_t>(x), root = 0;
        int first;
        if (rest >= (1u << 16)) {
            first = rest >= (1u << 24) ? (rest >= (1u << 28) ? 14 : rest >= (1u << 26) ? 13 : 12)
                                       : (rest >= (1u << 20) ? (rest >= (1u << 22) ? 11 : 10)
                                                             : (rest >= (1u << 18) ? 9 : 8));
        } else {
            first = rest >= (1u << 8) ? (rest >= (1u << 12) ? (rest >= (1u << 14) ? 7 : 6)
                                                            : (rest >= (1u << 10) ? 5 : 4))
                                      : (rest >= (1u << 4) ? (rest >= (1u << 6) ? 3 : 2)
                                                           : (rest >= (1u << 2) ? 1 : (rest != 0 ? 0 : -1)));
        }
        switch (first) {
            case 14: root_step(rest, root, 1u << 28); [[fallthrough]];
            case 13: root_step(rest, root, 1u << 26); [[fallthrough]];
            case 12: root_step(rest, root, 1u << 24); [[fallthrough]];
            case 11: root_step(rest, root, 1u << 22); [[fallthrough]];
            case 10: root_step(rest, root, 1u << 20); [[fallthrough]];
            case 9: root_step(rest, root, 1u << 18); [[fallthrough]];
            case 8: root_step(rest, root, 1u << 16); [[fallthrough]];
            case 7: root_step(rest, root, 1u << 14); [[fallthrough]];
            case 6: root_step(rest, root, 1u << 12); [[fallthrough]];
            case 5: root_step(rest, root, 1u << 10); [[fallthrough]];
            case 4: root_step(rest, root, 1u << 8); [[fallthrough]];
            case 3: root_step(rest, root, 1u << 6); [[fallthrough]];
            case 2: root_step(rest, root, 1u << 4); [[fallthrough]];
            case 1: root_step(rest, root, 1u << 2); [[fallthrough]];
            case 0: root_step(rest, root, 1u); break;
            default: break;
        }
        return static_cast<int32_t>(root);
    }
    int32_t r = 0;
    for (int32_t bit = 0x8000; bit != 0; bit >>= 1) {
        r |= bit;
        // Signed 32-bit product: 0x8000^2 wraps to a negative value, which is
        // never greater than x, exactly as the target's multiply behaves.
        int32_t square = static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(r));
        if (square > x) r &= ~bit;
    }
    return r;
}

void build_cosine_table(int32_t* table) {
    const int64_t k = 0xFFFEC4;  // cos(2*pi/1024) in 8.24
    table[0] = 0x1000000;
    table[1] = static_cast<int32_t>(k);
    for (int n = 1; n <= 1022; ++n) {
        int64_t next = ((static_cast<int64_t>(table[n]) * k) >> 23) - table[n - 1];
        table[n + 1] = static_cast<int32_t>(static_cast<uint32_t>(next));
    }
}

void build_reciprocal_table() {
    for (int32_t i = 0; i < 4096; ++i) {
        RECIP_TABLE[i] = (i == 2048) ? 65536 : divide(65536, i - 2048);
    }
}

void build_noise_table() {
    seed_random(33333);
    for (uint32_t i = 0; i < 65536; ++i) noise_table[i] = static_cast<uint8_t>(random16());
    // Three in-place smoothing passes: T[i-1] is already new, T[i+1] and
    // T[i+256] are still old. After the first pass every value is 0..63.
    for (int pass = 0; pass < 3; ++pass) {
        for (uint32_t i = 0; i < 65536; ++i) {
            uint32_t sum = noise_table[i] + noise_table[(i + 1) & 0xFFFF] + noise_table[(i - 1) & 0xFFFF] +
                           noise_table[(i + 256) & 0xFFFF];
            noise_table[i] = static_cast<uint8_t>((sum & 0xFF) >> 2);
        }
    }
}

void seed_random(int32_t seed) {
    random_state = seed & 0xFFFF;
}

int32_t random16() {
    // state + 1 <= 65,536, times 75 stays below 2^23.
    random_state = ((random_state + 1) * 75) % 65537 - 1;
    return random_state & 0xFFFF;
}

namespace {

#if defined(__arm__)
// runtime/arm/block_moves.S: eight-register load and store multiples.
extern "C" void korvax_copy_groups(uint32_t* dst, const uint32_t* src, uint32_t turns);
extern "C" void korvax_clear_groups(uint32_t* dst, uint32_t turns);
#endif

// Moves n bytes (a multiple of 128) in 32-byte groups, four groups a loop turn,
// as eight-word load and store multiples do on the ARM920T.
void copy_groups(uint32_t* dst, const uint32_t* src, uint32_t n) {
#if defined(__arm__)
    if (n >= 128) korvax_copy_groups(dst, src, n / 128);
#else
    for (uint32_t turns = n / 128; turns != 0; --turns) {
        for (int w = 0; w < 32; ++w) dst[w] = src[w];
        dst += 32;
        src += 32;
    }
#endif
}

void clear_groups(uint32_t* dst, uint32_t n) {
#if defined(__arm__)
    if (n >= 128) korvax_clear_groups(dst, n / 128);
#else
    for (uint32_t turns = n / 128; turns != 0; --turns) {
        for (int w = 0; w < 32; ++w) dst[w] = 0;
        dst += 32;
    }
#endif
}

constexpr uint32_t COPY_BYTES = 236 * 640;  // 151,040 = 1,180 turns of 128 bytes

}  // namespace

void copy_frame(FrameBuffer* dst, const FrameBuffer* src) {
    copy_frame_bytes(dst->pixels, src->pixels);
}

void copy_frame_bytes(void* dst, const void* src) {
    copy_groups(static_cast<uint32_t*>(dst), static_cast<const uint32_t*>(src), COPY_BYTES);
}

void clear_frame(FrameBuffer* frame) {
    clear_groups(reinterpret_cast<uint32_t*>(frame->pixels), FRAME_BYTES);
}

void zero_bytes(void* dst, uint32_t n) {
    uint8_t* p = static_cast<uint8_t*>(dst);
    for (uint32_t i = 0; i < n; ++i) p[i] = 0;
}

}  // namespace korvax
