#include "render/GpuQueue.h"

namespace {

// Flushed at once: a page polls its fences and makes no other GL call while
// it waits, and a fence still in an unflushed batch waits for whatever
// flushes next. In Chromium on Mesa llvmpipe that held the frames back for
// 0.8 s every few seconds.
GLsync makeGlFence() {
  GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  glFlush();
  return fence;
}
bool glFenceDone(GLsync fence) { return glClientWaitSync(fence, 0, 0) != GL_TIMEOUT_EXPIRED; }
void releaseGlFence(GLsync fence) { glDeleteSync(fence); }

}  // namespace

const FenceCalls& glFences() {
  static const FenceCalls calls = {makeGlFence, glFenceDone, releaseGlFence};
  return calls;
}

bool gpuHasRoom(const GpuQueue& queue, const FenceCalls& fences) {
  if (queue.fences[0] == nullptr) return true;
  return fences.done(queue.fences[0]);
}

bool gpuIdle(const GpuQueue& queue, const FenceCalls& fences) {
  if (!gpuHasRoom(queue, fences)) return false;
  return queue.fences[1] == nullptr || fences.done(queue.fences[1]);
}

void endGpuFrame(GpuQueue& queue, const FenceCalls& fences) {
  if (queue.fences[0] != nullptr) fences.release(queue.fences[0]);
  queue.fences[0] = queue.fences[1];
  queue.fences[1] = fences.make();
}
