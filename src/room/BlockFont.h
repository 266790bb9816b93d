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
  // Rows top row first, '#' for a filled cell; every row of a glyph has the
  // same length, its width in cells.
  std::vector<std::string> rows;
  // The rows above the baseline: all seven of a plain letter, more where
  // accents stand above it, fewer than the rows where some hang below.
  int baseline = kGlyphRows;
  // The edge of one of its cells in the block font's cells.
  double scale = 1.0;
  // Whether a gap of one cell follows it (the block font's glyphs touch
  // their neighbours without it).
  bool spaced = true;

  int width() const { return static_cast<int>(rows.front().size()); }
};

// The glyph of a character (upper-case letters, digits, punctuation, the
// Christmas symbols), or nullptr when the font has none.
const Glyph* findGlyph(char32_t code);

// A block letter with the combining marks that follow it (in canonical
// order) drawn in the same cells: above it, below it, or a horn at its top
// right. False when the font draws one of the marks not.
bool accentedGlyph(const Glyph& letter, const std::u32string& marks, Glyph& accented);

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
