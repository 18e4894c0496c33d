// Declarations shared by the model generator files.
#pragma once

#include <string>
#include <vector>

#include "mesh.h"
#include "shapes.h"

namespace korvax::assetgen {

// A model with the key shapes that animate it (if any).
struct KeyShape {
    std::string name;
    std::vector<Vec3d> positions;  // model units, one per stored record
    int shift = 0;
    Vec3d offset{};
};

struct ModelSet {
    Mesh mesh;
    std::vector<KeyShape> keys;
};

ModelSet make_model_0();   // city on a plaza
ModelSet make_model_1();   // five-tier tower
ModelSet make_model_2();   // morphing orb and its moon
Mesh make_model_3();       // double helix points
ModelSet make_model_4();   // koi
Mesh make_model_5();       // lotus
Mesh make_model_6();       // space station
Mesh make_model_6_appended();  // station core
Mesh make_model_7();       // floor grid points
Mesh make_model_8();       // torus
Mesh make_model_9();       // flattened faceted sphere
ModelSet make_model_10();  // liquid blob
ModelSet make_model_11();  // morphing sphere

Bytes make_edge_list_2();
Bytes make_edge_list_5();

// Throws with the message when it is not empty.
void require(const std::string& problem, const char* what);
void require(bool ok, const char* what);

}  // namespace korvax::assetgen
