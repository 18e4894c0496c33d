// Key shapes of the seven vertex animations and the two edge lists, checked
// against the models they belong to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "asset_reader.h"

using namespace korvax;
using namespace korvax::asset_test;

namespace {

struct Store {
    const char* name;
    std::vector<AssetId> keys;
    size_t records;    // stored per key shape
    size_t vertices;   // used per frame
    AssetId model;
    int first_slot;    // vertex slot the frames are written from (asset vertex + 1)
    int shift;         // -1: stored as is
    int offset_z;
    bool first_is_model;  // the first key shape is the model's own shape
    double model_scale;   // key shapes : model (the lobed sphere's asset is its first key enlarged)
};

const Store STORES[] = {
    {"a", {AssetId::KEY_A0, AssetId::KEY_A1, AssetId::KEY_A2, AssetId::KEY_A3}, 114, 114, AssetId::MODEL_2, 43, 2, 655, true, 1.0},
    {"b", {AssetId::KEY_B0, AssetId::KEY_B1, AssetId::KEY_B2, AssetId::KEY_B3}, 331, 331, AssetId::MODEL_4, 1, 3, 0, true, 1.0},
    {"c", {AssetId::KEY_C0, AssetId::KEY_C1}, 38, 35, AssetId::MODEL_4, 59, 3, 0, false, 1.0},
    {"d", {AssetId::KEY_D0, AssetId::KEY_D1}, 20, 20, AssetId::MODEL_4, 285, 3, 0, false, 1.0},
    {"e", {AssetId::KEY_E0, AssetId::KEY_E1}, 20, 20, AssetId::MODEL_4, 305, 3, 0, false, 1.0},
    {"f", {AssetId::KEY_F0, AssetId::KEY_F1}, 194, 194, AssetId::MODEL_10, 1, -1, 0, true, 1.0},
    {"g", {AssetId::KEY_G0, AssetId::KEY_G1, AssetId::KEY_G2}, 1202, 1202, AssetId::MODEL_11, 1, -1, 0, true, 1.0 / 2.9},
};

// A stored record as the start-up precomputation leaves it: offset + (value >> shift).
Point decode(const std::array<int, 4>& r, int shift, int offset_z) {
    if (shift < 0) return {static_cast<double>(r[0]), static_cast<double>(r[1]), static_cast<double>(r[2])};
    return {static_cast<double>(r[0] >> shift), static_cast<double>(r[1] >> shift),
            static_cast<double>(offset_z + (r[2] >> shift))};
}

double extent(const Model& m) {
    double most = 0;
    for (const Vertex& v : m.vertices) most = std::max({most, std::fabs(1.0 * v.x), std::fabs(1.0 * v.y), std::fabs(1.0 * v.z)});
    return most;
}

}  // namespace

TEST(KeyShapes, RecordsAndTerminator) {
    for (const Store& s : STORES) {
        for (AssetId id : s.keys) {
            SCOPED_TRACE(std::string(s.name) + " key " + std::to_string(static_cast<int>(id)));
            const Bytes b = bytes_of(id);
            ASSERT_NE(b.data, nullptr);
            const KeyShape k = read_key(b);
            EXPECT_TRUE(k.terminated);
            EXPECT_EQ(k.records.size(), s.records) << "no all-zero record inside the data";
            EXPECT_EQ(b.size, 8 * (s.records + 1)) << "records and the terminator, nothing after";
            for (const auto& r : k.records) EXPECT_EQ(r[3], 0);
        }
    }
}

