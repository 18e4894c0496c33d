// korvax-assets: contact sheets of the demo's generated art, as PNG files.
//
//   korvax-assets <output directory>
//   korvax-assets --sequence <output directory>   (the ten sequence sheets only,
//                                                 as docs/ keeps them)
//
// It runs the system's own start-up (tables, models into their mesh slots,
// material modes, the precomputation of textures, fade tables and morph
// frames) on the assets embedded in this program, then draws with the
// system's pipeline and 2D operations:
//   textures.png      the six textures as precomputed
//   palettes.png      the fourteen palettes as strips
//   backdrop_<k>.png  each backdrop (and the overlay) through its palette, and
//                     through the fade step its scene typically shows
//   sequence_<k>.png  scene k as the sequence plays it: six frames across its
//                     length (the contact sheets of docs/)
//   model_1.png       the mesh no scene shows
//   morph_<s>.png     frames of each vertex animation
// The scenes are approximations assembled here: settings as the scenes make
// them, counters frozen at typical values.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/startup.h"
#include "app/png.h"
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "runtime/runtime.h"
#include "render/draw2d.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

using namespace korvax;

namespace {

std::string g_dir;
FrameBuffer g_frame;

Blob asset(AssetId id) {
    const Blob b = embedded_asset(id);
    if (!b.data) {
        std::fprintf(stderr, "korvax-assets: an asset is missing from this build\n");
        std::exit(1);
    }
    return b;
}

void write(const std::string& name, const std::vector<uint16_t>& px, int w, int h) {
    const std::string path = (std::filesystem::path(g_dir) / name).string();
    if (!host::write_png_rgb565(path, px.data(), w, h)) {
        std::fprintf(stderr, "korvax-assets: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::printf("%s\n", path.c_str());
}

// A sheet of 320 x 240 cells, filled cell by cell from the frame.
struct Sheet {
    int columns, rows;
    std::vector<uint16_t> px;
    Sheet(int c, int r) : columns(c), rows(r), px(static_cast<size_t>(c * r) * FRAME_PIXELS, 0) {}
    void put(int cell) {
        const int cx = cell % columns, cy = cell / columns;
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            std::copy(g_frame.pixels + y * SCREEN_WIDTH, g_frame.pixels + (y + 1) * SCREEN_WIDTH,
                      px.begin() + static_cast<long>((cy * SCREEN_HEIGHT + y) * columns * SCREEN_WIDTH + cx * SCREEN_WIDTH));
        }
    }
    void save(const std::string& name) { write(name, px, columns * SCREEN_WIDTH, rows * SCREEN_HEIGHT); }
};


// ---------------------------------------------------------------------------
// Images.

struct BackdropInfo {
    AssetId image;
    int table;
    int rows;
    int typical;  // the fade step its scene typically shows
    const char* file;
};
const BackdropInfo BACKDROPS[] = {
    {AssetId::BACKDROP_2, 3, 240, 13, "backdrop_2.png"}, {AssetId::BACKDROP_3, 4, 240, 52, "backdrop_3.png"},
    {AssetId::BACKDROP_5, 5, 240, 52, "backdrop_5.png"}, {AssetId::BACKDROP_6, 2, 238, 52, "backdrop_6.png"},
    {AssetId::BACKDROP_7, 1, 240, 54, "backdrop_7.png"}, {AssetId::BACKDROP_9, 6, 240, 52, "backdrop_9.png"},
    {AssetId::BACKDROP_10, 0, 240, 21, "backdrop_10.png"},
};

// blit_indexed for the 238-row backdrop too: the rows it has.
void backdrop(const BackdropInfo& b, int step) {
    const Blob img = asset(b.image);
    const uint16_t* pal = fade_palette(b.table, step);
    for (int i = 0; i < b.rows * SCREEN_WIDTH; ++i) g_frame.pixels[i] = pal[img.data[i]];
}

void sheet_images() {
    {
        const int w = 3 * 256 + 8, h = 2 * 256 + 4;
        std::vector<uint16_t> px(static_cast<size_t>(w * h), 0x4208);
        for (int k = 0; k < TEXTURE_COUNT; ++k) {
            for (int y = 0; y < 256; ++y) {
                std::copy(textures[k] + 256 * y, textures[k] + 256 * (y + 1),
                          px.begin() + static_cast<long>(((k / 3) * 260 + y) * w + (k % 3) * 260));
            }
        }
        write("textures.png", px, w, h);
    }
    {
        const AssetId palettes[14] = {AssetId::TEXTURE_PALETTE_0,  AssetId::TEXTURE_PALETTE_1,  AssetId::TEXTURE_PALETTE_2,
                                      AssetId::TEXTURE_PALETTE_3,  AssetId::TEXTURE_PALETTE_4,  AssetId::TEXTURE_PALETTE_5,
                                      AssetId::BACKDROP_PALETTE_0, AssetId::BACKDROP_PALETTE_1, AssetId::BACKDROP_PALETTE_2,
                                      AssetId::BACKDROP_PALETTE_3, AssetId::BACKDROP_PALETTE_4, AssetId::BACKDROP_PALETTE_5,
                                      AssetId::BACKDROP_PALETTE_6, AssetId::BACKDROP_PALETTE_7};
        std::vector<uint16_t> px(512 * 14 * 20, 0);
        for (int p = 0; p < 14; ++p) {
            uint16_t pal[256];
            decode_palette(asset(palettes[p]).data, pal);
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 512; ++x) px[static_cast<size_t>((p * 20 + y) * 512 + x)] = pal[x / 2];
            }
        }
        write("palettes.png", px, 512, 14 * 20);
    }
    for (const BackdropInfo& b : BACKDROPS) {
        Sheet s(2, 1);
        std::fill(std::begin(g_frame.pixels), std::end(g_frame.pixels), 0);
        backdrop(b, 32);  // the palette itself
        s.put(0);
        backdrop(b, b.typical);
        s.put(1);
        s.save(b.file);
    }
    {
        // The overlay through its palette, and the window scene 4 ORs over
        // black at its brightest step.
        const Blob img = asset(AssetId::OVERLAY_4);
        std::vector<uint16_t> px(960 * 320, 0);
        for (int y = 0; y < 320; ++y) {
            for (int x = 0; x < 640; ++x) px[static_cast<size_t>(y * 960 + x)] = fade_palette(7, 32)[img.data[y * 640 + x]];
        }
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) px[static_cast<size_t>(y * 960 + 640 + x)] = fade_palette(7, 13)[img.data[y * 640 + x]];
        }
        write("overlay_4.png", px, 960, 320);
    }
}

