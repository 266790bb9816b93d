#include "app/FrameLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/KeyCodes.h"
#include "support/AppFixture.h"

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr double kFrameSeconds = 0.016;

// A GPU of the test's own: fences are numbers, and the GPU has finished
// every fence up to `finished`.
uintptr_t fencesMade = 0;
uintptr_t fencesFinished = 0;
GLsync makeFence() { return reinterpret_cast<GLsync>(++fencesMade); }
bool fenceDone(GLsync fence) { return reinterpret_cast<uintptr_t>(fence) <= fencesFinished; }
void releaseFence(GLsync) {}
const FenceCalls kStandInFences = {makeFence, fenceDone, releaseFence};

class FrameLoopTest : public AppFixture {
 protected:
  std::unique_ptr<FrameLoop> startPage(int budgetMs, int samples, int width = kWidth, int height = kHeight) {
    app = startApp(width, height);
    app->lightStep = kFrameStep;
    auto loop = std::make_unique<FrameLoop>(*app, pageRules(budgetMs, samples, 0), width, height);
    loop->onWake = [this] { ++wakes; };
    loop->fences = &kStandInFences;
    fencesMade = fencesFinished = 0;
    return loop;
  }

  // One browser frame as the page runs it; a resting page runs none.
  FrameLoop::Frame frame(FrameLoop& loop) {
    now += kFrameSeconds;
    const FrameLoop::Frame drawn = loop.step(now);
    loop.endFrame();
    if (loop.waitsForInput()) loop.rest();
    return drawn;
  }

  std::unique_ptr<Application> app;
  double now = 1.0;
  int wakes = 0;
};

}  // namespace

TEST_F(FrameLoopTest, FirstFrameTakesTheFixedStepAndOnlyAPageCutsLongFrames) {
  app = startApp(kWidth, kHeight);
  FrameLoop window(*app, desktopRules(), kWidth, kHeight);
  EXPECT_FLOAT_EQ(window.tick(50.0), kFrameStep) << "the start-up's time is not a frame's";
  EXPECT_FLOAT_EQ(window.tick(50.5), 0.5f);
  FrameLoop page(*app, pageRules(40, 0, 0), kWidth, kHeight);
  EXPECT_FLOAT_EQ(page.tick(50.0), kFrameStep);
  EXPECT_FLOAT_EQ(page.tick(50.02), 0.02f);
  EXPECT_FLOAT_EQ(page.tick(60.0), kLongestPageStep) << "a hidden tab's pause";
}

// A finished page runs no frames. A pointer passing over it must leave it
// so; a drag must wake it, turn the camera and draw at every move.
TEST_F(FrameLoopTest, ADragWakesAFinishedPageAndAPassingPointerDoesNot) {
  auto loop = startPage(0, 2);
  for (int i = 0; i < 20 && !loop->resting(); ++i) frame(*loop);
  ASSERT_TRUE(loop->resting());
  EXPECT_EQ(app->sampling.sampleCount, 2);

  for (int x = 0; x < kWidth; x += 4) loop->mouseMove(x, 10, /*anyButtonDown=*/false);
  EXPECT_TRUE(loop->resting());
  EXPECT_EQ(wakes, 0);
  // Were a frame run anyway, a pointer without a button moves nothing.
  EXPECT_FALSE(frame(*loop).drew);

  loop->mouseButton(0, true, 10, 10);
  EXPECT_FALSE(loop->resting());
  frame(*loop);
  for (int x = 12; x < 20; x += 2) {
    loop->rest();  // as if the browser paused between two pointer events
    const Vector3 eye = app->camera.eye;
    loop->mouseMove(x, 10, /*anyButtonDown=*/true);
    ASSERT_FALSE(loop->resting()) << "a drag to x " << x << " left the page asleep";
    const FrameLoop::Frame drawn = frame(*loop);
    EXPECT_TRUE(drawn.drew && drawn.work.shown);
    EXPECT_NE(app->camera.eye.x, eye.x);
  }
  EXPECT_GT(wakes, 4);
}

// Under a budget the bands wait while the GPU is two frames behind, so
// that the intervals between frames measure the GPU's work. A moving
// picture waits until the GPU is idle, so that a press's picture never
// queues behind the bands and holds up the move after it, and a wait never
// outlasts what a measurement may take.
TEST_F(FrameLoopTest, BandsWaitForAGpuTwoFramesBehindAndAMoveForAnIdleOne) {
  auto loop = startPage(40, 1000);
  int bands = 0;
  const auto isBand = [](const FrameWork& work) {
    return work.kind == FrameWorkKind::Tile || work.kind == FrameWorkKind::Finishing;
  };
  for (int i = 0; i < 12; ++i) {
    bands += isBand(frame(*loop).work);
    fencesFinished = fencesMade > 0 ? fencesMade - 1 : 0;  // all but the last frame's
  }
  EXPECT_GE(bands, 8) << "a GPU one frame behind holds nothing back";

  // Now it finishes nothing: two frames of bands are in flight, then none.
  int inFlight = 0;
  for (int i = 0; i < 6; ++i) inFlight += isBand(frame(*loop).work);
  EXPECT_LE(inFlight, 2);
  EXPECT_FALSE(frame(*loop).drew);

  loop->turnWheel(1);
  EXPECT_FALSE(frame(*loop).drew) << "a moving picture queued behind the bands";
  fencesFinished = fencesMade - 1;
  loop->turnWheel(1);
  EXPECT_FALSE(frame(*loop).drew) << "a moving picture queued behind a band";
  fencesFinished = fencesMade;
  EXPECT_EQ(frame(*loop).work.kind, FrameWorkKind::Preview) << "the moves were dropped";
  loop->turnWheel(1);
  EXPECT_FALSE(frame(*loop).drew) << "a drag's pictures would pile up in the GPU";
  fencesFinished = fencesMade;
  EXPECT_EQ(frame(*loop).work.kind, FrameWorkKind::Preview) << "the move was dropped";
  for (int i = 0; i < 4; ++i) frame(*loop);
  EXPECT_FALSE(frame(*loop).drew);
  now += kLongestMeasuredMs / 1000.0;
  EXPECT_TRUE(frame(*loop).drew) << "a stuck fence stops nothing for long";
}

