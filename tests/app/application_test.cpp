#include "app/Application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ExitStatus.h"
#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "support/AppFixture.h"
#include "support/Texels.h"

namespace {

// Small targets: llvmpipe renders every pixel on the CPU.
constexpr int kWidth = 48;
constexpr int kHeight = 32;

std::vector<float> readTexture(GLuint texture, int width = kWidth, int height = kHeight) {
  return readTexelValues(texture, width, height);
}

std::pair<int, int> textureSize(GLuint texture) {
  GLint width = 0, height = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glBindTexture(GL_TEXTURE_2D, 0);
  return {width, height};
}

int countOccurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class ApplicationTest : public AppFixture {
 protected:
  std::unique_ptr<Application> start(PathVariant variant) { return startApp(kWidth, kHeight, variant); }

  // One frame as main runs it.
  void frame(Application& app, float dt = 0.016f) {
    app.update(dt, keys, mouse);
    app.draw();
    keys.endFrame();
    mouse.endFrame();
  }

  KeyState keys;
  MouseState mouse{kWidth, kHeight};
};

TEST_F(ApplicationTest, StartsOnTheRoomWithItsStatisticsAndOneFramebufferNote) {
  auto app = start(PathVariant::TwoBounce);
  EXPECT_NE(startupOutput.find("number of faces loaded: "), std::string::npos) << startupOutput;
  EXPECT_NE(startupOutput.find("time to build: "), std::string::npos);
  EXPECT_EQ(countOccurrences(startupOutput, "Frame buffer incomplete, missing attachment\n"), 1);
  EXPECT_EQ(countOccurrences(startupOutput, "Error from"), 0) << startupOutput;
  EXPECT_FLOAT_EQ(app->bbMaxDim, 60.0f);
  EXPECT_EQ(app->jitterOffsets.size(), 72u);
  EXPECT_EQ(app->boxVertices.size(), 8u);
  EXPECT_FLOAT_EQ(app->camera.aspect, 1.5f);
  EXPECT_NE(app->gpu.pathFbo.framebuffer, 0u);
  for (GLuint texture : app->gpu.sceneTextures) EXPECT_NE(texture, 0u);
}

TEST_F(ApplicationTest, RandomTexturesHoldTheVariantsSeeds) {
  auto twoBounce = start(PathVariant::TwoBounce);
  EXPECT_EQ(readTexture(twoBounce->gpu.randomTextures[0]),
            makeSeedBuffer(kWidth, kHeight, PathVariant::TwoBounce));
  EXPECT_EQ(readTexture(twoBounce->gpu.randomTextures[1]),
            readTexture(twoBounce->gpu.randomTextures[0]));
  twoBounce.reset();

  auto oneBounce = start(PathVariant::OneBounce);
  const std::vector<float> seeds = readTexture(oneBounce->gpu.randomTextures[1]);
  EXPECT_EQ(std::count(seeds.begin(), seeds.end(), seeds[0]), static_cast<long>(seeds.size()));
  EXPECT_LT(seeds[0], 4194304.0f);
}

TEST_F(ApplicationTest, FirstFrameCastsPrimaryRaysThenSamplesAccumulate) {
  auto app = start(PathVariant::TwoBounce);
  frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 0);
  EXPECT_EQ(app->sampling.jitterIndex, 2);
  // The start-up view looks into the room: some pixels hit a surface (w = 1
  // in the position buffer), and the hit colours are not all black.
  const std::vector<float> positions = readTexture(app->gpu.primaryFbo.colorTextures[1]);
  int hits = 0;
  for (size_t i = 3; i < positions.size(); i += 4) hits += positions[i] == 1.0f;
  EXPECT_GT(hits, kWidth * kHeight / 2);

  frame(*app);
  frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 2);
  EXPECT_EQ(app->sampling.randomPing, 0);
  const std::vector<float> sum = readTexture(app->gpu.accumTexture);
  EXPECT_GT(*std::max_element(sum.begin(), sum.end()), 0.0f);
  // No sample exceeds white, so two of them stay within 2.
  EXPECT_LE(*std::max_element(sum.begin(), sum.end()), 2.0f);
  // The two-bounce generator state moves on wherever a pixel drew numbers.
  EXPECT_NE(readTexture(app->gpu.randomTextures[0]), readTexture(app->gpu.randomTextures[1]));
}

