#include <climits>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/tables.h"
#include "runtime/runtime.h"

namespace korvax {
namespace {

TEST(Divide, TruncatesTowardZeroWithRemainderOfDividendSign) {
    EXPECT_EQ(divide(7, -2), -3);
    EXPECT_EQ(remainder(7, -2), 1);
    EXPECT_EQ(divide(-7, 2), -3);
    EXPECT_EQ(remainder(-7, 2), -1);
    EXPECT_EQ(divide(-7, -2), 3);
    EXPECT_EQ(remainder(-7, -2), -1);
    EXPECT_EQ(divide(INT_MIN, 1), INT_MIN);
    EXPECT_EQ(divide(INT_MIN, -1), INT_MIN);  // magnitude 2^31 negated wraps back
    EXPECT_EQ(remainder(INT_MIN, 3), -2);
    EXPECT_EQ(divide(65536, 3), 21845);
}

TEST(Divide, ByZeroIsMinusOneOrOne) {
    EXPECT_EQ(divide(5, 0), -1);
    EXPECT_EQ(remainder(5, 0), -1);
    EXPECT_EQ(divide(0, 0), -1);
    EXPECT_EQ(divide(-5, 0), 1);
    EXPECT_EQ(remainder(-5, 0), 1);
}

// Divisions by a prepared divisor: the quotients of divide, for the extreme
// dividends and divisors and many random ones.
TEST(Divide, ByAPreparedDivisorAsDivide) {
    const int32_t dividends[] = {0, 1, -1, 6, -6, 7, -7, 2200000, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    const int32_t divisors[] = {1, 2, 3, 5, 7, 9, 641, 65537, 1 << 30, INT32_MAX};
    for (int32_t d : divisors) {
        const Divisor by = make_divisor(static_cast<uint32_t>(d));
        for (int32_t a : dividends) EXPECT_EQ(divide_by(a, by), divide(a, d)) << a << " / " << d;
    }
    uint32_t seed = 7;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t a = static_cast<int32_t>(seed);
        seed = seed * 1664525u + 1013904223u;
        // Divisors of every size: the random word shifted right by 0..31 bits.
        const int32_t d = static_cast<int32_t>(((seed >> 1) >> (seed & 31)) | 1);
        ASSERT_EQ(divide_by(a, make_divisor(static_cast<uint32_t>(d))), divide(a, d)) << a << " / " << d;
        const int32_t small = static_cast<int32_t>(seed % (2 * KNOWN_DIVISORS + 40)) - static_cast<int32_t>(KNOWN_DIVISORS + 20);
        ASSERT_EQ(divide_quick(a, small), divide(a, small)) << a << " / " << small;
        ASSERT_EQ(divide_quick(a, d), divide(a, d)) << a << " / " << d;
        ASSERT_EQ(divide_quick(a, -d), divide(a, -d)) << a << " / " << -d;
    }
    for (int32_t a : dividends) {
        for (int32_t b : std::initializer_list<int32_t>{0, -1, 1, INT32_MIN, -4095, 4095, 4096}) EXPECT_EQ(divide_quick(a, b), divide(a, b)) << a << " / " << b;
    }
}

TEST(Isqrt, BoundsAndExactSquares) {
    EXPECT_EQ(isqrt(0), 0);
    EXPECT_EQ(isqrt(1), 1);
    EXPECT_EQ(isqrt(3), 1);
    EXPECT_EQ(isqrt(4), 2);
    EXPECT_EQ(isqrt(1073741823), 32767);
    EXPECT_EQ(isqrt(-4), 0);
    EXPECT_EQ(isqrt(INT_MIN), 0);
    for (int32_t r = 0; r < 32768; r += 97) {
        EXPECT_EQ(isqrt(r * r), r);
        if (r > 0) {
            EXPECT_EQ(isqrt(r * r - 1), r - 1);
        }
    }
}

// The sixteen trials of the 32-bit target, signed products and all.
int32_t isqrt_by_trials(int32_t x) {
    int32_t r = 0;
    for (int32_t bit = 0x8000; bit != 0; bit >>= 1) {
        r |= bit;
        if (static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(r)) > x) r &= ~bit;
    }
    return r;
}

TEST(Isqrt, EqualsTheSixteenTrialsForEveryInput) {
    uint32_t seed = 3;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t x = static_cast<int32_t>(seed >> (seed & 31));  // every size
        ASSERT_EQ(isqrt(x), isqrt_by_trials(x)) << x;
        ASSERT_EQ(isqrt(-x), isqrt_by_trials(-x)) << -x;
    }
    for (int32_t x : std::initializer_list<int32_t>{(1 << 30) - 1, 1 << 30, (1 << 30) + 1, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(isqrt(x), isqrt_by_trials(x)) << x;
    }
    // Every small value, and both sides of every power of 4 (where the
    // first digit of the root moves).
    for (int32_t x = 0; x < 70000; ++x) ASSERT_EQ(isqrt(x), isqrt_by_trials(x)) << x;
    for (int k = 0; k < 15; ++k) {
        for (int32_t d = -2; d <= 2; ++d) {
            const int32_t x = (1 << (2 * k)) + d;
            if (x >= 0) {
                EXPECT_EQ(isqrt(x), isqrt_by_trials(x)) << x;
            }
        }
    }
}

TEST(Tables, CosineCheckpointsOfTheRecurrence) {
    int32_t table[1024];
    build_cosine_table(table);
    EXPECT_EQ(table[0], 16777216);
    EXPECT_EQ(table[1], 16776900);
    EXPECT_EQ(table[128], 11857122);
    EXPECT_EQ(table[255], 83115);
    EXPECT_EQ(table[256], -19937);
    EXPECT_EQ(table[512], -16803522);
    EXPECT_EQ(table[1023], 16776236);
}

TEST(Tables, ReciprocalEntries) {
    build_reciprocal_table();
    EXPECT_EQ(reciprocal(0), 65536);
    EXPECT_EQ(reciprocal(-3), -21845);
    EXPECT_EQ(reciprocal(3), 21845);
    EXPECT_EQ(reciprocal(1), 65536);
    EXPECT_EQ(reciprocal(-2048), -32);
    EXPECT_EQ(reciprocal(2047), 32);
    EXPECT_EQ(RECIP_TABLE[0], -32);
}

TEST(Random, FirstResultsAfterSeedingAndPeriod) {
    seed_random(33333);
    const int32_t expected[] = {9643, 2392, 48400, 25539, 14926};
    for (int32_t e : expected) EXPECT_EQ(random16(), e);

    seed_random(0x12345);  // only the low 16 bits count
    int32_t first = random16();
    seed_random(0x2345);
    EXPECT_EQ(random16(), first);

    seed_random(1);
    int32_t start = random16();
    int period = 1;
    while (random16() != start && period < 70000) ++period;
    EXPECT_EQ(period, 65536);
}

TEST(BlockOperations, CopyFrameLeavesTheLastFourRows) {
    static FrameBuffer src, dst;
    for (int i = 0; i < FRAME_PIXELS; ++i) {
        src.pixels[i] = static_cast<uint16_t>(i * 7 + 1);
        dst.pixels[i] = 0xBEEF;
    }
    copy_frame(&dst, &src);
    for (int i = 0; i < 236 * 320; ++i) ASSERT_EQ(dst.pixels[i], src.pixels[i]) << i;
    for (int i = 236 * 320; i < FRAME_PIXELS; ++i) ASSERT_EQ(dst.pixels[i], 0xBEEF) << i;

    clear_frame(&dst);
    for (int i = 0; i < FRAME_PIXELS; ++i) ASSERT_EQ(dst.pixels[i], 0) << i;

    uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    zero_bytes(bytes + 2, 3);
    const uint8_t expected[8] = {1, 2, 0, 0, 0, 6, 7, 8};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], expected[i]);
    zero_bytes(bytes, 0);
    EXPECT_EQ(bytes[0], 1);
}

