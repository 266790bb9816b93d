#include "render/GpuQueue.h"

bool gpuHasRoom(const GpuQueue& queue) {
  if (queue.fences[0] == nullptr) return true;
  return glClientWaitSync(queue.fences[0], 0, 0) != GL_TIMEOUT_EXPIRED;
}

void endGpuFrame(GpuQueue& queue) {
  if (queue.fences[0] != nullptr) glDeleteSync(queue.fences[0]);
  queue.fences[0] = queue.fences[1];
  queue.fences[1] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}
