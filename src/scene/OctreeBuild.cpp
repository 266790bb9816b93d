// The sparse voxel octree over the packed triangles. The node pool and the
// triangle-id array it writes are fixed by the algorithm word for word (the
// shaders and the tests rely on the exact order of bricks and leaf runs); the
// speed comes only from rejecting candidates early, never from changing a
// decision.
#include <cmath>
#include <ctime>
#include <iostream>
#include <limits>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"
#include "scene/TriangleBox.h"

namespace {

// Axis-aligned bounds of one triangle's corners.
struct TriangleBounds {
  float lo[3];
  float hi[3];
};

struct NodeBox {
  int x;
  int y;
  int z;
  int edge;
};

struct Texel {
  int x;
  int y;
  int z;
};

TriangleBounds boundsOf(const Vector3& a, const Vector3& b, const Vector3& c) {
  const float xs[3] = {a.x, b.x, c.x};
  const float ys[3] = {a.y, b.y, c.y};
  const float zs[3] = {a.z, b.z, c.z};
  const float* axes[3] = {xs, ys, zs};
  TriangleBounds bounds{};
  for (int axis = 0; axis < 3; ++axis) {
    const float* v = axes[axis];
    if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2])) {
      // Unordered corners: leave every decision to the full test.
      bounds.lo[axis] = -std::numeric_limits<float>::infinity();
      bounds.hi[axis] = std::numeric_limits<float>::infinity();
      continue;
    }
    bounds.lo[axis] = std::fmin(v[0], std::fmin(v[1], v[2]));
    bounds.hi[axis] = std::fmax(v[0], std::fmax(v[1], v[2]));
  }
  return bounds;
}

class OctreeBuilder {
 public:
  explicit OctreeBuilder(OctreeScene& scene) : scene(scene) {}

  int build() {
    computeBounds();
    std::vector<uint32_t> root_list;
    for (uint32_t first = 0; first < scene.triangle_cursor; first += 3) root_list.push_back(first);
    return buildNode(root_list.data(), root_list.size(), 0, {0, 0, 0, scene_dim}, {0, 0, 0});
  }

 private:
  void computeBounds() {
    const Vector3* p = scene.triangle_positions.data();
    bounds.resize(scene.triangle_cursor / 3);
    for (size_t t = 0; t < bounds.size(); ++t) bounds[t] = boundsOf(p[3 * t], p[3 * t + 1], p[3 * t + 2]);
  }

  // Appends to `own` every candidate that triangleOverlapsBox accepts.
  // Rounding is monotonic, so (lowest corner - center) is the smallest of
  // the test's own corner offsets: the bounds reproduce its box-axis
  // rejection exactly. A triangle whose offsets all lie inside the half
  // edges passes every axis and the plane test too, so it is accepted
  // without running them.
  void filter(const uint32_t* candidates, size_t count, const Vector3& center, float h,
              std::vector<uint32_t>& own) const {
    const Vector3 half{h, h, h};
    const float c[3] = {center.x, center.y, center.z};
    const Vector3* p = scene.triangle_positions.data();
    for (size_t i = 0; i < count; ++i) {
      const uint32_t first = candidates[i];
      const TriangleBounds& b = bounds[first / 3];
      bool inside = true;
      bool separated = false;
      for (int axis = 0; axis < 3; ++axis) {
        const float lo = b.lo[axis] - c[axis];
        const float hi = b.hi[axis] - c[axis];
        separated = separated || lo > h || hi < -h;
        inside = inside && lo >= -h && hi <= h;
      }
      if (separated) continue;
      if (inside || triangleOverlapsBox(center, half, p[first], p[first + 1], p[first + 2]))
        own.push_back(first);
    }
  }

  bool takeBrick(uint32_t& word) {
    if (!brickAvailable(scene.brick_cursor)) {
      if (!pool_full_reported) {
        std::cout << "node pool full: further nodes that would be split become leaves" << std::endl;
        pool_full_reported = true;
      }
      return false;
    }
    const BrickCursor& b = scene.brick_cursor;
    word = internalNodeWord(uint32_t(b.x), uint32_t(b.y), uint32_t(b.z));
    return true;
  }

  int writeLeaf(const std::vector<uint32_t>& own, uint32_t& word) {
    size_t kept = own.size();
    if (kept > kMaxLeafTriangles) {
      std::cout << "leaf cut to " << kMaxLeafTriangles << " triangles, it overlaps: " << own.size()
                << std::endl;
      kept = kMaxLeafTriangles;
    }
    TexelCursor& cursor = scene.tri_id_cursor;
    const TexelCursor start = cursor;
    for (size_t i = 0; i < kept; ++i) {
      scene.triangle_ids[size_t(cursor.row) * triangle_id_tex_size + cursor.column] =
          triangleReference(own[i]);
      advanceTexel(cursor, triangle_id_tex_size);
      if (cursor.row >= kTriangleIdRowLimit) {
        std::cout << "tri id out of bounds" << std::endl;
        return kStatusFatal;
      }
    }
    word = leafNodeWord(start.column, start.row, static_cast<uint32_t>(kept));
    return kStatusOk;
  }

  int buildNode(const uint32_t* candidates, size_t count, int depth, const NodeBox& box,
                const Texel& texel) {
    const int h = box.edge / 2;
    const Vector3 center{float(box.x + h), float(box.y + h), float(box.z + h)};
    std::vector<uint32_t>& own = lists[depth];
    own.clear();
    filter(candidates, count, center, float(h), own);

    uint32_t word = 0;
    bool internal = false;
    if (own.empty()) {
      word = kEmptyNodeWord;
      scene.empty_created += 1;
    } else if (own.size() >= kSplitThreshold && depth < kMaxDepth && takeBrick(word)) {
      internal = true;
      scene.internal_created += 1;
    } else {
      const int status = writeLeaf(own, word);
      if (status != kStatusOk) return status;
      scene.leafs_created += 1;
    }
    scene.node_pool[nodePoolIndex(texel.x, texel.y, texel.z)] = word;
    scene.nodes_created += 1;
    if (!internal) return kStatusOk;

    const BrickCursor brick = scene.brick_cursor;
    advanceBrick(scene.brick_cursor);
    // z outermost, x innermost: the order in which bricks and leaf runs are
    // handed out below depends on it.
    for (int k = 0; k < 2; ++k) {
      for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
          const NodeBox child{box.x + i * h, box.y + j * h, box.z + k * h, h};
          const int status = buildNode(own.data(), own.size(), depth + 1, child,
                                       {brick.x + i, brick.y + j, brick.z + k});
          if (status != kStatusOk) return status;
        }
      }
    }
    return kStatusOk;
  }

  OctreeScene& scene;
  std::vector<TriangleBounds> bounds;
  // One list per level of the current path, reused by siblings: a child's
  // subtree is finished before the next child fills the same list.
  std::vector<uint32_t> lists[kMaxDepth + 1];
  bool pool_full_reported = false;
};

double clockMilliseconds() { return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }

}  // namespace

int OctreeScene::buildOctree() {
  // The root takes the first brick on its own.
  advanceBrick(brick_cursor);
  nodes_created = 1;
  leafs_created = 0;
  empty_created = 0;
  internal_created = 1;
  const double start = clockMilliseconds();
  const int status = OctreeBuilder(*this).build();
  build_time_ms = clockMilliseconds() - start;
  return status;
}
