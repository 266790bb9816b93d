#include "render/HeaderExport.h"

#include <fstream>

namespace {

// Erases every comment that starts with `opener` and ends just before
// (keepEnd) or just after the next `closer`. Each erase restarts the scan at
// the top, which is what makes the two passes interact: a "//" inside a
// block comment eats that comment's "*/" when both share a line.
std::string eraseComments(std::string text, const std::string& opener, const std::string& closer,
                          bool keepCloser) {
  for (;;) {
    const size_t start = text.find(opener);
    if (start == std::string::npos) return text;
    const size_t close = text.find(closer, start);
    if (close == std::string::npos) {
      text.erase(start);
      continue;
    }
    const size_t end = keepCloser ? close : close + closer.size();
    text.erase(start, end - start);
  }
}

std::string escapeNewlines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') {
      out += " \\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string headerStem(const std::string& fileName) {
  const size_t pos = fileName.find(".glsl");
  return pos == std::string::npos ? fileName : fileName.substr(0, pos);
}

std::string stripComments(std::string text) {
  text = eraseComments(std::move(text), "//", "\n", /*keepCloser=*/true);
  return eraseComments(std::move(text), "/*", "*/", /*keepCloser=*/false);
}

std::string headerDeclaration(const std::string& stem, const std::string& source) {
  return "const char " + stem + "[]= {\"" + escapeNewlines(stripComments(source)) + "\"};";
}

bool exportHeader(const std::string& fragmentFile, const std::string& source) {
  const std::string stem = headerStem(fragmentFile);
  std::ofstream out(stem + ".h", std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << headerDeclaration(stem, source);
  return static_cast<bool>(out);
}
