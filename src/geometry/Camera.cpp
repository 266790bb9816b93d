#include "geometry/Camera.h"

#include <cmath>

namespace {

Vector3 operator-(const Vector3& a, const Vector3& b) { return subtract(a, b); }
Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector3 operator*(const Vector3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
Vector3 operator-(const Vector3& a) { return {-a.x, -a.y, -a.z}; }

}  // namespace

float framedFovY(float fovDegrees, float aspect) {
  if (!(aspect < kFramingAspect) || !(aspect > 0.0f)) return fovDegrees;
  // Equal horizontal extents: tan(fovY / 2) * aspect stays constant.
  const double halfTan = std::tan(0.5 * fovDegrees * kDegToRad) * kFramingAspect / aspect;
  return static_cast<float>(2.0 * std::atan(halfTan) / kDegToRad);
}

Camera::Camera() {
  setPerspective(60.0f, 1.3333334f, 1.0f, 100.0f);
  lookAt({0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
}

void Camera::onLookAt(const Vector3&) {}

void Camera::resyncOrbit() {}

void Camera::setPerspective(float fovDegrees, float aspectRatio, float nearDistance, float farDistance) {
  fovY = fovDegrees * kDegToRad;
  aspect = aspectRatio;
  const float t = std::tan(fovY * 0.5f) * nearDistance;
  const float r = t * aspectRatio;
  frustumLeft = -r;
  frustumRight = r;
  frustumBottom = -t;
  frustumTop = t;
  nearPlane = nearDistance;
  farPlane = farDistance;
  updateProjection();
}

void Camera::updateProjection() {
  const float l = frustumLeft, r = frustumRight, b = frustumBottom, t = frustumTop;
  const float n = nearPlane, f = farPlane;
  projection = Matrix4(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  projection[4 * 0 + 0] = 2.0f * n / (r - l);
  projection[4 * 2 + 0] = (r + l) / (r - l);
  projection[4 * 1 + 1] = 2.0f * n / (t - b);
  projection[4 * 2 + 1] = (t + b) / (t - b);
  projection[4 * 2 + 2] = -(f + n) / (f - n);
  projection[4 * 3 + 2] = -2.0f * f * n / (f - n);
  projection[4 * 2 + 3] = -1.0f;
  viewProjStale = true;
}

void Camera::lookAt(const Vector3& eyePosition, const Vector3& target, const Vector3& upHint) {
  eye = eyePosition;
  forward = normalize(target - eyePosition);
  const Vector3 right = normalize(crossProduct(forward, upHint));
  up = normalize(crossProduct(right, forward));
  left = -right;
  updateView();
  onLookAt(target);
}

void Camera::updateView() {
  view = Matrix4();
  const Vector3 rows[3] = {-left, up, -forward};
  for (int r = 0; r < 3; ++r) {
    view[4 * 0 + r] = rows[r].x;
    view[4 * 1 + r] = rows[r].y;
    view[4 * 2 + r] = rows[r].z;
  }
  // -right . eye is left . eye.
  view[4 * 3 + 0] = dotProduct(left, eye);
  view[4 * 3 + 1] = -dotProduct(up, eye);
  view[4 * 3 + 2] = dotProduct(forward, eye);
  viewProjStale = true;
}

Matrix4 Camera::viewProjection() {
  if (viewProjStale) {
    viewProj = projection * view;
    viewProjStale = false;
  }
  return viewProj;
}

void Camera::imagePlane(Vector3& A, Vector3& B, Vector3& C, float distance) const {
  const float t = std::tan(fovY * 0.5f);
  const Vector3 right = -left;
  A = right * (2.0f * aspect * t);
  B = up * (2.0f * t);
  C = eye - right * (aspect * t) - up * t + forward * distance;
}
