// Textures, backdrops, the overlay and the palettes: sizes, and the
// properties the scenes depend on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "asset_reader.h"

using namespace korvax;
using namespace korvax::asset_test;

namespace {

const AssetId TEXTURE_IMAGES[] = {AssetId::TEXTURE_IMAGE_0, AssetId::TEXTURE_IMAGE_1, AssetId::TEXTURE_IMAGE_2,
                                  AssetId::TEXTURE_IMAGE_3, AssetId::TEXTURE_IMAGE_4, AssetId::TEXTURE_IMAGE_5};
const AssetId TEXTURE_PALETTES[] = {AssetId::TEXTURE_PALETTE_0, AssetId::TEXTURE_PALETTE_1, AssetId::TEXTURE_PALETTE_2,
                                    AssetId::TEXTURE_PALETTE_3, AssetId::TEXTURE_PALETTE_4, AssetId::TEXTURE_PALETTE_5};
const AssetId BACKDROP_PALETTES[] = {AssetId::BACKDROP_PALETTE_0, AssetId::BACKDROP_PALETTE_1, AssetId::BACKDROP_PALETTE_2,
                                     AssetId::BACKDROP_PALETTE_3, AssetId::BACKDROP_PALETTE_4, AssetId::BACKDROP_PALETTE_5,
                                     AssetId::BACKDROP_PALETTE_6, AssetId::BACKDROP_PALETTE_7};

// Brightness of a stored colour (high byte first), 0..255.
double brightness(Bytes pal, int i) {
    const unsigned c = static_cast<unsigned>(pal[2 * static_cast<size_t>(i)] << 8 | pal[2 * static_cast<size_t>(i) + 1]);
    const double r = (c >> 11) * 255.0 / 31, g = ((c >> 5) & 63) * 255.0 / 63, b = (c & 31) * 255.0 / 31;
    return 0.299 * r + 0.587 * g + 0.114 * b;
}

}  // namespace

TEST(Images, Sizes) {
    for (AssetId id : TEXTURE_IMAGES) EXPECT_EQ(bytes_of(id).size, 65536u);
    for (AssetId id : TEXTURE_PALETTES) EXPECT_EQ(bytes_of(id).size, 512u);
    for (AssetId id : BACKDROP_PALETTES) EXPECT_EQ(bytes_of(id).size, 512u);
    for (AssetId id : {AssetId::BACKDROP_2, AssetId::BACKDROP_3, AssetId::BACKDROP_5, AssetId::BACKDROP_7,
                       AssetId::BACKDROP_9, AssetId::BACKDROP_10}) {
        EXPECT_EQ(bytes_of(id).size, 76800u);
    }
    EXPECT_EQ(bytes_of(AssetId::BACKDROP_6).size, 76160u);
    EXPECT_EQ(bytes_of(AssetId::OVERLAY_4).size, 204800u);
}

// Backdrops flicker through fade steps that can spill into the next fade
// table, whose palette then colours the image: every backdrop palette is a
// ramp whose index stands for brightness, so a spilled frame shows the same
// picture darker and tinted. Each image also uses a wide span of its ramp.
// The ramps of the two scenes that flicker hardest (5 and 7, tables 5 and 1)
// stop short of black and white, which softens their light/dark alternation.
TEST(Images, BackdropPalettesRiseWithTheIndex) {
    for (int t = 0; t < 8; ++t) {
        SCOPED_TRACE(t);
        const Bytes pal = bytes_of(BACKDROP_PALETTES[t]);
        for (int i = 1; i < 256; ++i) EXPECT_GE(brightness(pal, i), brightness(pal, i - 1) - 3.0) << "index " << i;
        EXPECT_GT(brightness(pal, 255) - brightness(pal, 0), 150.0);
        const bool softened = t == 1 || t == 5;
        if (softened) {
            EXPECT_GT(brightness(pal, 0), 10.0);
            EXPECT_LT(brightness(pal, 255), 235.0);
        } else {
            EXPECT_LT(brightness(pal, 0), 20.0);
            EXPECT_GT(brightness(pal, 255), 200.0);
        }
    }
    for (AssetId id : {AssetId::BACKDROP_2, AssetId::BACKDROP_3, AssetId::BACKDROP_5, AssetId::BACKDROP_6,
                       AssetId::BACKDROP_7, AssetId::BACKDROP_9, AssetId::BACKDROP_10, AssetId::OVERLAY_4}) {
        const Bytes img = bytes_of(id);
        const auto [lo, hi] = std::minmax_element(img.data, img.data + img.size);
        EXPECT_GE(*hi - *lo, 128) << static_cast<int>(id);
    }
}

// The credits and the overlay are ORed over the frame: their background
// must be index 0 of a palette whose colour 0 is black, so it adds nothing.
TEST(Images, OredImagesHaveABlackBackground) {
    const struct {
        AssetId image, palette;
    } ored[] = {{AssetId::BACKDROP_10, AssetId::BACKDROP_PALETTE_0}, {AssetId::OVERLAY_4, AssetId::BACKDROP_PALETTE_7}};
    for (const auto& o : ored) {
        const Bytes pal = bytes_of(o.palette);
        EXPECT_EQ(pal[0], 0);
        EXPECT_EQ(pal[1], 0);
        const Bytes img = bytes_of(o.image);
        size_t histogram[256] = {};
        for (size_t i = 0; i < img.size; ++i) ++histogram[img[i]];
        EXPECT_EQ(std::max_element(histogram, histogram + 256) - histogram, 0) << static_cast<int>(o.image);
    }
}

// Textures 0 and 1 line the tunnels, where u wraps at 256 as the tunnel
// scrolls: the step across the wrap must be no rougher than the steps inside
// the image. The tunnel reads rows 0..72 only (v grows with the square of the
// view's height over the axis); texture 0 tiles in v too, for the stretched
// sky of scene 8, while texture 1 keeps its environment map below those rows.
TEST(Images, TunnelTexturesTile) {
    for (AssetId id : {AssetId::TEXTURE_IMAGE_0, AssetId::TEXTURE_IMAGE_1}) {
        SCOPED_TRACE(static_cast<int>(id));
        const int rows = id == AssetId::TEXTURE_IMAGE_0 ? 256 : 73;
        const Bytes img = bytes_of(id);
        auto at = [&](int u, int v) { return static_cast<int>(img[static_cast<size_t>((v & 255) * 256 + (u & 255))]); };
        double inner_u = 0, seam_u = 0, inner_v = 0, seam_v = 0;
        for (int k = 0; k < rows; ++k) {
            for (int s = 1; s < 255; ++s) inner_u += std::abs(at(s + 1, k) - at(s, k));
            seam_u += std::abs(at(0, k) - at(255, k));
        }
        inner_u /= 254.0;
        EXPECT_LE(seam_u, 2.0 * inner_u + rows);
        if (rows < 256) continue;
        for (int k = 0; k < 256; ++k) {
            for (int s = 1; s < 255; ++s) inner_v += std::abs(at(k, s + 1) - at(k, s));
            seam_v += std::abs(at(k, 0) - at(k, 255));
        }
        inner_v /= 254.0;
        EXPECT_LE(seam_v, 2.0 * inner_v + 256);
    }
}
