#pragma once

// The pure arithmetic of the page's video, apart from the browser's calls
// so that desktop tests can hold it.

// The largest area of a width x height picture's shape that fits into
// intoWidth x intoHeight, centred; all of it for a picture without pixels.
struct FitArea {
  int x, y, width, height;
};
FitArea fitArea(int width, int height, int intoWidth, int intoHeight);

// Draws per browser frame after one that came `interval` milliseconds after
// the one before: more while the GPU keeps up, fewer when the page stalls.
int nextDrawsPerStep(int draws, double interval, int samples);
