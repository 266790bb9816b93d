#include "image/Yuv420.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

RgbImage patches(int width, int height, std::vector<std::array<uint8_t, 3>> columns) {
  RgbImage image{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto& colour = columns[static_cast<size_t>(x * static_cast<int>(columns.size()) / width)];
      image.pixels.insert(image.pixels.end(), colour.begin(), colour.end());
    }
  }
  return image;
}

}  // namespace

// BT.709 in limited range, as the desktop's video stores it: pure red is
// (63, 102, 240), pure blue (32, 240, 118), grey keeps neutral chroma. The
// planes are Y, then Cb, then Cr, a chroma sample to a 2x2 block.
TEST(Yuv420, KnownColoursInBt709LimitedRange) {
  std::vector<uint8_t> planes;
  toI420(patches(6, 2, {{255, 0, 0}, {0, 0, 255}, {128, 128, 128}}), planes);
  const std::vector<uint8_t> luma = {63, 63, 32, 32, 126, 126};
  ASSERT_EQ(planes.size(), 12u + 3u + 3u);
  EXPECT_EQ(std::vector<uint8_t>(planes.begin(), planes.begin() + 6), luma);
  EXPECT_EQ(std::vector<uint8_t>(planes.begin() + 6, planes.begin() + 12), luma);
  EXPECT_EQ(std::vector<uint8_t>(planes.begin() + 12, planes.begin() + 15),
            (std::vector<uint8_t>{102, 240, 128})) << "Cb";
  EXPECT_EQ(std::vector<uint8_t>(planes.begin() + 15, planes.end()),
            (std::vector<uint8_t>{240, 118, 128})) << "Cr";

  toI420(patches(2, 2, {{0, 0, 0}, {255, 255, 255}}), planes);
  EXPECT_EQ(planes, (std::vector<uint8_t>{16, 235, 16, 235, 128, 128})) << "black, white, their mean";
}

TEST(Yuv420, PixelsShortOfTheSidesGiveNoPlanes) {
  std::vector<uint8_t> planes = {1, 2, 3};
  RgbImage image = patches(4, 4, {{10, 20, 30}});
  image.pixels.resize(image.pixels.size() - 1);
  toI420(image, planes);
  EXPECT_TRUE(planes.empty());
  toI420(RgbImage{-2, -2, {}}, planes);
  EXPECT_TRUE(planes.empty());
}
