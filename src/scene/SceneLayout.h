#pragma once

#include <cstddef>
#include <cstdint>

// Layout of the scene textures, shared by the CPU writers (scene assembly,
// octree build), the upload and the renderer's size uniforms. Every size is a
// power of two, so texel addresses times the inverse sizes are exact.

constexpr int node_pool_dim = 128;
constexpr uint32_t triangle_id_tex_size = 1024;
constexpr uint32_t triangle_tex_size = 1024;
constexpr int scene_dim = 1024;
constexpr int brdf_table_size = 32;

constexpr float inv_node_pool_dim = 1.0f / node_pool_dim;
constexpr float inv_triangle_id_tex_size = 1.0f / triangle_id_tex_size;
constexpr float inv_triangle_tex_size = 1.0f / triangle_tex_size;

constexpr size_t kNodePoolTexels = size_t(node_pool_dim) * node_pool_dim * node_pool_dim;
constexpr size_t kTriangleIdTexels = size_t(triangle_id_tex_size) * triangle_id_tex_size;
constexpr size_t kTriangleTexels = size_t(triangle_tex_size) * triangle_tex_size;

// The last row of the triangle-id and triangle textures is never written:
// a cursor that enters it means the texture is full.
constexpr uint32_t kTriangleIdRowLimit = triangle_id_tex_size - 1;
constexpr uint32_t kTriangleTexelLimit = (triangle_tex_size - 1) * triangle_tex_size;

// The deepest level of the octree; nodes there are leaves whatever they hold.
constexpr int kMaxDepth = 9;
// A node with this many triangles is split (above the deepest level).
constexpr size_t kSplitThreshold = 5;
// The shaders read a leaf's count with nine bits.
constexpr uint32_t kMaxLeafTriangles = 511;

// Node word: bit 31 leaf, bit 30 empty, then three 10-bit fields.
constexpr uint32_t kLeafFlag = 0x80000000u;
constexpr uint32_t kEmptyNodeWord = 0x40000000u;
constexpr uint32_t node_mask_0 = 511;
constexpr uint32_t node_mask_10 = 1047552;
constexpr uint32_t node_mask_20 = 1072693248;
constexpr uint32_t node_mask_30 = 1073741824;
constexpr uint32_t node_tri_id_mask_x = 0x0000FFFFu;
constexpr uint32_t node_tri_id_mask_y = 0xFFFF0000u;

// An internal node points at the brick that holds its eight children.
constexpr uint32_t internalNodeWord(uint32_t brick_x, uint32_t brick_y, uint32_t brick_z) {
  return (brick_z << 20) | (brick_y << 10) | brick_x;
}

// A leaf points at the first of its `count` references in the triangle-id
// texture.
constexpr uint32_t leafNodeWord(uint32_t column, uint32_t row, uint32_t count) {
  return kLeafFlag | (row << 20) | (column << 10) | count;
}

// A triangle reference names the texel of the triangle's first corner.
constexpr uint32_t triangleReference(uint32_t first_texel) {
  return ((first_texel / triangle_tex_size) << 16) | (first_texel % triangle_tex_size);
}

constexpr size_t nodePoolIndex(int x, int y, int z) {
  return (size_t(z) * node_pool_dim + size_t(y)) * node_pool_dim + size_t(x);
}

// Position in a row-major texture, walked the way the shaders walk runs.
struct TexelCursor {
  uint32_t column = 0;
  uint32_t row = 0;
};

inline void advanceTexel(TexelCursor& cursor, uint32_t width) {
  cursor.column += 1;
  if (cursor.column == width) {
    cursor.column = 0;
    cursor.row += 1;
  }
}

// Origin of a 2x2x2 brick of the node pool. Bricks are handed out x fastest,
// then y, then z; x and y never reach 126, so the last two texel columns and
// rows of the pool stay unused.
struct BrickCursor {
  int x = 0;
  int y = 0;
  int z = 0;
};

inline void advanceBrick(BrickCursor& cursor) {
  cursor.x += 2;
  if (cursor.x >= node_pool_dim - 2) {
    cursor.x = 0;
    cursor.y += 2;
    if (cursor.y >= node_pool_dim - 2) {
      cursor.y = 0;
      cursor.z += 2;
    }
  }
}

// Once z has run past the pool there is no brick left to hand out.
inline bool brickAvailable(const BrickCursor& cursor) { return cursor.z < node_pool_dim; }