// ---------------------------------------------------------------------------
// Scenes.

// Three viewpoints: the camera path early, midway and late (entry 1 follows
// the view with a spin), or three spin angle sets for entries 0 and 1.
void set_view(bool path, int view) {
    if (path) {
        Vec3 pos;
        sample_camera_path(pos, object_matrices[0], static_cast<uint32_t>(40 + 150 * view), 3, camera_path);
        Matrix4 spin, both;
        matrix_from_angles(spin, static_cast<uint32_t>(200 * view), 300, 100);
        matrix_multiply(both, object_matrices[0], spin);
        object_matrices[1] = both;
    } else {
        const uint32_t a[3][3] = {{256, 128, 128}, {40, 860, 10}, {600, 200, 700}};
        const uint32_t b[3][3] = {{100, 300, 40}, {300, 40, 200}, {900, 500, 100}};
        matrix_from_angles(object_matrices[0], a[view][0], a[view][1], a[view][2]);
        matrix_from_angles(object_matrices[1], b[view][0], b[view][1], b[view][2]);
    }
    matrix_from_angles(object_matrices[2], static_cast<uint32_t>(150 * view), 0, 0);
}

void scene_sheet(const char* file, bool path, const std::function<void(int)>& draw) {
    Sheet s(3, 1);
    for (int v = 0; v < 3; ++v) {
        set_view(path, v);
        set_render_target(&g_frame);
        draw(v);
        s.put(v);
    }
    s.save(file);
}

// The whole sequence as the frame loop runs it, with the music position
// advancing by one frame of sound (88,200 / 60) per frame: a contact sheet of
// six frames of each scene (three across, two down), taken at the middles of
// six equal parts of its time.
constexpr int SHEET_FRAMES = 6;