// The limit, lowered from hours of samples to two: then the picture and
// everything that makes it stay as they are until the camera moves.
TEST_F(ApplicationTest, SamplingRestsAtItsLimitUntilTheCameraMoves) {
  auto app = start(PathVariant::OneBounce);
  app->sampling.sampleLimit = 2;
  for (int i = 0; i < 3; ++i) frame(*app);
  ASSERT_EQ(app->sampling.sampleCount, 2);
  const GLuint kept[] = {app->gpu.accumTexture, app->gpu.randomTextures[0], app->gpu.randomTextures[1],
                         app->gpu.primaryFbo.colorTextures[0]};
  std::vector<std::vector<float>> before;
  for (GLuint texture : kept) before.push_back(readTexture(texture));
  for (int i = 0; i < kRejitterPeriod + 6; ++i) frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 2);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(readTexture(kept[i]), before[i]) << i;

  keys.setKey('W', true);
  frame(*app);
  keys.setKey('W', false);
  frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 1);
  EXPECT_NE(readTexture(app->gpu.accumTexture), before[0]);
}

TEST_F(ApplicationTest, CameraMovesRestartSamplingAndKeysChangeTheView) {
  auto app = start(PathVariant::OneBounce);
  for (int i = 0; i < 4; ++i) frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 3);

  keys.setKey('W', true);
  app->update(0.016f, keys, mouse);
  EXPECT_EQ(app->sampling.sampleCount, -1);
  EXPECT_FLOAT_EQ(app->lightPos.y, 5.0f);
  app->draw();
  EXPECT_EQ(app->sampling.sampleCount, 0);
  keys.setKey('W', false);
  keys.endFrame();

  // F1 acts on the press, not while held, and three presses come round.
  const int expected[] = {1, 2, 0};
  for (int mode : expected) {
    keys.setKey(kKeyF1, true);
    app->update(0.016f, keys, mouse);
    keys.endFrame();
    app->update(0.016f, keys, mouse);
    EXPECT_EQ(app->displayMode, mode);
    keys.setKey(kKeyF1, false);
    keys.endFrame();
  }

  // F2 turns the denoiser and the reuse of samples on and off; off is where
  // the demo starts.
  EXPECT_FALSE(app->denoising);
  EXPECT_FALSE(app->reuseSamples);
  for (bool on : {true, false}) {
    keys.setKey(kKeyF2, true);
    app->update(0.016f, keys, mouse);
    EXPECT_EQ(app->denoising, on);
    EXPECT_EQ(app->reuseSamples, on);
    keys.setKey(kKeyF2, false);
    keys.endFrame();
  }
}

