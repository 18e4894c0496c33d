// The embedded data as the system reads it. Every asset is made by our own
// generators at build time (tools/) and linked in as bytes. The build embeds
// every asset of the list below (it fails without one), and the asset tests
// check each one's size, so the system reads them without checks.
#pragma once

#include <stdint.h>

namespace korvax {

struct Blob {
    const uint8_t* data;
    uint32_t size;
};

// The names of every embedded asset, in the order the generators list them.
#define KORVAX_ASSET_LIST(X)                                                                  \
    X(MODEL_0) X(MODEL_1) X(MODEL_2) X(MODEL_3) X(MODEL_4) X(MODEL_5) X(MODEL_6)              \
    X(MODEL_6_APPENDED) X(MODEL_7) X(MODEL_8) X(MODEL_9) X(MODEL_10) X(MODEL_11)              \
    X(UV_TABLE_0) X(UV_TABLE_4) X(UV_TABLE_5) X(UV_TABLE_6)                                    \
    X(TEXTURE_PALETTE_0) X(TEXTURE_PALETTE_1) X(TEXTURE_PALETTE_2) X(TEXTURE_PALETTE_3)       \
    X(TEXTURE_PALETTE_4) X(TEXTURE_PALETTE_5)                                                  \
    X(TEXTURE_IMAGE_0) X(TEXTURE_IMAGE_1) X(TEXTURE_IMAGE_2) X(TEXTURE_IMAGE_3)               \
    X(TEXTURE_IMAGE_4) X(TEXTURE_IMAGE_5)                                                      \
    X(BACKDROP_PALETTE_0) X(BACKDROP_PALETTE_1) X(BACKDROP_PALETTE_2) X(BACKDROP_PALETTE_3)   \
    X(BACKDROP_PALETTE_4) X(BACKDROP_PALETTE_5) X(BACKDROP_PALETTE_6) X(BACKDROP_PALETTE_7)   \
    X(BACKDROP_2) X(BACKDROP_3) X(BACKDROP_5) X(BACKDROP_6) X(BACKDROP_7) X(BACKDROP_9)       \
    X(BACKDROP_10) X(OVERLAY_4) X(EDGE_LIST_2) X(EDGE_LIST_5)                                  \
    X(KEY_A0) X(KEY_A1) X(KEY_A2) X(KEY_A3) X(KEY_B0) X(KEY_B1) X(KEY_B2) X(KEY_B3)           \
    X(KEY_C0) X(KEY_C1) X(KEY_D0) X(KEY_D1) X(KEY_E0) X(KEY_E1) X(KEY_F0) X(KEY_F1)           \
    X(KEY_G0) X(KEY_G1) X(KEY_G2)                                                              \
    X(MUSIC_STREAM) X(COPROCESSOR_IMAGE)

enum class AssetId : uint16_t {
#define KORVAX_ASSET_ENUM(name) name,
    KORVAX_ASSET_LIST(KORVAX_ASSET_ENUM)
#undef KORVAX_ASSET_ENUM
    COUNT
};

Blob embedded_asset(AssetId id);

}  // namespace korvax
