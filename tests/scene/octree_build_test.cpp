#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeChecks.h"
#include "scene/OctreeOracle.h"
#include "scene/SceneGenerators.h"

namespace {

// Three tiny triangles around a point, all within one finest cell.
void addSpeck(std::vector<Triangle>& out, Vector3 p, int copies = 1) {
  for (int c = 0; c < copies; ++c) {
    const float s = 0.1f + 0.05f * float(c % 4);
    out.push_back({p, offset(p, s, 0, 0), offset(p, 0, s, s)});
  }
}

// Scenes are 40 MiB each: keep them off the stack.
std::unique_ptr<OctreeScene> built(const std::vector<Triangle>& triangles) {
  auto scene = std::make_unique<OctreeScene>();
  setTriangles(*scene, triangles);
  EXPECT_EQ(scene->buildOctree(), kStatusOk);
  return scene;
}

std::unique_ptr<OctreeScene> builtByOracle(const std::vector<Triangle>& triangles) {
  auto scene = std::make_unique<OctreeScene>();
  setTriangles(*scene, triangles);
  EXPECT_EQ(oracleBuildOctree(*scene), kStatusOk);
  return scene;
}

const DecodedNode* findNode(const std::vector<DecodedNode>& nodes, int x, int y, int z, int edge) {
  for (const DecodedNode& node : nodes)
    if (node.x == x && node.y == y && node.z == z && node.edge == edge) return &node;
  return nullptr;
}

TEST(OctreeBuild, SceneWithoutTrianglesHasAnEmptyRoot) {
  auto scene = built({});
  EXPECT_EQ(scene->node_pool[0], kEmptyNodeWord);
  EXPECT_EQ(scene->nodes_created, 2);
  EXPECT_EQ(scene->empty_created, 1);
  EXPECT_EQ(scene->leafs_created, 0);
  EXPECT_EQ(scene->internal_created, 1);
  EXPECT_EQ(scene->tri_id_cursor.column, 0u);
}

TEST(OctreeBuild, FewerThanFiveTrianglesMakeTheRootALeaf) {
  std::vector<Triangle> triangles;
  addSpeck(triangles, {10, 10, 10});
  addSpeck(triangles, {900, 20, 500});
  addSpeck(triangles, {512, 512, 512});
  auto scene = built(triangles);
  EXPECT_EQ(scene->node_pool[0], leafNodeWord(0, 0, 3));
  EXPECT_EQ(scene->triangle_ids[0], 0u);
  EXPECT_EQ(scene->triangle_ids[1], 3u);
  EXPECT_EQ(scene->triangle_ids[2], 6u);
  EXPECT_EQ(scene->triangle_ids[3], 0u);
  EXPECT_EQ(scene->nodes_created, 2);
  EXPECT_EQ(scene->leafs_created, 1);
  EXPECT_EQ(scene->internal_created, 1);
  EXPECT_EQ(scene->empty_created, 0);
}

TEST(OctreeBuild, FiveTrianglesInOneCellSplitDownToTheFinestLevel) {
  std::vector<Triangle> triangles;
  addSpeck(triangles, {0.5f, 0.5f, 0.5f}, 5);
  auto scene = built(triangles);
  // The root's children are in the brick after its own; the first child
  // built is the octant at the origin.
  EXPECT_EQ(scene->node_pool[0], 0x00000002u);
  EXPECT_EQ(scene->node_pool[nodePoolIndex(2, 0, 0)], internalNodeWord(4, 0, 0));
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i)
        if (i + j + k > 0) {
          EXPECT_EQ(scene->node_pool[nodePoolIndex(2 + i, j, k)], kEmptyNodeWord);
        }
  EXPECT_EQ(scene->node_pool[nodePoolIndex(1, 0, 0)], 0u) << "the root's brick holds only the root";

  const std::vector<DecodedNode> nodes = walkOctree(*scene);
  const DecodedNode* finest = findNode(nodes, 0, 0, 0, 2);
  ASSERT_NE(finest, nullptr);
  EXPECT_EQ(finest->word, leafNodeWord(0, 0, 5));
  EXPECT_EQ(scene->internal_created, 1 + 9);  // depths 0 to 8, the root counted twice
  EXPECT_EQ(scene->leafs_created, 1);
  EXPECT_EQ(scene->empty_created, 9 * 7);
  expectSoundOctree(*scene);
}

