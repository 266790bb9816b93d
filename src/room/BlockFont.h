#pragma once

#include <string>
#include <vector>

namespace room {

// The block font of a personal greeting: each character a small picture of
// square cells, seven rows high, drawn here so the generator needs no font
// files. Seven rows stay readable down to the size of a twelve-letter line
// on the wall, where one cell is about two pixels of the window.

constexpr int kGlyphRows = 7;

struct Glyph {
  char32_t code = 0;
  // kGlyphRows rows, top row first, '#' for a filled cell; every row of a
  // glyph has the same length, its width in cells.
  std::vector<std::string> rows;

  int width() const { return static_cast<int>(rows.front().size()); }
};

// The glyph of a character (upper-case letters, digits, space, ! & - . '
// and the heart U+2665), or nullptr when the font has none.
const Glyph* findGlyph(char32_t code);

// The characters the font has, as a user would read them in a message.
const char* fontCharacters();

// A filled rectangle of cells: `column` from the left, `row` from the top.
struct CellRect {
  int column = 0;
  int row = 0;
  int width = 0;
  int height = 0;
};

// Rectangles that cover a glyph's filled cells exactly once each: vertical
// runs of cells, merged with identical runs of the columns to their right.
// Most strokes of the font are upright, so this takes few rectangles.
std::vector<CellRect> glyphRectangles(const Glyph& glyph);

}  // namespace room
