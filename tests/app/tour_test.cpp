// The tour: a turn along the video's path in real time that loops, and
// gives the camera back, where it left it, at the visitor's first input.
#include "app/Tour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "app/FrameLoop.h"
#include "app/KeyCodes.h"
#include "render_tool/VideoFrames.h"
#include "support/AppFixture.h"

namespace {

const Vector3 kStartEye{-7.0f, -20.0f, 13.0f};
const Vector3 kStartTarget{-4.0f, -23.0f, 0.0f};
constexpr int kFps = 30;
constexpr int kVideoFrames = 1296;  // one pass of the tune at 30 fps

void expectNear(const Vector3& a, const Vector3& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

}  // namespace

TEST(Tour, FollowsTheVideosFramesInRealTimeAndLoops) {
  const OrbitPath path = treeOrbit(kStartEye, kStartTarget);
  Tour tour = startTour(path);
  EXPECT_FALSE(tourSeconds(tour)) << "no picture placed yet";

  // The first picture is the path's start, whatever time went by before.
  CameraPose pose = nextTourPose(tour, 5.0);
  const CameraPose start = videoCameraPose(path, 0, kVideoFrames);
  EXPECT_EQ(pose.eye.x, start.eye.x);
  EXPECT_EQ(pose.eye.z, start.eye.z);
  EXPECT_EQ(tourSeconds(tour), 0.0);

  // At the video's frame rate each picture is the video's next frame.
  for (int frame = 1; frame <= 2 * kVideoFrames + 40; ++frame) {
    pose = nextTourPose(tour, 1.0 / kFps);
    const int videoFrame = frame % kVideoFrames;
    ASSERT_NEAR(*tourSeconds(tour), static_cast<double>(videoFrame) / kFps, 1e-6) << frame;
    if (frame % 97 == 0 || videoFrame == 0) {
      const CameraPose video = videoCameraPose(path, videoFrame, kVideoFrames);
      expectNear(pose.eye, video.eye, 1e-3f);
      expectNear(pose.target, video.target, 1e-3f);
    }
  }
  EXPECT_LT(*tourSeconds(tour), kTuneSeconds) << "the turn wraps at one pass of the tune";

  // A broken clock stands still rather than losing the path.
  const double before = *tourSeconds(tour);
  nextTourPose(tour, std::numeric_limits<double>::quiet_NaN());
  nextTourPose(tour, -3.0);
  nextTourPose(tour, std::numeric_limits<double>::infinity());
  EXPECT_EQ(tourSeconds(tour), before);

  // The light is where the video has it at that time.
  const PathLight light = pathLight(2.0f);
  EXPECT_FLOAT_EQ(light.angle, 1.0f);
  EXPECT_FLOAT_EQ(light.position.y, 5.0f);

  handBack(tour);
  EXPECT_FALSE(tourSeconds(tour));
}

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 24;

LoopRules touringPageRules(int budgetMs, int samples) {
  LoopRules rules = pageRules(budgetMs, samples, 0);
  rules.tour = true;
  return rules;
}

class TourLoopTest : public AppFixture {
 protected:
  void frames(FrameLoop& loop, int count, double step) {
    for (int i = 0; i < count; ++i) {
      now += step;
      loop.step(now);
      loop.endFrame();
      glFinish();  // the GPU keeps up: each frame's interval is its own cost
    }
  }

  std::unique_ptr<Application> app;
  double now = 1.0;
};

}  // namespace

