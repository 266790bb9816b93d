#pragma once

// A working directory for the demo that holds a scene of the test's own:
// the shader files of run/ and the room's fifteen OBJ files, written by the
// test. The Application then loads, packs, builds and uploads that scene
// exactly as it does the room.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "scene/OctreeScene.h"

namespace truth {

class SceneDirectory {
 public:
  SceneDirectory() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "xmastrace-truth-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) return;
    root_ = pattern;
    for (const auto& entry : std::filesystem::directory_iterator(XMASTRACE_RUN_DIR)) {
      if (entry.path().extension() == ".glsl") {
        std::filesystem::copy_file(entry.path(), root_ / entry.path().filename());
      }
    }
    std::filesystem::create_directories(root_ / "data" / "xmas");
  }
  ~SceneDirectory() {
    if (!root_.empty()) std::filesystem::remove_all(root_);
  }
  SceneDirectory(const SceneDirectory&) = delete;
  SceneDirectory& operator=(const SceneDirectory&) = delete;

  bool ready() const { return !root_.empty(); }
  const std::filesystem::path& root() const { return root_; }

  // Writes every file of the room's object table: `texts` for the rows it
  // names, an empty file for the others. Every file is then read, so every
  // row keeps its own material.
  void writeRoomFiles(const std::map<int, std::string>& texts) const {
    const std::vector<SceneObject> objects = roomObjects();
    for (size_t row = 0; row < objects.size(); ++row) {
      std::ofstream file(root_ / objects[row].file_name);
      const auto text = texts.find(static_cast<int>(row));
      if (text != texts.end()) file << text->second;
    }
  }

 private:
  std::filesystem::path root_;
};

// Makes a directory the working directory for its lifetime.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& directory)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~WorkingDirectory() { std::filesystem::current_path(previous_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// Two lone vertices at (0, 0, 0) and (100, 100, 100) fix the scene's
// bounds, so that the scaling maps a model point p to (p + 1) / 110 in
// octree units on every axis whatever else the files hold.
inline std::string boundsAnchors() { return "v 0 0 0\nv 100 100 100\n"; }

// A horizontal rectangle at height y over [x0, x1] x [z0, z1], cut into
// n x n quads of two triangles, facing up or down. `firstIndex` is the
// file's index of its first vertex. With `fileNormals` every corner names a
// vn line along the facing.
inline std::string horizontalGrid(double y, double x0, double x1, double z0, double z1, int n,
                                  bool facingUp, int firstIndex, bool fileNormals) {
  std::ostringstream out;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) {
      out << "v " << x0 + (x1 - x0) * i / n << " " << y << " " << z0 + (z1 - z0) * j / n << "\n";
    }
  }
  if (fileNormals) out << "vn 0 " << (facingUp ? 1 : -1) << " 0\n";
  auto corner = [&](int i, int j) {
    std::string index = std::to_string(firstIndex + j * (n + 1) + i);
    return fileNormals ? index + "//1" : index;
  };
  auto triangle = [&](const std::string& a, const std::string& b, const std::string& c) {
    // Counter-clockwise seen from above faces up.
    if (facingUp) {
      out << "f " << a << " " << b << " " << c << "\n";
    } else {
      out << "f " << a << " " << c << " " << b << "\n";
    }
  };
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      triangle(corner(i, j), corner(i, j + 1), corner(i + 1, j));
      triangle(corner(i + 1, j), corner(i, j + 1), corner(i + 1, j + 1));
    }
  }
  return out.str();
}

// A rectangle of two triangles; the corners go counter-clockwise as seen
// from the side it faces. `firstIndex` is the file's index of its first
// vertex.
inline std::string rectangle(const double (&corners)[4][3], int firstIndex) {
  std::ostringstream out;
  for (const auto& c : corners) out << "v " << c[0] << " " << c[1] << " " << c[2] << "\n";
  const int a = firstIndex;
  out << "f " << a << " " << a + 1 << " " << a + 2 << "\n";
  out << "f " << a << " " << a + 2 << " " << a + 3 << "\n";
  return out.str();
}

}  // namespace truth
