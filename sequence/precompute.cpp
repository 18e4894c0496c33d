#include "sequence/precompute.h"

#include "assets/assets.h"
#include "models/model_loader.h"
#include "runtime/fixed.h"
#include "runtime/pixels.h"
#include "runtime/runtime.h"
#include "sequence/timeline.h"

namespace korvax {

uint16_t textures[TEXTURE_COUNT][TEXTURE_TEXELS];
uint16_t fade_tables[FADE_TABLE_COUNT * FADE_PALETTES][256];
int16_t morph_store_a[MORPH_A_FRAMES * MORPH_A_VERTICES * 3];
int16_t morph_store_b[MORPH_B_FRAMES * MORPH_B_VERTICES * 3];
int16_t morph_store_c[MORPH_C_FRAMES * MORPH_C_VERTICES * 3];
int16_t morph_store_d[MORPH_D_FRAMES * MORPH_D_VERTICES * 3];
int16_t morph_store_e[MORPH_E_FRAMES * MORPH_E_VERTICES * 3];
int16_t morph_store_f[MORPH_F_FRAMES * MORPH_F_VERTICES * 3];
int16_t morph_store_g[MORPH_G_FRAMES * MORPH_G_VERTICES * 3];
const MorphStore MORPH_A = {morph_store_a, MORPH_A_VERTICES, MORPH_A_FRAMES};
const MorphStore MORPH_B = {morph_store_b, MORPH_B_VERTICES, MORPH_B_FRAMES};
const MorphStore MORPH_C = {morph_store_c, MORPH_C_VERTICES, MORPH_C_FRAMES};
const MorphStore MORPH_D = {morph_store_d, MORPH_D_VERTICES, MORPH_D_FRAMES};
const MorphStore MORPH_E = {morph_store_e, MORPH_E_VERTICES, MORPH_E_FRAMES};
const MorphStore MORPH_F = {morph_store_f, MORPH_F_VERTICES, MORPH_F_FRAMES};
const MorphStore MORPH_G = {morph_store_g, MORPH_G_VERTICES, MORPH_G_FRAMES};
uint8_t scene_entered[11];
alignas(32) uint8_t backdrop_6_screen[320 * 240];  // word aligned for the ARM blit

namespace {

constexpr uint32_t KEY_RECORD_BYTES = 8;

int16_t read_le16(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)); }

// How a morph store is filled: its key shapes in pair order (each pair gets
// an equal share of the frames), and the shift and offset applied afterwards.
struct MorphPlan {
    const MorphStore* store;
    AssetId keys[4];
    int32_t key_count;
    int32_t shift;  // -1: none
    int32_t offset_z;
};

const MorphPlan MORPH_PLANS[] = {
    {&MORPH_A, {AssetId::KEY_A0, AssetId::KEY_A1, AssetId::KEY_A2, AssetId::KEY_A3}, 4, 2, 655},
    {&MORPH_B, {AssetId::KEY_B0, AssetId::KEY_B1, AssetId::KEY_B2, AssetId::KEY_B3}, 4, 3, 0},
    {&MORPH_C, {AssetId::KEY_C0, AssetId::KEY_C1}, 2, 3, 0},
    {&MORPH_D, {AssetId::KEY_D0, AssetId::KEY_D1}, 2, 3, 0},
    {&MORPH_E, {AssetId::KEY_E0, AssetId::KEY_E1}, 2, 3, 0},
    {&MORPH_F, {AssetId::KEY_F0, AssetId::KEY_F1}, 2, -1, 0},
    {&MORPH_G, {AssetId::KEY_G0, AssetId::KEY_G1, AssetId::KEY_G2}, 3, -1, 0},
};

// Pairs run k0->k1, k1->k2, ..., and the last shape back to the first; only
// the first `vertices` records of a shape are read.
void fill_morph_store(const MorphPlan& plan) {
    const MorphStore& store = *plan.store;
    const int32_t steps = store.frames / plan.key_count;
    for (int32_t pair = 0; pair < plan.key_count; ++pair) {
        Blob a = embedded_asset(plan.keys[pair]);
        Blob b = embedded_asset(plan.keys[(pair + 1) % plan.key_count]);
        interpolate_keys(store.triples + pair * steps * store.vertices * 3, a.data, b.data, store.vertices, steps);
    }
    if (plan.shift >= 0) {
        scale_offset_vertices(store.triples, store.frames * store.vertices, plan.shift, 0, 0, plan.offset_z);
    }
}

}  // namespace

void decode_palette(const uint8_t* source, uint16_t* out) {
    for (int i = 0; i < 256; ++i) out[i] = static_cast<uint16_t>(source[2 * i] << 8 | source[2 * i + 1]);
}

void convert_image(const uint8_t* indices, const uint16_t* palette, uint16_t* out) {
    for (int i = 0; i < TEXTURE_TEXELS; ++i) out[i] = palette[indices[i]];
}

