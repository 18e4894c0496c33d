// korvax-assets: contact sheets of the demo's generated art, as PNG files.
//
//   korvax-assets <output directory> [--from <directory of generated .bin files>]
//
// Without --from it reads the assets embedded in this program. It writes:
//   textures.png       the six textures through their palettes
//   palettes.png       the fourteen palettes as strips
//   backdrop_<k>.png   each backdrop (and the overlay) through its palette, and
//                      as its scene shows it (through a typical fade step)
//   model_<k>.png      each model from three viewpoints, over its scene's
//                      background, in preview (see preview.h)
//   morph_<s>.png      frames of each vertex animation
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "host/png.h"
#include "preview.h"

using namespace korvax;
using namespace korvax::assets_sheet;

namespace {

std::map<std::string, std::vector<uint8_t>> g_files;
std::string g_from;

const std::vector<uint8_t>& asset(const std::string& name) {
    auto it = g_files.find(name);
    if (it != g_files.end()) return it->second;
    std::vector<uint8_t> bytes;
    if (!g_from.empty()) {
        std::ifstream f(std::filesystem::path(g_from) / (name + ".bin"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    } else {
        static const std::map<std::string, AssetId> ids = {
#define KORVAX_ASSET_NAME(n) {#n, AssetId::n},
            KORVAX_ASSET_LIST(KORVAX_ASSET_NAME)
#undef KORVAX_ASSET_NAME
        };
        const Blob b = embedded_asset(ids.at(name));
        if (b.data) bytes.assign(b.data, b.data + b.size);
    }
    if (bytes.empty()) {
        std::fprintf(stderr, "korvax-assets: asset %s is missing\n", name.c_str());
        std::exit(1);
    }
    return g_files[name] = bytes;
}

std::vector<uint16_t> palette(const std::string& name) {
    const auto& p = asset(name);
    std::vector<uint16_t> out(256);
    for (int i = 0; i < 256; ++i) out[static_cast<size_t>(i)] = static_cast<uint16_t>(p[2 * i] << 8 | p[2 * i + 1]);
    return out;
}

// Colour c as palette n of its fade table shows it.
uint16_t faded(uint16_t c, int n) {
    const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
    int r2, g2, b2;
    if (n <= 32) {
        r2 = n * r / 32;
        g2 = n * g / 32;
        b2 = n * b / 32;
    } else {
        const int k = n - 33;
        r2 = r + k * (31 - r) / 32;
        g2 = g + k * (63 - g) / 32;
        b2 = b + k * (31 - b) / 32;
    }
    return static_cast<uint16_t>(r2 << 11 | g2 << 5 | b2);
}

std::vector<uint16_t> texture(int k) {
    const auto pal = palette("TEXTURE_PALETTE_" + std::to_string(k));
    const auto& img = asset("TEXTURE_IMAGE_" + std::to_string(k));
    std::vector<uint16_t> out(65536);
    for (size_t i = 0; i < out.size(); ++i) out[i] = pal[img[i]];
    return out;
}

void write(const std::string& dir, const std::string& name, const std::vector<uint16_t>& px, int w, int h) {
    const std::string path = (std::filesystem::path(dir) / name).string();
    if (!host::write_png_rgb565(path, px.data(), w, h)) {
        std::fprintf(stderr, "korvax-assets: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::printf("%s\n", path.c_str());
}

void blit(std::vector<uint16_t>& dst, int dw, const uint16_t* src, int sw, int sh, int x, int y) {
    for (int r = 0; r < sh; ++r) {
        for (int c = 0; c < sw; ++c) dst[static_cast<size_t>((y + r) * dw + x + c)] = src[r * sw + c];
    }
}

// Backdrops: name, palette, rows, the fade step its scene typically shows.
struct BackdropInfo {
    const char* name;
    const char* palette;
    int rows;
    int typical;
};
const BackdropInfo BACKDROPS[] = {
    {"BACKDROP_2", "BACKDROP_PALETTE_3", 240, 14},  {"BACKDROP_3", "BACKDROP_PALETTE_4", 240, 52},
    {"BACKDROP_5", "BACKDROP_PALETTE_5", 240, 52},  {"BACKDROP_6", "BACKDROP_PALETTE_2", 238, 52},
    {"BACKDROP_7", "BACKDROP_PALETTE_1", 240, 54},  {"BACKDROP_9", "BACKDROP_PALETTE_6", 240, 52},
    {"BACKDROP_10", "BACKDROP_PALETTE_0", 240, 21},
};

std::vector<uint16_t> backdrop_as_shown(const BackdropInfo& b) {
    const auto pal = palette(b.palette);
    const auto& img = asset(b.name);
    std::vector<uint16_t> out(320 * 240, 0);
    for (int i = 0; i < 320 * b.rows; ++i) out[static_cast<size_t>(i)] = faded(pal[img[static_cast<size_t>(i)]], b.typical);
    return out;
}

void sheet_images(const std::string& dir) {
    // Textures, 3 x 2 with gaps.
    {
        const int w = 3 * 256 + 2 * 4, h = 2 * 256 + 4;
        std::vector<uint16_t> px(static_cast<size_t>(w * h), 0x4208);
        for (int k = 0; k < 6; ++k) {
            const auto t = texture(k);
            blit(px, w, t.data(), 256, 256, (k % 3) * 260, (k / 3) * 260);
        }
        write(dir, "textures.png", px, w, h);
    }
    // Palettes.
    {
        const int w = 512, h = 14 * 20;
        std::vector<uint16_t> px(static_cast<size_t>(w * h), 0);
        for (int p = 0; p < 14; ++p) {
            const auto pal = palette(p < 6 ? "TEXTURE_PALETTE_" + std::to_string(p) : "BACKDROP_PALETTE_" + std::to_string(p - 6));
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 512; ++x) px[static_cast<size_t>((p * 20 + y) * w + x)] = pal[static_cast<size_t>(x / 2)];
            }
        }
        write(dir, "palettes.png", px, w, h);
    }
    // Backdrops: raw | as shown.
    for (const BackdropInfo& b : BACKDROPS) {
        const auto pal = palette(b.palette);
        const auto& img = asset(b.name);
        std::vector<uint16_t> px(640 * 240, 0);
        const auto shown = backdrop_as_shown(b);
        for (int y = 0; y < b.rows; ++y) {
            for (int x = 0; x < 320; ++x) {
                px[static_cast<size_t>(y * 640 + x)] = pal[img[static_cast<size_t>(y * 320 + x)]];
                px[static_cast<size_t>(y * 640 + 320 + x)] = shown[static_cast<size_t>(y * 320 + x)];
            }
        }
        std::string name = b.name;
        for (char& c : name) c = static_cast<char>(std::tolower(c));
        write(dir, name + ".png", px, 640, 240);
    }
    // Overlay: the whole image, and the window scene 4 ORs over black at its
    // brightest step.
    {
        const auto pal = palette("BACKDROP_PALETTE_7");
        const auto& img = asset("OVERLAY_4");
        std::vector<uint16_t> px(960 * 320, 0);
        for (int y = 0; y < 320; ++y) {
            for (int x = 0; x < 640; ++x) px[static_cast<size_t>(y * 960 + x)] = pal[img[static_cast<size_t>(y * 640 + x)]];
        }
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                px[static_cast<size_t>(y * 960 + 640 + x)] = faded(pal[img[static_cast<size_t>(y * 640 + x)]], 13);
            }
        }
        write(dir, "overlay_4.png", px, 960, 320);
    }
}

// ---------------------------------------------------------------------------
// Models.

PreviewMesh load(const std::string& model, const char* uv = nullptr) {
    return parse_model(asset(model).data(), uv ? asset(uv).data() : nullptr);
}

void draw_line(Canvas& c, double x0, double y0, double x1, double y1, uint16_t colour) {
    const int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) + 1;
    for (int i = 0; i <= steps; ++i) {
        const int x = static_cast<int>(x0 + (x1 - x0) * i / steps), y = static_cast<int>(y0 + (y1 - y0) * i / steps);
        if (x >= 0 && y >= 0 && x < c.width && y < c.height) c.pixels[static_cast<size_t>(y * c.width + x)] = colour;
    }
}

