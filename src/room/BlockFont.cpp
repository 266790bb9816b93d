#include "room/BlockFont.h"

#include <algorithm>

namespace room {

namespace {

// Rows top to bottom. Letters and digits are five cells wide; the narrow
// signs are narrower, so a line of them does not look gappy.
const std::vector<Glyph>& font() {
  static const std::vector<Glyph> glyphs = {
      {U'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
      {U'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
      {U'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
      {U'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
      {U'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
      {U'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
      {U'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
      {U'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
      {U'I', {"###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
      {U'J', {"..###", "...#.", "...#.", "...#.", "#..#.", "#..#.", ".##.."}},
      {U'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
      {U'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
      {U'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
      {U'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
      {U'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
      {U'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
      {U'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
      {U'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
      {U'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
      {U'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
      {U'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
      {U'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
      {U'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
      {U'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
      {U'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
      {U'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
      {U'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
      {U'1', {".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"}},
      {U'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
      {U'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
      {U'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
      {U'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
      {U'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
      {U'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
      {U'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
      {U'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
      {U' ', {"...", "...", "...", "...", "...", "...", "..."}},
      {U'!', {"#", "#", "#", "#", "#", ".", "#"}},
      {U'&', {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"}},
      {U'-', {"...", "...", "...", "###", "...", "...", "..."}},
      {U'.', {".", ".", ".", ".", ".", ".", "#"}},
      {U'\'', {"#", "#", ".", ".", ".", ".", "."}},
      {U'\u2665', {".##.##.", "#######", "#######", "#######", ".#####.", "..###..", "...#..."}},
      // Punctuation people write, and the letters of Latin alphabets that
      // are no letter with a mark.
      {U',', {"..", "..", "..", "..", "..", ".#", "#."}},
      {U';', {"..", "..", ".#", "..", "..", ".#", "#."}},
      {U':', {".", ".", "#", ".", ".", "#", "."}},
      {U'?', {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."}},
      {U'\u00BF', {"..#..", ".....", "..#..", ".#...", "#....", "#...#", ".###."}},
      {U'\u00A1', {"#", ".", "#", "#", "#", "#", "#"}},
      {U'"', {"#.#", "#.#", "...", "...", "...", "...", "..."}},
      {U'\u201C', {"#.#", "#.#", "...", "...", "...", "...", "..."}},
      {U'\u201D', {"#.#", "#.#", "...", "...", "...", "...", "..."}},
      {U'\u2019', {"#", "#", ".", ".", ".", ".", "."}},
      {U'(', {"..#", ".#.", "#..", "#..", "#..", ".#.", "..#"}},
      {U')', {"#..", ".#.", "..#", "..#", "..#", ".#.", "#.."}},
      {U'/', {"....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."}},
      {U'+', {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
      {U'=', {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
      {U'\u20AC', {"..###", ".#...", "####.", ".#...", "####.", ".#...", "..###"}},
      {U'$', {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."}},
      {U'\u00A3', {"..##.", ".#..#", ".#...", "####.", ".#...", ".#...", "#####"}},
      {U'\u2026', {".....", ".....", ".....", ".....", ".....", ".....", "#.#.#"}},
      {U'\u0141', {"#....", "#....", "#.#..", "##...", "#....", "#....", "#####"}},
      {U'\u00D8', {".####", "#..##", "#.#.#", "#.#.#", "#.#.#", "##..#", "####."}},
      {U'\u0110', {".####.", ".#...#", ".#...#", "###..#", ".#...#", ".#...#", ".####."}},
      {U'\u00C6', {".######", "#..#...", "#..#...", "#######", "#..#...", "#..#...", "#..####"}},
      {U'\u0152', {".######", "#..#...", "#..#...", "#..####", "#..#...", "#..#...", ".######"}},
      // The Christmas symbols, in the letters' cells rather than in another
      // font's, so a greeting stays one style.
      {U'\u2605', {"...#...", "..###..", "#######", ".#####.", "..###..", ".##.##.", "##...##"}},
      {U'\u2B50', {"...#...", "..###..", "#######", ".#####.", "..###..", ".##.##.", "##...##"}},
      {U'\u2606', {"...#...", "..#.#..", "###.###", "#.....#", ".#...#.", ".#.#.#.", "##...##"}},
      {U'\U0001F31F', {"#..#..#", "..###..", "#######", ".#####.", "..###..", ".##.##.", "##...##"}},
      {U'\u2728', {"..#....", "..#....", "#####..", "..#..#.", "..#.###", ".....#.", "......."}},
      {U'\u2744', {"#..#..#", ".#.#.#.", "..###..", "#######", "..###..", ".#.#.#.", "#..#..#"}},
      {U'\u2603', {".###.", ".#.#.", ".###.", "#####", "#...#", "#...#", "#####"}},
      {U'\U0001F384', {"...#...", "..###..", ".#####.", "..###..", ".#####.", "#######", "...#..."}},
      {U'\U0001F385', {"....##.", "..####.", ".#####.", "#######", "#.#.#.#", "#######", ".#####."}},
      {U'\U0001F936', {"#.###.#", ".#####.", "#######", "#.#.#.#", "#######", ".#####.", "..###.."}},
      {U'\U0001F381', {".##.##.", "...#...", "#######", "#..#..#", "#######", "#..#..#", "#######"}},
      {U'\U0001F514', {"...#...", "..###..", ".#####.", ".#####.", ".#####.", "#######", "...#..."}},
      {U'\U0001F56F', {"..#..", ".###.", "..#..", "#####", ".###.", ".###.", ".###."}},
      {U'\U0001F98C', {"#.#.#.#", ".#...#.", "..###..", "..#.#..", "..###..", "...#...", "..###.."}},
  };
  return glyphs;
}

enum class Place { Above, Below, Right };

// A combining mark as the block font draws it: `rows` centred over (or
// under) the letter, `gap` empty rows from it.
struct Mark {
  char32_t code;
  Place place;
  int gap;
  std::vector<std::string> rows;
};

const std::vector<Mark>& marks() {
  static const std::vector<Mark> all = {
      {0x0300, Place::Above, 1, {"#..", ".#."}},        // grave
      {0x0301, Place::Above, 1, {"..#", ".#."}},        // acute
      {0x0302, Place::Above, 1, {".#.", "#.#"}},        // circumflex
      {0x0303, Place::Above, 1, {".##.#", "#..#."}},    // tilde
      {0x0304, Place::Above, 1, {"###"}},               // macron
      {0x0306, Place::Above, 1, {"#..#", ".##."}},      // breve
      {0x0307, Place::Above, 1, {"#"}},                 // dot
      {0x0308, Place::Above, 1, {"#.#"}},               // diaeresis
      {0x0309, Place::Above, 1, {"##", ".#", "#."}},    // hook
      {0x030A, Place::Above, 1, {".#.", "#.#", ".#."}}, // ring
      {0x030B, Place::Above, 1, {".#.#", "#.#."}},      // double acute
      {0x030C, Place::Above, 1, {"#.#", ".#."}},        // caron
      {0x031B, Place::Right, 0, {"#", "#"}},            // horn
      {0x0323, Place::Below, 1, {"#"}},                 // dot below
      {0x0326, Place::Below, 1, {"#", "#."}},           // comma below
      {0x0327, Place::Below, 0, {".#", "##"}},          // cedilla
      {0x0328, Place::Below, 0, {"#.", ".#"}},          // ogonek
  };
  return all;
}

const Mark* findMark(char32_t code) {
  for (const Mark& mark : marks()) {
    if (mark.code == code) return &mark;
  }
  return nullptr;
}

int markWidth(const Mark& mark) { return static_cast<int>(mark.rows.front().size()); }

// Draws `rows` into `canvas` with their top left cell at (row, column);
// filled cells only, so marks never erase the letter.
void stamp(std::vector<std::string>& canvas, const std::vector<std::string>& rows, int row,
           int column) {
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      if (rows[r][c] == '#') canvas[row + r][column + c] = '#';
    }
  }
}

struct Run {
  int top = 0;
  int bottom = 0;  // inclusive
  bool taken = false;
};

std::vector<Run> columnRuns(const Glyph& glyph, int column) {
  std::vector<Run> runs;
  for (int row = 0; row < static_cast<int>(glyph.rows.size()); ++row) {
    if (glyph.rows[row][column] != '#') continue;
    if (!runs.empty() && runs.back().bottom == row - 1) {
      runs.back().bottom = row;
    } else {
      runs.push_back({row, row});
    }
  }
  return runs;
}

}  // namespace

const Glyph* findGlyph(char32_t code) {
  for (const Glyph& glyph : font()) {
    if (glyph.code == code) return &glyph;
  }
  return nullptr;
}

const char* fontCharacters() { return "A-Z, 0-9, space and ! & - . ' \u2665"; }

bool accentedGlyph(const Glyph& letter, const std::u32string& markCodes, Glyph& accented) {
  std::vector<const Mark*> above, below;
  const Mark* right = nullptr;
  int width = letter.width();
  for (char32_t code : markCodes) {
    const Mark* mark = findMark(code);
    if (mark == nullptr || (mark->place == Place::Right && right != nullptr)) return false;
    if (mark->place == Place::Above) above.push_back(mark);
    if (mark->place == Place::Below) below.push_back(mark);
    if (mark->place == Place::Right) right = mark;
    if (mark->place != Place::Right) width = std::max(width, markWidth(*mark));
  }
  int top = 0, bottom = 0;
  for (const Mark* mark : above) top += mark->gap + static_cast<int>(mark->rows.size());
  for (const Mark* mark : below) bottom += mark->gap + static_cast<int>(mark->rows.size());
  // A letter narrower than its mark is centred under it.
  const int left = (width - letter.width()) / 2;
  const int total = width + (right != nullptr ? 1 : 0);
  const int rows = top + static_cast<int>(letter.rows.size()) + bottom;
  accented = letter;
  accented.rows.assign(rows, std::string(total, '.'));
  accented.baseline = top + letter.baseline;
  stamp(accented.rows, letter.rows, top, left);
  // Marks above stack upwards from the letter, those below downwards, each
  // in the order written, as canonical order puts the nearest first.
  int edge = top;
  for (const Mark* mark : above) {
    edge -= mark->gap + static_cast<int>(mark->rows.size());
    stamp(accented.rows, mark->rows, edge, (width - markWidth(*mark)) / 2);
  }
  edge = top + static_cast<int>(letter.rows.size());
  for (const Mark* mark : below) {
    edge += mark->gap;
    stamp(accented.rows, mark->rows, edge, (width - markWidth(*mark)) / 2);
    edge += static_cast<int>(mark->rows.size());
  }
  if (right != nullptr) stamp(accented.rows, right->rows, top, left + letter.width());
  return true;
}

std::vector<CellRect> glyphRectangles(const Glyph& glyph) {
  const int width = glyph.width();
  std::vector<std::vector<Run>> runs;
  for (int column = 0; column < width; ++column) runs.push_back(columnRuns(glyph, column));
  std::vector<CellRect> rectangles;
  for (int column = 0; column < width; ++column) {
    for (const Run& run : runs[column]) {
      if (run.taken) continue;  // part of a rectangle from the left
      int right = column + 1;
      for (; right < width; ++right) {
        bool matched = false;
        for (Run& next : runs[right]) {
          if (!next.taken && next.top == run.top && next.bottom == run.bottom) {
            next.taken = true;
            matched = true;
          }
        }
        if (!matched) break;
      }
      rectangles.push_back({column, run.top, right - column, run.bottom - run.top + 1});
    }
  }
  return rectangles;
}

}  // namespace room
