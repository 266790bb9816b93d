#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "app/FrameLoop.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "support/AppFixture.h"
#include "support/Texels.h"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 32;
// Past a rejitter, so that a tiled primary pass under samples is met too.
constexpr int kSamples = kRejitterPeriod + 2;

std::vector<float> readTexture(GLuint texture) { return readTexelValues(texture, kWidth, kHeight); }

class TiledDrawingTest : public AppFixture {
 protected:
  std::unique_ptr<Application> start(int width = kWidth, int height = kHeight) {
    auto app = startApp(width, height);
    app->lightStep = kFrameStep;
    // As after a camera move: the budgeted one first draws a preview.
    app->sampling.restart();
    return app;
  }

  // Frames as the page runs them, until the picture holds kSamples.
  int drawFrames(Application& app, const FrameBudget& budget) {
    int frames = 0;
    while (app.sampling.sampleCount < kSamples && frames < 10000) {
      app.update(0.05f, keys, mouse);
      app.drawWithin(budget);
      ++frames;
    }
    return frames;
  }

  KeyState keys;
  MouseState mouse{kWidth, kHeight};
};

}  // namespace

// Bands of a few rows, each drawn in a frame of its own, and a preview in
// between, sum to exactly the samples that whole passes sum to.
TEST_F(TiledDrawingTest, TiledSamplesEqualWholeOnes) {
  auto whole = start();
  const int wholeFrames = drawFrames(*whole, FrameBudget{});
  const std::vector<float> wholeSum = readTexture(whole->gpu.accumTexture);
  const std::vector<float> wholeSeeds = readTexture(whole->gpu.randomTextures[0]);
  const std::vector<float> wholeHits = readTexture(whole->gpu.primaryFbo.colorTextures[1]);
  whole.reset();

  auto tiled = start();
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.tilePixels[0] = budget.tilePixels[1] = 5 * kWidth;  // 5 rows, the last 2
  const int tiledFrames = drawFrames(*tiled, budget);
  EXPECT_EQ(wholeFrames, kSamples + 2);
  EXPECT_EQ(tiledFrames, 1 + kQuietFramesBeforeTiles + (kSamples + 2) * 7);
  EXPECT_EQ(readTexture(tiled->gpu.accumTexture), wholeSum);
  EXPECT_EQ(readTexture(tiled->gpu.randomTextures[0]), wholeSeeds);
  EXPECT_EQ(readTexture(tiled->gpu.primaryFbo.colorTextures[1]), wholeHits);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The passes that finish a sample, drawn in bands of a few rows over
// several frames, leave the sum, the noise, the carried history and the
// picture shown exactly as drawn whole in one frame: every band of a pass
// is drawn before the next pass reads it. Over a move too, whose first
// sample reprojects the moving picture's history.
TEST_F(TiledDrawingTest, SampleFinishedInBandsEqualsOneFinishedWhole) {
  struct Finished {
    int frames = 0;
    std::vector<uint8_t> shown = std::vector<uint8_t>(kWidth * kHeight * 4);
    std::vector<float> sum, noise, picture, pictureNoise;
  };
  const auto run = [&](double finishingPixels) {
    auto app = start();
    app->denoising = true;
    app->reuseSamples = true;
    FrameBudget budget;
    budget.budgetMs = kDefaultFrameBudgetMs;
    budget.tilePixels[0] = budget.tilePixels[1] = 8 * kWidth;
    budget.finishingPixels = finishingPixels;
    Finished finished;
    const auto samples = [&](int count) {
      while ((app->sampling.sampleCount < count || app->tiled.finishing.active) &&
             finished.frames++ < 10000) {
        app->update(0.05f, keys, mouse);
        app->drawWithin(budget);
      }
    };
    samples(2);
    app->camera.lookAt({-6.5f, -20.0f, 13.0f}, {-4.0f, -23.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    app->cameraMoved();
    samples(2);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, finished.shown.data());
    finished.sum = readTexture(app->gpu.accumTexture);
    finished.noise = readTexture(app->gpu.denoiser.targets.moments);
    finished.picture = readTexture(app->gpu.temporal.targets.picture);
    finished.pictureNoise = readTexture(app->gpu.temporal.targets.pictureMoments);
    return finished;
  };
  const Finished whole = run(kFirstFinishingPixels);
  const Finished banded = run(3 * kWidth);
  EXPECT_GT(banded.frames, whole.frames + 20) << "the finishing was not banded";
  EXPECT_TRUE(banded.shown == whole.shown) << "the picture shown";
  EXPECT_TRUE(banded.sum == whole.sum) << "the sum";
  EXPECT_TRUE(banded.noise == whole.noise) << "the noise estimate";
  EXPECT_TRUE(banded.picture == whole.picture) << "the carried picture";
  EXPECT_TRUE(banded.pictureNoise == whole.pictureNoise) << "its noise";
}

// One allowance buys fewer rows of a dear finishing step than of a cheap
// one: counted in plain pixels, the noise estimate's frames on a phone's
// canvas ran five times past the budget. The picture, drawn whole, waits
// for a frame that has its cost left.
TEST_F(TiledDrawingTest, FinishingFramesDrawEachStepForItsCost) {
  auto app = start();
  app->denoising = true;
  app->reuseSamples = true;
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.tilePixels[0] = budget.tilePixels[1] = kWidth * kHeight;
  budget.finishingPixels = 0.5 * kWidth * kHeight;  // half a filter pass
  std::map<std::pair<FinishingStep, int>, int> mostRows;  // by step and denoiser pass
  int shownAfterBands = 0;
  for (int frames = 0; app->sampling.sampleCount < 3 && frames < 1000; ++frames) {
    const FinishingSample& finishing = app->tiled.finishing;
    const bool finishes = finishing.active;
    const auto step = std::pair{finishing.step, finishing.denoisePass};
    const int fromRow = finishing.nextRow;
    app->update(0.05f, keys, mouse);
    const FrameWork work = app->drawWithin(budget);
    if (!finishes) continue;
    const bool sameStep = finishing.active && std::pair{finishing.step, finishing.denoisePass} == step;
    const int rows = (sameStep ? finishing.nextRow : kHeight) - fromRow;
    mostRows[step] = std::max(mostRows[step], rows);
    if (work.shown && step.first != FinishingStep::Show && work.pixels > budget.finishingPixels)
      ++shownAfterBands;
  }
  EXPECT_EQ((mostRows[{FinishingStep::AddSample, 0}]), kHeight);
  EXPECT_LE((mostRows[{FinishingStep::Denoise, 0}]), kHeight / 4) << "the noise estimate";
  EXPECT_LE((mostRows[{FinishingStep::Denoise, 1}]), kHeight / 2) << "a filter pass";
  EXPECT_GE((mostRows[{FinishingStep::Denoise, 1}]), kHeight / 2 - 1) << "a filter pass";
  EXPECT_EQ(shownAfterBands, 0) << "shown past the frame's allowance";
}

// A move that interrupts the fold of a new view's first sample, after the
// view's hit buffers were kept in place of the last ones, leaves a picture
// half of one view and half of another: the next moving picture starts
// afresh instead of reprojecting it.
TEST_F(TiledDrawingTest, MoveDuringAHalfFoldedNewViewStartsAfresh) {
  auto app = start();
  app->reuseSamples = true;
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.tilePixels[0] = budget.tilePixels[1] = 8 * kWidth;
  budget.finishingPixels = 3 * kWidth;
  budget.previewScale = 0.5;
  const auto frame = [&] {
    app->update(0.05f, keys, mouse);
    app->drawWithin(budget);
  };
  const auto inMidFold = [&] {
    const FinishingSample& finishing = app->tiled.finishing;
    return finishing.active && finishing.newView && finishing.step == FinishingStep::Resolve &&
           finishing.nextRow > 0;
  };
  for (int frames = 0; !inMidFold() && frames < 1000; ++frames) frame();
  ASSERT_TRUE(inMidFold());

  app->camera.lookAt({-6.5f, -20.0f, 13.0f}, {-4.0f, -23.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  app->cameraMoved();
  EXPECT_EQ(app->drawWithin(budget).kind, FrameWorkKind::Preview);
  const std::vector<float> moments = readTexture(app->gpu.temporal.targets.pictureMoments);
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) ASSERT_LE(moments[4 * (y * kWidth + x) + 2], 1.0f);
  }
}

// The moving picture keeps the canvas's shape: each side scaled by the
// budget's factor, on a wide canvas and a tall one; at full scale it is
// the picture the whole primary pass shows, filling the canvas.
TEST_F(TiledDrawingTest, MovingPictureKeepsTheCanvasShapeAndFillsIt) {
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.previewScale = 0.5;
  for (const auto& [width, height] : {std::pair{48, 24}, std::pair{24, 48}}) {
    auto app = start(width, height);
    const FrameWork work = app->drawWithin(budget);
    EXPECT_EQ(work.kind, FrameWorkKind::Preview);
    EXPECT_EQ(work.pixels, (width / 2) * (height / 2)) << width << "x" << height;
  }

  auto app = start(48, 24);
  std::vector<uint8_t> whole(48 * 24 * 4), moving(48 * 24 * 4);
  budget.previewScale = 1.0;
  app->drawWithin(budget);
  glReadPixels(0, 0, 48, 24, GL_RGBA, GL_UNSIGNED_BYTE, moving.data());
  app->draw();  // the pending restart's primary pass, shown whole
  glReadPixels(0, 0, 48, 24, GL_RGBA, GL_UNSIGNED_BYTE, whole.data());
  EXPECT_EQ(moving, whole);
}