void draw_edges(Canvas& c, const PreviewMesh& m, const std::vector<Matrix>& mats, const std::string& list, int cx, int cy,
                uint16_t colour) {
    const auto& e = asset(list);
    for (size_t i = 0; i + 3 < e.size(); i += 4) {
        const int a = static_cast<int16_t>(e[i] | e[i + 1] << 8), b = static_cast<int16_t>(e[i + 2] | e[i + 3] << 8);
        if (a == 0 && b == 0) break;
        auto proj = [&](int v, double& x, double& y) {
            const auto& p = m.vertices[static_cast<size_t>(v)];
            const Matrix& r = mats[std::min(static_cast<size_t>(m.groups[static_cast<size_t>(v)]), mats.size() - 1)];
            const double px = r[0] * p[0] + r[1] * p[1] + r[2] * p[2], py = r[3] * p[0] + r[4] * p[1] + r[5] * p[2];
            x = -px / 7 + cx;
            y = -py / 7 + cy;
        };
        double x0, y0, x1, y1;
        proj(a, x0, y0);
        proj(b, x1, y1);
        draw_line(c, x0, y0, x1, y1, colour);
    }
}

struct SceneLook {
    std::vector<uint16_t> background;
    int cx, cy;
    std::array<Material, 16> materials;
    std::vector<uint16_t> texture;
};

