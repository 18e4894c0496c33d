// The images: six 256 x 256 textures with their palettes, seven 320 x 240
// backdrops, the 640 x 320 overlay and the eight backdrop palettes.
//
// Backdrops reach the screen through fade tables: most scenes show them at
// brightening steps near 52 of 64 (more than half way to white), scene 2 at
// about 14 (under half brightness), the credits at about 21, the overlay at
// 1..13. Each backdrop palette is therefore a ramp from black to white through
// the scene's colours, with the index standing for brightness, and every
// image is drawn as a brightness map: under the washed-out steps the
// pictures still read, and when a flickering step spills into the next fade
// table the image shows through the neighbour's ramp as a darker, differently
// tinted frame rather than as noise.
#include <algorithm>
#include <cmath>

#include "common.h"
#include "font.h"

namespace korvax::assetgen {

namespace {

Rgb rgb(double r, double g, double b) { return {r, g, b}; }

// Periodic distance along one axis of a domain `size` long.
double wrap_delta(double d, double size) {
    d = std::fmod(d, size);
    if (d > size / 2) d -= size;
    if (d < -size / 2) d += size;
    return d;
}

double ipow(double x, int n) {
    double r = 1;
    for (int i = 0; i < n; ++i) r *= x;
    return r;
}

double gauss(double d2, double radius) { return dexp(-d2 / (radius * radius)); }

// Distances to the nearest and second nearest feature point of a tiled
// Voronoi pattern: `cells` x `rows` cells over a w x h domain, one jittered
// point per cell.
void voronoi(double x, double y, double w, double h, int cols, int rows, uint32_t seed, double& f1, double& f2) {
    const double cw = w / cols, ch = h / rows;
    const int cx = static_cast<int>(std::floor(x / cw)), cy = static_cast<int>(std::floor(y / ch));
    f1 = f2 = 1e30;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            const int gx = ((cx + dx) % cols + cols) % cols, gy = ((cy + dy) % rows + rows) % rows;
            const double px = (gx + 0.15 + 0.7 * lattice(gx, gy, seed)) * cw;
            const double py = (gy + 0.15 + 0.7 * lattice(gx, gy, seed + 7)) * ch;
            const double ddx = wrap_delta(px - x, w), ddy = wrap_delta(py - y, h);
            const double d = std::sqrt(ddx * ddx + ddy * ddy);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Textures.

// Texture 0: cool liquid chrome. Wavy horizontal bands of blue and cyan with
// bright caustic crests; it tiles in both directions (the tunnel of scene 4)
// and its centre reads as a reflection (the environment map of the torus).
void texture_0(OutputSet& out) {
    const Palette pal = gradient_palette({{0, rgb(2, 5, 18)},
                                          {50, rgb(8, 28, 80)},
                                          {110, rgb(20, 90, 170)},
                                          {170, rgb(70, 170, 225)},
                                          {215, rgb(170, 230, 250)},
                                          {245, rgb(240, 252, 255)},
                                          {255, rgb(255, 255, 255)}});
    Indexed img(256, 256);
    for (int v = 0; v < 256; ++v) {
        for (int u = 0; u < 256; ++u) {
            const double n = tiled_fbm(u, v, 256, 4, 4, 11);
            const double warp = 22 * (n - 0.5) + 9 * dsin(TAU * u / 128.0) + 5 * dsin(TAU * (u + v) / 256.0);
            const double band = 0.5 + 0.5 * dsin(TAU * 2 * (v + warp) / 256.0);
            const double crest = ipow(0.5 + 0.5 * dsin(TAU * 5 * (v + 1.6 * warp) / 256.0 + 2 * n), 8);
            const double fine = 0.025 * dsin(TAU * 16 * (u + 6 * n) / 256.0);
            const double val = 0.12 + 0.62 * band * band + 0.32 * crest + fine;
            img.at(u, v) = quantise(val);
        }
    }
    out["TEXTURE_PALETTE_0"] = encode_palette(pal);
    out["TEXTURE_IMAGE_0"] = img.pixels;
}

// Texture 1: molten gold, in two parts. The tunnel of scene 1 only ever reads
// rows 0..72 (its v grows with the square of the view's height over the
// axis, up to 72): there, marbled copper and gold veins that tile. The
// environment map of the liquid drop (scene 1) and of the orb (scene 7) reads
// the window 64..191 x 64..191, the direction each vertex normal faces: there,
// a reflection with a white-hot sky above a dark horizon, warm ground below
// it, a highlight, and a dark rim (from row 73 on; the rows the two share
// stay molten), so the shapes that wear it stand out from the walls they fly
// through.
double molten(int u, int v) {
    const double t = tiled_fbm(u, v, 256, 3, 5, 23);
    const double vein = dsin(TAU * (2 * u + v) / 256.0 + 9 * t);
    const double m = 0.5 + 0.5 * vein;
    const double glint = ipow(1 - std::fabs(vein), 14);
    return 0.08 + 0.72 * m * m + 0.3 * glint + 0.1 * (tiled_fbm(u, v, 256, 16, 2, 29) - 0.5);
}

double reflection(int u, int v) {
    const double dx = (u - 128) / 64.0, up = (v - 128) / 64.0;  // v grows with the normal's screen-up part
    const double r = std::sqrt(dx * dx + up * up);
    const double wave = 0.12 * (tiled_fbm(u, v, 256, 4, 3, 27) - 0.5) + 0.05 * dsin(TAU * u / 64.0);
    const double h = up - wave;  // height over the warped horizon
    double val;
    if (h > 0.05) {
        val = 0.82 + 0.2 * smoothstep(0.05, 0.7, h) + 0.05 * dsin(TAU * (u + 3 * v) / 40.0);
    } else if (h > -0.05) {
        val = 0.1;
    } else {
        val = 0.5 + 0.2 * smoothstep(-0.05, -0.8, h) + 0.3 * (molten(u, v) - 0.4);
    }
    val += 0.6 * gauss((dx + 0.38) * (dx + 0.38) + (up - 0.42) * (up - 0.42), 0.16);
    return val * (1 - 0.8 * smoothstep(0.84, 0.98, r));
}

void texture_1(OutputSet& out) {
    const Palette pal = gradient_palette({{0, rgb(18, 5, 2)},
                                          {60, rgb(95, 32, 8)},
                                          {120, rgb(190, 95, 25)},
                                          {175, rgb(240, 175, 60)},
                                          {220, rgb(255, 230, 150)},
                                          {255, rgb(255, 255, 240)}});
    Indexed img(256, 256);
    for (int v = 0; v < 256; ++v) {
        for (int u = 0; u < 256; ++u) {
            // Rows 64..72 belong to both: they stay molten for the tunnel,
            // and the reflection takes over below them.
            const double mix = smoothstep(72.0, 84.0, v);
            const double val = mix > 0 ? lerp(molten(u, v), reflection(u, v), mix) : molten(u, v);
            img.at(u, v) = quantise(val);
        }
    }
    out["TEXTURE_PALETTE_1"] = encode_palette(pal);
    out["TEXTURE_IMAGE_1"] = img.pixels;
}

// Texture 2: the city. Rows 0..127 facades (concrete, glass, lit windows in
// 8 x 8 cells), rows 128..191 the neon floors (magenta stripes, cyan and warm
// windows on black, drawn ORed over the background), rows 192..255 ground
// tiles: road (0..63 x 192..223), crossing (0..63 x 224..255), pavement
// (64..127), roof (128..191), helipad (192..255).
void texture_2(OutputSet& out) {
    Palette pal{};
    fill_gradient(pal, {{0, rgb(6, 8, 16)}, {30, rgb(40, 48, 70)}, {63, rgb(160, 170, 195)}});
    fill_gradient(pal, {{64, rgb(40, 18, 4)}, {100, rgb(230, 150, 40)}, {127, rgb(255, 248, 210)}});
    fill_gradient(pal, {{128, rgb(0, 0, 0)}, {150, rgb(90, 0, 80)}, {170, rgb(230, 40, 170)}, {191, rgb(255, 210, 255)}});
    fill_gradient(pal, {{192, rgb(0, 10, 20)}, {225, rgb(20, 190, 230)}, {255, rgb(225, 255, 255)}});
    Indexed img(256, 256);
    Rng rng(0x7E47u);
    // Facades.
    for (int cy = 0; cy < 16; ++cy) {
        for (int cx = 0; cx < 32; ++cx) {
            const bool lit = lattice(cx, cy, 3) < 0.3;
            const double tone = lattice(cx, cy, 4);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const int px = cx * 8 + x, py = cy * 8 + y;
                    const double n = tiled_noise(px / 4.0, py / 4.0, 64, 5);
                    int idx;
                    if (x >= 1 && x <= 6 && y >= 2 && y <= 6) {
                        idx = lit ? 96 + static_cast<int>(20 * tone) + (y == 2 ? 8 : 0) - x
                                  : 14 + static_cast<int>(10 * tone) + (x + y < 6 ? 10 : 0);
                    } else {
                        idx = 8 + static_cast<int>(8 * n) + (y == 0 ? 6 : 0);
                    }
                    img.at(px, py) = static_cast<uint8_t>(idx);
                }
            }
        }
    }
    // Neon floors.
    for (int py = 128; py < 192; ++py) {
        for (int px = 0; px < 256; ++px) {
            const int band = (py - 128) % 16;
            int idx = 128;
            if (band <= 1) {
                idx = 176 + (band == 0 ? 10 : 0);
            } else if (band >= 5 && band <= 11 && px % 8 >= 1 && px % 8 <= 6) {
                const double l = lattice(px / 8, (py - 128) / 16, 9);
                if (l < 0.55) idx = 230 + static_cast<int>(20 * lattice(px / 8, py / 16, 10)) - (band == 5 ? 0 : 4);
                else if (l < 0.8) idx = 110 + static_cast<int>(10 * l);
                else idx = 140;
            }
            img.at(px, py) = static_cast<uint8_t>(idx);
        }
    }
    // Road and crossing.
    for (int py = 192; py < 256; ++py) {
        for (int px = 0; px < 64; ++px) {
            const double n = tiled_noise(px / 2.0, py / 2.0, 32, 12);
            int idx = 5 + static_cast<int>(5 * n);
            if (py < 224) {
                if (py == 193 || py == 222) idx = 44;
                if ((py == 207 || py == 208) && (px % 16) < 9) idx = 104;
            } else {
                const bool edge = py < 232 || py > 247 || px < 8 || px > 55;
                if (edge && ((px + py) / 4) % 2 == 0 && !(py < 232 && (px < 8 || px > 55))) idx = 50;
            }
            img.at(px, py) = static_cast<uint8_t>(idx);
        }
    }
    // Pavement, roof, helipad.
    for (int py = 192; py < 256; ++py) {
        for (int px = 64; px < 256; ++px) {
            const int lx = px % 64, ly = py - 192;
            const double n = tiled_noise(px / 3.0, py / 3.0, 128, 13);
            int idx;
            if (px < 128) {
                idx = (lx % 8 == 0 || ly % 8 == 0) ? 22 : 30 + static_cast<int>(6 * n);
            } else if (px < 192) {
                idx = 12 + static_cast<int>(6 * n);
                if (lx < 3 || ly < 3 || lx > 60 || ly > 60) idx = 34;
                const bool vent = (lx > 12 && lx < 24 && ly > 14 && ly < 26) || (lx > 38 && lx < 52 && ly > 36 && ly < 46);
                if (vent) idx = ((lx + ly) % 3 == 0) ? 20 : 40;
                if ((lx - 52) * (lx - 52) + (ly - 10) * (ly - 10) < 5) idx = 186;
            } else {
                idx = 196 + static_cast<int>(4 * n);
                const double d = std::sqrt((lx - 31.5) * (lx - 31.5) + (ly - 31.5) * (ly - 31.5));
                if (d > 22 && d < 26) idx = 238;
                const bool h = (lx >= 22 && lx <= 25 && ly >= 20 && ly <= 43) ||
                               (lx >= 38 && lx <= 41 && ly >= 20 && ly <= 43) ||
                               (lx >= 22 && lx <= 41 && ly >= 30 && ly <= 33);
                if (h) idx = 250;
                if (lx < 2 || ly < 2 || lx > 61 || ly > 61) idx = 180;
            }
            img.at(px, py) = static_cast<uint8_t>(idx);
        }
    }
    (void)rng;
    out["TEXTURE_PALETTE_2"] = encode_palette(pal);
    out["TEXTURE_IMAGE_2"] = img.pixels;
}

// Texture 3: the lotus. Columns 0..159 the petal (root at the top rows, tip
// at the bottom: cream and yellow to deep pink, with veins), columns
// 160..255 rows 0..80 the bud's glow (replaced by live screen copies while
// scene 3 runs), rows 80..255 the calyx and the striped stem.
void texture_3(OutputSet& out) {
    Palette pal{};
    fill_gradient(pal, {{0, rgb(90, 5, 55)}, {40, rgb(225, 60, 140)}, {85, rgb(255, 175, 205)},
                        {110, rgb(255, 240, 235)}, {127, rgb(255, 235, 140)}});
    fill_gradient(pal, {{128, rgb(40, 10, 40)}, {160, rgb(200, 120, 200)}, {191, rgb(255, 230, 255)}});
    fill_gradient(pal, {{192, rgb(8, 30, 10)}, {225, rgb(90, 170, 60)}, {255, rgb(230, 255, 170)}});
    Indexed img(256, 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            int idx;
            if (x < 160) {
                const double t = y / 255.0;              // root -> tip
                const double w = (x - 80) / 80.0;        // across the petal
                double val = 122 - 100 * t * t - 10 * w * w * (0.3 + t);
                // Veins converge towards the root.
                const double vein = std::fabs(dsin(PI * 4.5 * w / (0.35 + 0.65 * t)));
                if (vein < 0.12 && t > 0.08) val -= 14 * (1 - vein / 0.12);
                val += 5 * (tiled_fbm(x, y, 256, 8, 2, 31) - 0.5);
                idx = static_cast<int>(clampd(val, 0, 127));
            } else if (y < 80) {
                const double d = std::sqrt((x - 208.0) * (x - 208.0) + (y - 40.0) * (y - 40.0)) / 56.0;
                idx = 128 + static_cast<int>(clampd(60 * (1 - d * d) + 6 * dsin(x * 0.3) * dsin(y * 0.3), 2, 63));
            } else if (y < 124) {
                const double t = (y - 80) / 44.0;
                const double seed = tiled_noise(x / 3.0, y / 3.0, 64, 41);
                idx = 200 + static_cast<int>(40 * (1 - t) + 12 * seed);
            } else {
                const double stripe = 0.5 + 0.5 * dsin(TAU * (x - 160) / 14.0);
                idx = 196 + static_cast<int>(22 * stripe + 10 * tiled_fbm(x, y, 256, 16, 2, 43));
            }
            img.at(x, y) = static_cast<uint8_t>(std::clamp(idx, 0, 255));
        }
    }
    out["TEXTURE_PALETTE_3"] = encode_palette(pal);
    out["TEXTURE_IMAGE_3"] = img.pixels;
}

