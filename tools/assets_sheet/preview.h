// A small floating-point renderer for looking at the model assets: it reads
// the bytes the way the loader does, projects with the pipeline's scale
// (l = 2*(2,200,000 / (z + 670,000)) + 1), culls with the same winding test,
// sorts far to near and fills triangles with a texture, an environment map
// or flat lighting. For judging shapes and texture layouts only; the demo
// itself draws through its fixed-point pipeline.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace korvax::assets_sheet {

struct Canvas {
    int width = 320, height = 240;
    std::vector<uint16_t> pixels = std::vector<uint16_t>(320 * 240, 0);
};

struct PreviewFace {
    int a = 0, b = 0, c = 0;  // vertex slots (0 = the empty slot at the origin)
    int material = 0;
    std::array<int, 6> uv{};  // texels, as the loader leaves them
};

struct PreviewMesh {
    std::vector<std::array<double, 3>> vertices{{0, 0, 0}};  // slot 0 at the origin
    std::vector<int> groups{0};
    std::vector<PreviewFace> faces;
};

// Parses a model asset (and its texture-coordinate table, when given) the
// way the loader does: planar coordinates from x and z, then the table.
PreviewMesh parse_model(const uint8_t* asset, const uint8_t* uv_table);
// Appends src with its groups raised by group_offset.
void append_mesh(PreviewMesh& dst, const PreviewMesh& src, int group_offset);
void scale(PreviewMesh& m, int group, double factor);       // group < 0: all
void translate(PreviewMesh& m, int group, double x, double y, double z);
// Overwrites vertex slots first.. with key shape records (x, y, z, 0), each
// decoded as offset + (value >> shift).
void apply_key(PreviewMesh& m, const uint8_t* key, int count, int first, int shift, std::array<int, 3> offset);

using Matrix = std::array<double, 9>;
Matrix rotation_from_angles(double a, double b, double c);  // Ry(a) Rx(b) Rz(c), angles in 1024ths
Matrix camera_view(double t);  // the scenes' camera between keys 3 and 4, t in 0..1
Matrix multiply(const Matrix& a, const Matrix& b);

struct Material {
    int mode = 0;  // 0 texture, 1 environment map, 2 flat lit, 4 texture ORed over a quartered background
    uint16_t ramp_from = 0x0821, ramp_to = 0xFFFF;
};

// Draws the mesh with one matrix per group (groups beyond the list use the
// last one), around the screen centre (cx, cy). Faces that name the empty
// slot 0 project a corner to the screen's top-left corner, as the pipeline
// leaves that slot; skip_empty_slot leaves them out instead.
void render(Canvas& canvas, const PreviewMesh& mesh, const std::vector<Matrix>& group_matrices, int cx, int cy,
            const std::array<Material, 16>& materials, const uint16_t* texture, bool skip_empty_slot = false);

}  // namespace korvax::assets_sheet