SceneLook look(const char* backdrop, int texture_index, int cx, int cy) {
    SceneLook s;
    s.background.assign(320 * 240, 0);
    if (backdrop) {
        for (const BackdropInfo& b : BACKDROPS) {
            if (std::string(b.name) == backdrop) s.background = backdrop_as_shown(b);
        }
    }
    s.cx = cx;
    s.cy = cy;
    s.texture = texture(texture_index);
    return s;
}

// Three views of a mesh side by side.
void sheet_model(const std::string& dir, const std::string& file, const PreviewMesh& m, const SceneLook& s,
                 const std::vector<std::vector<Matrix>>& views, void (*extra)(Canvas&, const std::vector<Matrix>&) = nullptr,
                 bool skip_empty_slot = false) {
    std::vector<uint16_t> px(static_cast<size_t>(320 * views.size() * 240), 0);
    for (size_t v = 0; v < views.size(); ++v) {
        Canvas c;
        c.pixels = s.background;
        if (extra) extra(c, views[v]);
        render(c, m, views[v], s.cx, s.cy, s.materials, s.texture.data(), skip_empty_slot);
        blit(px, static_cast<int>(320 * views.size()), c.pixels.data(), 320, 240, static_cast<int>(320 * v), 0);
    }
    write(dir, file, px, static_cast<int>(320 * views.size()), 240);
}

std::vector<std::vector<Matrix>> camera_views(const Matrix& spin1 = rotation_from_angles(0, 0, 0)) {
    std::vector<std::vector<Matrix>> out;
    for (double t : {0.1, 0.5, 0.9}) {
        const Matrix v = camera_view(t);
        out.push_back({v, multiply(v, spin1)});
    }
    return out;
}

std::vector<std::vector<Matrix>> spin_views() {
    return {{rotation_from_angles(256, 128, 128), rotation_from_angles(100, 300, 40)},
            {rotation_from_angles(40, 60, 10), rotation_from_angles(300, 40, 200)},
            {rotation_from_angles(600, 200, 700), rotation_from_angles(900, 500, 100)}};
}

PreviewMesh g_grid;
void grid_lines(Canvas& c, const std::vector<Matrix>& mats) { draw_edges(c, g_grid, mats, "EDGE_LIST_2", 100, 170, 0xFB2C); }

