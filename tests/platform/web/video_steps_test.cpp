#include "platform/web/VideoSteps.h"

#include <gtest/gtest.h>

// The video's frame shown in the page, as large as the canvas holds it
// whole, in its own shape and centred.
TEST(VideoSteps, AFrameFitsTheCanvasInItsOwnShape) {
  const FitArea wide = fitArea(768, 512, 390, 844);
  EXPECT_EQ(wide.width, 390);
  EXPECT_EQ(wide.height, 260);
  EXPECT_EQ(wide.x, 0);
  EXPECT_EQ(wide.y, (844 - 260) / 2);
  const FitArea tall = fitArea(100, 200, 800, 600);
  EXPECT_EQ(tall.width, 300);
  EXPECT_EQ(tall.height, 600);
  EXPECT_EQ(tall.x, 250);
  EXPECT_EQ(tall.y, 0);
  const FitArea empty = fitArea(0, 0, 640, 480);
  EXPECT_EQ(empty.width, 640) << "no shape to keep, and no division by zero";
  EXPECT_EQ(empty.height, 480);
}

// Quick browser frames double the draws (to the samples and to 64), slow
// ones halve them (to one), and those between keep them.
TEST(VideoSteps, DrawsPerFrameFollowTheFrameTimes) {
  EXPECT_EQ(nextDrawsPerStep(1, 10.0, 16), 2);
  EXPECT_EQ(nextDrawsPerStep(12, 10.0, 16), 16);
  EXPECT_EQ(nextDrawsPerStep(48, 10.0, 1000), 64);
  EXPECT_EQ(nextDrawsPerStep(16, 10.0, 16), 16);
  EXPECT_EQ(nextDrawsPerStep(8, 40.0, 16), 8);
  EXPECT_EQ(nextDrawsPerStep(8, 100.0, 16), 4);
  EXPECT_EQ(nextDrawsPerStep(1, 100.0, 16), 1);
}
