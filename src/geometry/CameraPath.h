#pragma once

#include "geometry/Vector.h"

// What Camera::lookAt takes.
struct CameraPose {
  Vector3 eye;
  Vector3 target;
  Vector3 up;
};

// One turn around a vertical axis that starts and ends at a given view: the
// eye and the point looked at turn together, so the view keeps its angle to
// the axis. Horizontal distances from the axis shrink towards the far side,
// by `farSideScale` half-way round, so that a room's back wall stays in
// front of the eye.
struct OrbitPath {
  Vector3 startEye;
  Vector3 startTarget;
  float axisX = 0.0f;
  float axisZ = 0.0f;
  float farSideScale = 1.0f;
};

// The pose `turns` of the way round (0 and 1 give the start view exactly,
// with world up).
CameraPose orbitPose(const OrbitPath& path, double turns);
