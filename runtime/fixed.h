// The fixed-point formats, and 32-bit arithmetic that wraps as the ARM's does.
//
// A value in format m.n stands for value / 2^n:
//   8.8   matrix elements, quaternion components, unit directions, scale factors
//   8.24  the cosine table
//   16.16 reciprocals and texture accumulators
// Products are formed in 32 bits and wrap modulo 2^32 exactly as the ARM
// multiply does (signed overflow would be undefined in C++); a formula's own
// shifts stay where it puts them, since an inner shift changes the result.
#pragma once

#include <stdint.h>

namespace korvax {

constexpr int FIX8_SHIFT = 8;
constexpr int32_t FIX8_ONE = 1 << FIX8_SHIFT;  // 1.0 in 8.8
constexpr int FIX24_SHIFT = 24;
constexpr int FIX16_SHIFT = 16;
constexpr int32_t FIX16_ONE = 1 << FIX16_SHIFT;  // 1.0 in 16.16

inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t wrap_neg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// a * b with one operand in 8.8: the 32-bit product, arithmetic shift right 8.
inline int32_t fix8_mul(int32_t a, int32_t b) { return wrap_mul(a, b) >> FIX8_SHIFT; }

}  // namespace korvax
