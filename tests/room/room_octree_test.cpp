// The room built into the demo's octree: no cell may gather so many triangles
// that the renderer's leaf tests become the frame's bottleneck.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"

namespace {

TEST(RoomOctree, LargestLeafHoldsAtMost48Triangles) {
  std::vector<SceneObject> objects = roomObjects();
  for (SceneObject& object : objects) {
    object.file_name = std::string(XMASTRACE_RUN_DIR) + "/" + object.file_name;
  }
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  const int status = scene->assembleScene(objects, false);
  const std::string statistics = testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, kStatusOk) << statistics;
  uint32_t largest = 0;
  int leaves = 0;
  for (uint32_t word : scene->node_pool) {
    if ((word & kLeafFlag) == 0) continue;
    ++leaves;
    largest = std::max(largest, word & 0x3FFu);
  }
  EXPECT_EQ(leaves, scene->leafs_created);
  EXPECT_LE(largest, 48u);
  // The figures to watch when the room changes.
  std::printf("%slargest leaf: %u\n", statistics.c_str(), largest);
}

}  // namespace
