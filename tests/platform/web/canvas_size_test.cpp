#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/web/CanvasSize.h"

namespace {

void expectWithin(const PixelSize& size, const DrawingLimits& limits, double aspect,
                  const char* what) {
  EXPECT_GE(size.width, 1) << what;
  EXPECT_GE(size.height, 1) << what;
  EXPECT_LE(size.width, limits.maxWidth) << what;
  EXPECT_LE(size.height, limits.maxHeight) << what;
  EXPECT_LE(static_cast<long long>(size.width) * size.height, limits.maxPixels) << what;
  // The shape stays, to within the rounding of one pixel.
  EXPECT_NEAR(static_cast<double>(size.width) / size.height, aspect, 2.0 / size.height) << what;
}

}  // namespace

// Windows the GPU can take keep every device pixel; larger ones shrink as a
// whole to the tightest of the GPU's limits and the pixel cap, never past it.
TEST(CanvasSize, DeviceSizeWhereItFitsElseTheLargestThatFits) {
  const DrawingLimits gpu = drawingLimits(8192, 8192, 8192, 8192);
  EXPECT_EQ(gpu.maxPixels, kMaxDrawingPixels);
  const PixelSize desk = drawingBufferSize(768, 512, 1.0, gpu);
  EXPECT_EQ(desk.width, 768);
  EXPECT_EQ(desk.height, 512);
  const PixelSize phone = drawingBufferSize(390, 844, 3.0, gpu);
  EXPECT_EQ(phone.width, 1170);
  EXPECT_EQ(phone.height, 2532);

  const PixelSize huge = drawingBufferSize(3000, 2000, 3.0, gpu);
  expectWithin(huge, gpu, 1.5, "9000x6000");
  EXPECT_GT(static_cast<long long>(huge.width) * huge.height, kMaxDrawingPixels * 99 / 100);

  // Each limit binds on its own: the viewport's narrower height, then a
  // small renderbuffer.
  const DrawingLimits viewport = drawingLimits(16384, 16384, 16384, 1000);
  expectWithin(drawingBufferSize(3000, 1200, 1.0, viewport), viewport, 2.5, "viewport height");
  const DrawingLimits renderbuffer = drawingLimits(16384, 512, 0, 0);
  EXPECT_EQ(renderbuffer.maxWidth, 512);
  expectWithin(drawingBufferSize(1920, 1080, 2.0, renderbuffer), renderbuffer, 16.0 / 9.0,
               "renderbuffer");
  // A thin strip keeps at least a pixel across.
  const PixelSize strip = drawingBufferSize(100000, 1, 1.0, gpu);
  EXPECT_EQ(strip.width, 8192);
  EXPECT_EQ(strip.height, 1);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const double ratio : {0.0, -1.0, nan, inf}) {
    const PixelSize none = drawingBufferSize(800, 600, ratio, gpu);
    EXPECT_EQ(none.width, 0) << ratio;
    EXPECT_EQ(none.height, 0) << ratio;
  }
}
