#pragma once

#include <vector>

#include "SceneFiles.h"

// A bounding-volume hierarchy over the preview triangles, so that one CPU
// core can trace a few million rays in seconds.
struct Hit {
  float t = 0.0f;
  float u = 0.0f;
  float v = 0.0f;
  int triangle = -1;
};

class Bvh {
 public:
  explicit Bvh(const std::vector<PreviewTriangle>& triangles);
  // Nearest hit with t in (tMin, tMax); triangle -1 if none.
  Hit intersect(V3 origin, V3 direction, float tMin, float tMax) const;

 private:
  struct Node {
    V3 lo, hi;
    int first = 0;   // leaf: first index into order_; inner: left child
    int count = 0;   // leaf: number of triangles; inner: 0
    int right = 0;   // inner: right child
  };
  int build(int first, int count);

  const std::vector<PreviewTriangle>& triangles_;
  std::vector<int> order_;
  std::vector<Node> nodes_;
};
