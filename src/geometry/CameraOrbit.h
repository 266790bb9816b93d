#pragma once

#include "geometry/Camera.h"
#include "geometry/Vector.h"

// One frame of the input that moves the camera, whatever its source.
struct OrbitInput {
  bool dragging = false;     // the left button (or one finger) held
  float dnx = 0.0f;          // the last move, in half window widths
  float dny = 0.0f;          // and half heights, +1 up
  int wheelNotches = 0;      // positive: closer
  bool forward = false;      // W
  bool back = false;         // S
  bool left = false;         // A
  bool right = false;        // D
  bool down = false;         // Q
  bool up = false;           // E
};

// 2 pi in single precision.
constexpr float kTwoPi = 6.2831855f;
// Just short of pi / 2: at the pole the horizontal part of `forward` would
// vanish and W/S would normalise a zero vector.
constexpr float kPitchLimit = 1.5707953f;

// Looks at `center` from `distance`: a left-button drag turns around the
// centre, the wheel changes the distance, W/S/A/D/Q/E move the centre.
class CameraOrbit : public Camera {
 public:
  CameraOrbit() = default;

  void onLookAt(const Vector3& target) override;
  void resyncOrbit() override;

  // Applies one frame of input; true when the pose changed.
  bool update(float dt, const OrbitInput& input);

  float yaw = 0.0f;
  float pitch = 0.0f;
  float minDistance = 1.0f;
  float maxDistance = 1000.0f;
  float distance = 10.0f;
  float moveSpeed = 5.0f;
  Vector3 center;

 private:
  void orbitFrom(const Vector3& target);
  bool turn(float dnx, float dny);
  bool moveCenter(float dt, const OrbitInput& input);
};
