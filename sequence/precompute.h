// Start-up precomputation: the six textures in RGB565, the fade tables of the
// eight background palettes, the vertex-animation frames of the seven morph
// stores, the camera path and the once-per-scene flags. Everything a frame
// would otherwise compute per pixel or per vertex is computed here once.
#pragma once

#include <stdint.h>

#include "runtime/types.h"

namespace korvax {

constexpr int TEXTURE_COUNT = 6;
constexpr int FADE_TABLE_COUNT = 8;
constexpr int FADE_PALETTES = 64;  // per table

// Six 256 x 256 textures back to back: texel (u, v) of texture k is entry
// 65,536 k + 256 v + u, and reads past one texture continue into the next.
extern uint16_t textures[TEXTURE_COUNT][TEXTURE_TEXELS];
// Eight tables of 64 palettes of 256 colours back to back: palette p of table t
// is palette 64 t + p of the whole array.
extern uint16_t fade_tables[FADE_TABLE_COUNT * FADE_PALETTES][256];

// A morph store: `frames` frames of `vertices` int16 (x, y, z) triples; frame
// f starts at triple f * vertices. The precomputation fills a store and the
// updaters step through its frames, both from this one record.
struct MorphStore {
    int16_t* triples;
    int32_t vertices;
    int32_t frames;
};

// Vertices and frames of the seven stores.
constexpr int32_t MORPH_A_VERTICES = 114, MORPH_A_FRAMES = 64;
constexpr int32_t MORPH_B_VERTICES = 331, MORPH_B_FRAMES = 64;
constexpr int32_t MORPH_C_VERTICES = 35, MORPH_C_FRAMES = 48;
constexpr int32_t MORPH_D_VERTICES = 20, MORPH_D_FRAMES = 80;
constexpr int32_t MORPH_E_VERTICES = 20, MORPH_E_FRAMES = 80;
constexpr int32_t MORPH_F_VERTICES = 194, MORPH_F_FRAMES = 80;
constexpr int32_t MORPH_G_VERTICES = 1202, MORPH_G_FRAMES = 120;

extern int16_t morph_store_a[MORPH_A_FRAMES * MORPH_A_VERTICES * 3];
extern int16_t morph_store_b[MORPH_B_FRAMES * MORPH_B_VERTICES * 3];
extern int16_t morph_store_c[MORPH_C_FRAMES * MORPH_C_VERTICES * 3];
extern int16_t morph_store_d[MORPH_D_FRAMES * MORPH_D_VERTICES * 3];
extern int16_t morph_store_e[MORPH_E_FRAMES * MORPH_E_VERTICES * 3];
extern int16_t morph_store_f[MORPH_F_FRAMES * MORPH_F_VERTICES * 3];
extern int16_t morph_store_g[MORPH_G_FRAMES * MORPH_G_VERTICES * 3];

extern const MorphStore MORPH_A, MORPH_B, MORPH_C, MORPH_D, MORPH_E, MORPH_F, MORPH_G;

// The first triple of frame f.
inline const int16_t* morph_frame_triples(const MorphStore& store, int32_t f) {
    return store.triples + f * store.vertices * 3;
}

// backdrop_6 holds 238 rows but is drawn as 240: start-up copies it here with
// its last row repeated twice below it, so no byte past the asset is read.
constexpr uint32_t BACKDROP_6_ROWS = 238;
constexpr uint32_t SCREEN_ROW_BYTES = 320;  // one byte a pixel
extern uint8_t backdrop_6_screen[320 * 240];

// Flags of enter_scene_once, cleared here.
extern uint8_t scene_entered[11];

void precompute_assets();

// Copies an indexed image of `rows` rows of 320 bytes into `out_rows` rows:
// the rows past the image repeat its last row. Reads only rows * 320 bytes.
void complete_backdrop(const uint8_t* image, uint32_t rows, uint8_t* out, uint32_t out_rows);

// out[i] = source[2i] * 256 + source[2i + 1] (colours stored high byte first).
void decode_palette(const uint8_t* source, uint16_t* out);
void convert_image(const uint8_t* indices, const uint16_t* palette, uint16_t* out);
// Palettes 0..32 darken to black, 33..63 brighten toward white.
void build_fade_table(const uint16_t* palette, uint16_t (*out)[256]);
// Key shapes are records of four little-endian int16 (x, y, z, 0). Writes s
// frames of n triples from shape a toward shape b: frame 0 is a, b is not written.
void interpolate_keys(int16_t* out, const uint8_t* a, const uint8_t* b, int32_t n, int32_t s);
// Each triple becomes offset + (component >> shift), kept in 16 bits.
void scale_offset_vertices(int16_t* triples, int32_t count, int32_t shift, int32_t offset_x, int32_t offset_y,
                           int32_t offset_z);

}  // namespace korvax