// Frames are written over the model's vertices from a fixed slot, so every
// key shape must describe those same vertices: the first key of a store that
// animates from the model's own shape equals the model exactly (or the model
// at the store's scale, to rounding), and every key stays near the vertices
// it replaces at that scale (a wrong run, scale or shift would put them far
// away).
TEST(KeyShapes, MatchTheVerticesTheyReplace) {
    for (const Store& s : STORES) {
        SCOPED_TRACE(s.name);
        const Model m = read_model(bytes_of(s.model));
        ASSERT_LE(s.first_slot - 1 + s.vertices, m.vertices.size());
        const double limit = 0.6 * extent(m) * s.model_scale;
        for (size_t k = 0; k < s.keys.size(); ++k) {
            const KeyShape key = read_key(bytes_of(s.keys[k]));
            ASSERT_EQ(key.records.size(), s.records);
            double worst = 0;
            for (size_t i = 0; i < s.vertices; ++i) {
                const Point p = decode(key.records[i], s.shift, s.offset_z);
                Point q = position(m, static_cast<int>(s.first_slot - 1 + i));
                q = {q.x * s.model_scale, q.y * s.model_scale, q.z * s.model_scale};
                if (k == 0 && s.first_is_model) {
                    const double rounding = s.model_scale == 1.0 ? 0.0 : 1.0;
                    EXPECT_NEAR(p.x, q.x, rounding) << i;
                    EXPECT_NEAR(p.y, q.y, rounding) << i;
                    EXPECT_NEAR(p.z, q.z, rounding) << i;
                }
                worst = std::max(worst, std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                                                  (p.z - q.z) * (p.z - q.z)));
            }
            EXPECT_LT(worst, limit) << "key " << k;
        }
    }
}

// Morphing moves vertices but keeps the faces: every key shape, and the
// halfway blend between consecutive keys, must still be a closed surface
// that faces outwards.
TEST(KeyShapes, ShapesStayClosedAndOutward) {
    const struct {
        AssetId model;
        std::vector<AssetId> keys;
        int first_slot, shift, offset_z;
        size_t faces_from, faces_to;  // the faces of the animated part
    } cases[] = {
        {AssetId::MODEL_11, {AssetId::KEY_G0, AssetId::KEY_G1, AssetId::KEY_G2}, 1, -1, 0, 0, 2400},
        {AssetId::MODEL_10, {AssetId::KEY_F0, AssetId::KEY_F1}, 1, -1, 0, 0, 384},
        {AssetId::MODEL_4, {AssetId::KEY_B0, AssetId::KEY_B1, AssetId::KEY_B2, AssetId::KEY_B3}, 1, 3, 0, 0, 658},
    };
    for (const auto& c : cases) {
        const Model m = read_model(bytes_of(c.model));
        std::vector<std::vector<Point>> shapes;
        for (AssetId id : c.keys) {
            const KeyShape k = read_key(bytes_of(id));
            std::vector<Point> pts;
            for (size_t v = 0; v < m.vertices.size(); ++v) pts.push_back(position(m, static_cast<int>(v)));
            for (size_t i = 0; i < k.records.size(); ++i) pts[c.first_slot - 1 + i] = decode(k.records[i], c.shift, c.offset_z);
            shapes.push_back(pts);
        }
        const std::vector<Face> faces(m.faces.begin() + static_cast<long>(c.faces_from), m.faces.begin() + static_cast<long>(c.faces_to));
        for (size_t k = 0; k < shapes.size(); ++k) {
            const auto& a = shapes[k];
            const auto& b = shapes[(k + 1) % shapes.size()];
            std::vector<Point> mid;
            for (size_t v = 0; v < a.size(); ++v) mid.push_back({(a[v].x + b[v].x) / 2, (a[v].y + b[v].y) / 2, (a[v].z + b[v].z) / 2});
            EXPECT_GT(enclosed_volume(faces, [&](int v) { return a[static_cast<size_t>(v)]; }), 0.0) << "key " << k;
            EXPECT_GT(enclosed_volume(faces, [&](int v) { return mid[static_cast<size_t>(v)]; }), 0.0) << "blend " << k;
        }
    }
    // The orb of slot 2 (its first 224 faces) under store a.
    const Model m2 = read_model(bytes_of(AssetId::MODEL_2));
    const std::vector<Face> orb(m2.faces.begin(), m2.faces.begin() + 224);
    for (AssetId id : {AssetId::KEY_A0, AssetId::KEY_A1, AssetId::KEY_A2, AssetId::KEY_A3}) {
        const KeyShape k = read_key(bytes_of(id));
        EXPECT_GT(enclosed_volume(orb, [&](int v) { return decode(k.records[static_cast<size_t>(v - 42)], 2, 655); }), 0.0);
    }
}