// Texture 4: the koi's skin. u runs from the nose (0) to the tail (255), v
// round the body from the back (0 and 255) over the right flank (64) and the
// belly (128) to the left flank (192). Columns 180..255 hold the fins and the
// tail: translucent orange with rays.
void texture_4(OutputSet& out) {
    Palette pal{};
    fill_gradient(pal, {{0, rgb(70, 8, 0)}, {50, rgb(210, 55, 10)}, {95, rgb(255, 130, 30)}, {127, rgb(255, 210, 140)}});
    fill_gradient(pal, {{128, rgb(8, 8, 14)}, {159, rgb(80, 80, 95)}});
    fill_gradient(pal, {{160, rgb(120, 118, 128)}, {215, rgb(232, 230, 225)}, {255, rgb(255, 255, 250)}});
    Indexed img(256, 256);
    for (int v = 0; v < 256; ++v) {
        for (int u = 0; u < 256; ++u) {
            const double around = TAU * v / 255.0;
            const double back = dcos(around);  // 1 on the back, -1 on the belly
            int idx;
            if (u < 180) {
                const double n = tiled_fbm(u, v, 256, 5, 4, 51);
                const double spots = tiled_fbm(u + 40, v, 256, 9, 3, 53);
                // Scales: rows of arcs.
                const int su = u % 9, sv = (v + ((u / 9) % 2) * 5) % 10;
                const double arc = std::fabs(std::sqrt((su - 0.0) * (su - 0.0) + (sv - 5.0) * (sv - 5.0)) - 6.0);
                const double scale = arc < 0.8 && u > 16 ? 1.0 : 0.0;
                if (n + 0.22 * back > 0.62 && u > 8) {
                    idx = 60 + static_cast<int>(50 * (n - 0.55)) - static_cast<int>(14 * scale);
                } else if (spots > 0.74 && back > -0.2 && u > 30) {
                    idx = 134 - static_cast<int>(4 * scale);
                } else {
                    idx = 222 + static_cast<int>(20 * (0.5 - 0.5 * back)) - static_cast<int>(18 * scale);
                }
                // Eyes on both flanks, a pink mouth at the nose.
                for (const double ev : {64.0, 191.0}) {
                    const double d2 = (u - 20.0) * (u - 20.0) + (v - ev) * (v - ev);
                    if (d2 < 30) idx = 130;
                    if (d2 < 3 && u < 20) idx = 255;
                }
                if (u < 5) idx = 110;
            } else {
                const double ray = 0.5 + 0.5 * dsin(TAU * v / 7.0);
                const double fade = (u - 180) / 75.0;
                idx = 70 + static_cast<int>(35 * fade + 20 * ray);
                if (ray > 0.92) idx -= 18;
            }
            img.at(u, v) = static_cast<uint8_t>(std::clamp(idx, 0, 255));
        }
    }
    out["TEXTURE_PALETTE_4"] = encode_palette(pal);
    out["TEXTURE_IMAGE_4"] = img.pixels;
}

