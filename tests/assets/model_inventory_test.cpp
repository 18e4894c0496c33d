// The embedded model assets against the inventory the loader and the scenes
// rely on: layout, counts, groups, materials, coordinate ranges, texture
// coordinate tables and the special cases, read with the suite's own parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "asset_reader.h"

using namespace korvax;
using namespace korvax::asset_test;

namespace {

struct Range {
    int lo, hi;
};

struct InventoryRow {
    const char* name;
    AssetId id;
    unsigned n, vertices, faces;
    Range x, y, z;
    std::set<unsigned> groups;
    std::map<int, size_t> materials;  // material -> faces
    AssetId uv_table;
    size_t uv_bytes;  // 0: no table
};

const InventoryRow INVENTORY[] = {
    {"slot 0", AssetId::MODEL_0, 792, 791, 1578, {-5624, 2904}, {0, 4104}, {-3480, 3496}, {0}, {{0, 1264}, {3, 314}},
     AssetId::UV_TABLE_0, 9468},
    {"slot 1", AssetId::MODEL_1, 796, 795, 2280, {-2520, 2600}, {-2712, 2312}, {0, 4112}, {0},
     {{0, 456}, {41, 456}, {82, 456}, {123, 456}, {164, 456}}, AssetId::COUNT, 0},
    {"slot 2", AssetId::MODEL_2, 159, 158, 308, {-552, 552}, {-552, 552}, {-528, 800}, {0, 1}, {{0, 156}, {2, 80}, {3, 72}},
     AssetId::COUNT, 0},
    {"slot 3", AssetId::MODEL_3, 573, 572, 0, {-1400, 1400}, {-4008, 4008}, {-1400, 1400}, {0}, {}, AssetId::COUNT, 0},
    {"slot 4", AssetId::MODEL_4, 332, 331, 658, {-920, 912}, {0, 800}, {-1120, 896}, {0}, {{0, 658}}, AssetId::UV_TABLE_4,
     3948},
    {"slot 5", AssetId::MODEL_5, 370, 369, 782, {-1264, 1264}, {-1144, 2048}, {-1264, 1264}, {0}, {{0, 782}},
     AssetId::UV_TABLE_5, 4692},
    {"slot 6", AssetId::MODEL_6, 503, 502, 980, {-2048, 2048}, {-832, 1672}, {-2152, 1816}, {0}, {{0, 440}, {3, 540}},
     AssetId::UV_TABLE_6, 5880},
    {"slot 6 appended", AssetId::MODEL_6_APPENDED, 111, 110, 216, {-320, 320}, {-336, 336}, {-256, 304}, {0}, {{2, 216}},
     AssetId::COUNT, 0},
    {"slot 7", AssetId::MODEL_7, 1090, 1089, 1, {-256, 256}, {0, 0}, {-256, 256}, {0}, {{0, 1}}, AssetId::COUNT, 0},
    {"slot 8", AssetId::MODEL_8, 577, 576, 1152, {-440, 384}, {-392, 456}, {-448, 344}, {0}, {{0, 1152}}, AssetId::COUNT, 0},
    {"slot 9", AssetId::MODEL_9, 303, 302, 601, {-1544, 1552}, {-1544, 1544}, {-1112, 1112}, {0}, {{0, 601}},
     AssetId::COUNT, 0},
    {"slot 10", AssetId::MODEL_10, 195, 194, 384, {-192, 168}, {-304, 352}, {-264, 368}, {0}, {{0, 384}}, AssetId::COUNT, 0},
    {"slot 11", AssetId::MODEL_11, 1203, 1202, 2400, {-1248, 1256}, {-1248, 1248}, {-792, 792}, {0}, {{0, 2400}},
     AssetId::COUNT, 0},
};

// Every axis stays inside its range and reaches to within a tenth of the
// range's span of both ends.
void expect_range(const char* what, const char* axis, int lo, int hi, Range r) {
    EXPECT_GE(lo, r.lo) << what << " " << axis;
    EXPECT_LE(hi, r.hi) << what << " " << axis;
    const double slack = 0.1 * (r.hi - r.lo);
    EXPECT_LE(lo - r.lo, slack) << what << " " << axis << " stops short of " << r.lo;
    EXPECT_LE(r.hi - hi, slack) << what << " " << axis << " stops short of " << r.hi;
}

// Occurrences of each vertex among the face corners (a repeated corner counts
// twice), as the vertex normal table collects them.
std::vector<int> corner_counts(const Model& m) {
    std::vector<int> counts(m.vertices.size(), 0);
    for (const Face& f : m.faces) {
        for (int c : {f.a, f.b, f.c}) {
            if (c >= 0) ++counts[static_cast<size_t>(c)];
        }
    }
    return counts;
}

}  // namespace

