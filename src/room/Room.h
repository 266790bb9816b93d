#pragma once

#include <string>
#include <vector>

#include "room/Mesh.h"

namespace room {

// One file of the room: its name inside data/xmas/, a line saying what it
// shows, and its triangles.
struct RoomFile {
  std::string name;
  std::string description;
  Mesh mesh;
};

// The fifteen files in the order the demo loads them.
std::vector<RoomFile> buildRoom();

// The walls' thickness: the back wall's front face is the plane z = kWallThickness,
// where the glowing letters stand, kLetterDepth deep. A personal greeting's
// letters keep both, so they look like today's.
constexpr double kWallThickness = 0.2;
constexpr double kLetterDepth = 0.09;
// Today's letters are this tall; a short text grows no taller.
constexpr double kLetterHeight = 1.0;

// A rectangle on the back wall (x to the right, y up).
struct WallRect {
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;
  double top = 0.0;
};

// The part of the back wall the letters QM cover: left of the tree and above
// the gifts as seen from the start camera, so a text kept inside it leaves
// the composition as it is.
WallRect letterArea();

}  // namespace room