// Texture 5: the station. Columns 2..139 rows 3..50 take live screen copies
// in scene 6 (a dark screen until then); columns 142..255 of rows 0..55 the
// core's glow; rows 56..155 hull plating; rows 160..255 window strips on
// black (drawn ORed over the background).
void texture_5(OutputSet& out) {
    Palette pal{};
    fill_gradient(pal, {{0, rgb(6, 8, 14)}, {70, rgb(95, 105, 125)}, {110, rgb(180, 188, 205)}, {127, rgb(235, 240, 248)}});
    fill_gradient(pal, {{128, rgb(40, 18, 0)}, {165, rgb(255, 190, 70)}, {191, rgb(255, 250, 225)}});
    fill_gradient(pal, {{192, rgb(0, 18, 30)}, {228, rgb(70, 210, 255)}, {255, rgb(230, 255, 255)}});
    Indexed img(256, 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            int idx = 4;
            if (y < 56 && x >= 142) {
                // The glow of the core on the tower's crown: white-hot at the
                // top, through gold to a deep orange, with faint rays.
                const double t = y / 55.0;
                const double rays = 0.5 + 0.5 * dsin(TAU * (x - 142) / 18.0);
                idx = 128 + static_cast<int>(63 * (1 - t * t) - 8 * t * rays);
            } else if (y < 56) {
                idx = 8 + (y % 3 == 0 ? 4 : 0) + static_cast<int>(6 * tiled_noise(x / 6.0, y / 6.0, 64, 61));
            } else if (y < 156) {
                const int px = x % 32, py = (y - 56) % 16;
                const double n = tiled_fbm(x, y, 256, 8, 3, 63);
                const double panel = lattice(x / 32, (y - 56) / 16, 65);
                idx = 58 + static_cast<int>(30 * panel + 14 * n);
                if (px == 0 || py == 0) idx = 28;
                if (px == 1 || py == 1) idx = 96;
                if ((px == 4 || px == 28) && (py == 4 || py == 12)) idx = 110;
            } else {
                const int row = (y - 160) % 11;
                const int col = x % 8;
                idx = 2;
                if (row == 0) idx = 40;
                if (row >= 4 && row <= 7 && col >= 2 && col <= 5) {
                    const double l = lattice(x / 8, (y - 160) / 11, 67);
                    if (l < 0.5) idx = 160 + static_cast<int>(25 * l);
                    else if (l < 0.8) idx = 225 + static_cast<int>(30 * (l - 0.5));
                    else idx = 14;
                }
            }
            img.at(x, y) = static_cast<uint8_t>(std::clamp(idx, 0, 255));
        }
    }
    out["TEXTURE_PALETTE_5"] = encode_palette(pal);
    out["TEXTURE_IMAGE_5"] = img.pixels;
}

