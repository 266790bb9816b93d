#pragma once

#include <GL/glew.h>

// How far the GPU lags behind the frames given to it. A browser runs its
// frame callbacks at the display's rate whether or not the GPU keeps up
// with what they draw off screen, so their intervals alone measure nothing
// until the work is held back: a fence after each frame's work, and a frame
// that finds the one before last unfinished draws nothing. Two frames in
// flight keep the GPU busy while the next is prepared.
struct GpuQueue {
  GLsync fences[2] = {};  // the frame before last, the last
};

// The three fence calls the queue makes; GL's, or a stand-in that keeps
// time of its own.
struct FenceCalls {
  GLsync (*make)();
  bool (*done)(GLsync fence);
  void (*release)(GLsync fence);
};
const FenceCalls& glFences();

// Whether the frame before last is done (or its fence lost with the
// context: a queue that cannot tell must not stop the page).
bool gpuHasRoom(const GpuQueue& queue, const FenceCalls& fences = glFences());
// Whether the last frame is done too (or its fence lost, as above).
bool gpuIdle(const GpuQueue& queue, const FenceCalls& fences = glFences());
// Marks the end of this frame's work.
void endGpuFrame(GpuQueue& queue, const FenceCalls& fences = glFences());
