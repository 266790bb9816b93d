#include "room/Unifont.h"

#include <cctype>

namespace room {

namespace {

bool isHexDigits(const std::string& text) {
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return !text.empty();
}

bool parseLine(const std::string& line, char32_t& code, std::string& bitmap) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon < 4 || colon > 6) return false;
  const std::string number = line.substr(0, colon);
  bitmap = line.substr(colon + 1);
  if (!isHexDigits(number) || !isHexDigits(bitmap)) return false;
  if (bitmap.size() != 32 && bitmap.size() != 64) return false;
  code = static_cast<char32_t>(std::stoul(number, nullptr, 16));
  return code <= 0x10FFFF;
}

}  // namespace

bool UnifontTable::addHexText(const std::string& text, std::string& error) {
  std::map<char32_t, std::string> added;
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    char32_t code = 0;
    std::string bitmap;
    if (!parseLine(line, code, bitmap)) {
      error = "line " + std::to_string(number) + " is not a Unifont glyph";
      return false;
    }
    added[code] = bitmap;
  }
  for (auto& [code, bitmap] : added) hex_[code] = std::move(bitmap);
  return true;
}

bool UnifontTable::find(char32_t code, Glyph& glyph) const {
  const auto found = hex_.find(code);
  if (found == hex_.end()) return false;
  const std::string& bitmap = found->second;
  const size_t digitsPerRow = bitmap.size() / kUnifontRows;
  glyph = Glyph{};
  glyph.code = code;
  glyph.baseline = kUnifontBaseline;
  glyph.scale = kUnifontScale;
  glyph.spaced = false;  // its own pixels leave room at its sides
  for (int row = 0; row < kUnifontRows; ++row) {
    std::string cells;
    for (size_t d = 0; d < digitsPerRow; ++d) {
      const int value = std::stoi(bitmap.substr(row * digitsPerRow + d, 1), nullptr, 16);
      for (int bit = 3; bit >= 0; --bit) cells += (value >> bit) & 1 ? '#' : '.';
    }
    glyph.rows.push_back(cells);
  }
  return true;
}

}  // namespace room
