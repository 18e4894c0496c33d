// Collects the model assets, texture-coordinate tables, key shapes and edge
// lists into the output set.
#include <stdexcept>

#include "models_internal.h"

namespace korvax::assetgen {

namespace {

void expect_counts(const Mesh& m, size_t vertices, size_t faces, const char* name) {
    if (m.vertices.size() != vertices || m.faces.size() != faces) {
        throw std::runtime_error(std::string(name) + ": " + std::to_string(m.vertices.size()) + " vertices, " +
                                 std::to_string(m.faces.size()) + " faces");
    }
}

void emit_keys(OutputSet& out, const ModelSet& s) {
    for (const KeyShape& k : s.keys) out[k.name] = encode_key(k.positions, k.shift, k.offset);
}

}  // namespace

void build_models(OutputSet& out) {
    const ModelSet m0 = make_city();
    expect_counts(m0.mesh, 791, 1578, "model 0");
    out["MODEL_0"] = encode_model(m0.mesh);
    out["UV_TABLE_0"] = encode_uv_table(m0.mesh);

    const ModelSet m1 = make_tiered_tower();
    expect_counts(m1.mesh, 795, 2280, "model 1");
    out["MODEL_1"] = encode_model(m1.mesh);

    const ModelSet m2 = make_orb_and_moon();
    expect_counts(m2.mesh, 158, 308, "model 2");
    out["MODEL_2"] = encode_model(m2.mesh);
    emit_keys(out, m2);

    const Mesh m3 = make_helix_points();
    expect_counts(m3, 572, 0, "model 3");
    out["MODEL_3"] = encode_model(m3);

    const ModelSet m4 = make_koi();
    expect_counts(m4.mesh, 331, 658, "model 4");
    out["MODEL_4"] = encode_model(m4.mesh);
    out["UV_TABLE_4"] = encode_uv_table(m4.mesh);
    emit_keys(out, m4);

    const Mesh m5 = make_lotus();
    expect_counts(m5, 369, 782, "model 5");
    out["MODEL_5"] = encode_model(m5);
    out["UV_TABLE_5"] = encode_uv_table(m5);

    const Mesh m6 = make_space_station();
    expect_counts(m6, 502, 980, "model 6");
    out["MODEL_6"] = encode_model(m6);
    out["UV_TABLE_6"] = encode_uv_table(m6);

    const Mesh m6a = make_station_core();
    expect_counts(m6a, 110, 216, "model 6 appended");
    out["MODEL_6_APPENDED"] = encode_model(m6a);

    const Mesh m7 = make_floor_grid();
    expect_counts(m7, 1089, 1, "model 7");
    out["MODEL_7"] = encode_model(m7);

    const Mesh m8 = make_torus();
    expect_counts(m8, 576, 1152, "model 8");
    out["MODEL_8"] = encode_model(m8);

    const Mesh m9 = make_faceted_disc();
    expect_counts(m9, 302, 601, "model 9");
    out["MODEL_9"] = encode_model(m9);

    const ModelSet m10 = make_liquid_drop();
    expect_counts(m10.mesh, 194, 384, "model 10");
    out["MODEL_10"] = encode_model(m10.mesh);
    emit_keys(out, m10);

    const ModelSet m11 = make_lobed_sphere();
    expect_counts(m11.mesh, 1202, 2400, "model 11");
    out["MODEL_11"] = encode_model(m11.mesh);
    emit_keys(out, m11);

    out["EDGE_LIST_2"] = make_grid_edges();
    out["EDGE_LIST_5"] = make_helix_edges();
}

}  // namespace korvax::assetgen
