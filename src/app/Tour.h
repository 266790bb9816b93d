#pragma once

#include <optional>

#include "app/Music.h"
#include "geometry/CameraPath.h"
#include "geometry/Vector.h"

// The video's camera path and its light, shared by xmastrace_render's video,
// the page's video and the tour that shows the room moving in real time.

// The camera's turn around the tree, from a start view (the demo's).
OrbitPath treeOrbit(const Vector3& startEye, const Vector3& startTarget);

// Where the video has the light `seconds` into the path: on its circle, at
// the angle the demo's animation reaches in that time while the camera
// moves.
struct PathLight {
  Vector3 position;
  float angle = 0.0f;
};
PathLight pathLight(float seconds);

// A turn along the path in real time, for a visitor who has not touched
// anything yet: one pass of the tune, then again from the start. The value
// says where the turn is; the frame loop places the camera and the light.
struct Tour {
  bool on = false;
  OrbitPath path;
  double length = kTuneSeconds;  // seconds per turn
  double seconds = 0.0;          // path time of the pose given last
  bool begun = false;            // whether a pose was given since the start
};

// A tour that starts at the beginning of `path` (a length that is not
// positive, or not a number, falls back to one pass of the tune).
Tour startTour(const OrbitPath& path, double length = kTuneSeconds);

// The pose of the next picture: the path's start for the first, then `dt`
// seconds further each time, wrapping at the end so that the turn loops.
// A step that is negative or not a number stands still.
CameraPose nextTourPose(Tour& tour, double dt);

// Input: the visitor has the camera again, wherever the tour left it.
void handBack(Tour& tour);

// The path time of the pose given last, or nothing when not touring.
std::optional<double> tourSeconds(const Tour& tour);
