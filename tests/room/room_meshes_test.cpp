// The generated room as the demo's loader reads it: every file loads
// silently, holds closed solids wound outwards, and the composition keeps the
// fixed start camera inside the room.
#include <cmath>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"

namespace {

struct LoadedFile {
  SceneObject object;
  int status = kStatusOk;
  std::string output;
  std::vector<Vector3> positions;
  std::vector<MeshFace> faces;
};

std::string runPath(const std::string& relative) {
  return std::string(XMASTRACE_RUN_DIR) + "/" + relative;
}

LoadedFile load(const SceneObject& object) {
  OctreeScene scene;
  testing::internal::CaptureStdout();
  const int status = scene.loadObj(runPath(object.file_name), object.smooth_normals, object.tag);
  LoadedFile file{object, status, testing::internal::GetCapturedStdout(), scene.positions,
                  scene.faces};
  return file;
}

const std::vector<LoadedFile>& room() {
  static const std::vector<LoadedFile> files = [] {
    std::vector<LoadedFile> out;
    for (const SceneObject& object : roomObjects()) out.push_back(load(object));
    return out;
  }();
  return files;
}

const LoadedFile& roomFile(const std::string& name) {
  for (const LoadedFile& file : room()) {
    if (file.object.file_name == "data/xmas/" + name) return file;
  }
  ADD_FAILURE() << "no room file " << name;
  return room().front();
}

double dot3(const Vector3& a, const Vector3& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

Vector3 minus(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

const Vector3& corner(const LoadedFile& file, const MeshFace& face, int k) {
  return file.positions[face.vertex_index[k] - 1];
}

// Six times the signed volume that the triangle spans with the origin.
double signedVolume6(const LoadedFile& file, const MeshFace& face) {
  const Vector3& a = corner(file, face, 0);
  const Vector3& b = corner(file, face, 1);
  const Vector3& c = corner(file, face, 2);
  return double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
         double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
         double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
}

// Faces grouped into the solids they form: faces that share a vertex index
// belong to the same solid.
std::vector<std::vector<size_t>> solids(const LoadedFile& file) {
  std::vector<size_t> parent(file.positions.size() + 1);
  std::iota(parent.begin(), parent.end(), 0);
  auto root = [&](size_t v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  for (const MeshFace& f : file.faces) {
    parent[root(f.vertex_index[1])] = root(f.vertex_index[0]);
    parent[root(f.vertex_index[2])] = root(f.vertex_index[0]);
  }
  std::map<size_t, std::vector<size_t>> groups;
  for (size_t i = 0; i < file.faces.size(); ++i) {
    groups[root(file.faces[i].vertex_index[0])].push_back(i);
  }
  std::vector<std::vector<size_t>> out;
  for (auto& entry : groups) out.push_back(std::move(entry.second));
  return out;
}

TEST(RoomFiles, EveryFileLoadsSilentlyWithValidIndices) {
  size_t total = 0;
  for (const LoadedFile& file : room()) {
    SCOPED_TRACE(file.object.file_name);
    EXPECT_EQ(file.status, kStatusOk);
    EXPECT_EQ(file.output, "");
    EXPECT_FALSE(file.faces.empty());
    for (const MeshFace& face : file.faces) {
      for (int k = 0; k < 3; ++k) {
        ASSERT_GE(face.vertex_index[k], 1);
        ASSERT_LE(face.vertex_index[k], static_cast<int32_t>(file.positions.size()));
      }
    }
    total += file.faces.size();
  }
  EXPECT_LE(total, 100000u);
}

// The loader skips what it does not know and silently drops an unterminated
// last line, so a file the loader accepts can still lose faces: count them in
// the text.
TEST(RoomFiles, TextHoldsOnlyCommentsVerticesNormalsAndTriangles) {
  for (const LoadedFile& file : room()) {
    SCOPED_TRACE(file.object.file_name);
    std::ifstream in(runPath(file.object.file_name), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream lines(text);
    std::string line;
    size_t faceLines = 0;
    size_t normalLines = 0;
    while (std::getline(lines, line)) {
      EXPECT_LE(line.size(), 254u);
      const std::string keyword = line.substr(0, line.find(' '));
      ASSERT_TRUE(keyword == "#" || keyword == "v" || keyword == "vn" || keyword == "f") << line;
      if (keyword == "vn") ++normalLines;
      if (keyword != "f") continue;
      ++faceLines;
      // Smooth files name a normal per corner; the others leave normals to
      // the winding.
      EXPECT_EQ(line.find("//") != std::string::npos, file.object.smooth_normals) << line;
    }
    EXPECT_EQ(faceLines, file.faces.size());
    EXPECT_EQ(normalLines > 0, file.object.smooth_normals);
    if (file.object.smooth_normals) {
      EXPECT_EQ(normalLines, file.positions.size());
    }
  }
}

// Every edge of a closed, consistently wound solid is walked once in each
// direction; a hole, a flipped triangle or a doubled face breaks that.
TEST(RoomFiles, SolidsAreClosedAndWoundOutwards) {
  for (const LoadedFile& file : room()) {
    SCOPED_TRACE(file.object.file_name);
    std::map<std::pair<int, int>, int> edges;
    for (const MeshFace& face : file.faces) {
      for (int k = 0; k < 3; ++k) {
        ++edges[{face.vertex_index[k], face.vertex_index[(k + 1) % 3]}];
      }
    }
    size_t faults = 0;
    for (const auto& [edge, count] : edges) {
      const auto reverse = edges.find({edge.second, edge.first});
      if (count != 1 || reverse == edges.end() || reverse->second != 1) ++faults;
    }
    EXPECT_EQ(faults, 0u);
    for (const std::vector<size_t>& solid : solids(file)) {
      double volume = 0.0;
      for (size_t f : solid) volume += signedVolume6(file, file.faces[f]);
      EXPECT_GT(volume, 0.0) << "a solid of " << solid.size() << " faces is wound inwards";
    }
  }
}

TEST(RoomFiles, BaubleNormalsAreUnitAndPointAwayFromTheCentre) {
  for (const LoadedFile& file : room()) {
    if (!file.object.smooth_normals) continue;
    SCOPED_TRACE(file.object.file_name);
    Vector3 centre;
    for (const Vector3& p : file.positions) {
      centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
    }
    const float n = static_cast<float>(file.positions.size());
    centre = {centre.x / n, centre.y / n, centre.z / n};
    for (const MeshFace& face : file.faces) {
      for (int k = 0; k < 3; ++k) {
        const Vector3& normal = face.normal[k];
        const Vector3 out = minus(corner(file, face, k), centre);
        ASSERT_NEAR(dot3(normal, normal), 1.0, 1e-4);
        ASSERT_GT(dot3(normal, out) / std::sqrt(dot3(out, out)), 0.999);
      }
    }
  }
}

struct Box {
  Vector3 lo{1e30f, 1e30f, 1e30f};
  Vector3 hi{-1e30f, -1e30f, -1e30f};
};

Box boundsOf(const std::vector<Vector3>& points) {
  Box box;
  for (const Vector3& p : points) {
    box.lo = {std::fmin(box.lo.x, p.x), std::fmin(box.lo.y, p.y), std::fmin(box.lo.z, p.z)};
    box.hi = {std::fmax(box.hi.x, p.x), std::fmax(box.hi.y, p.y), std::fmax(box.hi.z, p.z)};
  }
  return box;
}

// The scene is scaled by its own bounding box and the start camera is fixed
// in world units, so growing the box anywhere moves the camera: it must still
// stand inside the room, above the floor and between the walls.
TEST(RoomFiles, StartCameraStandsInsideTheRoom) {
  std::vector<Vector3> all;
  for (const LoadedFile& file : room()) {
    all.insert(all.end(), file.positions.begin(), file.positions.end());
  }
  const Box scene = boundsOf(all);
  const double extent = std::fmax(scene.hi.x - scene.lo.x,
                                  std::fmax(scene.hi.y - scene.lo.y, scene.hi.z - scene.lo.z));
  ASSERT_GE(extent, 10.0);  // smaller scenes stick out of the octree cube
  // World -30..30 is octree 0..1024, and octree o is model o / scale - 1 + min.
  auto model = [&](double world, double lo) {
    return (world + 30.0) * 1.1 * extent / 60.0 - 1.0 + lo;
  };
  const Vector3 eye{float(model(-7.0, scene.lo.x)), float(model(-20.0, scene.lo.y)),
                    float(model(13.0, scene.lo.z))};
  const Box floor = boundsOf(roomFile("floor.obj").positions);
  const Box left = boundsOf(roomFile("wall_left.obj").positions);
  const Box right = boundsOf(roomFile("wall_right.obj").positions);
  const Box back = boundsOf(roomFile("backwall.obj").positions);
  EXPECT_GT(eye.x, left.hi.x + 0.5);
  EXPECT_LT(eye.x, right.lo.x - 0.5);
  EXPECT_GT(eye.z, back.hi.z + 0.5);
  EXPECT_LT(eye.z, floor.hi.z);
  EXPECT_GT(eye.y, floor.hi.y + 0.3);
  EXPECT_LT(eye.y, back.hi.y);
}

}  // namespace