TEST(OctreeBuild, SplitNeedsFiveTrianglesAboveTheFinestLevel) {
  std::vector<Triangle> triangles;
  addSpeck(triangles, {0.5f, 0.5f, 0.5f}, 4);  // four in the cell [0, 4)^3
  addSpeck(triangles, {4.5f, 0.5f, 0.5f});     // the fifth of the cell [0, 8)^3
  addSpeck(triangles, {1000.5f, 1000.5f, 1000.5f}, 5);
  auto scene = built(triangles);
  const std::vector<DecodedNode> nodes = walkOctree(*scene);

  const DecodedNode* four = findNode(nodes, 0, 0, 0, 4);
  ASSERT_NE(four, nullptr);
  EXPECT_TRUE(wordIsLeaf(four->word));
  EXPECT_EQ(wordLow(four->word), 4u);
  const DecodedNode* five = findNode(nodes, 1000, 1000, 1000, 4);
  ASSERT_NE(five, nullptr);
  EXPECT_FALSE(wordIsLeaf(five->word) || wordIsEmpty(five->word));
  const DecodedNode* finest = findNode(nodes, 1000, 1000, 1000, 2);
  ASSERT_NE(finest, nullptr);
  EXPECT_EQ(wordLow(finest->word), 5u);
  expectSoundOctree(*scene);
}

TEST(OctreeBuild, ALeafIsAsLargeAsItsCellHoweverSmallItsTriangles) {
  std::vector<Triangle> triangles;
  addSpeck(triangles, {3.5f, 3.5f, 3.5f}, 2);
  addSpeck(triangles, {100.5f, 60.5f, 7.5f}, 2);
  addSpeck(triangles, {200.5f, 10.5f, 10.5f});  // in [128, 256): makes [0, 256) split
  auto scene = built(triangles);
  const std::vector<DecodedNode> nodes = walkOctree(*scene);
  const DecodedNode* leaf = findNode(nodes, 0, 0, 0, 128);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->depth, 3);
  EXPECT_EQ(leaf->word, leafNodeWord(0, 0, 4));
  expectSoundOctree(*scene);
}

TEST(OctreeBuild, TriangleOnTheMiddlePlaneIsListedOnBothSides) {
  std::vector<Triangle> triangles{{Vector3{512, 300, 300}, Vector3{512, 310, 300}, Vector3{512, 300, 310}}};
  addSpeck(triangles, {100.5f, 100.5f, 100.5f}, 4);
  auto scene = built(triangles);
  bool below = false;
  bool above = false;
  for (const DecodedNode& node : walkOctree(*scene)) {
    if (!wordIsLeaf(node.word)) continue;
    const std::vector<uint32_t> listed = leafTriangles(*scene, node.word);
    if (std::find(listed.begin(), listed.end(), 0u) == listed.end()) continue;
    below = below || node.x + node.edge == 512;
    above = above || node.x == 512;
  }
  EXPECT_TRUE(below);
  EXPECT_TRUE(above);
  expectSoundOctree(*scene);
}

TEST(OctreeBuild, MatchesThePlainBuildOnAMixedScene) {
  const std::vector<Triangle> triangles = randomTriangles(60000, 11);
  auto fast = built(triangles);
  auto plain = builtByOracle(triangles);
  expectSameBuild(*fast, *plain);
  EXPECT_GT(fast->internal_created, 64) << "the scene should use more than one row of bricks";
  expectSoundOctree(*fast);
}

TEST(OctreeBuild, MatchesThePlainBuildOnARoomLikeScene) {
  const std::vector<Triangle> triangles = roomStandIn();
  auto fast = built(triangles);
  auto plain = builtByOracle(triangles);
  expectSameBuild(*fast, *plain);
  expectSoundOctree(*fast);
}

TEST(OctreeBuild, OddCornersNeitherCrashNorDiffer) {
  // Corners outside the cube, infinite and not-a-number corners, as a
  // degenerate model scale can produce.
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<Triangle> triangles = randomTriangles(200, 5);
  triangles.push_back({Vector3{-50, 10, 10}, Vector3{1100, 20, 10}, Vector3{10, 2000, 30}});
  triangles.push_back({Vector3{inf, inf, inf}, Vector3{inf, inf, inf}, Vector3{inf, inf, inf}});
  triangles.push_back({Vector3{nan, 10, 10}, Vector3{20, 10, 10}, Vector3{10, 20, 10}});
  triangles.push_back({Vector3{5, 5, 5}, Vector3{-inf, 5, 5}, Vector3{5, 6, 5}});
  auto fast = built(triangles);
  auto plain = builtByOracle(triangles);
  expectSameBuild(*fast, *plain);
}

