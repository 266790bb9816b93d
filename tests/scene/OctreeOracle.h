#pragma once

// The octree build written the plain way: every node receives its own copy
// of the parent's list and runs the full overlap test on each candidate.
// The real build must produce exactly the same arrays and counters.
#include <cstdint>
#include <vector>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"
#include "scene/TriangleBox.h"

class OracleOctreeBuild {
 public:
  explicit OracleOctreeBuild(OctreeScene& scene) : scene(scene) {}

  int run() {
    advanceBrick(scene.brick_cursor);
    scene.nodes_created = 1;
    scene.leafs_created = 0;
    scene.empty_created = 0;
    scene.internal_created = 1;
    std::vector<uint32_t> all;
    for (uint32_t first = 0; first < scene.triangle_cursor; first += 3) all.push_back(first);
    return buildNode(all, 0, 0, 0, 1024, 0, 0, 0, 0);
  }

 private:
  int buildNode(std::vector<uint32_t> candidates, int x, int y, int z, int edge, int depth, int tx,
                int ty, int tz) {
    const int h = edge / 2;
    const Vector3 center{float(x + h), float(y + h), float(z + h)};
    const Vector3 half{float(h), float(h), float(h)};
    std::vector<uint32_t> own;
    for (uint32_t first : candidates) {
      const Vector3* p = &scene.triangle_positions[first];
      if (triangleOverlapsBox(center, half, p[0], p[1], p[2])) own.push_back(first);
    }

    uint32_t word;
    bool internal = false;
    const bool wants_split = own.size() >= 5 && depth < 9;
    if (own.empty()) {
      word = 0x40000000u;
      scene.empty_created++;
    } else if (wants_split && scene.brick_cursor.z < 128) {
      const BrickCursor& b = scene.brick_cursor;
      word = (uint32_t(b.z) << 20) | (uint32_t(b.y) << 10) | uint32_t(b.x);
      internal = true;
      scene.internal_created++;
    } else {
      const uint32_t count = own.size() > 511 ? 511 : uint32_t(own.size());
      const TexelCursor start = scene.tri_id_cursor;
      for (uint32_t i = 0; i < count; ++i) {
        TexelCursor& c = scene.tri_id_cursor;
        scene.triangle_ids[c.row * 1024 + c.column] = ((own[i] / 1024) << 16) | (own[i] % 1024);
        c.column++;
        if (c.column == 1024) {
          c.column = 0;
          c.row++;
        }
        if (c.row >= 1023) return kStatusFatal;
      }
      word = 0x80000000u | (start.row << 20) | (start.column << 10) | count;
      scene.leafs_created++;
    }
    scene.node_pool[(size_t(tz) * 128 + ty) * 128 + tx] = word;
    scene.nodes_created++;
    if (!internal) return kStatusOk;

    const BrickCursor brick = scene.brick_cursor;
    advanceBrick(scene.brick_cursor);
    for (int k = 0; k < 2; ++k)
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
          const int status = buildNode(own, x + i * h, y + j * h, z + k * h, h, depth + 1,
                                       brick.x + i, brick.y + j, brick.z + k);
          if (status != kStatusOk) return status;
        }
    return kStatusOk;
  }

  OctreeScene& scene;
};

inline int oracleBuildOctree(OctreeScene& scene) { return OracleOctreeBuild(scene).run(); }
