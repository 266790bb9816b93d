#include "Octree.h"

#include <algorithm>
#include <cmath>

namespace {

bool axisMisses(float p0, float p1, float r) {
  return std::min(p0, p1) > r || std::max(p0, p1) < -r;
}

bool planeOverlaps(V3 normal, V3 vertex, V3 half) {
  V3 nearest, farthest;
  for (int a = 0; a < 3; ++a) {
    const float n = component(normal, a);
    const float v = component(vertex, a);
    const float h = component(half, a);
    const float lo = -h - v;
    const float hi = h - v;
    (a == 0 ? nearest.x : a == 1 ? nearest.y : nearest.z) = n > 0.0f ? lo : hi;
    (a == 0 ? farthest.x : a == 1 ? farthest.y : farthest.z) = n > 0.0f ? hi : lo;
  }
  if (dot(normal, nearest) > 0.0f) return false;
  return dot(normal, farthest) >= 0.0f;
}

// Separating-axis test of a closed box and a triangle.
bool overlaps(V3 center, V3 half, const PreviewTriangle& t) {
  const V3 u[3] = {t.corner[0] - center, t.corner[1] - center, t.corner[2] - center};
  const V3 e[3] = {u[1] - u[0], u[2] - u[1], u[0] - u[2]};
  for (int k = 0; k < 3; ++k) {
    const V3& d = e[k];
    for (int axis = 0; axis < 3; ++axis) {
      float r;
      float p[3];
      for (int c = 0; c < 3; ++c) {
        const V3& w = u[c];
        if (axis == 0) p[c] = d.z * w.y - d.y * w.z;
        if (axis == 1) p[c] = -d.z * w.x + d.x * w.z;
        if (axis == 2) p[c] = d.y * w.x - d.x * w.y;
      }
      if (axis == 0) r = std::fabs(d.z) * half.y + std::fabs(d.y) * half.z;
      else if (axis == 1) r = std::fabs(d.z) * half.x + std::fabs(d.x) * half.z;
      else r = std::fabs(d.y) * half.x + std::fabs(d.x) * half.y;
      const float lo = std::min(p[0], std::min(p[1], p[2]));
      const float hi = std::max(p[0], std::max(p[1], p[2]));
      if (axisMisses(lo, hi, r)) return false;
    }
  }
  for (int a = 0; a < 3; ++a) {
    const float c0 = component(u[0], a), c1 = component(u[1], a), c2 = component(u[2], a);
    const float h = component(half, a);
    if (std::min(c0, std::min(c1, c2)) > h || std::max(c0, std::max(c1, c2)) < -h) return false;
  }
  return planeOverlaps(cross(e[0], e[1]), u[0], half);
}

void visit(const std::vector<PreviewTriangle>& triangles, const std::vector<int>& candidates,
           int x, int y, int z, int edge, int depth, OctreeCounts& counts) {
  const int h = edge / 2;
  const V3 center{float(x + h), float(y + h), float(z + h)};
  const V3 half{float(h), float(h), float(h)};
  std::vector<int> mine;
  for (int c : candidates) {
    if (overlaps(center, half, triangles[c])) mine.push_back(c);
  }
  ++counts.nodes;
  const int n = static_cast<int>(mine.size());
  if (n == 0) {
    ++counts.empty;
    return;
  }
  if (n < 5 || depth >= 9) {
    ++counts.leafs;
    counts.references += n;
    if (n > counts.largestLeaf) {
      counts.largestLeaf = n;
      counts.largestLeafCorner = {float(x), float(y), float(z)};
      counts.largestLeafEdge = edge;
    }
    return;
  }
  ++counts.internal;
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i)
        visit(triangles, mine, x + i * h, y + j * h, z + k * h, h, depth + 1, counts);
}

}  // namespace

OctreeCounts countOctree(const std::vector<PreviewTriangle>& triangles) {
  OctreeCounts counts;
  std::vector<int> all;
  for (size_t i = 0; i < triangles.size(); ++i) all.push_back(static_cast<int>(i));
  visit(triangles, all, 0, 0, 0, 1024, 0, counts);
  return counts;
}
