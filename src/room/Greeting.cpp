#include "room/Greeting.h"

#include <algorithm>
#include <cstdio>

#include "room/CodePoints.h"
#include "room/TextRules.h"
#include "room/Shapes.h"

namespace room {

namespace {

// Cells between two glyphs and between the two lines.
constexpr int kGlyphGap = 1;
constexpr int kLineGap = 2;

// Decodes one UTF-8 character at `at` and moves past it. False for a byte
// that starts no well-formed character (overlong and surrogate forms too).
bool nextCharacter(const std::string& text, size_t& at, char32_t& code) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  int extra = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    code = lead & 0x1F;
    extra = 1;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    code = lead & 0x0F;
    extra = 2;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    code = lead & 0x07;
    extra = 3;
    minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - at <= static_cast<size_t>(extra)) return false;
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return false;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  at += 1 + extra;
  return true;
}

// How a message shows a character: itself when it reads on its own, its code
// point alone when it does not (a direction control would reverse the
// message, a combining mark would sit on the quote), and both when it is
// not plain ASCII.
std::string describe(const std::string& text, size_t from, size_t to, char32_t code) {
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
  if (!readsOnItsOwn(code)) return number;
  const std::string shown = "'" + text.substr(from, to - from) + "'";
  return code < 0x80 ? shown : shown + " (" + number + ")";
}

