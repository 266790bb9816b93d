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
  // A dense screen draws two device pixels per CSS pixel, a sparser one
  // each of its own.
  const PixelSize phone = drawingBufferSize(390, 844, 3.0, gpu);
  EXPECT_EQ(phone.width, 780);
  EXPECT_EQ(phone.height, 1688);
  const PixelSize laptop = drawingBufferSize(1280, 720, 1.5, gpu);
  EXPECT_EQ(laptop.width, 1920);
  EXPECT_EQ(laptop.height, 1080);

  const PixelSize huge = drawingBufferSize(3000, 2000, 3.0, gpu);
  expectWithin(huge, gpu, 1.5, "6000x4000");
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

// Wherever the pixel cap binds, the picture takes as much of it as its shape
// allows and never a pixel more, whatever CSS size and ratio a page has:
// fractional CSS pixels, ratios of zoomed pages and phones, and scaled sides
// that end in .5 or more. A side made one pixel larger by rounding would
// break the cap; one pixel smaller would waste a row of it.
TEST(CanvasSize, ThePixelCapHoldsForEveryCssSizeAndRatio) {
  for (const long long cap : {kMaxDrawingPixels, 1000LL, 77777LL}) {
    DrawingLimits limits = drawingLimits(0, 0, 0, 0);
    limits.maxPixels = cap;
    limits.maxRatio = 0.0;
    for (const double ratio : {1.0, 1.25, 1.5, 1.75, 2.0, 2.625, 3.0, 3.5}) {
      for (double cssWidth = 300.5; cssWidth < 4000; cssWidth += 197.25) {
        for (double cssHeight = 200.75; cssHeight < 3000; cssHeight += 151.5) {
          const PixelSize size = drawingBufferSize(cssWidth, cssHeight, ratio, limits);
          const double width = std::round(cssWidth * ratio);
          const double height = std::round(cssHeight * ratio);
          const long long pixels = static_cast<long long>(size.width) * size.height;
          SCOPED_TRACE(::testing::Message() << cssWidth << "x" << cssHeight << " at " << ratio
                                            << " under " << cap << ": " << size.width << "x"
                                            << size.height);
          ASSERT_LE(pixels, cap);
          if (width * height <= cap) {
            EXPECT_EQ(size.width, width);
            EXPECT_EQ(size.height, height);
          } else {
            // Each side is the exactly scaled one cut to whole pixels.
            const double scale = std::sqrt(cap / (width * height));
            EXPECT_LE(size.width, width * scale);
            EXPECT_LE(size.height, height * scale);
            EXPECT_GT(size.width, width * scale - 1);
            EXPECT_GT(size.height, height * scale - 1);
          }
        }
      }
    }
  }
  // A strip too thin to shrink keeps its one row, and the cap still holds
  // when the GPU reported no side limit.
  const PixelSize strip = drawingBufferSize(1e7, 1, 1.0, drawingLimits(0, 0, 0, 0));
  EXPECT_EQ(strip.height, 1);
  EXPECT_EQ(strip.width, kMaxDrawingPixels);
  const PixelSize column = drawingBufferSize(1, 1e7, 1.0, drawingLimits(0, 0, 0, 0));
  EXPECT_EQ(column.width, 1);
  EXPECT_EQ(column.height, kMaxDrawingPixels);
}
