#include "room/Greeting.h"

#include <algorithm>
#include <cstdio>

#include "room/CodePoints.h"
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

// The font's characters all lie below U+10000: one to three bytes.
std::string utf8(char32_t code) {
  if (code < 0x80) return std::string(1, static_cast<char>(code));
  if (code < 0x800) {
    return {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
  }
  return {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
          static_cast<char>(0x80 | (code & 0x3F))};
}

void trimSpaces(std::vector<const Glyph*>& line) {
  while (!line.empty() && line.back()->code == U' ') line.pop_back();
  const auto first = std::find_if(line.begin(), line.end(),
                                  [](const Glyph* glyph) { return glyph->code != U' '; });
  line.erase(line.begin(), first);
}

int lineWidth(const std::vector<const Glyph*>& line) {
  int width = -kGlyphGap;
  for (const Glyph* glyph : line) width += glyph->width() + kGlyphGap;
  return width;
}

}  // namespace

namespace {

// Splits the text at '|' into lines of glyphs, upper-casing letters.
bool readLines(const std::string& text, Greeting& greeting, std::string& error) {
  greeting.lines.emplace_back();
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
    if (code == U'|') {
      if (greeting.lines.size() == kMaxGreetingLines) {
        error = "at most two lines: only one '|' may break the text";
        return false;
      }
      greeting.lines.emplace_back();
      continue;
    }
    if (code >= U'a' && code <= U'z') code -= U'a' - U'A';
    const Glyph* glyph = findGlyph(code);
    if (glyph == nullptr) {
      error = describe(text, from, at, code) + " cannot be written on the wall; the letters are " +
              fontCharacters() + ", and '|' breaks the line";
      return false;
    }
    greeting.lines.back().push_back(glyph);
  }
  return true;
}

// Spaces at the ends of a line would only push it off centre.
bool checkLines(Greeting& greeting, std::string& error) {
  size_t characters = 0;
  for (size_t i = 0; i < greeting.lines.size(); ++i) {
    trimSpaces(greeting.lines[i]);
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
  return true;
}

}  // namespace

bool parseGreeting(const std::string& text, Greeting& greeting, std::string& error) {
  greeting = Greeting{};
  if (!readLines(text, greeting, error) || !checkLines(greeting, error)) return false;
  for (size_t i = 0; i < greeting.lines.size(); ++i) {
    if (i > 0) greeting.text += '|';
    for (const Glyph* glyph : greeting.lines[i]) greeting.text += utf8(glyph->code);
  }
  return true;
}

RoomFile greetingLetters(const Greeting& greeting) {
  RoomFile file{"qm.obj", "the greeting " + greeting.text, {}};
  const WallRect area = letterArea();
  int widest = 0;
  for (const auto& line : greeting.lines) widest = std::max(widest, lineWidth(line));
  const int lines = static_cast<int>(greeting.lines.size());
  const int height = lines * kGlyphRows + (lines - 1) * kLineGap;
  // One cell's edge: the largest that fits the area, capped so that a short
  // text is no taller than the letters it replaces.
  const double cell = std::min({(area.right - area.left) / widest,
                                (area.top - area.bottom) / height, kLetterHeight / kGlyphRows});
  const double centreX = (area.left + area.right) * 0.5;
  const double top = (area.bottom + area.top) * 0.5 + height * cell * 0.5;
  const double z0 = kWallThickness;
  const double z1 = kWallThickness + kLetterDepth;
  for (int l = 0; l < lines; ++l) {
    const auto& line = greeting.lines[l];
    const double lineTop = top - l * (kGlyphRows + kLineGap) * cell;
    int column = 0;
    const double left = centreX - lineWidth(line) * cell * 0.5;
    for (const Glyph* glyph : line) {
      for (const CellRect& r : glyphRectangles(*glyph)) {
        const Vec3 lo{left + (column + r.column) * cell, lineTop - (r.row + r.height) * cell, z0};
        const Vec3 hi{left + (column + r.column + r.width) * cell, lineTop - r.row * cell, z1};
        addBox(file.mesh, Frame{}, lo, hi);
      }
      column += glyph->width() + kGlyphGap;
    }
  }
  return file;
}

bool greetingObjText(const std::string& utf8Text, std::string& obj, std::string& error) {
  Greeting greeting;
  if (!parseGreeting(utf8Text, greeting, error)) return false;
  const RoomFile file = greetingLetters(greeting);
  obj = objText(file.mesh, file.description);
  return true;
}

}  // namespace room
