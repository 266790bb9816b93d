#pragma once

#include <cmath>

#include "geometry/Vector.h"

// Separating-axis overlap test of a triangle and an axis-aligned box, in
// single precision and without tolerance: touching counts as overlapping.
// The octree's contents depend on every comparison here, so the arithmetic
// must stay exactly as written (the build compiles without FMA contraction).
// Inline because the octree build runs it hundreds of thousands of times.

namespace triangle_box {

// The projections p and q of two corners on one axis, against its radius r.
inline bool separated(float p, float q, float r) {
  const float lo = p < q ? p : q;
  const float hi = p < q ? q : p;
  return lo > r || hi < -r;
}

inline float min3(float a, float b, float c) {
  float m = a;
  if (b < m) m = b;
  if (c < m) m = c;
  return m;
}

inline float max3(float a, float b, float c) {
  float m = a;
  if (b > m) m = b;
  if (c > m) m = c;
  return m;
}

// Cross products of an edge with the box's x, y and z axes.
inline bool separatedOnX(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = e.z * a.y - e.y * a.z;
  const float q = e.z * b.y - e.y * b.z;
  return separated(p, q, std::fabs(e.z) * h.y + std::fabs(e.y) * h.z);
}

inline bool separatedOnY(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = -e.z * a.x + e.x * a.z;
  const float q = -e.z * b.x + e.x * b.z;
  return separated(p, q, std::fabs(e.z) * h.x + std::fabs(e.x) * h.z);
}

inline bool separatedOnZ(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = e.y * a.x - e.x * a.y;
  const float q = e.y * b.x - e.x * b.y;
  return separated(p, q, std::fabs(e.y) * h.x + std::fabs(e.x) * h.y);
}

inline bool separatedOnBoxAxis(float a, float b, float c, float h) {
  return min3(a, b, c) > h || max3(a, b, c) < -h;
}

// The triangle moved so that the box's center is the origin, and its edges.
struct CenteredTriangle {
  Vector3 u0, u1, u2;
  Vector3 e0, e1, e2;
};

inline CenteredTriangle centered(const Vector3& center, const Vector3& v0, const Vector3& v1,
                                 const Vector3& v2) {
  CenteredTriangle t;
  t.u0 = subtract(v0, center);
  t.u1 = subtract(v1, center);
  t.u2 = subtract(v2, center);
  t.e0 = subtract(t.u1, t.u0);
  t.e1 = subtract(t.u2, t.u1);
  t.e2 = subtract(t.u0, t.u2);
  return t;
}

// Each edge axis needs only the two corners that span the projection: the
// third projects onto one of them.
inline bool separatedOnEdgeAxes(const CenteredTriangle& t, const Vector3& half) {
  return separatedOnX(t.e0, t.u0, t.u2, half) || separatedOnY(t.e0, t.u0, t.u2, half) ||
         separatedOnZ(t.e0, t.u1, t.u2, half) || separatedOnX(t.e1, t.u0, t.u2, half) ||
         separatedOnY(t.e1, t.u0, t.u2, half) || separatedOnZ(t.e1, t.u0, t.u1, half) ||
         separatedOnX(t.e2, t.u0, t.u1, half) || separatedOnY(t.e2, t.u0, t.u1, half) ||
         separatedOnZ(t.e2, t.u1, t.u2, half);
}

inline bool separatedOnBoxAxes(const CenteredTriangle& t, const Vector3& half) {
  return separatedOnBoxAxis(t.u0.x, t.u1.x, t.u2.x, half.x) ||
         separatedOnBoxAxis(t.u0.y, t.u1.y, t.u2.y, half.y) ||
         separatedOnBoxAxis(t.u0.z, t.u1.z, t.u2.z, half.z);
}

}  // namespace triangle_box

// True when the plane through `vertex` with `normal` meets the box of half
// edge lengths `half` centred at the origin.
inline bool planeOverlapsBox(const Vector3& normal, const Vector3& vertex, const Vector3& half) {
  const float n[3] = {normal.x, normal.y, normal.z};
  const float v[3] = {vertex.x, vertex.y, vertex.z};
  const float h[3] = {half.x, half.y, half.z};
  float nearest[3];
  float farthest[3];
  for (int axis = 0; axis < 3; ++axis) {
    if (n[axis] > 0.0f) {
      nearest[axis] = -h[axis] - v[axis];
      farthest[axis] = h[axis] - v[axis];
    } else {
      nearest[axis] = h[axis] - v[axis];
      farthest[axis] = -h[axis] - v[axis];
    }
  }
  if (dotProduct(normal, {nearest[0], nearest[1], nearest[2]}) > 0.0f) return false;
  return dotProduct(normal, {farthest[0], farthest[1], farthest[2]}) >= 0.0f;
}

// True when the closed box (center, half edge lengths) and the triangle share
// at least one point. The axes are tried in a fixed order: the nine edge
// axes, the three box axes, the triangle's plane.
inline bool triangleOverlapsBox(const Vector3& center, const Vector3& half, const Vector3& v0,
                                const Vector3& v1, const Vector3& v2) {
  using namespace triangle_box;
  const CenteredTriangle t = centered(center, v0, v1, v2);
  if (separatedOnEdgeAxes(t, half) || separatedOnBoxAxes(t, half)) return false;
  return planeOverlapsBox(crossProduct(t.e0, t.e1), t.u0, half);
}

// The same answer for a caller that has already found the triangle's bounds
// to meet the box, which is what the three box axes test: it skips them.
inline bool triangleWithinBoundsOverlapsBox(const Vector3& center, const Vector3& half,
                                            const Vector3& v0, const Vector3& v1,
                                            const Vector3& v2) {
  using namespace triangle_box;
  const CenteredTriangle t = centered(center, v0, v1, v2);
  if (separatedOnEdgeAxes(t, half)) return false;
  return planeOverlapsBox(crossProduct(t.e0, t.e1), t.u0, half);
}
