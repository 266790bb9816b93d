#include <gtest/gtest.h>

#include <cmath>

#include "geometry/Camera.h"
#include "geometry/CameraOrbit.h"

namespace {

constexpr float kTolerance = 1e-4f;

void expectNear(const Vector3& expected, const Vector3& actual, const char* what, float tolerance = kTolerance) {
  EXPECT_NEAR(expected.x, actual.x, tolerance) << what;
  EXPECT_NEAR(expected.y, actual.y, tolerance) << what;
  EXPECT_NEAR(expected.z, actual.z, tolerance) << what;
}

Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The camera as the application places it at start-up.
CameraOrbit setUpCamera() {
  CameraOrbit camera;
  camera.lookAt({-7, -20, 13}, {-4, -23, 0}, {0, 1, 0});
  camera.setPerspective(60, 768.0f / 512.0f, 1, 1000);
  return camera;
}

using Input = OrbitInput;

}  // namespace

TEST(Camera, ConstructionLooksDownMinusZFromOne) {
  const Camera camera;
  expectNear({0, 0, 1}, camera.eye, "eye");
  expectNear({0, 0, -1}, camera.forward, "forward");
  expectNear({-1, 0, 0}, camera.left, "left");
  expectNear({0, 1, 0}, camera.up, "up");
  EXPECT_FLOAT_EQ(1.3333334f, camera.aspect);
  EXPECT_FLOAT_EQ(60 * kDegToRad, camera.fovY);
  EXPECT_EQ(100.0f, camera.farPlane);
  // The view moves the eye to the origin.
  EXPECT_FLOAT_EQ(-1.0f, camera.view[4 * 3 + 2]);
}

TEST(Camera, ProjectionEntries) {
  Camera camera;
  camera.setPerspective(60, 1.5f, 1, 1000);
  const Matrix4& p = camera.projection;
  EXPECT_NEAR(1.15470f, p[4 * 0 + 0], kTolerance);
  EXPECT_NEAR(1.73205f, p[4 * 1 + 1], kTolerance);
  EXPECT_NEAR(-1.002002f, p[4 * 2 + 2], 1e-6f);
  EXPECT_NEAR(-2.002002f, p[4 * 3 + 2], 1e-6f);
  EXPECT_EQ(-1.0f, p[4 * 2 + 3]);
  EXPECT_EQ(0.0f, p[4 * 2 + 0]);
  EXPECT_EQ(0.0f, p[4 * 2 + 1]);
  EXPECT_EQ(0.0f, p[4 * 3 + 3]);
  EXPECT_EQ(0.0f, p[4 * 1 + 0]);
}

TEST(Camera, ImagePlaneSpansTheFrustumAtDistanceOne) {
  Camera camera;
  camera.setPerspective(60, 1.5f, 1, 1000);
  camera.lookAt({0, 0, 0}, {0, 0, -1}, {0, 1, 0});
  Vector3 a, b, c;
  camera.imagePlane(a, b, c, 1.0f);
  expectNear({1.73205f, 0, 0}, a, "A");
  expectNear({0, 1.15470f, 0}, b, "B");
  expectNear({-0.86603f, -0.57735f, -1}, c, "C");
}

// A point in front of the camera projects where the image plane says it is:
// the matrices and the image-plane vectors describe the same frustum.
TEST(Camera, ViewProjectionAgreesWithTheImagePlane) {
  CameraOrbit camera = setUpCamera();
  Vector3 a, b, c;
  camera.imagePlane(a, b, c, 1.0f);
  const float xf = 0.25f, yf = 0.75f;
  const Vector3 onPlane{c.x + a.x * xf + b.x * yf, c.y + a.y * xf + b.y * yf, c.z + a.z * xf + b.z * yf};
  const Vector3 e = camera.eye;
  const Vector3 point{e.x + (onPlane.x - e.x) * 10, e.y + (onPlane.y - e.y) * 10, e.z + (onPlane.z - e.z) * 10};
  const Matrix4 m = camera.viewProjection();
  float clip[4];
  for (int r = 0; r < 4; ++r) clip[r] = m[r] * point.x + m[4 + r] * point.y + m[8 + r] * point.z + m[12 + r];
  EXPECT_NEAR(xf * 2 - 1, clip[0] / clip[3], kTolerance);
  EXPECT_NEAR(yf * 2 - 1, clip[1] / clip[3], kTolerance);
}