// ---------------------------------------------------------------------------
// Backdrops (brightness maps over their palette ramps).

// Backdrop 2, scene 2 (seen at under half brightness): a night sky over the
// city, a striped setting sun, stars and a mountain line.
Indexed backdrop_2() {
    Indexed img(320, 240);
    Rng rng(0xB2u);
    const double horizon = 150;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            double val;
            if (y < horizon) {
                const double t = y / horizon;
                val = 0.12 + 0.5 * t * t * t + 0.04 * tiled_fbm(x, y, 320, 4, 3, 71);
                // The sun: yellow at the top, orange below, cut by widening stripes.
                const double dx = x - 210.0, dy = y - 88.0;
                const double d = std::sqrt(dx * dx + dy * dy);
                if (d < 58) {
                    const double s = (dy + 58) / 116;
                    const bool gap = dy > 0 && std::fmod(dy, 12.0) < 2 + 4 * s;
                    if (!gap) val = 0.98 - 0.2 * s;
                } else {
                    val += 0.25 * gauss((d - 58) * (d - 58), 24);
                }
            } else {
                const double t = (y - horizon) / (240 - horizon);
                val = 0.42 * (1 - t) * (1 - t) + 0.06;
            }
            // Mountains in front of the sky.
            const double ridge = horizon - 14 - 16 * tiled_fbm(x, 0, 320, 5, 3, 73) - 8 * dsin(x * 0.021);
            if (y > ridge && y < horizon) val = 0.08 + 0.12 * (horizon - y) / 30;
            img.at(x, y) = quantise(val);
        }
    }
    for (int s = 0; s < 140; ++s) {
        const int x = rng.below(320), y = rng.below(110);
        if (img.at(x, y) > 150) continue;
        img.at(x, y) = static_cast<uint8_t>(150 + rng.below(100));
    }
    return img;
}

