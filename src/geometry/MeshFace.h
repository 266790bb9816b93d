#pragma once

#include <cstdint>

#include "geometry/Vector.h"

// One loaded triangle. Vertex indices are one-based and global (already offset
// by the positions of earlier files); normal indices name the file's own
// `vn` lines.
struct MeshFace {
  int32_t vertex_index[3] = {0, 0, 0};
  int32_t normal_index[3] = {0, 0, 0};
  int32_t texcoord_index[3] = {0, 0, 0};
  Vector3 normal[3];
  int32_t material = 0;
  uint8_t tag = 0;
};
