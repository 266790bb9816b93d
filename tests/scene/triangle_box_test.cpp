#include <cmath>

#include <gtest/gtest.h>

#include "scene/TriangleBox.h"
#include "scene/TriangleBoxBatch.h"
#include "scene/SceneGenerators.h"

namespace {

const Vector3 kOrigin{0, 0, 0};
const Vector3 kUnitHalf{1, 1, 1};

bool overlapsUnitBox(Vector3 a, Vector3 b, Vector3 c) {
  return triangleOverlapsBox(kOrigin, kUnitHalf, a, b, c);
}

float above(float v) { return std::nextafter(v, 10.0f); }

TEST(TriangleOverlapsBox, InsideCrossingAndFarAway) {
  EXPECT_TRUE(overlapsUnitBox({-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0, 0.5f, 0}));
  // Much larger than the box, cutting straight through it.
  EXPECT_TRUE(overlapsUnitBox({-50, -50, 0.3f}, {50, -50, 0.3f}, {0, 50, 0.3f}));
  EXPECT_FALSE(overlapsUnitBox({5, 5, 5}, {6, 5, 5}, {5, 6, 5}));
}

TEST(TriangleOverlapsBox, TouchingAFaceAnEdgeOrACornerCounts) {
  // In the plane of the box's upper x face.
  EXPECT_TRUE(overlapsUnitBox({1, -3, -3}, {1, 3, -3}, {1, 0, 3}));
  EXPECT_FALSE(overlapsUnitBox({above(1), -3, -3}, {above(1), 3, -3}, {above(1), 0, 3}));
  // Only one corner on the box's corner.
  EXPECT_TRUE(overlapsUnitBox({1, 1, 1}, {3, 1, 1}, {1, 3, 2}));
  // An edge of the triangle lying along an edge of the box.
  EXPECT_TRUE(overlapsUnitBox({1, 1, -1}, {1, 1, 1}, {3, 3, 0}));
}

TEST(TriangleOverlapsBox, EdgeAxisSeparatesWhereBoundsAndPlaneDoNot) {
  // The triangle's bounds and plane both meet the box; only the edge's axis
  // (1, 1, 0) shows that it passes outside the corner at (1, 1).
  EXPECT_FALSE(overlapsUnitBox({2.25f, 0, 0}, {0, 2.25f, 0}, {2.25f, 2.25f, 0}));
  EXPECT_TRUE(overlapsUnitBox({2, 0, 0}, {0, 2, 0}, {2, 2, 0}));
  EXPECT_FALSE(overlapsUnitBox({2.25f, 0, -5}, {0, 2.25f, -5}, {2.25f, 2.25f, 5}));
}

TEST(TriangleOverlapsBox, PlaneSeparatesATiltedTriangle) {
  // All corners on the plane x + y + z = 3.5, just beyond the corner (1, 1, 1).
  EXPECT_FALSE(overlapsUnitBox({10, 0, -6.5f}, {-6.5f, 10, 0}, {0, -6.5f, 10}));
  EXPECT_TRUE(overlapsUnitBox({10, 0, -7}, {-7, 10, 0}, {0, -7, 10}));
}

TEST(TriangleOverlapsBox, DegenerateTrianglesFollowTheirAxisTests) {
  EXPECT_TRUE(overlapsUnitBox({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}));
  EXPECT_FALSE(overlapsUnitBox({1.5f, 0.5f, 0.5f}, {1.5f, 0.5f, 0.5f}, {1.5f, 0.5f, 0.5f}));
  // A segment crossing the box.
  EXPECT_TRUE(overlapsUnitBox({-3, 0, 0}, {3, 0, 0}, {0, 0, 0}));
}

TEST(TriangleOverlapsBox, OffCentreBoxWithUnequalHalves) {
  const Vector3 center{512, 512, 512};
  const Vector3 half{512, 512, 512};
  // Lying in the plane x = 512, the middle of the box, and on its outer face.
  EXPECT_TRUE(triangleOverlapsBox(center, half, {512, 10, 10}, {512, 900, 10}, {512, 10, 900}));
  EXPECT_TRUE(triangleOverlapsBox(center, half, {1024, 10, 10}, {1024, 900, 10}, {1024, 10, 900}));
  const Vector3 slab{4, 1, 64};
  EXPECT_TRUE(triangleOverlapsBox(center, slab, {515, 513, 450}, {509, 513, 450}, {512, 513, 600}));
  EXPECT_FALSE(triangleOverlapsBox(center, slab, {515, 513.5f, 450}, {509, 513.5f, 450},
                                   {512, 513.5f, 600}));
}

TEST(PlaneOverlapsBox, TouchingTheCornerCountsAndBeyondDoesNot) {
  const Vector3 diagonal{1, 1, 1};
  EXPECT_TRUE(planeOverlapsBox(diagonal, {1, 1, 1}, kUnitHalf));
  EXPECT_FALSE(planeOverlapsBox(diagonal, {1, 1, 1.5f}, kUnitHalf));
  EXPECT_TRUE(planeOverlapsBox({-1, -1, -1}, {-1, -1, -1}, kUnitHalf));
  EXPECT_FALSE(planeOverlapsBox({-1, 2, 0}, {0, 3.5f, 0}, kUnitHalf));
  // A zero normal describes no plane and never separates.
  EXPECT_TRUE(planeOverlapsBox({0, 0, 0}, {9, 9, 9}, kUnitHalf));
}

TEST(TrianglesWithinBoundsOverlapBox, FourAtOnceAnswerAsOneAtATime) {
  // Corners on a coarse grid touch the boxes' faces, edges and corners
  // often; a few are infinite or not a number.
  SceneRandom random(3);
  const float inf = std::numeric_limits<float>::infinity();
  const float odd[4] = {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1e30f};
  auto coordinate = [&]() {
    if (random.chance(1)) return odd[random.next() % 4];
    const float v = random.uniform(-6, 6);
    return random.chance(50) ? std::round(v * 2.0f) / 2.0f : v;
  };
  int overlapping = 0;
  for (int round = 0; round < 20000; ++round) {
    const float half = float(1 << (random.next() % 3));
    const Vector3 center{std::round(random.uniform(-2, 2)), std::round(random.uniform(-2, 2)), 0};
    Vector3 corners[4][3];
    const Vector3* starts[4];
    for (auto& triangle : corners) {
      for (Vector3& v : triangle) v = {coordinate(), coordinate(), coordinate()};
      if (random.chance(10)) triangle[2] = triangle[0];
    }
    for (int i = 0; i < 4; ++i) starts[i] = corners[i];
    const int count = 1 + int(random.next() % 4);
    unsigned expected = 0;
    for (int i = 0; i < count; ++i)
      if (triangleWithinBoundsOverlapsBox(center, {half, half, half}, corners[i][0], corners[i][1],
                                          corners[i][2]))
        expected |= 1u << i;
    ASSERT_EQ(trianglesWithinBoundsOverlapBox(center, half, starts, count), expected) << "round " << round;
    overlapping += __builtin_popcount(expected);
  }
  EXPECT_GT(overlapping, 5000) << "the cases should not all miss";
}

}  // namespace
