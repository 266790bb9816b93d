#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/Vector.h"

// The only geometry drawn with GL: the scene box, whose inside faces start
// the primary rays, and the full-screen quad of every other pass. Attribute
// 0 is the position and attribute 1 the quad's texture coordinate; the
// vertex shaders rely on these locations.

constexpr int kBoxIndexCount = 36;

struct QuadVertex {
  float x, y, z;
  float u, v;
};
static_assert(sizeof(QuadVertex) == 20, "QuadVertex must be five packed floats");

// GL object names (unsigned 32-bit) and the CPU copy of the corners.
struct BoxMesh {
  uint32_t vertexBuffer = 0;
  uint32_t indexBuffer = 0;
  uint32_t vertexArray = 0;
  std::vector<Vector3> vertices;
};

struct QuadMesh {
  uint32_t vertexBuffer = 0;
  uint32_t vertexArray = 0;
};

// The 8 corners: bottom face (y = min) counter-clockwise from the minimum
// corner, then the top face in the same order.
std::vector<Vector3> boxCorners(float minX, float minY, float minZ, float maxX, float maxY, float maxZ);
// 12 triangles, counter-clockwise seen from outside the box.
const std::array<uint16_t, kBoxIndexCount>& boxIndices();
// Two counter-clockwise triangles covering clip space.
const std::array<QuadVertex, 6>& quadVertices();

// Need a current GL context. Both leave vertex array 0 bound.
BoxMesh createBoxMesh(float minX, float minY, float minZ, float maxX, float maxY, float maxZ);
QuadMesh createQuadMesh();
// The quad's texture coordinates span [0, u] x [0, v] instead: a picture
// drawn into the lower-left part of a texture fills the target.
void setQuadTextureExtent(const QuadMesh& quad, float u, float v);
