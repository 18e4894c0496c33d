#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "platform/startup.h"
#include "sequence/precompute.h"

namespace korvax {
namespace {

// Key-shape records: four little-endian int16 (x, y, z, 0).
std::vector<uint8_t> key_shape(const std::vector<int16_t>& xyz) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < xyz.size(); i += 3) {
        for (int c = 0; c < 4; ++c) {
            uint16_t v = c < 3 ? static_cast<uint16_t>(xyz[i + c]) : 0;
            bytes.push_back(static_cast<uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
    }
    return bytes;
}

TEST(Palette, DecodesHighByteFirst) {
    uint8_t source[512] = {0x12, 0x34, 0xFF, 0x00};
    uint16_t out[256];
    decode_palette(source, out);
    EXPECT_EQ(out[0], 0x1234);
    EXPECT_EQ(out[1], 0xFF00);
    EXPECT_EQ(out[2], 0);
}

TEST(FadeTable, DarkensToBlackAndBrightensTowardWhite) {
    uint16_t palette[256] = {0xFFFF, 0x0000, 0xF800, 0x07E0};
    static uint16_t table[64][256];
    build_fade_table(palette, table);
    // White: black at 0, itself from 32 on.
    EXPECT_EQ(table[0][0], 0x0000);
    for (int j = 32; j < 64; ++j) EXPECT_EQ(table[j][0], 0xFFFF) << j;
    // Black: black through 33, then 30/32 of the way to white at 63.
    for (int j = 0; j <= 33; ++j) EXPECT_EQ(table[j][1], 0x0000) << j;
    EXPECT_EQ(table[63][1], 0xEF7D);
    // Pure red: half at 16, itself at 32 and 33.
    EXPECT_EQ(table[16][2], 0x7800);
    EXPECT_EQ(table[32][2], 0xF800);
    EXPECT_EQ(table[33][2], 0xF800);
    // Pure green: 6-bit channel: 63 * 5 / 32 = 9 at palette 5; red and blue rise from 0.
    EXPECT_EQ(table[5][3], 9 << 5);
    EXPECT_EQ(table[34][3], 0x07E0);  // k = 1: 31 / 32 rounds to 0 on red and blue
    EXPECT_EQ(table[35][3], (1 << 11) | 0x07E0 | 1);
}

TEST(InterpolateKeys, RoundsTowardMinusInfinityAndLeavesShapeBOut) {
    auto a = key_shape({100, -100, 0});
    auto b = key_shape({0, 0, 1});
    std::vector<int16_t> out(16 * 3);
    interpolate_keys(out.data(), a.data(), b.data(), 1, 16);
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[1], -100);
    EXPECT_EQ(out[3], 93);   // 24,000 >> 8
    EXPECT_EQ(out[4], -94);  // -24,000 >> 8
    EXPECT_EQ(out[15 * 3], 6);  // last frame stops short of 0: (25,600 - 15 * 1,600) >> 8

    // 0 to 1 over 40 steps: d = 6, every frame 0.
    std::vector<int16_t> slow(40 * 3);
    interpolate_keys(slow.data(), a.data(), b.data(), 1, 40);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(slow[k * 3 + 2], 0) << k;
}

TEST(InterpolateKeys, FramesAreWholeRunsOfTriples) {
    auto a = key_shape({0, 0, 0, 10, 20, 30});
    auto b = key_shape({16, 32, 48, 10, 20, 30});
    std::vector<int16_t> out(4 * 2 * 3);
    interpolate_keys(out.data(), a.data(), b.data(), 2, 4);
    // Frame k, vertex v, component c at (k * n + v) * 3 + c.
    EXPECT_EQ(out[(1 * 2 + 0) * 3 + 0], 4);
    EXPECT_EQ(out[(1 * 2 + 0) * 3 + 2], 12);
    EXPECT_EQ(out[(3 * 2 + 1) * 3 + 1], 20);
}

TEST(ScaleOffset, ShiftsArithmeticallyAndWrapsIn16Bits) {
    int16_t t[] = {-1, -8, 4, 32767, 0, 0};
    scale_offset_vertices(t, 1, 3, 0, 0, 655);
    EXPECT_EQ(t[0], -1);
    EXPECT_EQ(t[1], -1);
    EXPECT_EQ(t[2], 655);
    int16_t z[] = {0, 0, 4};
    scale_offset_vertices(z, 1, 2, 0, 0, 655);
    EXPECT_EQ(z[2], 656);
    scale_offset_vertices(t + 3, 1, 0, 1, 0, 0);
    EXPECT_EQ(t[3], -32768);
}

// The rows added below a backdrop repeat its last row and depend on nothing
// past it: the image is followed by two different tails, the results agree.
TEST(Backdrop, AddedRowsRepeatTheLastRowAndReadNothingPastTheImage) {
    constexpr uint32_t rows = 5, out_rows = 8;
    std::vector<uint8_t> image(rows * SCREEN_ROW_BYTES + 2 * SCREEN_ROW_BYTES);
    for (uint32_t i = 0; i < rows * SCREEN_ROW_BYTES; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 320);
    std::vector<uint8_t> first(out_rows * SCREEN_ROW_BYTES), second(out_rows * SCREEN_ROW_BYTES);
    std::fill(image.begin() + rows * SCREEN_ROW_BYTES, image.end(), 0x11);
    complete_backdrop(image.data(), rows, first.data(), out_rows);
    std::fill(image.begin() + rows * SCREEN_ROW_BYTES, image.end(), 0xEE);
    complete_backdrop(image.data(), rows, second.data(), out_rows);
    EXPECT_EQ(first, second);
    for (uint32_t row = 0; row < out_rows; ++row) {
        const uint32_t from = row < rows ? row : rows - 1;
        EXPECT_EQ(std::memcmp(&first[row * SCREEN_ROW_BYTES], &image[from * SCREEN_ROW_BYTES], SCREEN_ROW_BYTES), 0)
            << "row " << row;
    }
}

// Start-up completes the embedded backdrop_6 from its own 238 rows alone.
TEST(Backdrop, SceneSixBackdropIsTheAssetAndItsLastRowTwice) {
    const Blob b6 = embedded_asset(AssetId::BACKDROP_6);
    ASSERT_EQ(b6.size, BACKDROP_6_ROWS * SCREEN_ROW_BYTES);
    start_system_offline();
    EXPECT_EQ(std::memcmp(backdrop_6_screen, b6.data, b6.size), 0);
    const uint8_t* last = b6.data + b6.size - SCREEN_ROW_BYTES;
    for (uint32_t row = BACKDROP_6_ROWS; row < 240; ++row) {
        EXPECT_EQ(std::memcmp(backdrop_6_screen + row * SCREEN_ROW_BYTES, last, SCREEN_ROW_BYTES), 0) << "row " << row;
    }
}

}  // namespace
}  // namespace korvax
