#include "platform/web/CanvasSize.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int leastLimit(int a, int b) {
  if (a <= 0) return b;
  if (b <= 0) return a;
  return std::min(a, b);
}

// An unlimited side is still held to what an int can count.
double sideLimit(int limit) {
  return limit > 0 ? limit : static_cast<double>(std::numeric_limits<int>::max());
}

}  // namespace

DrawingLimits drawingLimits(int maxTextureSize, int maxRenderbufferSize, int maxViewportWidth,
                            int maxViewportHeight) {
  DrawingLimits limits;
  const int square = leastLimit(maxTextureSize, maxRenderbufferSize);
  limits.maxWidth = leastLimit(square, maxViewportWidth);
  limits.maxHeight = leastLimit(square, maxViewportHeight);
  return limits;
}

PixelSize drawingBufferSize(double cssWidth, double cssHeight, double ratio,
                            const DrawingLimits& limits) {
  if (!(ratio > 0.0) || !std::isfinite(ratio)) return {};
  if (limits.maxRatio > 0.0) ratio = std::min(ratio, limits.maxRatio);
  const double width = std::round(cssWidth * ratio);
  const double height = std::round(cssHeight * ratio);
  // Also false for NaN.
  if (!(width >= 1.0 && height >= 1.0) || !std::isfinite(width * height)) return {};
  double scale = 1.0;
  scale = std::min(scale, sideLimit(limits.maxWidth) / width);
  scale = std::min(scale, sideLimit(limits.maxHeight) / height);
  if (limits.maxPixels > 0)
    scale = std::min(scale, std::sqrt(static_cast<double>(limits.maxPixels) / (width * height)));
  if (scale == 1.0) return {static_cast<int>(width), static_cast<int>(height)};
  // Rounded down, so the product stays within the cap too.
  PixelSize size{std::max(1, static_cast<int>(std::floor(width * scale))),
                 std::max(1, static_cast<int>(std::floor(height * scale)))};
  // A side held up to one pixel leaves the cap to the other: a strip
  // thinner than a pixel once scaled would otherwise keep too long a side.
  if (limits.maxPixels > 0) {
    size.width = static_cast<int>(
        std::min<long long>(size.width, std::max(1LL, limits.maxPixels / size.height)));
    size.height = static_cast<int>(std::min<long long>(size.height, limits.maxPixels / size.width));
  }
  return size;
}
