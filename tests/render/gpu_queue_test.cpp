#include "render/GpuQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace {

// Fences as numbers; the GPU has finished every one up to `finished`.
uintptr_t made = 0;
uintptr_t finished = 0;
std::multiset<uintptr_t> released;
GLsync makeFence() { return reinterpret_cast<GLsync>(++made); }
bool fenceDone(GLsync fence) { return reinterpret_cast<uintptr_t>(fence) <= finished; }
void releaseFence(GLsync fence) { released.insert(reinterpret_cast<uintptr_t>(fence)); }
const FenceCalls kFences = {makeFence, fenceDone, releaseFence};

}  // namespace

// Two frames may be in flight: the queue waits on the frame before last,
// never on the last, and frees each fence once, when it is no longer
// waited on.
TEST(GpuQueue, WaitsOnlyForTheFrameBeforeLast) {
  made = finished = 0;
  released.clear();
  GpuQueue queue;
  EXPECT_TRUE(gpuHasRoom(queue, kFences)) << "nothing in flight";
  endGpuFrame(queue, kFences);
  EXPECT_TRUE(gpuHasRoom(queue, kFences)) << "one frame in flight";
  endGpuFrame(queue, kFences);
  EXPECT_FALSE(gpuHasRoom(queue, kFences)) << "two frames in flight, neither done";
  finished = 1;
  EXPECT_TRUE(gpuHasRoom(queue, kFences)) << "the frame before last is done; the last may run on";

  endGpuFrame(queue, kFences);
  EXPECT_FALSE(gpuHasRoom(queue, kFences));
  finished = 2;
  EXPECT_TRUE(gpuHasRoom(queue, kFences));
  EXPECT_EQ(released, (std::multiset<uintptr_t>{1}));
  endGpuFrame(queue, kFences);
  EXPECT_EQ(released, (std::multiset<uintptr_t>{1, 2}));
}