std::string utf8(char32_t code) {
  if (code < 0x80) return std::string(1, static_cast<char>(code));
  if (code < 0x800) {
    return {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
  }
  if (code < 0x10000) {
    return {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
            static_cast<char>(0x80 | (code & 0x3F))};
  }
  return {static_cast<char>(0xF0 | (code >> 18)), static_cast<char>(0x80 | ((code >> 12) & 0x3F)),
          static_cast<char>(0x80 | ((code >> 6) & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
}

std::string utf8(const std::u32string& text) {
  std::string out;
  for (char32_t code : text) out += utf8(code);
  return out;
}

// How a message names a character of the text after it was decoded.
std::string describe(char32_t code) {
  const std::string text = utf8(code);
  return describe(text, 0, text.size(), code);
}

constexpr char32_t kZeroWidthJoiner = 0x200D;

// Emoji presentation selectors and the joiner inside emoji sequences: the
// wall draws every symbol in its own style, and a sequence as its parts.
bool isEmojiSequencePart(char32_t code) {
  return code == 0xFE0E || code == 0xFE0F || code == kZeroWidthJoiner;
}

bool refuseCharacter(char32_t code, std::string& error) {
  const char* why = nullptr;
  switch (classifyCharacter(code)) {
    case CharacterClass::Allowed: break;
    case CharacterClass::Unassigned: why = "it is not assigned in Unicode"; break;
    case CharacterClass::PrivateUse: why = "it is for private use"; break;
    case CharacterClass::Control: why = "it is a control character"; break;
    case CharacterClass::Surrogate: why = "it is a lone surrogate"; break;
  }
  // Invisible, format and spacing characters would hide or reorder the
  // words; marks go with the letter before them.
  if (why == nullptr && !readsOnItsOwn(code) && !isCombiningMark(code) &&
      !isEmojiSequencePart(code)) {
    why = "it is not seen on its own";
  }
  if (why == nullptr) return false;
  // A character that is nothing yet, or means something only to its
  // sender, shows nothing between quotes: its number alone names it.
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
  const bool seen = classifyCharacter(code) == CharacterClass::Allowed;
  error = (seen ? describe(code) : std::string(number)) + " cannot be written on the wall: " + why;
  return true;
}

bool decode(const std::string& text, std::u32string& codes, std::string& error) {
  for (size_t at = 0; at < text.size();) {
    const size_t from = at;
    char32_t code = 0;
    if (!nextCharacter(text, at, code)) {
      char message[96];
      std::snprintf(message, sizeof message, "the text is not UTF-8: byte 0x%02X at byte %zu",
                    static_cast<unsigned>(static_cast<unsigned char>(text[from])), from + 1);
      error = message;
      return false;
    }
    if (refuseCharacter(code, error)) return false;
    codes += code;
  }
  return true;
}

std::vector<std::u32string> splitLines(const std::u32string& text) {
  std::vector<std::u32string> lines(1);
  for (char32_t code : text) {
    if (code == U'|') {
      lines.emplace_back();
    } else if (!isEmojiSequencePart(code)) {
      lines.back() += latinUpperCase(code);
    }
  }
  // Spaces at the ends of a line would only push it off centre.
  for (std::u32string& line : lines) {
    const size_t first = line.find_first_not_of(U' ');
    line = first == std::u32string::npos ? U"" : line.substr(first, line.find_last_not_of(U' ') - first + 1);
  }
  return lines;
}

// A letter and its marks from Unifont: the precomposed character where it
// has one, else the letter with the marks' own pixels laid over it.
bool unifontCluster(const std::u32string& cluster, const UnifontTable& unifont, Glyph& glyph,
                    char32_t& missing) {
  const std::u32string whole = composed(cluster);
  if (whole.size() == 1 && unifont.find(whole[0], glyph)) return true;
  if (!unifont.find(whole[0], glyph)) {
    missing = whole[0];
    return false;
  }
  for (size_t i = 1; i < whole.size(); ++i) {
    Glyph mark;
    if (!unifont.find(whole[i], mark) || mark.width() > glyph.width()) {
      missing = whole[i];
      return false;
    }
    const int offset = (glyph.width() - mark.width()) / 2;
    for (int r = 0; r < kUnifontRows; ++r) {
      for (int c = 0; c < mark.width(); ++c) {
        if (mark.rows[r][c] == '#') glyph.rows[r][offset + c] = '#';
      }
    }
  }
  return true;
}

// The glyph of one letter with the marks after it: the block font's where
// it has the letter and draws its marks, else Unifont's.
bool clusterGlyph(const std::u32string& cluster, const UnifontTable& unifont, Glyph& glyph,
                  std::string& error) {
  const std::u32string parts = decomposed(cluster);
  if (const Glyph* letter = findGlyph(parts[0])) {
    if (parts.size() == 1) {
      glyph = *letter;
      return true;
    }
    if (accentedGlyph(*letter, parts.substr(1), glyph)) return true;
  }
  char32_t missing = cluster[0];
  if (isCombiningMark(cluster[0])) {
    error = describe(cluster[0]) + " cannot be written on the wall: it has no letter to stand on";
    return false;
  }
  if (unifontCluster(cluster, unifont, glyph, missing)) return true;
  error = describe(missing) + " cannot be written on the wall: " +
          (unifont.empty() ? std::string("this build has only the letters ") + fontCharacters() +
                                 " and their accents"
                           : std::string("no glyph draws it"));
  return false;
}

bool lineGlyphs(const std::u32string& line, const UnifontTable& unifont, std::vector<Glyph>& glyphs,
                std::string& error) {
  std::u32string visual;
  if (!visualOrder(line, visual, error)) return false;
  for (size_t at = 0; at < visual.size();) {
    size_t end = at + 1;
    while (end < visual.size() && isCombiningMark(visual[end])) ++end;
    Glyph glyph;
    if (!clusterGlyph(visual.substr(at, end - at), unifont, glyph, error)) return false;
    glyphs.push_back(glyph);
    at = end;
  }
  return true;
}

// Cells from a glyph's left edge to the next glyph's.
double advance(const Glyph& glyph) { return glyph.width() * glyph.scale + (glyph.spaced ? kGlyphGap : 0); }

double lineWidth(const std::vector<Glyph>& line) {
  double width = 0.0;
  for (const Glyph& glyph : line) width += advance(glyph);
  return width - (line.back().spaced ? kGlyphGap : 0);
}

double ascent(const std::vector<Glyph>& line) {
  double most = 0.0;
  for (const Glyph& glyph : line) most = std::max(most, glyph.baseline * glyph.scale);
  return most;
}

double descent(const std::vector<Glyph>& line) {
  double most = 0.0;
  for (const Glyph& glyph : line) {
    most = std::max(most, (static_cast<int>(glyph.rows.size()) - glyph.baseline) * glyph.scale);
  }
  return most;
}

double textHeight(const Greeting& greeting) {
  double height = -kLineGap;
  for (const auto& line : greeting.lines) height += ascent(line) + descent(line) + kLineGap;
  return height;
}

bool isShort(const Greeting& greeting) {
  size_t characters = 0;
  for (const auto& line : greeting.lines) characters += line.size();
  return characters <= kShortGreetingCharacters && greeting.lines.size() <= kShortGreetingLines;
}

// One cell's edge: the largest that fits the area, capped so that a short
// text is no taller than the letters it replaces.
double cellSize(const Greeting& greeting) {
  const WallRect area = greetingArea(greeting);
  double widest = 0.0;
  for (const auto& line : greeting.lines) widest = std::max(widest, lineWidth(line));
  return std::min({(area.right - area.left) / widest, (area.top - area.bottom) / textHeight(greeting),
                   kLetterHeight / kGlyphRows});
}

bool checkLines(const Greeting& greeting, std::string& error) {
  size_t characters = 0;
  for (size_t i = 0; i < greeting.lines.size(); ++i) {
    if (greeting.lines[i].empty()) {
      error = greeting.lines.size() == 1 ? "the text is empty"
                                         : "line " + std::to_string(i + 1) + " of the text is empty";
      return false;
    }
    characters += greeting.lines[i].size();
  }
  if (characters > kMaxGreetingCharacters) {
    error = "the text has " + std::to_string(characters) + " characters; at most " +
            std::to_string(kMaxGreetingCharacters) + " fit on the wall";
    return false;
  }
  if (isShort(greeting)) return true;
  // A longer text must stay readable from the start camera.
  if (cellSize(greeting) >= kMinimumLetterHeight / kGlyphRows) return true;
  const WallRect area = kWideLetterArea;
  for (size_t i = 0; i < greeting.lines.size(); ++i) {
    if (lineWidth(greeting.lines[i]) * kMinimumLetterHeight / kGlyphRows > area.right - area.left) {
      error = "line " + std::to_string(i + 1) +
              " is too long to be read on the wall; a '|' breaks it in two";
      return false;
    }
  }
  error = "the text is too tall to be read on the wall";
  return false;
}

}  // namespace

bool parseGreeting(const std::string& text, const UnifontTable& unifont, Greeting& greeting,
                   std::string& error) {
  greeting = Greeting{};
  std::u32string codes;
  if (!decode(text, codes, error)) return false;
  const std::vector<std::u32string> lines = splitLines(composed(codes));
  if (lines.size() > kMaxGreetingLines) {
    error = "at most three lines: two '|' may break the text";
    return false;
  }
  for (const std::u32string& line : lines) {
    greeting.lines.emplace_back();
    if (!lineGlyphs(line, unifont, greeting.lines.back(), error)) return false;
    if (!greeting.text.empty() || greeting.lines.size() > 1) greeting.text += '|';
    greeting.text += utf8(line);
  }
  return checkLines(greeting, error);
}

bool parseGreeting(const std::string& text, Greeting& greeting, std::string& error) {
  return parseGreeting(text, UnifontTable{}, greeting, error);
}

WallRect greetingArea(const Greeting& greeting) {
  return isShort(greeting) ? letterArea() : kWideLetterArea;
}

RoomFile greetingLetters(const Greeting& greeting) {
  RoomFile file{"qm.obj", "the greeting " + greeting.text, {}};
  const WallRect area = greetingArea(greeting);
  const double height = textHeight(greeting);
  const double cell = cellSize(greeting);
  const double centreX = (area.left + area.right) * 0.5;
  const double top = (area.bottom + area.top) * 0.5 + height * cell * 0.5;
  const double z0 = kWallThickness;
  const double z1 = kWallThickness + kLetterDepth;
  double lineOffset = 0.0;
  for (const auto& line : greeting.lines) {
    const double lineTop = top - lineOffset * cell;
    const double lineAscent = ascent(line);
    double x = 0.0;
    const double left = centreX - lineWidth(line) * cell * 0.5;
    for (const Glyph& glyph : line) {
      const double glyphTop = lineTop - (lineAscent - glyph.baseline * glyph.scale) * cell;
      for (const CellRect& r : glyphRectangles(glyph)) {
        const Vec3 lo{left + (x + r.column * glyph.scale) * cell,
                      glyphTop - (r.row + r.height) * glyph.scale * cell, z0};
        const Vec3 hi{left + (x + (r.column + r.width) * glyph.scale) * cell,
                      glyphTop - r.row * glyph.scale * cell, z1};
        addBox(file.mesh, Frame{}, lo, hi);
      }
      x += advance(glyph);
    }
    lineOffset += lineAscent + descent(line) + kLineGap;
  }
  return file;
}

bool greetingObjText(const std::string& utf8Text, std::string& obj, std::string& error) {
  return greetingObjText(utf8Text, UnifontTable{}, obj, error);
}

bool greetingObjText(const std::string& utf8Text, const UnifontTable& unifont, std::string& obj,
                     std::string& error) {
  Greeting greeting;
  if (!parseGreeting(utf8Text, unifont, greeting, error)) return false;
  const RoomFile file = greetingLetters(greeting);
  obj = objText(file.mesh, file.description);
  return true;
}

}  // namespace room
