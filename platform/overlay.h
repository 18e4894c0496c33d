// What the frame loop draws over a scene.
#pragma once

namespace korvax {

// The volume bar: 256 columns (22..277) by 11 rows (190..200) of the render
// target, the volume's share lit. Nothing is drawn while no render target has
// been set.
void draw_volume_bar();

}  // namespace korvax
