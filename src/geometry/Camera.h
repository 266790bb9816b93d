#pragma once

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

// pi / 180 in single precision.
constexpr float kDegToRad = 0.017453292f;

// The start view's field of view is chosen for a 3:2 picture (768x512);
// a narrower one, a phone held upright above all, would cut off the letters
// and the sleigh at either side of the room.
constexpr float kFramingAspect = 1.5f;

// The vertical field of view, in degrees, that gives a picture of `aspect`
// the horizontal extent that `fovDegrees` gives at kFramingAspect. A
// picture at least that wide keeps `fovDegrees` itself, bit for bit.
float framedFovY(float fovDegrees, float aspect);

// A pinhole camera: pose, a symmetric frustum, the matrices made from them,
// and the image-plane vectors the ray shaders turn pixels into rays with.
// Right-handed world, y up; angles in radians except the field of view
// given to setPerspective.
class Camera {
 public:
  Camera();
  virtual void onLookAt(const Vector3& target);
  virtual void resyncOrbit();
  virtual ~Camera() = default;

  void setPerspective(float fovDegrees, float aspectRatio, float nearDistance, float farDistance);
  void lookAt(const Vector3& eyePosition, const Vector3& target, const Vector3& upHint);
  void updateView();
  void updateProjection();
  // projection x view, recomputed only after a change.
  Matrix4 viewProjection();
  // The window at `distance` in front of the eye, as the shaders use it:
  // C is its lower-left corner, A spans its width and B its height.
  void imagePlane(Vector3& A, Vector3& B, Vector3& C, float distance) const;

  float aspect = 0.0f;
  float fovY = 0.0f;
  Vector3 eye;
  // Always up x forward: the negated right vector.
  Vector3 left;
  Vector3 up;
  Vector3 forward;
  float frustumLeft = 0.0f, frustumTop = 0.0f, frustumRight = 0.0f, frustumBottom = 0.0f;
  float farPlane = 0.0f, nearPlane = 0.0f;
  Matrix4 view;
  Matrix4 projection;
  bool viewProjStale = true;
  Matrix4 viewProj;
};
