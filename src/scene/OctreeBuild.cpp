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
#include "scene/TriangleBoxBatch.h"

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

// A candidate handed from a node to one of its children: the triangle's
// first texel, with the top bit set when the triangle lies inside the
// child's box (first texels stay below 2^21).
constexpr uint32_t kInsideBit = 0x80000000u;

// Rounding is monotonic, so (lowest corner - center) is the smallest of the
// overlap test's own corner offsets: comparing the bounds reproduces its
// box-axis rejection exactly. A triangle whose offsets all lie within the
// half edges passes every axis and the plane test too, so it is accepted
// without running them. Together they decide most candidates without the
// full test and never differently from it.
//
// Along one axis, the two halves of a node a triangle can touch (bit 0 the
// lower, bit 1 the upper) and those it lies inside, without branches: the
// outcome is data, not control flow.
struct AxisReach {
  unsigned possible;
  unsigned inside;
};

inline AxisReach reachAlong(float lo, float hi, float lower_center, float upper_center,
                            float half) {
  const float lower_from = lo - lower_center;
  const float lower_to = hi - lower_center;
  const float upper_from = lo - upper_center;
  const float upper_to = hi - upper_center;
  // Bounds hold no NaN, so "not (from > half)" is "from <= half".
  const unsigned possible = (unsigned(lower_from <= half) & unsigned(lower_to >= -half)) |
                            (unsigned(upper_from <= half) & unsigned(upper_to >= -half)) << 1;
  const unsigned inside = (unsigned(lower_from >= -half) & unsigned(lower_to <= half)) |
                          (unsigned(upper_from >= -half) & unsigned(upper_to <= half)) << 1;
  return {possible, inside & possible};
}

// The children (bit k * 4 + j * 2 + i) on the lower and upper side of each
// axis.
constexpr uint8_t kChildrenAlongX[4] = {0x00, 0x55, 0xAA, 0xFF};
constexpr uint8_t kChildrenAlongY[4] = {0x00, 0x33, 0xCC, 0xFF};
constexpr uint8_t kChildrenAlongZ[4] = {0x00, 0x0F, 0xF0, 0xFF};

class OctreeBuilder {
 public:
  explicit OctreeBuilder(OctreeScene& scene) : scene(scene) {}

  int build() {
    computeBounds();
    // The root is the lower child of a node twice its size.
    const float root_half = float(scene_dim / 2);
    std::vector<uint32_t>& root_candidates = handed[0][0];
    for (uint32_t first = 0; first < scene.triangle_cursor; first += 3) {
      const TriangleBounds& b = bounds[first / 3];
      unsigned possible = 1;
      unsigned inside = 1;
      for (int axis = 0; axis < 3; ++axis) {
        const AxisReach reach = reachAlong(b.lo[axis], b.hi[axis], root_half, 3.0f * root_half, root_half);
        possible &= reach.possible;
        inside &= reach.inside;
      }
      if (possible) root_candidates.push_back(first | (inside ? kInsideBit : 0u));
    }
    return buildNode(root_candidates, 0, {0, 0, 0, scene_dim}, {0, 0, 0});
  }

 private:
  void computeBounds() {
    const Vector3* p = scene.triangle_positions.data();
    bounds.resize(scene.triangle_cursor / 3);
    for (size_t t = 0; t < bounds.size(); ++t) bounds[t] = boundsOf(p[3 * t], p[3 * t + 1], p[3 * t + 2]);
  }

  // The node's own list: the handed candidates that overlap its box, in
  // their order. Those not known to lie inside go through the full test
  // four at a time.
  void keepOverlapping(const std::vector<uint32_t>& candidates, const NodeBox& box,
                       std::vector<uint32_t>& own) {
    const int h = box.edge / 2;
    const Vector3 center{float(box.x + h), float(box.y + h), float(box.z + h)};
    const Vector3* p = scene.triangle_positions.data();
    accepted.resize(candidates.size());
    const Vector3* batch[4];
    size_t slots[4];
    int pending = 0;
    auto decide = [&]() {
      const unsigned answers = trianglesWithinBoundsOverlapBox(center, float(h), batch, pending);
      for (int j = 0; j < pending; ++j) accepted[slots[j]] = uint8_t(answers >> j & 1u);
      pending = 0;
    };
    for (size_t i = 0; i < candidates.size(); ++i) {
      const uint32_t candidate = candidates[i];
      accepted[i] = 1;
      if (candidate & kInsideBit) continue;
      batch[pending] = p + candidate;
      slots[pending] = i;
      if (++pending == 4) decide();
    }
    if (pending > 0) decide();
    own.clear();
    for (size_t i = 0; i < candidates.size(); ++i)
      if (accepted[i]) own.push_back(candidates[i] & ~kInsideBit);
  }

  // Sorts an internal node's list into the candidate lists of its eight
  // children, keeping scene order within each.
  void handToChildren(const std::vector<uint32_t>& own, const NodeBox& box, int child_depth) {
    std::vector<uint32_t>* children = handed[child_depth];
    for (int c = 0; c < 8; ++c) children[c].clear();
    const int h = box.edge / 2;
    const float child_half = float(h / 2);
    const int origin[3] = {box.x, box.y, box.z};
    float lower[3];
    float upper[3];
    for (int axis = 0; axis < 3; ++axis) {
      lower[axis] = float(origin[axis] + h / 2);
      upper[axis] = float(origin[axis] + h + h / 2);
    }
    for (const uint32_t first : own) {
      const TriangleBounds& b = bounds[first / 3];
      const AxisReach x = reachAlong(b.lo[0], b.hi[0], lower[0], upper[0], child_half);
      const AxisReach y = reachAlong(b.lo[1], b.hi[1], lower[1], upper[1], child_half);
      const AxisReach z = reachAlong(b.lo[2], b.hi[2], lower[2], upper[2], child_half);
      unsigned possible = kChildrenAlongX[x.possible] & kChildrenAlongY[y.possible] &
                          kChildrenAlongZ[z.possible];
      const unsigned inside =
          kChildrenAlongX[x.inside] & kChildrenAlongY[y.inside] & kChildrenAlongZ[z.inside];
      while (possible != 0) {
        const unsigned child = unsigned(__builtin_ctz(possible));
        children[child].push_back(first | ((inside >> child & 1u) << 31));
        possible &= possible - 1;
      }
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

  int buildNode(const std::vector<uint32_t>& candidates, int depth, const NodeBox& box,
                const Texel& texel) {
    std::vector<uint32_t>& own = lists[depth];
    keepOverlapping(candidates, box, own);

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
    handToChildren(own, box, depth + 1);
    const int h = box.edge / 2;
    // z outermost, x innermost: the order in which bricks and leaf runs are
    // handed out below depends on it.
    for (int k = 0; k < 2; ++k) {
      for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
          const NodeBox child{box.x + i * h, box.y + j * h, box.z + k * h, h};
          const int status = buildNode(handed[depth + 1][k * 4 + j * 2 + i], depth + 1, child,
                                       {brick.x + i, brick.y + j, brick.z + k});
          if (status != kStatusOk) return status;
        }
      }
    }
    return kStatusOk;
  }

  OctreeScene& scene;
  std::vector<TriangleBounds> bounds;
  // Per level of the current path: the node's own list, and the candidate
  // lists it hands to its eight children. A child's subtree is finished
  // before its next sibling reads its own candidates, so every level needs
  // only one set, reused.
  std::vector<uint32_t> lists[kMaxDepth + 1];
  std::vector<uint32_t> handed[kMaxDepth + 1][8];
  std::vector<uint8_t> accepted;  // per candidate of the node being decided
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
