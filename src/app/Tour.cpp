#include "app/Tour.h"

#include <cmath>

#include "app/Application.h"

namespace {

// The top of the tree in world units, over the middle of its bounds on the
// floor plan: the camera turns around it and keeps it where the start view
// has it, just inside the picture.
constexpr Vector3 kTreeTop{-2.2f, -14.6f, -5.5f};
// Behind the tree the eye comes this much closer, which keeps it three units
// clear of the back wall.
constexpr float kFarSideScale = 0.8f;

}  // namespace

OrbitPath treeOrbit(const Vector3& startEye, const Vector3& startTarget) {
  OrbitPath orbit;
  orbit.startEye = startEye;
  orbit.startTarget = startTarget;
  orbit.pivot = kTreeTop;
  orbit.farSideScale = kFarSideScale;
  return orbit;
}

PathLight pathLight(float seconds) {
  PathLight light;
  animateLight(light.position, light.angle, seconds, /*accumulating=*/false);
  return light;
}

Tour startTour(const OrbitPath& path, double length) {
  Tour tour;
  tour.on = true;
  tour.path = path;
  tour.length = length > 0.0 && std::isfinite(length) ? length : kTuneSeconds;
  return tour;
}

CameraPose nextTourPose(Tour& tour, double dt) {
  if (!tour.begun) {
    tour.begun = true;
    tour.seconds = 0.0;
  } else if (dt > 0.0 && std::isfinite(dt)) {
    tour.seconds = std::fmod(tour.seconds + dt, tour.length);
  }
  return orbitPose(tour.path, tour.seconds / tour.length);
}

void handBack(Tour& tour) { tour.on = false; }

std::optional<double> tourSeconds(const Tour& tour) {
  if (!tour.on || !tour.begun) return std::nullopt;
  return tour.seconds;
}
