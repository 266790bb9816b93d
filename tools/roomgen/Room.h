#pragma once

#include <string>
#include <vector>

#include "Mesh.h"

// One file of the room: its name inside data/xmas/, a line saying what it
// shows, and its triangles.
struct RoomFile {
  std::string name;
  std::string description;
  Mesh mesh;
};

// The fifteen files in the order the demo loads them.
std::vector<RoomFile> buildRoom();