void sheet_models(const std::string& dir) {
    // Slot 7, the floor grid of scene 2, as loaded at start-up.
    g_grid = load("MODEL_7");
    scale(g_grid, 0, 5000.0 / 256);
    translate(g_grid, 0, 0, -1, 0);
    scale(g_grid, -1, 180.0 / 256);

    {  // Scene 2: the city on the grid.
        PreviewMesh m = load("MODEL_0", "UV_TABLE_0");
        scale(m, -1, 100.0 / 256);
        SceneLook s = look("BACKDROP_2", 2, 100, 170);
        s.materials[3].mode = 4;
        sheet_model(dir, "model_0.png", m, s, camera_views(), grid_lines);
    }
    {  // Slot 1 is never shown; flat-lit for inspection.
        PreviewMesh m = load("MODEL_1");
        scale(m, -1, 0.25);
        SceneLook s = look(nullptr, 1, 160, 140);
        for (auto& mat : s.materials) mat = {2, 0x0821, 0xFFFF};
        sheet_model(dir, "model_1.png", m, s, spin_views(), nullptr, true);
    }
    {  // Scene 7: the orb and its moon.
        PreviewMesh m = load("MODEL_2");
        SceneLook s = look("BACKDROP_7", 1, 225, 100);
        s.materials[0].mode = 1;
        s.materials[2] = {2, 0xA246, 0xFD1C};
        s.materials[3].mode = 4;
        sheet_model(dir, "model_2.png", m, s, spin_views());
    }
    {  // Scene 5: the helix as lines.
        PreviewMesh m = load("MODEL_3");
        scale(m, -1, 80.0 / 256);
        SceneLook s = look("BACKDROP_5", 1, 100, 150);
        std::vector<uint16_t> px(960 * 240, 0);
        int v = 0;
        for (double a : {0.0, 90.0, 200.0}) {
            Canvas c;
            c.pixels = s.background;
            const std::vector<Matrix> mats{rotation_from_angles(a, 0, 0)};
            draw_edges(c, m, mats, "EDGE_LIST_5", 100, 150, 0xF705);
            blit(px, 960, c.pixels.data(), 320, 240, 320 * v++, 0);
        }
        write(dir, "model_3.png", px, 960, 240);
    }
    {  // Scene 4: the koi.
        PreviewMesh m = load("MODEL_4", "UV_TABLE_4");
        SceneLook s = look(nullptr, 4, 100, 170);
        sheet_model(dir, "model_4.png", m, s, camera_views());
        sheet_model(dir, "model_4_spin.png", m, s, spin_views());
    }
    {  // Scene 3: the lotus.
        PreviewMesh m = load("MODEL_5", "UV_TABLE_5");
        SceneLook s = look("BACKDROP_3", 3, 100, 170);
        sheet_model(dir, "model_5.png", m, s, camera_views());
        SceneLook far = s;
        PreviewMesh small = m;
        scale(small, -1, 0.45);
        far.cx = 160;
        far.cy = 150;
        sheet_model(dir, "model_5_small.png", small, far, spin_views());
    }
    {  // Scene 6: the station with its core, built as at start-up.
        PreviewMesh m = load("MODEL_6", "UV_TABLE_6");
        translate(m, -1, 0, -50, 0);
        scale(m, -1, 180.0 / 256);
        append_mesh(m, load("MODEL_6_APPENDED"), 1);
        translate(m, 0, 0, -550, 0);
        scale(m, 1, 360.0 / 256);
        SceneLook s = look("BACKDROP_6", 5, 100, 120);
        s.materials[3].mode = 4;
        s.materials[2] = {2, 0x2041, 0xFA8C};
        sheet_model(dir, "model_6.png", m, s, camera_views(rotation_from_angles(200, 300, 100)));
        PreviewMesh small = m;
        scale(small, -1, 0.5);
        s.cx = 160;
        sheet_model(dir, "model_6_small.png", small, s, spin_views());
    }
    {  // Scene 9: the chrome torus.
        PreviewMesh m = load("MODEL_8");
        scale(m, -1, 2);
        SceneLook s = look("BACKDROP_9", 0, 120, 190);
        s.materials[0].mode = 1;
        sheet_model(dir, "model_8.png", m, s, spin_views());
    }
    {  // Scene 10: the faceted disc under the credits.
        PreviewMesh m = load("MODEL_9");
        scale(m, -1, 280.0 / 256);
        SceneLook s = look(nullptr, 1, 100, 170);
        s.materials[0] = {2, 0x0821, 0x610C};
        // The credits are ORed over the mesh.
        const auto pal = palette("BACKDROP_PALETTE_0");
        const auto& img = asset("BACKDROP_10");
        std::vector<uint16_t> px(960 * 240, 0);
        const auto views = spin_views();
        for (size_t v = 0; v < 3; ++v) {
            Canvas c;
            render(c, m, views[v], 100, 170, s.materials, s.texture.data());
            for (size_t i = 0; i < c.pixels.size(); ++i) c.pixels[i] |= faded(pal[img[i]], 21);
            blit(px, 960, c.pixels.data(), 320, 240, static_cast<int>(320 * v), 0);
        }
        write(dir, "model_9.png", px, 960, 240);
    }
    {  // Scene 1: the drop of liquid metal.
        PreviewMesh m = load("MODEL_10");
        SceneLook s = look(nullptr, 1, 128, 110);
        s.materials[0].mode = 1;
        sheet_model(dir, "model_10.png", m, s, spin_views());
    }
    {  // Scene 8: the morphing sphere.
        PreviewMesh m = load("MODEL_11");
        SceneLook s = look(nullptr, 1, 100, 170);
        s.materials[0] = {2, 0x0821, 0xB256};
        sheet_model(dir, "model_11.png", m, s, spin_views());
    }
}