// Backdrop 3, scene 3: a lotus pond: teal water with rings spreading from a
// few drops, lily pads and light glinting on the surface.
Indexed backdrop_3() {
    Indexed img(320, 240);
    const double drops[4][2] = {{60, 60}, {250, 40}, {230, 190}, {40, 200}};
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            double val = 0.35 + 0.25 * (y / 240.0) + 0.1 * (tiled_fbm(x, y, 320, 4, 4, 81) - 0.5);
            for (const auto& d : drops) {
                const double r = std::sqrt((x - d[0]) * (x - d[0]) + (y - d[1]) * (y - d[1]));
                val += 0.14 * dsin(r * 0.28) * dexp(-r / 90);
            }
            const double glint = tiled_fbm(x * 2, y * 5, 640, 16, 2, 83);
            if (glint > 0.72) val += 2.2 * (glint - 0.72);
            img.at(x, y) = quantise(val);
        }
    }
    // Lily pads: dark discs with a notch and a light rim.
    const double pads[5][3] = {{270, 110, 30}, {35, 120, 24}, {150, 220, 28}, {300, 215, 20}, {110, 25, 18}};
    for (const auto& p : pads) {
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                const double dx = (x - p[0]) / 1.4, dy = y - p[1];
                const double d = std::sqrt(dx * dx + dy * dy);
                const double ang = datan2(dy, dx);
                if (d < p[2] && !(ang > 0.1 && ang < 0.5)) {
                    img.at(x, y) = quantise(d > p[2] - 2 ? 0.55 : 0.16 + 0.1 * d / p[2]);
                }
            }
        }
    }
    return img;
}

