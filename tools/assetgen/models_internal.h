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

// Each model by the mesh slot it is loaded into.
ModelSet make_city();             // slot 0
ModelSet make_tiered_tower();     // slot 1
ModelSet make_orb_and_moon();     // slot 2, with the orb's key shapes
Mesh make_helix_points();         // slot 3
ModelSet make_koi();              // slot 4, with its swimming key shapes
Mesh make_lotus();                // slot 5
Mesh make_space_station();        // slot 6
Mesh make_station_core();         // slot 6, appended
Mesh make_floor_grid();           // slot 7
Mesh make_torus();                // slot 8
Mesh make_faceted_disc();         // slot 9
ModelSet make_liquid_drop();      // slot 10, with its key shapes
ModelSet make_lobed_sphere();     // slot 11, with its key shapes

Bytes make_grid_edges();   // edge list 2: the floor grid's lines
Bytes make_helix_edges();  // edge list 5: the helix strands and rungs

// Throws with the message when it is not empty.
void require(const std::string& problem, const char* what);
void require(bool ok, const char* what);

}  // namespace korvax::assetgen