// The tunnel effect's mapping (grid of 41 x 25 points, 8 x 8 pixel blocks):
// rows first..first+191 of the canvas from the texture.
void tunnel(Canvas& c, const Matrix& m, const std::vector<uint16_t>& tex, int scroll, int first) {
    double gu[25][41], gv[25][41];
    for (int gr = 0; gr < 25; ++gr) {
        for (int gc = 0; gc < 41; ++gc) {
            const double x = 512.0 * (20 - gc), y = 512.0 * (12 - gr), z = 4800;
            const double X = m[0] * x + m[1] * y + m[2] * z, Y = m[3] * x + m[4] * y + m[5] * z;
            const double Z = m[6] * x + m[7] * y + m[8] * z;
            const double k = std::floor(196352 / (std::floor(std::sqrt(X * X + Y * Y + 1)) + 1));
            gu[gr][gc] = (std::floor(Z * k / 4096) + scroll) * 256;
            const double w = std::floor(Y * k / 8192);
            gv[gr][gc] = std::floor(w * w / 8) * 256;
        }
    }
    for (int y = 0; y < 192; ++y) {
        for (int x = 0; x < 320; ++x) {
            const int br = y / 8, bc = x / 8;
            const double fy = (y % 8) / 8.0, fx = (x % 8) / 8.0;
            const double u = (1 - fy) * ((1 - fx) * gu[br][bc] + fx * gu[br][bc + 1]) +
                             fy * ((1 - fx) * gu[br + 1][bc] + fx * gu[br + 1][bc + 1]);
            const double v = (1 - fx) * ((1 - fy) * gv[br][bc] + fy * gv[br + 1][bc]) + fx * ((1 - fy) * gv[br][bc + 1] + fy * gv[br + 1][bc + 1]);
            const int tu = static_cast<int>(std::floor(u / 256)) & 255, tv = static_cast<int>(std::floor(v / 256)) & 255;
            c.pixels[static_cast<size_t>((first + y) * 320 + x)] = tex[static_cast<size_t>(tv * 256 + tu)];
        }
    }
}