TEST(ModelInventory, LayoutCountsGroupsMaterialsAndRanges) {
    for (const InventoryRow& row : INVENTORY) {
        SCOPED_TRACE(row.name);
        const Bytes b = bytes_of(row.id);
        ASSERT_NE(b.data, nullptr);
        const Model m = read_model(b);
        ASSERT_EQ(m.problem, "");
        EXPECT_EQ(std::string(m.magic.begin(), m.magic.end()), "KORVAX3D");
        EXPECT_EQ(m.n, row.n);
        EXPECT_EQ(m.block_length, 8 * row.n);
        EXPECT_EQ(m.vertices.size(), row.vertices);
        EXPECT_EQ(m.closing, (std::array<int, 4>{0, 0, 0, 0})) << "the last vertex record is all zero";
        EXPECT_EQ(m.face_word >> 16, 0u) << "face count high half";
        EXPECT_EQ(m.faces.size(), row.faces);
        // The asset and one zero byte after it, nothing more.
        EXPECT_EQ(b.size, m.layout_size + 1);
        EXPECT_EQ(b[b.size - 1], 0);

        std::set<unsigned> groups;
        int lo[3] = {1 << 20, 1 << 20, 1 << 20}, hi[3] = {-(1 << 20), -(1 << 20), -(1 << 20)};
        for (const Vertex& v : m.vertices) {
            groups.insert(v.group);
            const int c[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], c[k]);
                hi[k] = std::max(hi[k], c[k]);
            }
        }
        EXPECT_EQ(groups, row.groups);
        expect_range(row.name, "x", lo[0], hi[0], row.x);
        expect_range(row.name, "y", lo[1], hi[1], row.y);
        expect_range(row.name, "z", lo[2], hi[2], row.z);

        std::map<int, size_t> materials;
        for (const Face& f : m.faces) {
            ++materials[f.material];
            for (int c : {f.a, f.b, f.c}) {
                EXPECT_GE(c, -1);
                EXPECT_LT(c, static_cast<int>(row.vertices));
            }
        }
        EXPECT_EQ(materials, row.materials);

        if (row.uv_bytes != 0) {
            EXPECT_EQ(bytes_of(row.uv_table).size, row.uv_bytes);
            EXPECT_EQ(row.uv_bytes, 6 * m.faces.size()) << "one group of six per face";
        }
    }
}

TEST(ModelInventory, SpecialCases) {
    // Slot 3 is a point set.
    EXPECT_TRUE(read_model(bytes_of(AssetId::MODEL_3)).faces.empty());

    // Slot 7: the 33 x 33 grid, spacing 16, in y = 0, and one face of three -1.
    {
        const Model m = read_model(bytes_of(AssetId::MODEL_7));
        std::set<std::pair<int, int>> points;
        for (const Vertex& v : m.vertices) {
            EXPECT_EQ(v.y, 0);
            EXPECT_EQ((v.x + 256) % 16, 0);
            EXPECT_EQ((v.z + 256) % 16, 0);
            points.insert({v.x, v.z});
        }
        EXPECT_EQ(points.size(), 1089u) << "every grid point once";
        ASSERT_EQ(m.faces.size(), 1u);
        EXPECT_EQ(m.faces[0].a, -1);
        EXPECT_EQ(m.faces[0].b, -1);
        EXPECT_EQ(m.faces[0].c, -1);
    }

    // Slot 1: 720 faces with a repeated corner, 108 that use -1.
    {
        const Model m = read_model(bytes_of(AssetId::MODEL_1));
        size_t repeated = 0, empty_slot = 0;
        for (const Face& f : m.faces) {
            if (f.a == f.b || f.b == f.c || f.a == f.c) ++repeated;
            if (f.a == -1 || f.b == -1 || f.c == -1) ++empty_slot;
        }
        EXPECT_EQ(repeated, 720u);
        EXPECT_EQ(empty_slot, 108u);
    }

    // Slots 9 and 11 have exactly two vertices in more than 21 faces (at most
    // 36); no other model needs the long path of the vertex normals.
    for (const InventoryRow& row : INVENTORY) {
        SCOPED_TRACE(row.name);
        const std::vector<int> counts = corner_counts(read_model(bytes_of(row.id)));
        const auto crowded = std::count_if(counts.begin(), counts.end(), [](int c) { return c > 21; });
        const int most = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
        if (row.id == AssetId::MODEL_9 || row.id == AssetId::MODEL_11) {
            EXPECT_EQ(crowded, 2);
            EXPECT_LE(most, 36);
        } else {
            EXPECT_EQ(crowded, 0);
        }
    }
}

