#include "geometry/CameraOrbit.h"

#include <cmath>

#include "geometry/Matrix.h"

namespace {

float length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The unit direction of `v` in the ground plane.
Vector3 horizontal(const Vector3& v) { return normalize({v.x, 0.0f, v.z}); }

// target += direction x speed x dt, in that order of rounding.
void addScaled(Vector3& target, const Vector3& direction, float speed, float dt) {
  target.x += direction.x * speed * dt;
  target.y += direction.y * speed * dt;
  target.z += direction.z * speed * dt;
}

void subtractScaled(Vector3& target, const Vector3& direction, float speed, float dt) {
  target.x -= direction.x * speed * dt;
  target.y -= direction.y * speed * dt;
  target.z -= direction.z * speed * dt;
}

// Into [0, 2 pi] by whole turns. Only absurd mouse deltas take the fmod; it
// keeps the loops from running forever on an infinite angle.
float wrapYaw(float yaw) {
  if (std::fabs(yaw) > 4.0f * kTwoPi) yaw = std::fmod(yaw, kTwoPi);
  while (yaw > kTwoPi) yaw -= kTwoPi;
  while (yaw < 0.0f) yaw += kTwoPi;
  return yaw;
}

}  // namespace

void CameraOrbit::onLookAt(const Vector3& target) {
  orbitFrom(target);
  center = target;
}

void CameraOrbit::resyncOrbit() { orbitFrom(center); }

// Not wrapped here: only a drag wraps `yaw`.
void CameraOrbit::orbitFrom(const Vector3& target) {
  yaw = std::atan2(left.z, left.x);
  pitch = std::atan(forward.y / std::sqrt(forward.x * forward.x + forward.z * forward.z));
  distance = length(subtract(target, eye));
}

bool CameraOrbit::update(float dt, const OrbitInput& input) {
  bool changed = false;
  // Held without moving still counts: the basis is rebuilt from the angles.
  if (input.dragging) changed |= turn(input.dnx, input.dny);
  if (input.wheelNotches != 0) {
    float d = distance - static_cast<float>(input.wheelNotches);
    d = maxDistance > d ? d : maxDistance;
    d = minDistance < d ? d : minDistance;
    distance = d;
    changed = true;
  }
  changed |= moveCenter(dt, input);
  if (changed) {
    eye = {center.x - forward.x * distance, center.y - forward.y * distance, center.z - forward.z * distance};
    updateView();
  }
  return changed;
}

// dnx is in half window widths and dny in half heights: scaling dnx by the
// aspect makes equal screen distances turn by equal angles.
bool CameraOrbit::turn(float dnx, float dny) {
  yaw = wrapYaw(yaw + dnx * aspect);
  pitch += dny;
  pitch = pitch < kPitchLimit ? pitch : kPitchLimit;
  pitch = pitch > -kPitchLimit ? pitch : -kPitchLimit;
  const float cy = std::cos(yaw), sy = std::sin(yaw);
  const float cp = std::cos(pitch), sp = std::sin(pitch);
  const Matrix3 rotateY(cy, 0.0f, sy, 0.0f, 1.0f, 0.0f, -sy, 0.0f, cy);
  const Matrix3 rotateX(1.0f, 0.0f, 0.0f, 0.0f, cp, -sp, 0.0f, sp, cp);
  const Matrix3 m = rotateY * rotateX;
  left = {m[0], m[1], m[2]};
  up = {m[3], m[4], m[5]};
  forward = {m[6], m[7], m[8]};
  return true;
}

bool CameraOrbit::moveCenter(float dt, const OrbitInput& input) {
  const float s = moveSpeed;
  bool moved = false;
  if (input.forward) {
    addScaled(center, horizontal(forward), s, dt);
    moved = true;
  }
  if (input.back) {
    subtractScaled(center, horizontal(forward), s, dt);
    moved = true;
  }
  if (input.left) {
    addScaled(center, horizontal(left), s, dt);
    moved = true;
  }
  if (input.right) {
    subtractScaled(center, horizontal(left), s, dt);
    moved = true;
  }
  if (input.down) {
    center.y -= s * dt;
    moved = true;
  }
  if (input.up) {
    center.y += s * dt;
    moved = true;
  }
  return moved;
}
