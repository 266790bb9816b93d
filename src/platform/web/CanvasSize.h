#pragma once

// The size of the page's drawing buffer: the canvas's CSS size in device
// pixels where the GPU can take it, else smaller, in the same shape.

// At most this many pixels are drawn, whatever the window: every pixel
// holds about 310 bytes of render targets (the sample, the sum, two random
// states, the primary buffers, the denoiser's and the kept history's), so
// 4,194,304 pixels come to about 1.3 GB. It keeps a 2560x1440 screen whole
// and draws larger windows at a lower resolution, which they show scaled up.
constexpr long long kMaxDrawingPixels = 4194304;

// Nor more than this many device pixels per CSS pixel. A phone at three
// (1170x2532) held 900 MB of targets, and on Mesa llvmpipe its first
// picture was drawn 1.7 to 4 s after the navigation, most of the wait the
// GPU first touching that memory. At two (780x1688) each CSS pixel still averages four drawn
// ones, the picture box-filtered to CSS pixels is as clean for the time
// spent, and a path-traced picture's noise hides the softer edges on such
// a dense screen.
constexpr double kMostPixelRatio = 2.0;

struct DrawingLimits {
  int maxWidth = 0;   // the least of MAX_TEXTURE_SIZE, MAX_RENDERBUFFER_SIZE
  int maxHeight = 0;  // and that side of MAX_VIEWPORT_DIMS
  long long maxPixels = kMaxDrawingPixels;
  double maxRatio = kMostPixelRatio;  // 0: none
};

// The limits from what the GPU reports; a value it did not report (0) is
// no limit, and the pixel cap still holds.
DrawingLimits drawingLimits(int maxTextureSize, int maxRenderbufferSize, int maxViewportWidth,
                            int maxViewportHeight);

struct PixelSize {
  int width = 0;
  int height = 0;
};

// cssWidth x cssHeight at `ratio` device pixels per CSS pixel (at most
// maxRatio), rounded, scaled down as a whole until it fits every limit.
// Nothing to draw (0 x 0) for an empty canvas or a ratio that is not a
// finite positive number.
PixelSize drawingBufferSize(double cssWidth, double cssHeight, double ratio,
                            const DrawingLimits& limits);