TEST_F(ApplicationTest, ResizedTargetsFollowTheWindowAndTheSamplesFillThem) {
  auto app = start(PathVariant::TwoBounce);
  for (int i = 0; i < 3; ++i) frame(*app);
  ASSERT_EQ(app->sampling.sampleCount, 2);
  const GLuint targets[] = {app->gpu.sampleTexture, app->gpu.accumTexture, app->gpu.randomTextures[0],
                            app->gpu.randomTextures[1], app->gpu.primaryFbo.colorTextures[0],
                            app->gpu.primaryFbo.colorTextures[1], app->gpu.primaryFbo.colorTextures[2]};

  // Smaller, then larger than at the start: a viewport left behind would
  // leave texels of the larger targets without samples.
  for (const auto& [width, height] : {std::pair{40, 30}, std::pair{64, 40}}) {
    app->resize(width, height);
    EXPECT_EQ(app->sampling.sampleCount, -1);
    EXPECT_FLOAT_EQ(app->camera.aspect, static_cast<float>(width) / height);
    for (GLuint target : targets) EXPECT_EQ(textureSize(target), std::pair(width, height));
    EXPECT_EQ(readTexture(app->gpu.randomTextures[1], width, height),
              makeSeedBuffer(width, height, PathVariant::TwoBounce));
    for (int i = 0; i < 3; ++i) frame(*app);
    ASSERT_EQ(app->sampling.sampleCount, 2);
    // Nearly every pixel gathers some light; a stale viewport would leave a
    // third or more of the texels empty.
    const std::vector<float> sum = readTexture(app->gpu.accumTexture, width, height);
    int empty = 0;
    for (size_t i = 0; i < sum.size(); i += 4) empty += sum[i] + sum[i + 1] + sum[i + 2] == 0.0f;
    EXPECT_LT(empty, width * height / 20) << width << "x" << height;
  }

  // The same size again, or none (a minimised window), keeps the samples.
  app->resize(64, 40);
  app->resize(0, 0);
  EXPECT_EQ(app->sampling.sampleCount, 2);
  EXPECT_EQ(app->width, 64);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ApplicationTest, F5KeepsThePreviousProgramWhenAFileDoesNotCompile) {
  auto app = start(PathVariant::TwoBounce);
  frame(*app);

  // A scratch working directory with the run/ shaders, one of them broken.
  const auto scratch = std::filesystem::temp_directory_path() /
                       ("xmastrace_f5_" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  for (const auto& entry : std::filesystem::directory_iterator(XMASTRACE_RUN_DIR)) {
    if (entry.path().extension() == ".glsl") {
      std::filesystem::copy_file(entry.path(), scratch / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
  std::ofstream(scratch / "VoxelShaderFSgiga.glsl", std::ios::trunc) << "#version 330\nbroken\n";
  std::filesystem::current_path(scratch);

  const GLuint voxel = app->gpu.voxelProgram;
  const GLuint texture = app->gpu.textureProgram;
  const GLuint path = app->gpu.pathProgram;
  keys.setKey(kKeyF5, true);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  frame(*app);
  const std::string reported =
      testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_EQ(app->gpu.voxelProgram, voxel);
  EXPECT_NE(app->gpu.textureProgram, texture);
  EXPECT_NE(app->gpu.pathProgram, path);
  EXPECT_NE(reported, "");
  // The path shader compiled from its file and was exported; the broken one
  // was not.
  EXPECT_TRUE(std::filesystem::exists("gigaAOShaderFS.h"));
  EXPECT_FALSE(std::filesystem::exists("VoxelShaderFSgiga.h"));

  // The demo goes on drawing with what it has.
  frame(*app);
  EXPECT_EQ(app->sampling.sampleCount, 2);
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  std::filesystem::remove_all(scratch);
}

}  // namespace

// The page starts in two steps, and rebuilds every GL object after a GPU
// reset: both must give the picture a whole start-up gives, the restored
// one from the same sub-pixel offset as the picture shown before. The
// desktop's GL cannot lose its context on demand, so here the old objects
// stay valid and a restore that kept a stale name would still draw; the
// page's lost-context test (tests/web/device_test.mjs) loses it for real.
TEST_F(ApplicationTest, TwoStepStartAndRestoredObjectsDrawTheSamePicture) {
  auto whole = start(PathVariant::TwoBounce);
  frame(*whole);
  const std::vector<float> hitColors = readTexture(whole->gpu.primaryFbo.colorTextures[0]);
  whole.reset();

  testing::internal::CaptureStdout();
  Application twoStep(kWidth, kHeight, PathVariant::TwoBounce, false,
                      Application::StartUp::ProgramsFirst);
  EXPECT_EQ(twoStep.programsInProgress().size(), 5u);
  EXPECT_EQ(twoStep.finishStart(), kStatusOk);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(twoStep.programsInProgress().empty());
  frame(twoStep);
  EXPECT_EQ(readTexture(twoStep.gpu.primaryFbo.colorTextures[0]), hitColors);
  frame(twoStep);

  const GLuint oldPath = twoStep.gpu.pathProgram, oldSum = twoStep.gpu.accumTexture;
  // One sample in: the next one writes the second random texture.
  ASSERT_EQ(twoStep.sampling.randomPing, 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(twoStep.restoreGpuObjects(), kStatusOk);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(twoStep.gpu.pathProgram, oldPath);
  EXPECT_NE(twoStep.gpu.accumTexture, oldSum);
  EXPECT_EQ(twoStep.sampling.sampleCount, -1);
  // The next sample must not read the texture it writes (a browser draws
  // nothing then, and the sum lacks that sample for good).
  GLint written = 0;
  glBindFramebuffer(GL_FRAMEBUFFER, twoStep.gpu.pathFbo.framebuffer);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &written);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  EXPECT_EQ(static_cast<GLuint>(written), twoStep.gpu.randomTextures[twoStep.sampling.randomPing]);
  frame(twoStep);
  EXPECT_EQ(readTexture(twoStep.gpu.primaryFbo.colorTextures[0]), hitColors);
  frame(twoStep);
  frame(twoStep);
  EXPECT_EQ(twoStep.sampling.sampleCount, 2);
  const std::vector<float> sum = readTexture(twoStep.gpu.accumTexture);
  EXPECT_GT(*std::max_element(sum.begin(), sum.end()), 0.0f);
}
