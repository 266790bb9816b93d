#pragma once

// What must hold when any text is exported as a shader header, shared by the
// libFuzzer target and the corpus replay test. The input's first line is a
// fragment file name (only its stem is taken, no file of that name is ever
// written); the rest is the shader text.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "render/HeaderExport.h"

namespace fuzzcheck {

inline size_t countNewlines(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += c == '\n';
  return count;
}

// True when `part` can be made from `whole` by erasing characters only.
inline bool isErasureOf(const std::string& part, const std::string& whole) {
  size_t at = 0;
  for (char c : whole) {
    if (at < part.size() && part[at] == c) ++at;
  }
  return at == part.size();
}

inline std::string checkStem(const std::string& name) {
  const std::string stem = headerStem(name);
  if (name.compare(0, stem.size(), stem) != 0) return "the stem is not a prefix of the name";
  if (stem.find(".glsl") != std::string::npos) return "the stem still holds \".glsl\"";
  if (stem != name && name.compare(stem.size(), 5, ".glsl") != 0) return "the stem does not end before \".glsl\"";
  return "";
}

inline std::string checkStripped(const std::string& text) {
  const std::string stripped = stripComments(text);
  if (!isErasureOf(stripped, text)) return "comment removal did more than erase";
  if (stripped.find("/*") != std::string::npos) return "a block comment opener is left";
  if (text.find('/') == std::string::npos && stripped != text) return "text without comments changed";
  // Line comments keep their newline, so only block comments can join lines.
  if (text.find("/*") == std::string::npos && countNewlines(stripped) != countNewlines(text)) {
    return "a line comment took its newline";
  }
  return "";
}

inline std::string checkDeclaration(const std::string& stem, const std::string& text) {
  const std::string declaration = headerDeclaration(stem, text);
  const std::string head = "const char " + stem + "[]= {\"";
  const std::string tail = "\"};";
  const std::string stripped = stripComments(text);
  if (declaration.compare(0, head.size(), head) != 0) return "the declaration does not open as a char array";
  if (declaration.size() < head.size() + tail.size() ||
      declaration.compare(declaration.size() - tail.size(), tail.size(), tail) != 0) {
    return "the declaration does not close the array";
  }
  if (declaration.find('\n') != std::string::npos) return "the header is more than one line";
  if (declaration.size() != head.size() + stripped.size() + 2 * countNewlines(stripped) + tail.size()) {
    return "each newline must become exactly a space, a backslash and n";
  }
  return "";
}

// The header written to a private folder must be exactly the declaration.
inline std::string checkWrittenHeader(const std::string& folder, const std::string& text) {
  const std::string fragment = folder + "/shaderFS.glsl";
  if (!exportHeader(fragment, text)) return "the header could not be written";
  std::ifstream in(folder + "/shaderFS.h", std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (written != headerDeclaration(folder + "/shaderFS", text)) return "the written header differs";
  return "";
}

inline std::string checkHeaderExport(const std::string& folder, const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string name = input.substr(0, newline);
  const std::string text = newline == std::string::npos ? std::string() : input.substr(newline + 1);
  std::string failure = checkStem(name);
  if (failure.empty()) failure = checkStripped(text);
  if (failure.empty()) failure = checkDeclaration(headerStem(name), text);
  if (failure.empty()) failure = checkWrittenHeader(folder, text);
  return failure;
}

// A private folder for the written headers, removed with its one file.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/xmastrace_header_XXXXXX";
    if (!mkdtemp(&path_[0])) path_.clear();
  }
  ~ScratchFolder() {
    if (path_.empty()) return;
    unlink((path_ + "/shaderFS.h").c_str());
    rmdir(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace fuzzcheck
