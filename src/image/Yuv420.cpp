#include "image/Yuv420.h"

#include <algorithm>
#include <cmath>

namespace {

// BT.709 luma weights, as the desktop's encoder converts.
constexpr double kRedWeight = 0.2126;
constexpr double kBlueWeight = 0.0722;
constexpr double kGreenWeight = 1.0 - kRedWeight - kBlueWeight;

uint8_t level(double value) {
  const double rounded = std::floor(value + 0.5);
  return static_cast<uint8_t>(rounded < 0.0 ? 0.0 : rounded > 255.0 ? 255.0 : rounded);
}

}  // namespace

// The page converts its frames here, since a browser turns RGB frames into
// YUV its own way (Chromium's shifted them by 7 levels on average against
// the desktop's video).
void toI420(const RgbImage& image, std::vector<uint8_t>& planes) {
  const int width = image.width, height = image.height;
  const size_t lumaSize = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  if (lumaSize == 0 || image.pixels.size() < lumaSize * 3) {
    planes.clear();
    return;
  }
  const size_t chromaSize = lumaSize / 4;
  planes.resize(lumaSize + 2 * chromaSize);
  uint8_t* luma = planes.data();
  uint8_t* blue = luma + lumaSize;
  uint8_t* red = blue + chromaSize;
  const auto pixel = [&](int x, int y, int channel) {
    return static_cast<double>(image.pixels[(static_cast<size_t>(y) * width + x) * 3 + channel]);
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double lum = kRedWeight * pixel(x, y, 0) + kGreenWeight * pixel(x, y, 1) + kBlueWeight * pixel(x, y, 2);
      luma[static_cast<size_t>(y) * width + x] = level(16.0 + lum * 219.0 / 255.0);
    }
  }
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width / 2; ++x) {
      double r = 0.0, g = 0.0, b = 0.0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          r += pixel(2 * x + dx, 2 * y + dy, 0) / 4.0;
          g += pixel(2 * x + dx, 2 * y + dy, 1) / 4.0;
          b += pixel(2 * x + dx, 2 * y + dy, 2) / 4.0;
        }
      }
      const double lum = kRedWeight * r + kGreenWeight * g + kBlueWeight * b;
      const size_t at = static_cast<size_t>(y) * (width / 2) + x;
      blue[at] = level(128.0 + (b - lum) / (2.0 * (1.0 - kBlueWeight)) * 224.0 / 255.0);
      red[at] = level(128.0 + (r - lum) / (2.0 * (1.0 - kRedWeight)) * 224.0 / 255.0);
    }
  }
}
