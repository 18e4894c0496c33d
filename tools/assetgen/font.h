// A 5 x 7 bitmap font (capitals, digits and a little punctuation) for the
// text the generated images carry.
#pragma once

#include <functional>
#include <string>

namespace korvax::assetgen {

constexpr int GLYPH_W = 5, GLYPH_H = 7;

// Row r (0 = top) of the glyph of c as five bits, bit 4 the leftmost column;
// unknown characters are blank.
unsigned glyph_row(char c, int r);

// Width in pixels of s drawn at the given scale with one scaled column of
// spacing between glyphs.
int text_width(const std::string& s, int scale);

// Calls plot(x, y) for every set pixel of s drawn with its top-left corner at
// (x, y), each font pixel a scale x scale block.
void draw_text(const std::string& s, int x, int y, int scale, const std::function<void(int, int)>& plot);

}  // namespace korvax::assetgen
