// The few C library functions that Tremor and libogg need, for the bare-metal
// image: memory moves, a sort, errno, abs, and the allocation functions served
// by the decoder heap. Built with -ffreestanding -fno-builtin and without loop
// pattern distribution, so that the compiler does not turn these loops back
// into calls of themselves (nor malloc + memset into calloc).
#include <stdint.h>

#include "coprocessor/heap.h"

using size_t = decltype(sizeof 0);

namespace {

inline bool word_aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 3u) == 0; }

}  // namespace

extern "C" {

void* memcpy(void* dst, const void* src, size_t n) {
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    if (((reinterpret_cast<uintptr_t>(d) ^ reinterpret_cast<uintptr_t>(s)) & 3u) == 0) {
        while (n > 0 && !word_aligned(d)) {
            *d++ = *s++;
            --n;
        }
        uint32_t* dw = reinterpret_cast<uint32_t*>(d);
        const uint32_t* sw = reinterpret_cast<const uint32_t*>(s);
        while (n >= 16) {
            uint32_t a = sw[0], b = sw[1], c = sw[2], e = sw[3];
            dw[0] = a;
            dw[1] = b;
            dw[2] = c;
            dw[3] = e;
            dw += 4;
            sw += 4;
            n -= 16;
        }
        while (n >= 4) {
            *dw++ = *sw++;
            n -= 4;
        }
        d = reinterpret_cast<uint8_t*>(dw);
        s = reinterpret_cast<const uint8_t*>(sw);
    }
    while (n > 0) {
        *d++ = *s++;
        --n;
    }
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    if (d <= s || d >= s + n) return memcpy(dst, src, n);
    // Overlapping with the destination above the source: copy from the end.
    d += n;
    s += n;
    while (n > 0) {
        *--d = *--s;
        --n;
    }
    return dst;
}

void* memset(void* dst, int value, size_t n) {
    uint8_t* d = static_cast<uint8_t*>(dst);
    uint8_t byte = static_cast<uint8_t>(value);
    while (n > 0 && !word_aligned(d)) {
        *d++ = byte;
        --n;
    }
    uint32_t word = byte * 0x01010101u;
    uint32_t* dw = reinterpret_cast<uint32_t*>(d);
    while (n >= 16) {
        dw[0] = word;
        dw[1] = word;
        dw[2] = word;
        dw[3] = word;
        dw += 4;
        n -= 16;
    }
    while (n >= 4) {
        *dw++ = word;
        n -= 4;
    }
    d = reinterpret_cast<uint8_t*>(dw);
    while (n > 0) {
        *d++ = byte;
        --n;
    }
    return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
    const uint8_t* x = static_cast<const uint8_t*>(a);
    const uint8_t* y = static_cast<const uint8_t*>(b);
    for (size_t i = 0; i < n; ++i) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* p, int value, size_t n) {
    const uint8_t* s = static_cast<const uint8_t*>(p);
    uint8_t byte = static_cast<uint8_t>(value);
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == byte) return const_cast<uint8_t*>(s + i);
    }
    return nullptr;
}

// Heapsort: the decoder sorts codeword tables whose keys are all distinct, so
// the order of equal elements never matters.
static void swap_elements(uint8_t* a, uint8_t* b, size_t size) {
    while (size > 0) {
        uint8_t t = *a;
        *a++ = *b;
        *b++ = t;
        --size;
    }
}

static void sift_down(uint8_t* base, size_t root, size_t count, size_t size,
                      int (*compare)(const void*, const void*)) {
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= count) return;
        if (child + 1 < count && compare(base + child * size, base + (child + 1) * size) < 0) ++child;
        if (compare(base + root * size, base + child * size) >= 0) return;
        swap_elements(base + root * size, base + child * size, size);
        root = child;
    }
}

void qsort(void* elements, size_t count, size_t size, int (*compare)(const void*, const void*)) {
    uint8_t* base = static_cast<uint8_t*>(elements);
    if (count < 2) return;
    for (size_t start = count / 2; start-- > 0;) sift_down(base, start, count, size, compare);
    for (size_t end = count - 1; end > 0; --end) {
        swap_elements(base, base + end * size, size);
        sift_down(base, 0, end, size, compare);
    }
}

// Nothing here ever sets errno: the stream callbacks cannot fail.
static int error_number;
int* __errno() { return &error_number; }

// Negated unsigned, so that the most negative value does not overflow.
int abs(int v) { return v < 0 ? static_cast<int>(0u - static_cast<unsigned>(v)) : v; }
long labs(long v) { return v < 0 ? static_cast<long>(0ul - static_cast<unsigned long>(v)) : v; }

void* malloc(size_t n) { return korvax::heap_allocate(korvax::decoder_heap, n); }
void* calloc(size_t count, size_t size) { return korvax::heap_allocate_zeroed(korvax::decoder_heap, count, size); }
void* realloc(void* p, size_t n) { return korvax::heap_resize(korvax::decoder_heap, p, n); }
void free(void* p) { korvax::heap_release(korvax::decoder_heap, p); }

}  // extern "C"