// Rough versions of the three scenes whose backgrounds are not backdrops:
// scene 1 (tunnel of texture 1, the liquid drop), scene 4 (tunnel of texture
// 0, the koi, the caustics ORed on) and scene 8 (texture 0 stretched, the
// sphere).
void sheet_scenes(const std::string& dir) {
    const auto t0 = texture(0), t1 = texture(1);
    const std::vector<std::vector<Matrix>> views = spin_views();
    std::vector<uint16_t> px(960 * 720, 0);
    for (int v = 0; v < 3; ++v) {
        // Scene 1.
        {
            Canvas c;
            tunnel(c, views[static_cast<size_t>(v)][0], t1, 40 * v, 25);
            for (int y = 0; y < 25; ++y) {
                for (int x = 0; x < 320; ++x) {
                    c.pixels[static_cast<size_t>(y * 320 + x)] = 0;
                    c.pixels[static_cast<size_t>((239 - y) * 320 + x)] = 0;
                }
            }
            PreviewMesh m = load("MODEL_10");
            apply_key(m, asset(v == 1 ? "KEY_F1" : "KEY_F0").data(), 194, 1, 0, {0, 0, 0});
            std::array<Material, 16> mats{};
            mats[0].mode = 1;
            const std::vector<Matrix> g{views[static_cast<size_t>(v)][1]};
            render(c, m, g, 128, 110, mats, t1.data());
            blit(px, 960, c.pixels.data(), 320, 240, 320 * v, 0);
        }
        // Scene 4.
        {
            Canvas c;
            const Matrix view = camera_view(0.3 * v + 0.1);
            tunnel(c, view, t0, 60 * v, 0);
            PreviewMesh m = load("MODEL_4", "UV_TABLE_4");
            std::array<Material, 16> mats{};
            const auto t4 = texture(4);
            render(c, m, {view}, 100, 170, mats, t4.data());
            const auto pal = palette("BACKDROP_PALETTE_7");
            const auto& img = asset("OVERLAY_4");
            const int step = 4 + 4 * v, off = 4 * v;
            for (int y = 0; y < 240; ++y) {
                for (int x = 0; x < 320; ++x) {
                    c.pixels[static_cast<size_t>(y * 320 + x)] |= faded(pal[img[static_cast<size_t>((y + off) * 640 + x + off)]], step);
                }
            }
            blit(px, 960, c.pixels.data(), 320, 240, 320 * v, 240);
        }
        // Scene 8.
        {
            Canvas c;
            for (int n = 0; n < 51200; ++n) {
                const int g = (n + 1) / 4;
                const int e = (64 + g / 80) * 320 + 64 + g % 80;
                c.pixels[static_cast<size_t>(n)] = e < 65536 ? t0[static_cast<size_t>(e)] : t1[static_cast<size_t>(e - 65536)];
            }
            PreviewMesh m = load("MODEL_11");
            const char* keys[3] = {"KEY_G0", "KEY_G1", "KEY_G2"};
            apply_key(m, asset(keys[v]).data(), 1202, 1, 0, {0, 0, 0});
            std::array<Material, 16> mats{};
            mats[0] = {2, 0x0821, 0xB256};
            render(c, m, {views[static_cast<size_t>(v)][0]}, 100, 170, mats, t1.data());
            blit(px, 960, c.pixels.data(), 320, 240, 320 * v, 480);
        }
    }
    write(dir, "scenes_1_4_8.png", px, 960, 720);
}