// The pipeline draws only faces whose corners turn one way on screen, which
// for these models means faces must wind so that (b - a) x (c - a) points out
// of the solid. Each closed part of the solid models must be a consistently
// wound closed surface enclosing a positive volume.
TEST(ModelInventory, SolidPartsAreClosedAndFaceOutwards) {
    const struct {
        AssetId id;
        size_t faces;  // how many leading faces form the solid parts
        size_t parts;
    } solids[] = {
        {AssetId::MODEL_0, 1578, 1}, {AssetId::MODEL_2, 308, 2},  {AssetId::MODEL_4, 658, 1},
        {AssetId::MODEL_6, 980, 7},  {AssetId::MODEL_6_APPENDED, 216, 1}, {AssetId::MODEL_8, 1152, 1},
        {AssetId::MODEL_9, 600, 1},  {AssetId::MODEL_10, 384, 1}, {AssetId::MODEL_11, 2400, 1},
    };
    for (const auto& s : solids) {
        const Model m = read_model(bytes_of(s.id));
        SCOPED_TRACE(static_cast<int>(s.id));
        const std::vector<Face> faces(m.faces.begin(), m.faces.begin() + static_cast<long>(s.faces));
        const auto parts = components(faces, m.vertices.size());
        EXPECT_EQ(parts.size(), s.parts);
        for (const auto& part : parts) {
            EXPECT_TRUE(closed_and_consistent(part));
            EXPECT_GT(enclosed_volume(part, [&](int v) { return position(m, v); }), 0.0);
        }
    }
    // Slot 9's last face repeats one of its faces with the same winding.
    const Model m9 = read_model(bytes_of(AssetId::MODEL_9));
    const Face& extra = m9.faces.back();
    EXPECT_TRUE(std::any_of(m9.faces.begin(), m9.faces.end() - 1, [&](const Face& f) {
        return f.a == extra.a && f.b == extra.b && f.c == extra.c;
    }));
}

// The lotus: a closed body with six thin petals whose every face has a twin
// of opposite winding, so each petal shows from both sides.
TEST(ModelInventory, LotusPetalsShowFromBothSides) {
    const Model m = read_model(bytes_of(AssetId::MODEL_5));
    std::map<std::set<int>, std::vector<Face>> by_corners;
    for (const Face& f : m.faces) by_corners[{f.a, f.b, f.c}].push_back(f);
    size_t twins = 0;
    for (const auto& [corners, fs] : by_corners) {
        if (fs.size() == 2) {
            twins += 2;
            const Face &p = fs[0], &q = fs[1];
            // q is p with the opposite orientation: a cyclic rotation of (a, c, b).
            const bool opposite = (q.a == p.a && q.b == p.c && q.c == p.b) || (q.a == p.c && q.b == p.b && q.c == p.a) ||
                                  (q.a == p.b && q.b == p.a && q.c == p.c);
            EXPECT_TRUE(opposite);
        }
    }
    EXPECT_EQ(twins, 6u * 2 * 2 * 3 * 4);  // six petals of 3 x 4 quads, two triangles, two sides
    std::vector<Face> single;
    for (const auto& [corners, fs] : by_corners) {
        if (fs.size() == 1) single.push_back(fs[0]);
    }
    EXPECT_TRUE(closed_and_consistent(single));
    EXPECT_GT(enclosed_volume(single, [&](int v) { return position(m, v); }), 0.0);
}
