#pragma once

// The size of the page's drawing buffer: the canvas's CSS size in device
// pixels where the GPU can take it, else smaller, in the same shape.

// At most this many pixels are drawn, whatever the window: every pixel
// holds about 92 bytes of render targets (the sample, the sum, two random
// states, the primary buffers and their depth) and as many again for the
// denoiser, so 4,194,304 pixels come to about 390 MB, 770 MB denoised. It
// keeps a 2560x1440 screen and a phone at three device pixels per CSS pixel
// (1170x2532) whole, and draws larger windows at a lower resolution, which
// they show scaled up.
constexpr long long kMaxDrawingPixels = 4194304;

struct DrawingLimits {
  int maxWidth = 0;   // the least of MAX_TEXTURE_SIZE, MAX_RENDERBUFFER_SIZE
  int maxHeight = 0;  // and that side of MAX_VIEWPORT_DIMS
  long long maxPixels = kMaxDrawingPixels;
};

// The limits from what the GPU reports; a value it did not report (0) is
// no limit, and the pixel cap still holds.
DrawingLimits drawingLimits(int maxTextureSize, int maxRenderbufferSize, int maxViewportWidth,
                            int maxViewportHeight);

struct PixelSize {
  int width = 0;
  int height = 0;
};

// cssWidth x cssHeight at `ratio` device pixels per CSS pixel, rounded,
// scaled down as a whole until it fits every limit. Nothing to draw (0 x 0)
// for an empty canvas or a ratio that is no number.
PixelSize drawingBufferSize(double cssWidth, double cssHeight, double ratio,
                            const DrawingLimits& limits);
