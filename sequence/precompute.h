// Start-up precomputation of textures, fade tables, morph stores and the camera path.
#pragma once

namespace korvax {

void precompute_assets();

}  // namespace korvax
