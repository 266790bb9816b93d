#pragma once

#include "geometry/Vector.h"

// What Camera::lookAt takes.
struct CameraPose {
  Vector3 eye;
  Vector3 target;
  Vector3 up;
};

// One turn around the vertical line through `pivot` that starts and ends at
// a given view: the eye and the point looked at turn together. Towards the
// far side both draw closer to the pivot, by `farSideScale` half-way round,
// so that a room's back wall stays in front of the eye. Turning and drawing
// in about the pivot keep the view's angles to it, so the pivot stays at
// the same place in the picture all the way round.
struct OrbitPath {
  Vector3 startEye;
  Vector3 startTarget;
  Vector3 pivot;
  float farSideScale = 1.0f;
};

// The pose `turns` of the way round (0 and 1 give the start view exactly,
// with world up).
CameraPose orbitPose(const OrbitPath& path, double turns);