// Frames of the vertex animations: each key shape, drawn like its scene.
void sheet_morphs(const std::string& dir) {
    auto frames = [&](const std::string& file, PreviewMesh base, const std::vector<std::string>& keys, int count, int first,
                      int shift, std::array<int, 3> offset, const SceneLook& s, const std::vector<Matrix>& mats) {
        std::vector<uint16_t> px(static_cast<size_t>(320 * keys.size() * 240), 0);
        for (size_t k = 0; k < keys.size(); ++k) {
            PreviewMesh m = base;
            apply_key(m, asset(keys[k]).data(), count, first, shift, offset);
            Canvas c;
            c.pixels = s.background;
            render(c, m, mats, s.cx, s.cy, s.materials, s.texture.data());
            blit(px, static_cast<int>(320 * keys.size()), c.pixels.data(), 320, 240, static_cast<int>(320 * k), 0);
        }
        write(dir, file, px, static_cast<int>(320 * keys.size()), 240);
    };
    const std::vector<Matrix> tilt{rotation_from_angles(100, 80, 30), rotation_from_angles(300, 40, 200)};
    {
        SceneLook s = look("BACKDROP_7", 1, 225, 100);
        s.materials[0].mode = 1;
        s.materials[2] = {2, 0xA246, 0xFD1C};
        s.materials[3].mode = 4;
        frames("morph_a.png", load("MODEL_2"), {"KEY_A0", "KEY_A1", "KEY_A2", "KEY_A3"}, 114, 43, 2, {0, 0, 655}, s, tilt);
    }
    {
        SceneLook s = look(nullptr, 4, 160, 170);
        const std::vector<Matrix> side{rotation_from_angles(256, 100, 0)};
        PreviewMesh koi = load("MODEL_4", "UV_TABLE_4");
        frames("morph_b.png", koi, {"KEY_B0", "KEY_B1", "KEY_B2", "KEY_B3"}, 331, 1, 3, {0, 0, 0}, s, side);
        const std::vector<Matrix> top{rotation_from_angles(0, 256 - 40, 0)};
        frames("morph_c.png", koi, {"KEY_C0", "KEY_C1"}, 35, 59, 3, {0, 0, 0}, s, top);
        const std::vector<Matrix> front{rotation_from_angles(0, 30, 0)};
        PreviewMesh fins = koi;
        apply_key(fins, asset("KEY_E0").data(), 20, 305, 3, {0, 0, 0});
        frames("morph_d.png", fins, {"KEY_D0", "KEY_D1"}, 20, 285, 3, {0, 0, 0}, s, front);
        PreviewMesh fins2 = koi;
        apply_key(fins2, asset("KEY_D1").data(), 20, 285, 3, {0, 0, 0});
        frames("morph_e.png", fins2, {"KEY_E0", "KEY_E1"}, 20, 305, 3, {0, 0, 0}, s, front);
    }
    {
        SceneLook s = look(nullptr, 1, 128, 110);
        s.materials[0].mode = 1;
        frames("morph_f.png", load("MODEL_10"), {"KEY_F0", "KEY_F1"}, 194, 1, 0, {0, 0, 0}, s, tilt);
    }
    {
        SceneLook s = look(nullptr, 1, 160, 120);
        s.materials[0] = {2, 0x0821, 0xB256};
        PreviewMesh m = load("MODEL_11");
        scale(m, -1, 0.6);
        // Keys replace positions at full size; draw them at 0.6 too.
        std::vector<uint16_t> px(960 * 240, 0);
        int k = 0;
        for (const char* key : {"KEY_G0", "KEY_G1", "KEY_G2"}) {
            PreviewMesh f = load("MODEL_11");
            apply_key(f, asset(key).data(), 1202, 1, 0, {0, 0, 0});
            scale(f, -1, 0.6);
            Canvas c;
            render(c, f, tilt, 160, 120, s.materials, s.texture.data());
            blit(px, 960, c.pixels.data(), 320, 240, 320 * k++, 0);
        }
        write(dir, "morph_g.png", px, 960, 240);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory> [--from <directory>]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    if (argc >= 4 && std::string(argv[2]) == "--from") g_from = argv[3];
    std::filesystem::create_directories(dir);
    sheet_images(dir);
    sheet_models(dir);
    sheet_morphs(dir);
    sheet_scenes(dir);
    return 0;
}