// Backdrop 5, scene 5: soft violet light: blurred discs of light (bokeh)
// over a faint hexagonal cell pattern.
Indexed backdrop_5() {
    Indexed img(320, 240);
    Rng rng(0xB5u);
    struct Disc {
        double x, y, r, a;
    };
    std::vector<Disc> discs;
    for (int i = 0; i < 22; ++i) discs.push_back({rng.range(0, 320), rng.range(0, 240), rng.range(12, 46), rng.range(0.1, 0.3)});
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const double gy = std::fabs(y - 120.0) / 120.0;
            double val = 0.2 + 0.15 * (1 - gy);
            // Hexagonal cells: distance to the nearest of two offset lattices.
            const double s = 26;
            auto cell = [&](double ox, double oy) {
                const double cx = std::fmod(x - ox + 1000 * s, s * 1.7320508) - s * 0.8660254;
                const double cy = std::fmod(y - oy + 1000 * s, s) - s / 2;
                return cx * cx + cy * cy;
            };
            const double d = std::min(cell(0, 0), cell(s * 0.8660254, s / 2));
            const double edge = std::sqrt(d) / (s * 0.5);
            if (edge > 0.92 && edge < 1.02) val += 0.06;
            for (const Disc& b : discs) {
                const double r = std::sqrt((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y));
                if (r < b.r) val += b.a * (r > b.r - 2 ? 1.4 : 1.0);
            }
            img.at(x, y) = quantise(val);
        }
    }
    return img;
}