// The same smoothing written another way: a pass reads a neighbour from the new
// values when its index was already visited in this pass, else from the old ones.
std::vector<uint8_t> slow_noise_table() {
    std::vector<uint8_t> cur(65536);
    seed_random(33333);
    for (auto& v : cur) v = static_cast<uint8_t>(random16() % 256);
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<uint8_t> old = cur;
        for (int i = 0; i < 65536; ++i) {
            auto at = [&](int j) {
                j = ((j % 65536) + 65536) % 65536;
                return static_cast<int>(j < i ? cur[j] : old[j]);
            };
            cur[i] = static_cast<uint8_t>(((at(i) + at(i + 1) + at(i - 1) + at(i + 256)) % 256) / 4);
        }
    }
    return cur;
}

TEST(NoiseTable, ValuesChecksumAndAnIndependentRecomputation) {
    build_noise_table();
    uint32_t checksum = 0;
    for (int i = 0; i < 65536; ++i) {
        ASSERT_LE(noise_table[i], 63) << i;
        checksum = checksum * 31 + noise_table[i];
    }
    std::vector<uint8_t> expected = slow_noise_table();
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(noise_table[i], expected[i]) << i;
    // Reviewed once against the recomputation above; pins the table's bytes.
    EXPECT_EQ(checksum, 3840457521u);
}

}  // namespace
}  // namespace korvax
