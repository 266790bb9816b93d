// The still renderer's frames and picture, on the room at a tiny size: the
// picture is what the display pass shows, sampling follows the demo's
// schedule, and the timings count the passes that ran.
#include "render_tool/StillRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "render/DisplayImage.h"
#include "support/AppFixture.h"
#include "support/Texels.h"

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

std::vector<float> readTexture(GLuint texture) { return readTexelValues(texture, kWidth, kHeight); }

// The window's 8-bit value for a float: clamped, no gamma.
int toByte(float value) {
  return static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

// Largest difference between a picture and texels times `scale`; texel rows
// are bottom first, picture rows top first.
int largestDifference(const RgbImage& image, const std::vector<float>& texels, float scale) {
  int largest = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        const float texel = texels[4 * ((kHeight - 1 - y) * kWidth + x) + c] * scale;
        const int pixel = image.pixels[3 * (y * kWidth + x) + c];
        largest = std::max(largest, std::abs(pixel - toByte(texel)));
      }
    }
  }
  return largest;
}

bool hasSpread(const RgbImage& image) {
  const auto [low, high] = std::minmax_element(image.pixels.begin(), image.pixels.end());
  return *high - *low > 16;
}

class StillFramesTest : public AppFixture {
 protected:
  std::unique_ptr<Application> start(PathVariant variant) {
    auto app = startApp(kWidth, kHeight, variant);
    EXPECT_EQ(startupOutput.find("Can't initialize device"), std::string::npos) << "music was started";
    EXPECT_EQ(app->music, MusicHandle::None);
    return app;
  }
};

TEST_F(StillFramesTest, ConvergedPictureIsTheAverageOfTheSamplesClampedToBytes) {
  for (PathVariant variant : {PathVariant::TwoBounce, PathVariant::OneBounce}) {
    auto app = start(variant);
    StillOptions options;
    options.samples = 5;
    std::ostringstream progress;
    ASSERT_TRUE(renderStillFrames(*app, options, progress, nullptr));
    EXPECT_EQ(app->sampling.sampleCount, 5);
    EXPECT_NE(progress.str().find("5/5 samples"), std::string::npos) << progress.str();

    const RgbImage image = stillImage(*app);
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    const std::vector<float> sum = readTexture(app->gpu.accumTexture);
    EXPECT_LE(largestDifference(image, sum, 1.0f / 5.0f), 1);
    EXPECT_TRUE(hasSpread(image)) << "a flat picture";
  }
}

// How much neighbouring bytes differ: grain raises it.
long roughness(const RgbImage& image) {
  long sum = 0;
  for (size_t i = 3; i < image.pixels.size(); ++i) {
    sum += std::abs(image.pixels[i] - image.pixels[i - 3]);
  }
  return sum;
}

TEST_F(StillFramesTest, DenoisedStillIsTheDenoisersSmootherPicture) {
  auto app = start(PathVariant::TwoBounce);
  StillOptions options;
  options.samples = 4;
  options.denoise = true;
  std::ostringstream progress;
  ASSERT_TRUE(renderStillFrames(*app, options, progress, nullptr));
  const RgbImage denoised = stillImage(*app);
  const std::vector<float> picture = readTexture(app->gpu.denoiser.targets.picture);
  EXPECT_LE(largestDifference(denoised, picture, 1.0f), 1);
  const RgbImage plain = readDisplayImage(app->frameResources(), app->sampling.sampleCount,
                                          app->displayMode, kWidth, kHeight);
  EXPECT_LT(roughness(denoised), roughness(plain));
}

TEST_F(StillFramesTest, PrimaryViewsShowTheirHitBufferWithoutSampling) {
  auto app = start(PathVariant::TwoBounce);
  const struct {
    StillView view;
    int buffer;
  } views[] = {{StillView::Color, 0}, {StillView::Position, 1}, {StillView::Normal, 2}};
  for (const auto& each : views) {
    StillOptions options;
    options.view = each.view;
    std::ostringstream progress;
    ASSERT_TRUE(renderStillFrames(*app, options, progress, nullptr));
    EXPECT_EQ(app->sampling.sampleCount, 0);
    const RgbImage image = stillImage(*app);
    ASSERT_EQ(image.pixels.size(), 3u * kWidth * kHeight);
    const std::vector<float> hits =
        readTexture(app->gpu.primaryFbo.colorTextures[each.buffer]);
    EXPECT_LE(largestDifference(image, hits, 1.0f), 1) << "view " << each.buffer;
  }
}

TEST_F(StillFramesTest, TimingsCountEveryPassOfTheSchedule) {
  auto app = start(PathVariant::OneBounce);
  StillOptions options;
  options.samples = 30;
  StillTimings timings;
  std::ostringstream progress;
  ASSERT_TRUE(renderStillFrames(*app, options, progress, &timings));
  // Frame 0 and frame 24 cast primary rays; 30 frames add samples.
  EXPECT_EQ(timings.primary.count, 2);
  EXPECT_EQ(timings.path.count, 30);
  EXPECT_GT(timings.path.wallSeconds, 0.0);
  EXPECT_GE(timings.primary.gpuSeconds, 0.0);

  const std::string report = formatStillTimings(timings, kWidth, kHeight, PathVariant::OneBounce);
  EXPECT_NE(report.find("primary pass: 2 x"), std::string::npos) << report;
  EXPECT_NE(report.find("path sample: 30 x"), std::string::npos) << report;
  EXPECT_NE(report.find("Mrays/s"), std::string::npos) << report;
}

TEST(StillTimings, ReportGivesPerPassTimesAndRatesAndLeavesOutUnrunPasses) {
  StillTimings timings;
  timings.primary = {2, 0.004, 0.010};
  const std::string report = formatStillTimings(timings, 1000, 1000, PathVariant::TwoBounce);
  // 10^6 rays in 2 ms by the timer and 5 ms by the wall clock.
  EXPECT_EQ(report,
            "primary pass: 2 x, 2.000 ms GL timer, 5.000 ms wall, 500.00 Mrays/s (timer), "
            "200.00 Mrays/s (wall)\n");
  EXPECT_EQ(formatStillTimings(StillTimings{}, 8, 8, PathVariant::TwoBounce), "");

  // Denoising casts no rays: its share of a path sample instead.
  timings = {};
  timings.path = {4, 0.040, 0.080};
  timings.denoise = {2, 0.002, 0.006};
  const std::string withShare = formatStillTimings(timings, 10, 10, PathVariant::TwoBounce);
  EXPECT_NE(withShare.find("denoising: 2 x, 1.000 ms GL timer, 3.000 ms wall, "
                           "15.0% of a path sample (wall)\n"),
            std::string::npos)
      << withShare;
}

}  // namespace
