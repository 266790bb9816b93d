#pragma once

#include <vector>

#include "SceneFiles.h"

// The demo's octree subdivision rule (split a cell with five or more
// triangles, at most nine levels below the root), counted but not stored, to
// see before the real build exists whether the room crowds any cell.
struct OctreeCounts {
  long nodes = 0;
  long leafs = 0;
  long empty = 0;
  long internal = 0;
  long references = 0;
  int largestLeaf = 0;
  V3 largestLeafCorner;
  int largestLeafEdge = 0;
};

OctreeCounts countOctree(const std::vector<PreviewTriangle>& triangles);
