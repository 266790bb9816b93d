#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "support/GlContext.h"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 32;
// Past a rejitter, so that a tiled primary pass under samples is met too.
constexpr int kSamples = kRejitterPeriod + 2;

std::vector<float> readTexture(GLuint texture) {
  std::vector<float> texels(4 * kWidth * kHeight);
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

class TiledDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    previous = std::filesystem::current_path();
    std::filesystem::current_path(XMASTRACE_RUN_DIR);
    glViewport(0, 0, kWidth, kHeight);
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  std::unique_ptr<Application> start() {
    testing::internal::CaptureStdout();
    auto app = std::make_unique<Application>(kWidth, kHeight, PathVariant::TwoBounce, false);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(app->startupStatus(), kStatusOk);
    app->lightStep = 0.016f;
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

  std::filesystem::path previous;
  KeyState keys;
  MouseState mouse{kWidth, kHeight};
};

}  // namespace

// Bands of a few rows, each drawn in a frame of its own, and a preview in
// between, sum to exactly the samples that whole passes sum to.
TEST_F(TiledDrawingTest, TiledSamplesEqualWholeOnes) {
  auto whole = start();
  const int wholeFrames = drawFrames(*whole, FrameBudget{});
  const std::vector<float> wholeSum = readTexture(whole->accumTexture);
  const std::vector<float> wholeSeeds = readTexture(whole->randomTextures[0]);
  const std::vector<float> wholeHits = readTexture(whole->primaryFbo.colorTextures[1]);
  whole.reset();

  auto tiled = start();
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.tilePixels[0] = budget.tilePixels[1] = 5 * kWidth;  // 5 rows, the last 2
  const int tiledFrames = drawFrames(*tiled, budget);
  EXPECT_EQ(wholeFrames, kSamples + 2);
  EXPECT_EQ(tiledFrames, 1 + kQuietFramesBeforeTiles + (kSamples + 2) * 7);
  EXPECT_EQ(readTexture(tiled->accumTexture), wholeSum);
  EXPECT_EQ(readTexture(tiled->randomTextures[0]), wholeSeeds);
  EXPECT_EQ(readTexture(tiled->primaryFbo.colorTextures[1]), wholeHits);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
