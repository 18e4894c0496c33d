// The two lookup tables, built once at start-up (runtime/runtime.h) and
// read-only afterwards.
#pragma once

#include <stdint.h>

namespace korvax {

constexpr int ANGLE_STEPS = 1024;

// Entry n approximates cos(2*pi*n/1024) in 8.24; only entries 0..256 are read.
extern int32_t COS_TABLE[1024];
// Entry d + 2,048 is 65,536 / d in 16.16 for d in -2,048..2,047 (65,536 at d = 0).
extern int32_t RECIP_TABLE[4096];

// 65,536 values 0..63 of smoothed noise, read by the scenes for flicker.
extern uint8_t noise_table[65536];

// 65,536 / d in 16.16 through the table's centre entry.
inline int32_t reciprocal(int32_t d) { return RECIP_TABLE[2048 + d]; }

}  // namespace korvax
