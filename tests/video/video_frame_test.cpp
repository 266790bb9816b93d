// A video frame's picture depends on its number alone, so a farm can render
// any range of frames and the joined video is the one a single run makes.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "ExitStatus.h"
#include "app/Application.h"
#include "render_tool/StillRenderer.h"
#include "render_tool/VideoRenderer.h"
#include "support/AppFixture.h"

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr int kFrames = 12;

RgbImage frame(Application& app, const OrbitPath& orbit, int number, const VideoOptions& options) {
  EXPECT_TRUE(renderVideoFrame(app, orbit, number, kFrames, options));
  return stillImage(app);
}

// Frame 5 after frames 0 to 4 (a whole run), after frame 9 (a piece that
// starts later) and first thing in a fresh Application (a piece that
// starts there) is the same picture, denoised or not; and it is not the
// picture of another seed: frame 5 drawn with frame 6's seeds differs.
using VideoFrame = AppFixture;

TEST_F(VideoFrame, IsTheSameWhateverWasRenderedBefore) {
  auto app = startApp(kWidth, kHeight);
  auto fresh = startApp(kWidth, kHeight);
  ASSERT_EQ(app->startupStatus(), kStatusOk);
  ASSERT_EQ(fresh->startupStatus(), kStatusOk);
  const OrbitPath orbit = treeOrbit(app->camera.eye, app->camera.center);
  for (const bool denoise : {false, true}) {
    VideoOptions options;
    options.fps = 4;
    options.samples = 3;
    options.denoise = denoise;
    const RgbImage alone = frame(*fresh, orbit, 5, options);
    for (int number = 0; number < 5; ++number) frame(*app, orbit, number, options);
    const RgbImage inRun = frame(*app, orbit, 5, options);
    frame(*app, orbit, 9, options);
    const RgbImage afterLater = frame(*app, orbit, 5, options);
    // A picture of the room, not an empty one that any seed would give.
    EXPECT_GT(std::set<uint8_t>(alone.pixels.begin(), alone.pixels.end()).size(), 64u);
    EXPECT_TRUE(alone.pixels == inRun.pixels) << "denoise " << denoise;
    EXPECT_TRUE(alone.pixels == afterLater.pixels) << "denoise " << denoise;

    placeVideoFrame(*app, orbit, 5, kFrames, options.fps, options.samples);
    app->restartAtFrame(6, options.samples);
    while (app->sampling.sampleCount < options.samples) app->draw();
    EXPECT_FALSE(stillImage(*app).pixels == alone.pixels) << "denoise " << denoise;
  }
}

}  // namespace
