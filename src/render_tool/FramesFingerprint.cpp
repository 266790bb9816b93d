#include "render_tool/FramesFingerprint.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "InputFile.h"
#include "app/Music.h"
#include "render/BuiltinShaders.h"
#include "render/DenoiseShader.h"
#include "scene/OctreeScene.h"

namespace {

struct Fnv1a {
  uint64_t hash = 14695981039346656037ull;

  void add(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      hash ^= static_cast<unsigned char>(bytes[i]);
      hash *= 1099511628211ull;
    }
  }
  // Each text ends with a zero byte, so that "ab"+"c" and "a"+"bc" differ.
  void addText(const std::string& text) { add(text.c_str(), text.size() + 1); }
};

// A missing file counts too: a piece rendered without one shows another room.
void addFile(Fnv1a& fingerprint, const std::string& path) {
  fingerprint.addText(path);
  std::string content;
  if (!readRegularFile(path, content)) {
    fingerprint.addText("missing");
    return;
  }
  fingerprint.addText(std::to_string(content.size()));
  fingerprint.add(content.data(), content.size());
}

std::vector<std::string> shaderFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(".", error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".glsl") == 0) names.push_back(name);
  }
  // The folder's order is the file system's.
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string framesFingerprint() {
  Fnv1a fingerprint;
  for (const SceneObject& object : roomObjects()) addFile(fingerprint, object.file_name);
  for (const std::string& name : shaderFiles()) addFile(fingerprint, name);
  fingerprint.addText(primaryRayFragmentSource());
  fingerprint.addText(pathTraceFragmentSource(PathVariant::TwoBounce));
  fingerprint.addText(pathTraceFragmentSource(PathVariant::OneBounce));
  fingerprint.addText(kDenoiseFragmentSource);
  addFile(fingerprint, kMusicFile);
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(fingerprint.hash));
  return digits;
}
