/* What GCC may call on its own for the system code: memset, memcpy, memmove.
 * Word-wise where both ends allow it. */
#include <stddef.h>
#include <stdint.h>

void* memset(void* dst, int value, size_t n) {
    unsigned char* p = dst;
    const unsigned char b = (unsigned char)value;
    while (n != 0 && ((uintptr_t)p & 3) != 0) {
        *p++ = b;
        --n;
    }
    const uint32_t w = b * 0x01010101u;
    uint32_t* q = (uint32_t*)p;
    for (; n >= 16; n -= 16, q += 4) {
        q[0] = w;
        q[1] = w;
        q[2] = w;
        q[3] = w;
    }
    for (; n >= 4; n -= 4) *q++ = w;
    p = (unsigned char*)q;
    while (n-- != 0) *p++ = b;
    return dst;
}

void* memcpy(void* dst, const void* src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    if ((((uintptr_t)d | (uintptr_t)s) & 3) == 0) {
        uint32_t* dw = (uint32_t*)d;
        const uint32_t* sw = (const uint32_t*)s;
        for (; n >= 16; n -= 16, dw += 4, sw += 4) {
            dw[0] = sw[0];
            dw[1] = sw[1];
            dw[2] = sw[2];
            dw[3] = sw[3];
        }
        for (; n >= 4; n -= 4) *dw++ = *sw++;
        d = (unsigned char*)dw;
        s = (const unsigned char*)sw;
    }
    while (n-- != 0) *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    if (d <= s || d >= s + n) return memcpy(dst, src, n);
    while (n-- != 0) d[n] = s[n];
    return dst;
}