// A GPU of the test's own draws the frames in flight in turn, a band of a
// path sample at kRowMs a row (ten times that across the dear middle
// rows), the rest at a tenth of a cheap row's pace a pixel; it finishes
// each fence when the frame's work is done.
namespace {

class StandInGpu {
 public:
  static constexpr int kWidth = 256, kHeight = 192;
  static constexpr double kRowMs = 0.4;

  // Finishes the fences of what is done by `now`.
  void runUntil(double now) {
    while (!queue.empty() && queue.front().doneAt <= now) {
      fencesFinished = queue.front().fence;
      queue.erase(queue.begin());
    }
  }
  // Takes the frame's work at `now`; returns what it costs, in ms.
  double take(const FrameWork& work, double now) {
    const double ms = workMs(work);
    freeAt = std::max(freeAt, now) + ms / 1000.0;
    busyMs += ms;
    queue.push_back({fencesMade, freeAt});
    return ms;
  }
  double queuedMs(double now) const { return std::max(freeAt - now, 0.0) * 1000.0; }
  double busyMs = 0.0;

 private:
  static double workMs(const FrameWork& work) {
    if (work.kind != FrameWorkKind::Tile) return work.pixels * kRowMs / kWidth / 10.0;
    double ms = 0.0;
    for (int row = work.rows.first; row < work.rows.first + work.rows.count; ++row)
      ms += (row >= kHeight / 3 && row < 2 * kHeight / 3 ? 10.0 : 1.0) * kRowMs;
    return work.pass == FramePass::PathTrace ? ms : ms / 10.0;
  }
  struct InFlight {
    uintptr_t fence;
    double doneAt;
  };
  std::vector<InFlight> queue;
  double freeAt = 0.0;
};

bool isPathBand(const FrameWork& work) {
  return work.kind == FrameWorkKind::Tile && work.pass == FramePass::PathTrace;
}

}  // namespace

// After cheap frames the queue has room at once, so the intervals between
// frames showed a display's frame while the bands behind them grew past
// the budget.
TEST_F(FrameLoopTest, BandsFitTheBudgetOnTheGpuNotInTheIntervals) {
  auto loop = startPage(kDefaultFrameBudgetMs, 1000, StandInGpu::kWidth, StandInGpu::kHeight);
  app->denoising = true;
  app->reuseSamples = true;
  StandInGpu gpu;
  double longest = 0.0;
  int bands = 0;
  for (int i = 0; i < 1500; ++i) {
    gpu.runUntil(now + kFrameSeconds);
    const FrameLoop::Frame drawn = frame(*loop);
    if (!drawn.drew || drawn.work.kind == FrameWorkKind::None) continue;
    const double ms = gpu.take(drawn.work, now);
    if (i < 500 || !isPathBand(drawn.work)) continue;
    longest = std::max(longest, ms);
    ++bands;
  }
  EXPECT_GT(bands, 100);
  EXPECT_LE(longest, 2.0 * kDefaultFrameBudgetMs) << "timed by the intervals, they were whole passes";
}

// A drag waits for what the GPU has queued. Under a budget several display
// frames long, two whole bands in flight kept it waiting for both; one
// band and what is left of the one before, due within a few display
// frames, keep the GPU as busy.
TEST_F(FrameLoopTest, BandsKeepTheGpuBusyWithLittleQueued) {
  constexpr int kBudgetMs = 100;
  auto loop = startPage(kBudgetMs, 1000, StandInGpu::kWidth, StandInGpu::kHeight);
  StandInGpu gpu;
  double mostQueued = 0.0, busyFrom = 0.0, from = 0.0;
  for (int i = 0; i < 1500; ++i) {
    gpu.runUntil(now + kFrameSeconds);
    if (i == 500) {
      busyFrom = gpu.busyMs - gpu.queuedMs(now);
      from = now;
    }
    const FrameLoop::Frame drawn = frame(*loop);
    if (!drawn.drew || drawn.work.kind == FrameWorkKind::None) continue;
    const double ms = gpu.take(drawn.work, now);
    if (i >= 500) mostQueued = std::max(mostQueued, gpu.queuedMs(now) - ms);
  }
  const double busyShare = (gpu.busyMs - gpu.queuedMs(now) - busyFrom) / ((now - from) * 1000.0);
  EXPECT_GE(busyShare, 0.9) << "the GPU waited for the page";
  // Queued kQueuedDisplayFrames ahead by costs and starts each seen up to a
  // display frame late; two bands in flight left up to a whole band.
  EXPECT_LE(mostQueued, (kQueuedDisplayFrames + 2.0) * kDisplayFrameMs)
      << "a band went in behind much of another";
}
