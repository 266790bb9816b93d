// The video's camera and sound, without GL: a turn around the tree that
// stays in the room and loops, and a tune fitted to the video's length.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/CameraOrbit.h"
#include "render_tool/VideoRenderer.h"
#include "video/Soundtrack.h"

namespace {

// The demo's start view, and the tree's middle on the floor plan and its top
// (world units, from the room's meshes).
const Vector3 kStartEye{-7.0f, -20.0f, 13.0f};
const Vector3 kStartTarget{-4.0f, -23.0f, 0.0f};
constexpr float kTreeX = -2.2f, kTreeTop = -14.6f, kTreeZ = -5.5f;
constexpr int kFrames = 1296;  // 43.2 s at 30 fps
CameraOrbit cameraAt(const OrbitPath& orbit, int frame) {
  CameraOrbit camera;
  const CameraPose pose = videoCameraPose(orbit, frame, kFrames);
  camera.lookAt(pose.eye, pose.target, pose.up);
  return camera;
}

void expectSameVector(const Vector3& a, const Vector3& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

TEST(VideoCameraPath, TurnsOnceAroundTheTreeInsideTheRoomAndEndsWhereItBegan) {
  const OrbitPath orbit = treeOrbit(kStartEye, kStartTarget);
  CameraOrbit start;
  start.lookAt(kStartEye, kStartTarget, {0.0f, 1.0f, 0.0f});
  for (const int frame : {0, kFrames}) {
    const CameraOrbit camera = cameraAt(orbit, frame);
    expectSameVector(camera.eye, start.eye);
    expectSameVector(camera.forward, start.forward);
    expectSameVector(camera.up, start.up);
    expectSameVector(camera.center, start.center);
  }

  // Where the tree's top is in the picture: image-plane x and y at distance 1.
  const auto treeTopInPicture = [](const CameraOrbit& camera, float& x, float& y) {
    const Vector3 toTop = subtract({kTreeX, kTreeTop, kTreeZ}, camera.eye);
    const float depth = dotProduct(toTop, camera.forward);
    x = -dotProduct(toTop, camera.left) / depth;
    y = dotProduct(toTop, camera.up) / depth;
  };
  float startX = 0.0f, startY = 0.0f;
  treeTopInPicture(start, startX, startY);
  EXPECT_LT(std::fabs(startX), 0.2f);
  EXPECT_LT(startY, std::tan(30.0f * kDegToRad));
  for (int frame = 0; frame < kFrames; ++frame) {
    const CameraOrbit camera = cameraAt(orbit, frame);
    // Clear of the walls (x -23.5 and 28.9, back z -23.5) and of the tree.
    EXPECT_GT(camera.eye.x, -21.5f);
    EXPECT_LT(camera.eye.x, 27.0f);
    EXPECT_GT(camera.eye.z, -21.5f);
    EXPECT_GT(std::hypot(camera.eye.x - kTreeX, camera.eye.z - kTreeZ), 10.0f) << "frame " << frame;
    // The tree keeps its place in the picture all the way round.
    float x = 0.0f, y = 0.0f;
    treeTopInPicture(camera, x, y);
    EXPECT_NEAR(x, startX, 1e-3f) << "frame " << frame;
    EXPECT_NEAR(y, startY, 1e-3f) << "frame " << frame;
  }

  // Half-way the eye is on the tree's far side; the last frame is one small
  // step short of the first.
  const Vector3 halfWay = cameraAt(orbit, kFrames / 2).eye;
  EXPECT_LT((halfWay.x - kTreeX) * (kStartEye.x - kTreeX) + (halfWay.z - kTreeZ) * (kStartEye.z - kTreeZ), 0.0f);
  const Vector3 last = cameraAt(orbit, kFrames - 1).eye;
  const float step = std::hypot(last.x - kStartEye.x, last.z - kStartEye.z);
  EXPECT_GT(step, 0.0f);
  EXPECT_LT(step, 0.15f);
}

TEST(VideoSoundtrack, LoopsWithoutAGapAndFadesToSilenceAtTheEnd) {
  Soundtrack tune;
  tune.sampleRate = 10;
  tune.channels = {{1, 2, 3, 4, 5}, {-1, -2, -3, -4, -5}};
  const Soundtrack looped = fitSoundtrack(tune, 12, 0);
  EXPECT_EQ(looped.sampleRate, 10);
  EXPECT_EQ(looped.channels[0], (std::vector<float>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2}));
  EXPECT_EQ(looped.channels[1], (std::vector<float>{-1, -2, -3, -4, -5, -1, -2, -3, -4, -5, -1, -2}));

  const Soundtrack faded = fitSoundtrack(tune, 9, 4);
  EXPECT_EQ(faded.channels[0], (std::vector<float>{1, 2, 3, 4, 5, 0.75f, 1, 0.75f, 0}));
  EXPECT_EQ(fitSoundtrack(tune, 3, 0).channels[1], (std::vector<float>{-1, -2, -3}));
}

}  // namespace