TEST(Camera, ViewProjectionIsCachedUntilAChange) {
  Camera camera;
  const Matrix4 first = camera.viewProjection();
  EXPECT_FALSE(camera.viewProjStale);
  camera.lookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0});
  EXPECT_TRUE(camera.viewProjStale);
  const Matrix4 moved = camera.viewProjection();
  EXPECT_NE(first[14], moved[14]);
  camera.setPerspective(90, 1, 1, 10);
  EXPECT_TRUE(camera.viewProjStale);
  EXPECT_NE(moved[0], camera.viewProjection()[0]);
}

TEST(CameraOrbit, SetUpPose) {
  CameraOrbit camera = setUpCamera();
  expectNear({0.21938f, -0.21938f, -0.95065f}, camera.forward, "forward");
  expectNear({-0.97439f, 0, -0.22486f}, camera.left, "left");
  expectNear(cross(camera.up, camera.forward), camera.left, "left = up x forward");
  EXPECT_NEAR(-2.9148f, camera.yaw, kTolerance) << "not wrapped by lookAt";
  EXPECT_NEAR(-0.2212f, camera.pitch, kTolerance);
  EXPECT_NEAR(std::sqrt(187.0f), camera.distance, kTolerance);
  expectNear({-4, -23, 0}, camera.center, "center");

  Input input;
  EXPECT_FALSE(camera.update(0.016f, input));
  expectNear({-7, -20, 13}, camera.eye, "eye unchanged");
}

TEST(CameraOrbit, HeldButtonWithoutMotionRebuildsTheSamePose) {
  CameraOrbit camera = setUpCamera();
  const CameraOrbit before = camera;
  Input input;
  input.dragging = true;
  EXPECT_TRUE(camera.update(0.016f, input));
  EXPECT_NEAR(3.3684f, camera.yaw, kTolerance) << "wrapped into [0, 2 pi]";
  expectNear(before.forward, camera.forward, "forward");
  expectNear(before.left, camera.left, "left");
  expectNear(before.up, camera.up, "up");
  expectNear(before.eye, camera.eye, "eye");
}

TEST(CameraOrbit, DragTurnsAndClampsPitch) {
  CameraOrbit camera = setUpCamera();
  Input input;
  input.dragging = true;
  input.dny = 0.1f;
  const float forwardY = camera.forward.y;
  camera.update(0.016f, input);
  EXPECT_GT(camera.forward.y, forwardY) << "dragging up raises the view";

  for (float drag : {50.0f, -50.0f}) {
    input.dny = drag;
    for (int i = 0; i < 3; ++i) camera.update(0.016f, input);
    EXPECT_EQ(drag > 0 ? kPitchLimit : -kPitchLimit, camera.pitch);
    // Off the vertical, so the keys still have a horizontal direction.
    EXPECT_GT(std::fabs(camera.forward.x) + std::fabs(camera.forward.z), 0.0f);
  }

  // Horizontal drags scale with the aspect and wrap around.
  input.dny = 0;
  input.dnx = 2.0f;
  const float yaw = camera.yaw;
  camera.update(0.016f, input);
  EXPECT_NEAR(std::fmod(yaw + 3.0f, kTwoPi), camera.yaw, kTolerance);

  input.dnx = INFINITY;
  camera.update(0.016f, input);  // must return at all
}

