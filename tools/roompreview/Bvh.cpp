#include "Bvh.h"

#include <algorithm>
#include <cmath>

namespace {

V3 centroid(const PreviewTriangle& t) {
  return (t.corner[0] + t.corner[1] + t.corner[2]) * (1.0f / 3.0f);
}

bool slab(V3 lo, V3 hi, V3 origin, V3 inverse, float tMax) {
  float t0 = 0.0f;
  float t1 = tMax;
  for (int a = 0; a < 3; ++a) {
    float n = (component(lo, a) - component(origin, a)) * component(inverse, a);
    float f = (component(hi, a) - component(origin, a)) * component(inverse, a);
    if (n > f) std::swap(n, f);
    t0 = std::max(t0, n);
    t1 = std::min(t1, f);
    if (t0 > t1) return false;
  }
  return true;
}

}  // namespace

Bvh::Bvh(const std::vector<PreviewTriangle>& triangles) : triangles_(triangles) {
  for (size_t i = 0; i < triangles.size(); ++i) order_.push_back(static_cast<int>(i));
  nodes_.reserve(2 * triangles.size());
  build(0, static_cast<int>(triangles.size()));
}

int Bvh::build(int first, int count) {
  const int index = static_cast<int>(nodes_.size());
  nodes_.push_back({});
  V3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
  V3 clo = lo, chi = hi;
  for (int i = first; i < first + count; ++i) {
    const PreviewTriangle& t = triangles_[order_[i]];
    for (const V3& p : t.corner) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const V3 c = centroid(t);
    clo = {std::min(clo.x, c.x), std::min(clo.y, c.y), std::min(clo.z, c.z)};
    chi = {std::max(chi.x, c.x), std::max(chi.y, c.y), std::max(chi.z, c.z)};
  }
  nodes_[index].lo = lo;
  nodes_[index].hi = hi;
  if (count <= 4) {
    nodes_[index].first = first;
    nodes_[index].count = count;
    return index;
  }
  const V3 size = chi - clo;
  const int axis = size.x > size.y ? (size.x > size.z ? 0 : 2) : (size.y > size.z ? 1 : 2);
  const int half = count / 2;
  std::nth_element(order_.begin() + first, order_.begin() + first + half,
                   order_.begin() + first + count, [&](int a, int b) {
                     return component(centroid(triangles_[a]), axis) <
                            component(centroid(triangles_[b]), axis);
                   });
  const int left = build(first, half);
  const int right = build(first + half, count - half);
  nodes_[index].first = left;
  nodes_[index].right = right;
  nodes_[index].count = 0;
  return index;
}

Hit Bvh::intersect(V3 origin, V3 direction, float tMin, float tMax) const {
  Hit best;
  best.t = tMax;
  const V3 inverse{1.0f / direction.x, 1.0f / direction.y, 1.0f / direction.z};
  int stack[128];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[stack[--top]];
    if (!slab(node.lo, node.hi, origin, inverse, best.t)) continue;
    if (node.count == 0) {
      stack[top++] = node.first;
      stack[top++] = node.right;
      continue;
    }
    for (int i = node.first; i < node.first + node.count; ++i) {
      const PreviewTriangle& t = triangles_[order_[i]];
      const V3 e1 = t.corner[1] - t.corner[0];
      const V3 e2 = t.corner[2] - t.corner[0];
      const V3 p = cross(direction, e2);
      const float det = dot(e1, p);
      if (std::fabs(det) < 1e-12f) continue;
      const float inv = 1.0f / det;
      const V3 s = origin - t.corner[0];
      const float u = dot(s, p) * inv;
      if (u < 0.0f || u > 1.0f) continue;
      const V3 q = cross(s, e1);
      const float v = dot(direction, q) * inv;
      if (v < 0.0f || u + v > 1.0f) continue;
      const float d = dot(e2, q) * inv;
      if (d > tMin && d < best.t) best = {d, u, v, order_[i]};
    }
  }
  if (best.triangle < 0) best.t = tMax;
  return best;
}
