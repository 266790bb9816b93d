#pragma once

#include <string>
#include <vector>

#include "Math.h"
#include "scene/OctreeScene.h"

// The room as the demo assembles it: the files of its object table with their
// colours and material codes, scaled into the octree cube. Positions here are
// in octree units (0 to 1024).
struct PreviewTriangle {
  V3 corner[3];
  V3 normal[3];
  int material = 0;
};

struct PreviewScene {
  std::vector<PreviewTriangle> triangles;
  std::vector<SceneObject> objects = roomObjects();  // indexed by material
  float scale = 0.0f;
  V3 boxMin;
  V3 boxMax;
};

// Reads the files from `directory` with the demo's loader (a missing file is
// reported and skipped), then scales them into the cube as the demo does.
// False if a file is malformed or nothing was read.
bool loadPreviewScene(const std::string& directory, PreviewScene& scene);