TEST(OctreeBuild, FullNodePoolTurnsFurtherSplitsIntoLeaves) {
  // Specks on the centres of cells of edge 16: each costs 17 bricks, and
  // 16,384 of them need more bricks than the pool holds.
  std::vector<Triangle> triangles;
  for (int c = 0; c < 4; ++c)
    for (int b = 0; b < 64; ++b)
      for (int a = 0; a < 64; ++a) {
        const Vector3 p{16.0f * a + 8, 16.0f * b + 8, 16.0f * c + 8};
        for (int n = 0; n < 5; ++n)
          triangles.push_back({offset(p, -0.25f, -0.25f, 0), offset(p, 0.5f, -0.25f, 0),
                               offset(p, -0.25f, 0.5f + 0.1f * n, 0)});
      }
  testing::internal::CaptureStdout();
  auto fast = built(triangles);
  const std::string output = testing::internal::GetCapturedStdout();
  // One line for the full pool; the leaves that take the place of large
  // internal nodes report their cut counts after it.
  const std::string pool_full = "node pool full: further nodes that would be split become leaves\n";
  EXPECT_EQ(output.find(pool_full), 0u) << output;
  EXPECT_EQ(output.find(pool_full, 1), std::string::npos) << output;
  EXPECT_FALSE(brickAvailable(fast->brick_cursor));
  EXPECT_EQ(fast->internal_created, 63 * 63 * 64);  // every brick, the root's counted twice
  // The unused border of the pool stays untouched.
  for (int z = 0; z < node_pool_dim; ++z)
    for (int y = 0; y < node_pool_dim; ++y)
      for (int x = 0; x < node_pool_dim; ++x)
        if (x >= 126 || y >= 126) {
          ASSERT_EQ(fast->node_pool[nodePoolIndex(x, y, z)], 0u);
        }
  expectSoundOctree(*fast);
  auto plain = builtByOracle(triangles);
  expectSameBuild(*fast, *plain);
}

TEST(OctreeBuild, CrowdedFinestLeafKeepsTheFirst511) {
  std::vector<Triangle> triangles;
  addSpeck(triangles, {700.5f, 700.5f, 700.5f}, 600);
  testing::internal::CaptureStdout();
  auto scene = built(triangles);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, "leaf cut to 511 triangles, it overlaps: 600\n");
  const std::vector<DecodedNode> nodes = walkOctree(*scene);
  const DecodedNode* leaf = findNode(nodes, 700, 700, 700, 2);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->word, leafNodeWord(0, 0, 511));
  EXPECT_EQ(scene->triangle_ids[510], triangleReference(3 * 510));
  EXPECT_EQ(scene->triangle_ids[511], 0u);
  EXPECT_EQ(scene->tri_id_cursor.column, 511u);
}

// Five copies of one triangle covering the whole cube's width at a height
// inside the finest cells: 262,144 finest leaves of five references.
std::vector<Triangle> overfullSlab() {
  return std::vector<Triangle>(5, {Vector3{-1, -1, 100.5f}, Vector3{3000, -1, 100.5f},
                                   Vector3{-1, 3000, 100.5f}});
}

TEST(OctreeBuild, FullTriangleIdTextureStopsWithStatusOne) {
  auto scene = std::make_unique<OctreeScene>();
  setTriangles(*scene, overfullSlab());
  testing::internal::CaptureStdout();
  EXPECT_EQ(scene->buildOctree(), kStatusFatal);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "tri id out of bounds\n");
  EXPECT_NE(scene->triangle_ids[kTriangleIdRowLimit * triangle_id_tex_size - 1], 0u)
      << "the reference that fills the last usable texel is written";
  for (uint32_t column = 0; column < triangle_id_tex_size; ++column)
    ASSERT_EQ(scene->triangle_ids[kTriangleIdRowLimit * triangle_id_tex_size + column], 0u);

  auto child_scene = std::make_unique<OctreeScene>();
  setTriangles(*child_scene, overfullSlab());
  EXPECT_EXIT(
      {
        dup2(2, 1);  // the message goes to standard output
        std::exit(child_scene->buildOctree());
      },
      testing::ExitedWithCode(1), "tri id out of bounds");
}

}  // namespace
