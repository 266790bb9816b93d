#pragma once

// Checks of a built octree made by decoding the node pool the way the
// shaders do, from the root down.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "scene/OctreeScene.h"
#include "scene/TriangleBox.h"

struct DecodedNode {
  int x, y, z, edge, depth;
  uint32_t word;
};

inline bool wordIsLeaf(uint32_t word) { return (word & kLeafFlag) != 0; }
inline bool wordIsEmpty(uint32_t word) { return (word & node_mask_30) != 0; }
inline uint32_t wordLow(uint32_t word) { return word & node_mask_0; }
inline uint32_t wordMid(uint32_t word) { return (word & node_mask_10) >> 10; }
inline uint32_t wordHigh(uint32_t word) { return (word & node_mask_20) >> 20; }

inline size_t brickTexel(uint32_t word, int i, int j, int k) {
  return nodePoolIndex(int(wordLow(word)) + i, int(wordMid(word)) + j, int(wordHigh(word)) + k);
}

inline bool overlapsNode(const OctreeScene& scene, uint32_t first, const DecodedNode& node) {
  const float h = float(node.edge / 2);
  const Vector3 center{node.x + h, node.y + h, node.z + h};
  const Vector3* p = &scene.triangle_positions[first];
  return triangleOverlapsBox(center, {h, h, h}, p[0], p[1], p[2]);
}

// The references of a leaf, walked as a run.
inline std::vector<uint32_t> leafTriangles(const OctreeScene& scene, uint32_t word) {
  std::vector<uint32_t> firsts;
  TexelCursor cursor{wordMid(word), wordHigh(word)};
  for (uint32_t n = 0; n < wordLow(word); ++n) {
    const uint32_t ref = scene.triangle_ids[size_t(cursor.row) * triangle_id_tex_size + cursor.column];
    firsts.push_back(((ref & node_tri_id_mask_y) >> 16) * triangle_tex_size + (ref & node_tri_id_mask_x));
    advanceTexel(cursor, triangle_id_tex_size);
  }
  return firsts;
}

// Every node reachable from the root, in the order of the build (children
// k, j, i), with its box and word. Fails the test on a word that points
// outside the pool.
inline std::vector<DecodedNode> walkOctree(const OctreeScene& scene) {
  std::vector<DecodedNode> nodes;
  std::vector<DecodedNode> stack{{0, 0, 0, 1024, 0, scene.node_pool[0]}};
  while (!stack.empty()) {
    const DecodedNode node = stack.back();
    stack.pop_back();
    nodes.push_back(node);
    if (wordIsLeaf(node.word) || wordIsEmpty(node.word)) continue;
    EXPECT_LT(wordLow(node.word), 126u);
    EXPECT_LT(wordMid(node.word), 126u);
    EXPECT_LT(wordHigh(node.word), 127u);
    EXPECT_LT(node.depth, kMaxDepth);
    if (wordLow(node.word) >= 126 || wordMid(node.word) >= 126 || wordHigh(node.word) >= 127) break;
    const int h = node.edge / 2;
    for (int k = 1; k >= 0; --k)
      for (int j = 1; j >= 0; --j)
        for (int i = 1; i >= 0; --i)
          stack.push_back({node.x + i * h, node.y + j * h, node.z + k * h, h, node.depth + 1,
                           scene.node_pool[brickTexel(node.word, i, j, k)]});
  }
  return nodes;
}