// Backdrop 6, scene 6 (238 rows): space: stars, a nebula and the limb of a
// planet with cloud bands and a glowing atmosphere.
Indexed backdrop_6() {
    Indexed img(320, 238);
    Rng rng(0xB6u);
    const double pcx = 230, pcy = 560, pr = 420;
    for (int y = 0; y < 238; ++y) {
        for (int x = 0; x < 320; ++x) {
            const double neb = tiled_fbm(x, y, 320, 3, 5, 91);
            double val = 0.04 + 0.3 * std::max(0.0, neb - 0.45) * 2.2;
            const double d = std::sqrt((x - pcx) * (x - pcx) + (y - pcy) * (y - pcy));
            if (d < pr) {
                const double lat = (y - pcy + pr) / pr;
                const double bands = 0.5 + 0.5 * dsin(lat * 38 + 4 * tiled_fbm(x, y, 320, 6, 3, 93));
                const double rim = smoothstep(pr - 60, pr, d);
                val = 0.35 + 0.25 * bands + 0.3 * rim;
            } else {
                val += 0.5 * gauss((d - pr) * (d - pr), 14);
            }
            img.at(x, y) = quantise(val);
        }
    }
    for (int s = 0; s < 260; ++s) {
        const int x = rng.below(320), y = rng.below(238);
        const double d = std::sqrt((x - pcx) * (x - pcx) + (y - pcy) * (y - pcy));
        if (d < pr + 6) continue;
        const int b = 140 + rng.below(116);
        img.at(x, y) = static_cast<uint8_t>(b);
        if (b > 230 && x > 0 && x < 319 && y > 0 && y < 237) {
            for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                img.at(x + dx, y + dy) = std::max(img.at(x + dx, y + dy), static_cast<uint8_t>(b / 2));
            }
        }
    }
    return img;
}

// Backdrop 7, scene 7: a sunburst of rays and rings around the point where
// the orb hangs (225, 100).
Indexed backdrop_7() {
    Indexed img(320, 240);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const double dx = x - 225.0, dy = y - 100.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            const double a = datan2(dy, dx);
            const double ray = 0.5 + 0.5 * dsin(18 * a + r * 0.012);
            const double ring = 0.5 + 0.5 * dsin(r * 0.09);
            double val = 0.18 + 0.32 * ray * dexp(-r / 260) + 0.1 * ring + 0.35 * dexp(-r / 60);
            val += 0.06 * (tiled_fbm(x, y, 320, 5, 3, 101) - 0.5);
            img.at(x, y) = quantise(val);
        }
    }
    return img;
}

// Backdrop 9, scene 9: a mirror-like checkered floor running to the horizon
// under a sky with a few soft clouds.
Indexed backdrop_9() {
    Indexed img(320, 240);
    const double horizon = 104;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            double val;
            if (y < horizon) {
                const double t = y / horizon;
                val = 0.3 + 0.45 * t;
                const double cloud = tiled_fbm(x, y * 2.5, 320, 4, 4, 111);
                if (cloud > 0.55) val += 0.7 * (cloud - 0.55);
            } else {
                const double depth = 90.0 / (y - horizon + 2);  // distance into the floor
                const double fx = (x - 160) * depth / 40.0, fz = depth * 6;
                const bool check = (static_cast<int>(std::floor(fx)) + static_cast<int>(std::floor(fz))) % 2 == 0;
                const double fog = smoothstep(0, 60, y - horizon);
                val = lerp(0.78, check ? 0.72 : 0.28, fog);
                val += 0.12 * (1 - fog) * (1 - (y - horizon) / 60);
            }
            img.at(x, y) = quantise(val);
        }
    }
    return img;
}

// Backdrop 10, the credits: black, with the title and the lines in a blue to
// white ramp, outlined; ORed over the last scene's mesh.
Indexed backdrop_10() {
    Indexed img(320, 240, 0);
    auto block = [&](const std::string& text, int y, int scale, int top, int bottom) {
        const int x = (320 - text_width(text, scale)) / 2;
        const int h = GLYPH_H * scale;
        // Outline first, then the letters with a vertical gradient.
        draw_text(text, x, y, scale, [&](int px, int py) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (px + dx >= 0 && px + dx < 320 && py + dy >= 0 && py + dy < 240 && img.at(px + dx, py + dy) == 0) {
                        img.at(px + dx, py + dy) = 48;
                    }
                }
            }
        });
        draw_text(text, x, y, scale, [&](int px, int py) {
            const double t = static_cast<double>(py - y) / h;
            img.set(px, py, static_cast<uint8_t>(lerp(top, bottom, t)));
        });
    };
    block("KORVAX", 22, 6, 255, 150);
    block("A REAL-TIME DEMO", 90, 2, 230, 170);
    block("FOR THE GP2X HANDHELD", 110, 2, 230, 170);
    block("CODE  GRAPHICS  MUSIC", 148, 2, 210, 150);
    block("BY THE KORVAX TEAM", 168, 2, 210, 150);
    block("THANKS FOR WATCHING", 208, 2, 255, 190);
    // A thin rule under the title.
    for (int x = 70; x < 250; ++x) img.at(x, 76) = static_cast<uint8_t>(100 + 60 * dsin(PI * (x - 70) / 180.0));
    return img;
}