void sheet_sequence() {
    const uint32_t per_frame = 88200 / 60;
    uint32_t position = 0;
    std::vector<Sheet> sheets(10, Sheet(3, 2));
    int taken[10] = {};
    set_scene_state(1);
    set_shade_ramp(primary_ramp);
    while (!sequence_finished) {
        position += per_frame;
        render_scene(&g_frame);
        const int k = SceneState - 1;
        const uint32_t from = k == 0 ? 0 : SCENE_THRESHOLDS[k - 1], to = SCENE_THRESHOLDS[k];
        const uint64_t due = from + (to - from) * static_cast<uint64_t>(2 * taken[k] + 1) / (2 * SHEET_FRAMES);
        if (taken[k] < SHEET_FRAMES && position >= due) sheets[static_cast<size_t>(k)].put(taken[k]++);
        advance_timeline(position);
    }
    for (int k = 0; k < 10; ++k) sheets[static_cast<size_t>(k)].save("sequence_" + std::to_string(k + 1) + ".png");
}

void sheet_unshown() {
    // Slot 1 is loaded but no scene draws it (its materials lie beyond the
    // mode table); a flat-lit copy with material 0 shows its shape.
    {
        static MeshObject copy;
        copy_mesh(copy, meshes[1]);
        update_normals(copy);
        for (int f = 1; f <= copy.face_count; ++f) copy.faces[f].material = 0;
        scale_mesh(copy, 64);
        scene_sheet("model_1.png", false, [](int) {
            set_material_mode(2, 0);
            build_colour_ramp(0x0821, 0xFFFF, primary_ramp);
            set_shade_ramp(primary_ramp);
            clear_frame(&g_frame);
            draw_mesh(copy, object_matrices, 160, 140);
        });
    }
}

// Four frames of each store, a quarter of its cycle apart, at a fixed view.
void sheet_morphs() {
    struct Plan {
        const char* file;
        MeshObject* mesh;
        const MorphStore* store;
        int first;
        int cx, cy;
        int texture;
        int mode;  // of material 0
    };
    const Plan plans[] = {
        {"morph_a.png", &meshes[2], &MORPH_A, 43, 160, 120, 1, 1},
        {"morph_b.png", &meshes[4], &MORPH_B, 1, 160, 150, 4, 0},
        {"morph_c.png", &meshes[4], &MORPH_C, 59, 160, 150, 4, 0},
        {"morph_d.png", &meshes[4], &MORPH_D, 285, 160, 150, 4, 0},
        {"morph_e.png", &meshes[4], &MORPH_E, 305, 160, 150, 4, 0},
        {"morph_f.png", &meshes[10], &MORPH_F, 1, 160, 120, 1, 1},
        {"morph_g.png", &meshes[11], &MORPH_G, 1, 160, 120, 1, 2},
    };
    build_colour_ramp(0x0821, 0xB256, primary_ramp);
    build_colour_ramp(0xA246, 0xFD1C, secondary_ramp);
    set_material_mode(2, 2);
    set_material_mode(4, 3);
    for (const Plan& p : plans) {
        Sheet s(4, 1);
        set_material_mode(p.mode, 0);
        set_view(false, 1);
        if (p.mesh == &meshes[4]) matrix_from_angles(object_matrices[0], 0, 200, 0);  // from above
        for (int k = 0; k < 4; ++k) {
            set_render_target(&g_frame);
            std::fill(std::begin(g_frame.pixels), std::end(g_frame.pixels), 0x18C3);
            set_vertex_positions(*p.mesh, morph_frame_triples(*p.store, k * p.store->frames / 4),
                                 static_cast<uint16_t>(p.store->vertices),
                                 static_cast<uint16_t>(p.first));
            set_texture_map(textures[p.texture]);
            draw_mesh(*p.mesh, object_matrices, p.cx, p.cy);
            s.put(k);
        }
        s.save(p.file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool sequence_only = argc == 3 && std::string(argv[1]) == "--sequence";
    if (argc != 2 && !sequence_only) {
        std::fprintf(stderr, "usage: %s [--sequence] <output directory>\n", argv[0]);
        return 2;
    }
    g_dir = argv[argc - 1];
    std::filesystem::create_directories(g_dir);

    // The start-up of the system, short of the hardware and the music.
    korvax::start_system_offline();
    if (sequence_only) {
        sheet_sequence();
        return 0;
    }
    sheet_images();
    sheet_sequence();
    sheet_unshown();
    sheet_morphs();
    return 0;
}