// Bricks in pre-order, leaf runs back to back, every reference a real
// triangle that overlaps its leaf, and the counters one above the words for
// the root.
inline void expectSoundLayout(const OctreeScene& scene, const std::vector<DecodedNode>& nodes) {
  BrickCursor expected_brick;
  advanceBrick(expected_brick);
  TexelCursor expected_run;
  int leaves = 0, empties = 0, internals = 0;
  for (const DecodedNode& node : nodes) {
    if (wordIsEmpty(node.word)) {
      EXPECT_EQ(node.word, kEmptyNodeWord);
      ++empties;
    } else if (wordIsLeaf(node.word)) {
      ++leaves;
      ASSERT_GE(wordLow(node.word), 1u);
      EXPECT_EQ(node.word & (1u << 9), 0u) << "count above 511";
      ASSERT_EQ(wordMid(node.word), expected_run.column) << "gap between leaf runs";
      ASSERT_EQ(wordHigh(node.word), expected_run.row) << "gap between leaf runs";
      uint32_t previous = 0;
      bool first_ref = true;
      for (uint32_t first : leafTriangles(scene, node.word)) {
        ASSERT_EQ(first % 3, 0u);
        ASSERT_LT(first, scene.triangle_cursor);
        EXPECT_TRUE(first_ref || first > previous) << "references out of scene order";
        EXPECT_TRUE(overlapsNode(scene, first, node)) << "triangle " << first / 3;
        previous = first;
        first_ref = false;
        advanceTexel(expected_run, triangle_id_tex_size);
      }
    } else {
      ++internals;
      EXPECT_EQ(int(wordLow(node.word)), expected_brick.x);
      EXPECT_EQ(int(wordMid(node.word)), expected_brick.y);
      EXPECT_EQ(int(wordHigh(node.word)), expected_brick.z);
      advanceBrick(expected_brick);
    }
  }
  EXPECT_EQ(expected_run.column, scene.tri_id_cursor.column);
  EXPECT_EQ(expected_run.row, scene.tri_id_cursor.row);
  EXPECT_EQ(scene.leafs_created, leaves);
  EXPECT_EQ(scene.empty_created, empties);
  EXPECT_EQ(scene.internal_created, internals + 1);
  EXPECT_EQ(scene.nodes_created, int(nodes.size()) + 1);
}

// Every triangle that overlaps a leaf's box (and so every box above it) is
// listed in that leaf, and no empty node's box holds one.
inline void expectCompleteLeaves(const OctreeScene& scene) {
  for (uint32_t first = 0; first < scene.triangle_cursor; first += 3) {
    std::vector<DecodedNode> stack{{0, 0, 0, 1024, 0, scene.node_pool[0]}};
    while (!stack.empty()) {
      const DecodedNode node = stack.back();
      stack.pop_back();
      if (!overlapsNode(scene, first, node)) continue;
      ASSERT_FALSE(wordIsEmpty(node.word)) << "triangle " << first / 3 << " in an empty node";
      if (wordIsLeaf(node.word)) {
        const std::vector<uint32_t> listed = leafTriangles(scene, node.word);
        if (listed.size() < kMaxLeafTriangles) {
          EXPECT_TRUE(std::binary_search(listed.begin(), listed.end(), first))
              << "triangle " << first / 3 << " missing from the leaf at " << node.x << ","
              << node.y << "," << node.z << " edge " << node.edge;
        }
        continue;
      }
      const int h = node.edge / 2;
      for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
          for (int i = 0; i < 2; ++i)
            stack.push_back({node.x + i * h, node.y + j * h, node.z + k * h, h, node.depth + 1,
                             scene.node_pool[brickTexel(node.word, i, j, k)]});
    }
  }
}

inline void expectSoundOctree(const OctreeScene& scene) {
  const std::vector<DecodedNode> nodes = walkOctree(scene);
  expectSoundLayout(scene, nodes);
  expectCompleteLeaves(scene);
}

// The real build and the plain one agree on every word and counter.
inline void expectSameBuild(const OctreeScene& a, const OctreeScene& b) {
  EXPECT_TRUE(a.node_pool == b.node_pool) << "node pools differ";
  EXPECT_TRUE(a.triangle_ids == b.triangle_ids) << "triangle ids differ";
  EXPECT_EQ(a.nodes_created, b.nodes_created);
  EXPECT_EQ(a.leafs_created, b.leafs_created);
  EXPECT_EQ(a.empty_created, b.empty_created);
  EXPECT_EQ(a.internal_created, b.internal_created);
  EXPECT_EQ(a.brick_cursor.x, b.brick_cursor.x);
  EXPECT_EQ(a.brick_cursor.y, b.brick_cursor.y);
  EXPECT_EQ(a.brick_cursor.z, b.brick_cursor.z);
  EXPECT_EQ(a.tri_id_cursor.column, b.tri_id_cursor.column);
  EXPECT_EQ(a.tri_id_cursor.row, b.tri_id_cursor.row);
}
