// Runtime helpers: signed division (the target has no divide instruction),
// the integer square root, the 16-bit random generator, the builders of the
// cosine and reciprocal tables, and the whole-frame block operations.
#pragma once

#include <stdint.h>

#include "runtime/types.h"

namespace korvax {

// Quotient truncated toward zero. Division by zero does not fault: the unsigned
// core yields 0xFFFFFFFF, so the result is -1 for a >= 0 and +1 for a < 0.
int32_t divide(int32_t a, int32_t b);
// Remainder of the same division, with the sign of a; by zero as divide.
int32_t remainder(int32_t a, int32_t b);
// A divisor d >= 1 prepared for several divisions: m = floor((2^32 - 1) / d).
struct Divisor {
    uint32_t d;
    uint32_t m;
};
// Divisors below this have their m in a table built at compile time.
constexpr uint32_t KNOWN_DIVISORS = 4096;
struct DivisorTable {
    uint32_t m[KNOWN_DIVISORS];
};
// m of every divisor below KNOWN_DIVISORS (entry 0 unused).
extern const DivisorTable known_divisor_m;
// Inline: the table read costs less than the call around it.
inline Divisor make_divisor(uint32_t d) {
    return {d, d < KNOWN_DIVISORS ? known_divisor_m.m[d] : 0xFFFFFFFFu / d};
}
// divide(a, d) for d >= 1 without a division: the high word of |a| * m falls
// short of |a| / d by at most 2, which the remainder corrects.
inline int32_t divide_by(int32_t a, const Divisor& divisor) {
    const uint32_t n = a < 0 ? 0u - static_cast<uint32_t>(a) : static_cast<uint32_t>(a);
    uint32_t q = static_cast<uint32_t>((static_cast<uint64_t>(n) * divisor.m) >> 32);
    uint32_t r = n - q * divisor.d;
    while (r >= divisor.d) {
        ++q;
        r -= divisor.d;
    }
    return static_cast<int32_t>(a < 0 ? 0u - q : q);
}
// divide(a, b), without a division when |b| is a known divisor (small
// triangles, short distances).
inline int32_t divide_quick(int32_t a, int32_t b) {
    const uint32_t mb = b < 0 ? 0u - static_cast<uint32_t>(b) : static_cast<uint32_t>(b);
    if (mb == 0 || mb >= KNOWN_DIVISORS) return divide(a, b);
    const uint32_t q = static_cast<uint32_t>(divide_by(a, make_divisor(mb)));
    return static_cast<int32_t>(b < 0 ? 0u - q : q);
}
// floor(sqrt(x)) for 0 <= x < 2^30, by 16 bit trials; negative x gives 0.
int32_t isqrt(int32_t x);

// COS_TABLE: 1,024 entries in 8.24 by the Chebyshev recurrence.
void build_cosine_table(int32_t* table);
// RECIP_TABLE: entry d + 2,048 = divide(65,536, d), entry 2,048 = 65,536.
void build_reciprocal_table();

// noise_table: random16 from seed 33,333, then three smoothing passes.
void build_noise_table();

void seed_random(int32_t seed);
// state = ((state + 1) * 75 mod 65,537) - 1; returns the state (0..65,535).
int32_t random16();

// Copies the first 236 rows (151,040 bytes): rows 236..239 of dst are untouched.
void copy_frame(FrameBuffer* dst, const FrameBuffer* src);
// Copies 151,040 bytes to any 4-byte aligned destination (the hardware buffers
// are addressed from row 2 of the video memory).
void copy_frame_bytes(void* dst, const void* src);
void clear_frame(FrameBuffer* frame);
void zero_bytes(void* dst, uint32_t n);

}  // namespace korvax
