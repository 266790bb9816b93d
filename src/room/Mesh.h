#pragma once

#include <array>
#include <string>
#include <vector>

#include "room/Geometry.h"

namespace room {

// One output file's worth of triangles. Corners run counter-clockwise seen
// from outside, so the face normal the loader derives from the winding points
// out of the solid.
struct Mesh {
  std::vector<Vec3> positions;
  // One normal per position, written as `vn` lines, only for smooth meshes.
  std::vector<Vec3> normals;
  std::vector<std::array<int, 3>> triangles;  // zero-based position indices
  bool smooth = false;
};

// Appends a position (and, for smooth meshes, its normal) and returns its index.
int addVertex(Mesh& mesh, const Vec3& position);
int addVertex(Mesh& mesh, const Vec3& position, const Vec3& normal);
void addTriangle(Mesh& mesh, int a, int b, int c);
// Two triangles a-b-c and a-c-d of a counter-clockwise quad.
void addQuad(Mesh& mesh, int a, int b, int c, int d);

// Fixed-point text of a coordinate: six decimals, no exponent and never
// "-0.000000", so the output is the same on every machine and locale.
std::string formatCoordinate(double value);

// The OBJ text of a mesh: comment lines, `v` lines, `vn` lines for smooth
// meshes, then one three-corner `f` line per triangle (`f a//a b//b c//c`
// for smooth meshes, where every position has the normal of the same number).
std::string objText(const Mesh& mesh, const std::string& description);

}  // namespace room