void build_fade_table(const uint16_t* palette, uint16_t (*out)[256]) {
    for (int i = 0; i < 256; ++i) {
        const uint32_t r = red(palette[i]), g = green(palette[i]), b = blue(palette[i]);
        // Darkening: min(8 j c, 256 c) >> 8, that is j c / 32.
        for (uint32_t j = 0; j <= 32; ++j) {
            out[j][i] = rgb565((8 * j * r) >> 8, (8 * j * g) >> 8, (8 * j * b) >> 8);
        }
        // Brightening: k / 32 of the way to white.
        for (uint32_t k = 0; k <= 30; ++k) {
            out[33 + k][i] = rgb565(r + k * (31 - r) / 32, g + k * (63 - g) / 32, b + k * (31 - b) / 32);
        }
    }
}

void interpolate_keys(int16_t* out, const uint8_t* a, const uint8_t* b, int32_t n, int32_t s) {
    for (int32_t v = 0; v < n; ++v) {
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t from = read_le16(a + v * KEY_RECORD_BYTES + 2 * c);
            const int32_t to = read_le16(b + v * KEY_RECORD_BYTES + 2 * c);
            // The step in 8.8; |from + k d| stays below 2^24 in 8.8: no wrap.
            const int32_t d = divide(FIX8_ONE * to - FIX8_ONE * from, s);
            for (int32_t k = 0; k < s; ++k) {
                out[(k * n + v) * 3 + c] = static_cast<int16_t>((FIX8_ONE * from + k * d) >> FIX8_SHIFT);
            }
        }
    }
}

void scale_offset_vertices(int16_t* triples, int32_t count, int32_t shift, int32_t offset_x, int32_t offset_y,
                           int32_t offset_z) {
    const int32_t offsets[3] = {offset_x, offset_y, offset_z};
    for (int32_t i = 0; i < count; ++i, triples += 3) {
        for (int c = 0; c < 3; ++c) {
            const uint32_t sum = static_cast<uint32_t>(offsets[c]) + static_cast<uint32_t>(triples[c] >> shift);
            triples[c] = static_cast<int16_t>(static_cast<uint16_t>(sum));
        }
    }
}

void precompute_assets() {
    static uint16_t palette[256];
    const AssetId texture_palettes[TEXTURE_COUNT] = {AssetId::TEXTURE_PALETTE_0, AssetId::TEXTURE_PALETTE_1,
                                                     AssetId::TEXTURE_PALETTE_2, AssetId::TEXTURE_PALETTE_3,
                                                     AssetId::TEXTURE_PALETTE_4, AssetId::TEXTURE_PALETTE_5};
    const AssetId texture_images[TEXTURE_COUNT] = {AssetId::TEXTURE_IMAGE_0, AssetId::TEXTURE_IMAGE_1,
                                                   AssetId::TEXTURE_IMAGE_2, AssetId::TEXTURE_IMAGE_3,
                                                   AssetId::TEXTURE_IMAGE_4, AssetId::TEXTURE_IMAGE_5};
    for (int k = 0; k < TEXTURE_COUNT; ++k) {
        Blob p = embedded_asset(texture_palettes[k]);
        Blob image = embedded_asset(texture_images[k]);
        decode_palette(p.data, palette);
        convert_image(image.data, palette, textures[k]);
    }

    const AssetId backdrop_palettes[FADE_TABLE_COUNT] = {
        AssetId::BACKDROP_PALETTE_0, AssetId::BACKDROP_PALETTE_1, AssetId::BACKDROP_PALETTE_2,
        AssetId::BACKDROP_PALETTE_3, AssetId::BACKDROP_PALETTE_4, AssetId::BACKDROP_PALETTE_5,
        AssetId::BACKDROP_PALETTE_6, AssetId::BACKDROP_PALETTE_7};
    for (int t = 0; t < FADE_TABLE_COUNT; ++t) {
        Blob p = embedded_asset(backdrop_palettes[t]);
        decode_palette(p.data, palette);
        build_fade_table(palette, &fade_tables[t * FADE_PALETTES]);
    }

    for (const MorphPlan& plan : MORPH_PLANS) fill_morph_store(plan);

    load_camera_path(CAMERA_KEY_TABLE, CAMERA_KEY_TABLE_SIZE, camera_path);

    for (uint8_t& flag : scene_entered) flag = 0;

    complete_backdrop(embedded_asset(AssetId::BACKDROP_6).data, BACKDROP_6_ROWS, backdrop_6_screen,
                      sizeof backdrop_6_screen / SCREEN_ROW_BYTES);
}

void complete_backdrop(const uint8_t* image, uint32_t rows, uint8_t* out, uint32_t out_rows) {
    if (rows == 0) return;
    const uint32_t copied = rows < out_rows ? rows : out_rows;
    for (uint32_t i = 0; i < copied * SCREEN_ROW_BYTES; ++i) out[i] = image[i];
    // Every row below the image repeats its last row, read from the image itself.
    const uint8_t* last = image + (rows - 1) * SCREEN_ROW_BYTES;
    for (uint32_t row = copied; row < out_rows; ++row) {
        for (uint32_t x = 0; x < SCREEN_ROW_BYTES; ++x) out[row * SCREEN_ROW_BYTES + x] = last[x];
    }
}

}  // namespace korvax
