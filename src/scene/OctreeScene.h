#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/MeshFace.h"
#include "geometry/Vector.h"

// The scene object: the OBJ loader's lists, then (after the build) the packed
// arrays that become the scene textures.
class OctreeScene {
 public:
  // Appends the triangles of one OBJ file. Returns kStatusOk, or
  // kStatusMalformed after printing the message of a malformed line.
  int loadObj(const std::string& file_name, bool smooth_normals, uint8_t tag);

  std::vector<Vector3> positions;
  std::vector<MeshFace> faces;
  int object_count = 0;
};
