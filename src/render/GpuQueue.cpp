#include "render/GpuQueue.h"

namespace {

GLsync makeGlFence() { return glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0); }
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

void endGpuFrame(GpuQueue& queue, const FenceCalls& fences) {
  if (queue.fences[0] != nullptr) fences.release(queue.fences[0]);
  queue.fences[0] = queue.fences[1];
  queue.fences[1] = fences.make();
}
