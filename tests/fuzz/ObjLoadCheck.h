#pragma once

// What must hold after loading any bytes at all as an OBJ file. Shared by the
// libFuzzer target and by the test that replays the seed corpus, so every
// input the fuzzer ever kept is checked again in the ordinary test run.
//
// The first input byte chooses the loader's arguments (bit 0: smooth
// normals; the byte itself is the tag), the rest is the file. Corpus files
// start with '0' or '1' so that they stay readable.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "geometry/ObjScanfOracle.h"
#include "scene/OctreeScene.h"

namespace fuzzcheck {

// One temporary file, rewritten for every input: the loader only reads
// files by name.
class ScratchFile {
 public:
  explicit ScratchFile(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/xmastrace_fuzz_XXXXXX" + suffix;
    fd_ = mkstemps(&path_[0], static_cast<int>(std::strlen(suffix)));
  }
  ~ScratchFile() {
    if (fd_ >= 0) {
      close(fd_);
      unlink(path_.c_str());
    }
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool write(const uint8_t* data, size_t size) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0) return false;
    size_t done = 0;
    while (done < size) {
      const ssize_t got = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

struct LoadRun {
  int status = kStatusOk;
  std::string output;
};

inline LoadRun loadCapturing(OctreeScene& scene, const std::string& path, bool smooth, uint8_t tag) {
  std::ostringstream captured;
  std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
  LoadRun run;
  run.status = scene.loadObj(path, smooth, tag);
  std::cout.rdbuf(saved);
  run.output = captured.str();
  return run;
}

// NaNs of any payload count as equal: the C library keeps "nan(...)"
// payloads that nothing downstream looks at.
inline bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool sameVector(const Vector3& a, const Vector3& b) {
  return sameFloat(a.x, b.x) && sameFloat(a.y, b.y) && sameFloat(a.z, b.z);
}

constexpr const char* kVertexMessage = "ERROR: vertex not in wanted format in OBJLoader\n";
constexpr const char* kFaceMessage = "ERROR: I don't know the format of that FaceMtl\n";

// The first line that sscanf itself refuses, and the message it deserves;
// line 0 when every line is well formed. Lines are cut as getline cuts them.
struct FormatVerdict {
  uint64_t line = 0;
  const char* message = nullptr;
};

inline FormatVerdict firstMalformedLine(const std::string& text, bool smooth) {
  std::istringstream in(text);
  std::string line;
  for (uint64_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const char* s = line.c_str();
    float f[3];
    int32_t v[9];
    if (s[0] == 'v' && s[1] == ' ' && oracle::scan(s, 4, v, f) < 3) return {number, kVertexMessage};
    if (smooth && s[0] == 'v' && s[1] == 'n' && oracle::scan(s, 5, v, f) < 3) return {number, kVertexMessage};
    if (s[0] == 'f' && s[1] == ' ' && oracle::faceLine(s).form == 0) return {number, kFaceMessage};
  }
  return {};
}

// Line `number` (one-based) as getline cuts it; empty past the end.
inline std::string lineAt(const std::string& text, uint64_t number) {
  std::istringstream in(text);
  std::string line;
  for (uint64_t at = 1; std::getline(in, line); ++at) {
    if (at == number) return line;
  }
  return "";
}

// The line number in an index message, or 0 when `output` is not one.
inline uint64_t indexMessageLine(const std::string& output, const std::string& path) {
  const std::string head = "ERROR: face index out of range in OBJLoader (" + path + ", line ";
  if (output.compare(0, head.size(), head) != 0 || output.size() < head.size() + 3) return 0;
  if (output.compare(output.size() - 2, 2, ")\n") != 0) return 0;
  const std::string digits = output.substr(head.size(), output.size() - head.size() - 2);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::strtoull(digits.c_str(), nullptr, 10);
}

inline bool sameFaces(const std::vector<MeshFace>& a, const std::vector<MeshFace>& b, size_t from) {
  if (a.size() != b.size()) return false;
  for (size_t i = from; i < a.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      if (a[i].vertex_index[k] != b[i].vertex_index[k] || a[i].texcoord_index[k] != b[i].texcoord_index[k] ||
          !sameVector(a[i].normal[k], b[i].normal[k])) {
        return false;
      }
    }
    if (a[i].material != b[i].material || a[i].tag != b[i].tag) return false;
  }
  return true;
}

// A scene that already holds one small file, so that offsets and material
// numbers are exercised.
inline OctreeScene sceneWithOneFile() {
  OctreeScene scene;
  scene.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 2, 2}};
  MeshFace face;
  face.vertex_index[0] = 1;
  face.vertex_index[1] = 2;
  face.vertex_index[2] = 3;
  face.normal[0] = face.normal[1] = face.normal[2] = {0, 0, 1};
  scene.faces.push_back(face);
  scene.object_count = 1;
  return scene;
}

