#include "geometry/CameraPath.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Worked in double and rounded once, so that the start of the turn gives
// back the start view bit for bit.
Vector3 turnAbout(const Vector3& point, const Vector3& pivot, double angle, double scale) {
  const double dx = static_cast<double>(point.x) - pivot.x;
  const double dy = static_cast<double>(point.y) - pivot.y;
  const double dz = static_cast<double>(point.z) - pivot.z;
  const double c = std::cos(angle), s = std::sin(angle);
  return {static_cast<float>(pivot.x + (c * dx - s * dz) * scale),
          static_cast<float>(pivot.y + dy * scale),
          static_cast<float>(pivot.z + (s * dx + c * dz) * scale)};
}

}  // namespace

CameraPose orbitPose(const OrbitPath& path, double turns) {
  const double angle = kTwoPi * (turns - std::floor(turns));
  // 1 at the start, farSideScale half-way, back to 1 at the end, smoothly.
  const double scale = 1.0 - (1.0 - path.farSideScale) * 0.5 * (1.0 - std::cos(angle));
  return {turnAbout(path.startEye, path.pivot, angle, scale),
          turnAbout(path.startTarget, path.pivot, angle, scale), {0.0f, 1.0f, 0.0f}};
}
