#pragma once

#include "geometry/Camera.h"
#include "geometry/Vector.h"

class KeyState;
class MouseState;

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
  bool update(float dt, const KeyState& keys, const MouseState& mouse);

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
  bool moveCenter(float dt, const KeyState& keys);
};