// One load into `scene`; "" when everything held, else what broke.
inline std::string checkOneLoad(OctreeScene scene, const ScratchFile& file, const std::string& text, bool smooth,
                                uint8_t tag) {
  const OctreeScene before = scene;
  const LoadRun run = loadCapturing(scene, file.path(), smooth, tag);
  const FormatVerdict format = firstMalformedLine(text, smooth);

  if (run.status == kStatusMalformed) {
    const bool unchanged = scene.object_count == before.object_count &&
                           scene.positions.size() == before.positions.size() &&
                           sameFaces(scene.faces, before.faces, 0);
    if (!unchanged) return "a refused file changed the scene";
    const uint64_t index_line = indexMessageLine(run.output, file.path());
    if (index_line != 0) {
      if (lineAt(text, index_line).compare(0, 2, "f ") != 0) {
        return "index message names line " + std::to_string(index_line) + ", which is no face";
      }
      if (format.line != 0 && index_line >= format.line) {
        return "index message for line " + std::to_string(index_line) + " after the malformed line " +
               std::to_string(format.line);
      }
      return "";
    }
    if (format.line == 0) return "refused a well-formed file with: " + run.output;
    if (run.output != format.message) {
      return "line " + std::to_string(format.line) + " wants " + format.message + "but printed: " + run.output;
    }
    return "";
  }
  if (run.status != kStatusOk) return "unexpected status " + std::to_string(run.status);
  if (!run.output.empty()) return "accepted the file but printed: " + run.output;
  if (format.line != 0) return "accepted line " + std::to_string(format.line) + " that sscanf refuses";
  if (scene.object_count != before.object_count + 1) return "object_count did not advance";

  const int64_t last = static_cast<int64_t>(scene.positions.size());
  const int64_t base = static_cast<int64_t>(before.positions.size());
  for (size_t i = before.faces.size(); i < scene.faces.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const int64_t index = scene.faces[i].vertex_index[k];
      if (index <= base || index > last) return "face " + std::to_string(i) + " names a vertex outside its file";
    }
  }

  // Accepted: the slow getline-and-sscanf loader must agree on every value.
  oracle::LoadResult expected{before.positions, before.faces};
  if (!oracle::loadObj(file.path(), smooth, tag, before.object_count, expected)) {
    return "the scanf loader refuses what was accepted";
  }
  if (expected.positions.size() != scene.positions.size()) return "position count differs from the scanf loader";
  for (size_t i = 0; i < expected.positions.size(); ++i) {
    if (!sameVector(expected.positions[i], scene.positions[i])) return "position " + std::to_string(i) + " differs";
  }
  if (!sameFaces(expected.faces, scene.faces, 0)) return "faces differ from the scanf loader";
  return "";
}

inline std::string checkObjLoad(ScratchFile& file, const uint8_t* data, size_t size) {
  if (size == 0) return "";
  const bool smooth = (data[0] & 1) != 0;
  const uint8_t tag = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!file.write(data + 1, size - 1)) return "cannot write the scratch file";
  std::string failure = checkOneLoad(OctreeScene(), file, text, smooth, tag);
  if (!failure.empty()) return "first file: " + failure;
  failure = checkOneLoad(sceneWithOneFile(), file, text, smooth, tag);
  if (!failure.empty()) return "second file: " + failure;
  return "";
}

}  // namespace fuzzcheck