// The orb's shapes stay clear of the moon, which circles the centre at 550
// units or more.
TEST(KeyShapes, OrbShapesClearTheMoon) {
    for (AssetId id : {AssetId::KEY_A0, AssetId::KEY_A1, AssetId::KEY_A2, AssetId::KEY_A3}) {
        for (const auto& r : read_key(bytes_of(id)).records) {
            const Point p = decode(r, 2, 655);
            EXPECT_LT(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 550.0);
        }
    }
    const Model m2 = read_model(bytes_of(AssetId::MODEL_2));
    for (const Vertex& v : m2.vertices) {
        if (v.group == 1) {
            EXPECT_GE(std::sqrt(1.0 * v.x * v.x + 1.0 * v.y * v.y + 1.0 * v.z * v.z), 550.0);
        }
    }
}

namespace {

std::vector<std::pair<int, int>> read_edges(AssetId id, bool& terminated) {
    const Bytes b = bytes_of(id);
    std::vector<std::pair<int, int>> out;
    terminated = false;
    for (size_t off = 0; off + 4 <= b.size; off += 4) {
        const int a = le16s(b.data + off), c = le16s(b.data + off + 2);
        if (a == 0 && c == 0) {
            terminated = off + 4 == b.size;
            break;
        }
        out.push_back({a, c});
    }
    return out;
}

}  // namespace

// Edge list 2 joins the grid points of slot 7 (vertex slot = asset vertex + 1)
// along the grid's rows and columns and one diagonal of each cell.
TEST(EdgeLists, GridEdgesJoinNeighbours) {
    EXPECT_EQ(bytes_of(AssetId::EDGE_LIST_2).size, 12548u);
    bool terminated = false;
    const auto edges = read_edges(AssetId::EDGE_LIST_2, terminated);
    EXPECT_TRUE(terminated);
    ASSERT_EQ(edges.size(), 3136u);
    const Model grid = read_model(bytes_of(AssetId::MODEL_7));
    std::set<std::pair<int, int>> seen;
    size_t sides = 0, diagonals = 0;
    for (auto [a, b] : edges) {
        ASSERT_GE(std::min(a, b), 1);
        ASSERT_LE(std::max(a, b), 1089);
        EXPECT_TRUE(seen.insert({std::min(a, b), std::max(a, b)}).second) << "edge " << a << "-" << b << " twice";
        const Point p = position(grid, a - 1), q = position(grid, b - 1);
        const double d2 = (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z);
        if (d2 == 256) {
            ++sides;
        } else if (d2 == 512) {
            ++diagonals;
        } else {
            ADD_FAILURE() << "edge " << a << "-" << b << " joins points " << std::sqrt(d2) << " apart";
        }
    }
    EXPECT_EQ(sides, 2112u);
    EXPECT_EQ(diagonals, 1024u);
}

// Edge list 5 strings the 572 points of slot 3 into the two strands of the
// helix and the rungs between them: every point on a line, no line twice,
// strand lines short (a step across the strand's ribbon) and rungs across.
TEST(EdgeLists, HelixEdgesCoverEveryPoint) {
    EXPECT_EQ(bytes_of(AssetId::EDGE_LIST_5).size, 2460u);
    bool terminated = false;
    const auto edges = read_edges(AssetId::EDGE_LIST_5, terminated);
    EXPECT_TRUE(terminated);
    ASSERT_EQ(edges.size(), 614u);
    const Model helix = read_model(bytes_of(AssetId::MODEL_3));
    std::set<int> touched;
    std::set<std::pair<int, int>> seen;
    for (auto [a, b] : edges) {
        ASSERT_GE(std::min(a, b), 1);
        ASSERT_LE(std::max(a, b), 572);
        EXPECT_NE(a, b);
        EXPECT_TRUE(seen.insert({std::min(a, b), std::max(a, b)}).second);
        touched.insert(a);
        touched.insert(b);
        // Each line is level (a rung) or short (a strand step).
        const Point p = position(helix, a - 1), q = position(helix, b - 1);
        const double len = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z));
        EXPECT_TRUE(std::fabs(p.y - q.y) < 2 || len < 600) << a << "-" << b;
    }
    EXPECT_EQ(touched.size(), 572u);
}