// Overlay 4, scene 4: underwater caustics, bright webs on black (ORed over
// the frame at low brightness). 640 x 320, tiling.
Indexed overlay_4() {
    Indexed img(640, 320);
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 640; ++x) {
            const double wx = x + 10 * dsin(TAU * y / 160.0), wy = y + 10 * dsin(TAU * x / 320.0);
            double f1, f2, g1, g2;
            voronoi(wx, wy, 640, 320, 16, 8, 121, f1, f2);
            voronoi(wx * 1.0 + 17, wy + 29, 640, 320, 24, 12, 123, g1, g2);
            const double web = 1 - smoothstep(0, 5, f2 - f1);
            const double fine = 1 - smoothstep(0, 3, g2 - g1);
            const double val = 0.85 * web + 0.45 * fine;
            img.at(x, y) = quantise(val * val);
        }
    }
    return img;
}

// Backdrop palettes, in fade-table order: 0 credits, 1 sunburst, 2 space,
// 3 night sky, 4 pond, 5 violet, 6 chrome floor, 7 caustics.
Palette backdrop_palette(int t) {
    switch (t) {
        case 0:
            return gradient_palette({{0, rgb(0, 0, 0)}, {48, rgb(10, 40, 90)}, {128, rgb(30, 120, 230)},
                                     {200, rgb(140, 220, 255)}, {255, rgb(255, 255, 255)}});
        case 1:
            // Cool blues and teals, the opposite of the orb's gold and
            // salmon; neither end of the ramp is black or white.
            return gradient_palette({{0, rgb(10, 22, 48)}, {60, rgb(16, 46, 98)}, {130, rgb(24, 92, 150)},
                                     {190, rgb(50, 150, 185)}, {235, rgb(130, 205, 220)}, {255, rgb(185, 230, 238)}});
        case 2:
            return gradient_palette({{0, rgb(0, 0, 0)}, {60, rgb(6, 16, 55)}, {130, rgb(25, 85, 150)},
                                     {190, rgb(95, 175, 225)}, {230, rgb(205, 238, 255)}, {255, rgb(255, 255, 255)}});
        case 3:
            return gradient_palette({{0, rgb(0, 0, 0)}, {40, rgb(25, 6, 60)}, {100, rgb(100, 20, 120)},
                                     {160, rgb(230, 45, 125)}, {210, rgb(255, 145, 60)}, {245, rgb(255, 235, 130)},
                                     {255, rgb(255, 255, 255)}});
        case 4:
            return gradient_palette({{0, rgb(0, 10, 14)}, {60, rgb(0, 60, 70)}, {130, rgb(15, 140, 135)},
                                     {190, rgb(120, 215, 190)}, {235, rgb(225, 250, 235)}, {255, rgb(255, 255, 255)}});
        case 5:
            // Deep violets that stop short of black and of white, so the
            // yellow helix keeps a darker ground under the washed-out steps.
            return gradient_palette({{0, rgb(24, 10, 52)}, {70, rgb(40, 16, 90)}, {150, rgb(80, 42, 150)},
                                     {210, rgb(140, 110, 205)}, {255, rgb(190, 170, 235)}});
        case 6:
            return gradient_palette({{0, rgb(0, 0, 0)}, {60, rgb(5, 22, 65)}, {130, rgb(30, 95, 175)},
                                     {190, rgb(125, 185, 240)}, {235, rgb(222, 240, 255)}, {255, rgb(255, 255, 255)}});
        default:
            return gradient_palette({{0, rgb(0, 0, 0)}, {100, rgb(20, 80, 120)}, {180, rgb(80, 200, 230)},
                                     {255, rgb(225, 255, 255)}});
    }
}

}  // namespace

void build_images(OutputSet& out) {
    texture_0(out);
    texture_1(out);
    texture_2(out);
    texture_3(out);
    texture_4(out);
    texture_5(out);
    out["BACKDROP_2"] = backdrop_2().pixels;
    out["BACKDROP_3"] = backdrop_3().pixels;
    out["BACKDROP_5"] = backdrop_5().pixels;
    out["BACKDROP_6"] = backdrop_6().pixels;
    out["BACKDROP_7"] = backdrop_7().pixels;
    out["BACKDROP_9"] = backdrop_9().pixels;
    out["BACKDROP_10"] = backdrop_10().pixels;
    out["OVERLAY_4"] = overlay_4().pixels;
    for (int t = 0; t < 8; ++t) out["BACKDROP_PALETTE_" + std::to_string(t)] = encode_palette(backdrop_palette(t));
}

}  // namespace korvax::assetgen