TEST_F(TourLoopTest, TheKeyStartsATourAndAnyInputHandsTheCameraBackWhereItWas) {
  app = startApp(kWidth, kHeight);
  FrameLoop loop(*app, desktopRules(), kWidth, kHeight);
  const OrbitPath path = treeOrbit(app->camera.eye, app->camera.center);
  frames(loop, 3, 0.1);
  EXPECT_FALSE(loop.tourTime()) << "the desktop starts without a tour";

  loop.key(kKeyTour, true);
  frames(loop, 1, 0.1);
  loop.key(kKeyTour, true);  // held: the key repeats
  frames(loop, 4, 0.25);
  loop.key(kKeyTour, false);
  ASSERT_TRUE(loop.touring());
  ASSERT_TRUE(loop.tourTime());
  EXPECT_NEAR(*loop.tourTime(), 1.0, 1e-6);
  const CameraPose expected = orbitPose(path, 1.0 / kTuneSeconds);
  expectNear(app->camera.eye, expected.eye, 1e-4f);
  expectNear(app->lightPos, pathLight(1.0f).position, 1e-5f);
  EXPECT_FALSE(loop.waitsForInput());
  EXPECT_TRUE(app->reuseSamples) << "a camera that never rests must keep its samples";

  // A click hands the camera back; nothing moves until the visitor does.
  const Vector3 left = app->camera.eye;
  loop.mouseButton(0, true);
  EXPECT_FALSE(loop.touring());
  EXPECT_FALSE(loop.tourTime());
  EXPECT_FALSE(app->reuseSamples) << "the desktop's own setting is back";
  frames(loop, 3, 0.25);
  loop.mouseButton(0, false);
  expectNear(app->camera.eye, left, 1e-3f);

  // The key again, and then a wheel or a key hands back too.
  loop.key(kKeyTour, true);
  loop.key(kKeyTour, false);
  frames(loop, 2, 0.1);
  EXPECT_TRUE(loop.touring());
  loop.setWheel(1);
  EXPECT_FALSE(loop.touring());
  loop.key(kKeyTour, true);
  loop.key(kKeyTour, false);
  loop.key('W', true);
  loop.key('W', false);
  EXPECT_FALSE(loop.touring());
  loop.key(kKeyTour, true);
  loop.key(kKeyTour, false);
  loop.press(kKeyF2);  // a button of the page
  EXPECT_FALSE(loop.touring());
}

TEST_F(TourLoopTest, APageOnATourNeverRestsAndGetsItsSettingsBackWhenTouched) {
  app = startApp(kWidth, kHeight);
  FrameLoop loop(*app, touringPageRules(0, 2), kWidth, kHeight);
  // As the page does once its start-up is done, after the loop was made.
  app->lightStep = kFrameStep;
  app->reuseSamples = true;
  frames(loop, 12, 0.05);
  EXPECT_FALSE(loop.waitsForInput()) << "a page with two samples would rest by now";
  EXPECT_NEAR(*loop.tourTime(), 0.55, 1e-6);
  expectNear(app->lightPos, pathLight(0.55f).position, 1e-5f);

  const TouchPoint finger{10, 10, true};
  loop.touch(&finger, 1, false);
  EXPECT_FALSE(loop.tourTime());
  EXPECT_EQ(app->lightStep, kFrameStep);
  EXPECT_TRUE(app->reuseSamples) << "the page's own setting, not the one before its start";
  loop.touch(&finger, 1, true);
  frames(loop, 12, 0.05);
  EXPECT_TRUE(loop.waitsForInput()) << "handed back, the page rests when its samples are in";
}

// Tour frames longer than a drag's budget allows, shorter than a tour's,
// grow the tour's picture; the same frames in a drag shrink a drag's, which
// the tour left as it was.
TEST_F(TourLoopTest, ATourLearnsItsLongerFramesApartFromADrag) {
  app = startApp(kWidth, kHeight);
  FrameLoop loop(*app, touringPageRules(40, 0), kWidth, kHeight);
  app->reuseSamples = true;
  const double frameSeconds = 0.06;
  frames(loop, 8, frameSeconds);
  ASSERT_TRUE(loop.touring());
  EXPECT_GT(loop.tourBudget.previewScale, kFirstPreviewScale * 1.2);
  EXPECT_EQ(loop.budget.previewScale, kFirstPreviewScale);

  const double toured = loop.tourBudget.previewScale;
  for (int i = 0; i < 8; ++i) {
    const TouchPoint finger{10 + 2 * i, 10, true};
    loop.touch(&finger, 1, false);
    frames(loop, 1, frameSeconds);
  }
  EXPECT_FALSE(loop.touring());
  EXPECT_LT(loop.budget.previewScale, kFirstPreviewScale * 0.8);
  EXPECT_EQ(loop.tourBudget.previewScale, toured);
}
