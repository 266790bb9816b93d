#pragma once

#include <map>
#include <string>

#include "room/BlockFont.h"

namespace room {

// Glyphs of GNU Unifont, for the characters the block font has no letter
// for: 16 rows of 8 or 16 pixels each, as its .hex files give them ("0041:"
// and 32 or 64 hexadecimal digits a line). The desktop reads the whole file;
// the page only the slices of it that a text needs, so a table holds
// whatever was read and nothing else.
class UnifontTable {
 public:
  // Adds the glyphs of .hex text; false with the line's number in `error`
  // when a line is not of that form (nothing of that text is kept then).
  bool addHexText(const std::string& text, std::string& error);

  // The character's glyph, sized to stand beside the block font's letters
  // (its capitals as tall as theirs, on the same baseline); false when the
  // table has none.
  bool find(char32_t code, Glyph& glyph) const;

  bool empty() const { return hex_.empty(); }

 private:
  std::map<char32_t, std::string> hex_;
};

// Unifont's rows above its baseline, and the edge of one of its pixels in
// the block font's cells: its capitals are ten pixels tall, the block
// font's seven cells.
constexpr int kUnifontRows = 16;
constexpr int kUnifontBaseline = 14;
constexpr double kUnifontScale = 0.7;

}  // namespace room