TEST(CameraOrbit, WheelChangesDistanceWithinLimits) {
  CameraOrbit camera = setUpCamera();
  Input input;
  camera.distance = 2.5f;
  input.wheelNotches = 3;
  EXPECT_TRUE(camera.update(0.016f, input));
  EXPECT_EQ(1.0f, camera.distance);
  input.wheelNotches = -5000;
  camera.update(0.016f, input);
  EXPECT_EQ(1000.0f, camera.distance);
  input.wheelNotches = 1;
  camera.update(0.016f, input);
  EXPECT_EQ(999.0f, camera.distance) << "+1 brings the eye closer";
  const Vector3 f = camera.forward;
  expectNear({camera.center.x - f.x * 999, camera.center.y - f.y * 999, camera.center.z - f.z * 999}, camera.eye,
             "eye on the line of sight", 1e-2f);
}

TEST(CameraOrbit, KeysMoveTheCenter) {
  CameraOrbit camera = setUpCamera();
  Input input;
  input.forward = true;
  const Vector3 start = camera.center;
  EXPECT_TRUE(camera.update(0.5f, input));
  const Vector3 f = normalize({camera.forward.x, 0, camera.forward.z});
  expectNear({start.x + f.x * 2.5f, start.y, start.z + f.z * 2.5f}, camera.center, "W: 2.5 units horizontally");

  input.back = true;
  const Vector3 before = camera.center;
  EXPECT_TRUE(camera.update(0.5f, input)) << "W and S cancel but still count";
  expectNear(before, camera.center, "W + S");

  input = Input();
  input.left = true;
  input.up = true;
  camera.update(0.2f, input);
  const Vector3 l = normalize({camera.left.x, 0, camera.left.z});
  expectNear({before.x + l.x, before.y + 1, before.z + l.z}, camera.center, "A and E");

  input = Input();
  input.right = true;
  input.down = true;
  camera.update(0.2f, input);
  expectNear(before, camera.center, "D and Q undo A and E");
  const Vector3 g = camera.forward;
  expectNear({camera.center.x - g.x * camera.distance, camera.center.y - g.y * camera.distance,
              camera.center.z - g.z * camera.distance},
             camera.eye, "eye follows the center");
}

TEST(CameraOrbit, ResyncKeepsTheCenter) {
  CameraOrbit camera = setUpCamera();
  camera.center = {-4, -23, 5};
  camera.resyncOrbit();
  expectNear({-4, -23, 5}, camera.center, "center");
  EXPECT_NEAR(std::sqrt(9.0f + 9.0f + 64.0f), camera.distance, kTolerance);
  EXPECT_NEAR(-2.9148f, camera.yaw, kTolerance);

  // Through the base class, as a Camera.
  Camera& base = camera;
  base.lookAt({0, 0, 3}, {0, 0, 0}, {0, 1, 0});
  EXPECT_NEAR(3.0f, camera.distance, kTolerance);
}

// Upright pictures show the start view's whole width, so that the letters and
// the sleigh at the sides stay in view; 3:2 and wider keep the view exactly.
TEST(Camera, NarrowPicturesKeepTheHorizontalExtentOfThreeByTwo) {
  for (const float aspect : {1.5f, 768.0f / 512.0f, 16.0f / 9.0f, 3.0f}) {
    EXPECT_EQ(framedFovY(60.0f, aspect), 60.0f) << aspect;
  }
  Camera wide;
  wide.setPerspective(60.0f, 1.5f, 1.0f, 1000.0f);
  Vector3 wideA, wideB, wideC;
  wide.imagePlane(wideA, wideB, wideC, 1.0f);
  const float wideWidth = std::sqrt(dotProduct(wideA, wideA));
  for (const float aspect : {1.4999f, 1.0f, 9.0f / 16.0f, 390.0f / 844.0f, 0.1f}) {
    const float fov = framedFovY(60.0f, aspect);
    EXPECT_GT(fov, 60.0f) << aspect;
    EXPECT_LT(fov, 180.0f) << aspect;
    Camera narrow;
    narrow.setPerspective(fov, aspect, 1.0f, 1000.0f);
    Vector3 A, B, C;
    narrow.imagePlane(A, B, C, 1.0f);
    EXPECT_NEAR(std::sqrt(dotProduct(A, A)) / wideWidth, 1.0f, 1e-4f) << aspect;
  }
}
