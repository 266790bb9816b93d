#include "scene/TriangleBox.h"

#include <cmath>

namespace {

Vector3 sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The projections p and q of two corners on one axis, against its radius r.
bool separated(float p, float q, float r) {
  const float lo = p < q ? p : q;
  const float hi = p < q ? q : p;
  return lo > r || hi < -r;
}

float min3(float a, float b, float c) {
  float m = a;
  if (b < m) m = b;
  if (c < m) m = c;
  return m;
}

float max3(float a, float b, float c) {
  float m = a;
  if (b > m) m = b;
  if (c > m) m = c;
  return m;
}

// Cross products of the edge with the box's x, y and z axes.
bool separatedOnX(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = e.z * a.y - e.y * a.z;
  const float q = e.z * b.y - e.y * b.z;
  return separated(p, q, std::fabs(e.z) * h.y + std::fabs(e.y) * h.z);
}

bool separatedOnY(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = -e.z * a.x + e.x * a.z;
  const float q = -e.z * b.x + e.x * b.z;
  return separated(p, q, std::fabs(e.z) * h.x + std::fabs(e.x) * h.z);
}

bool separatedOnZ(const Vector3& e, const Vector3& a, const Vector3& b, const Vector3& h) {
  const float p = e.y * a.x - e.x * a.y;
  const float q = e.y * b.x - e.x * b.y;
  return separated(p, q, std::fabs(e.y) * h.x + std::fabs(e.x) * h.y);
}

bool separatedOnBoxAxis(float a, float b, float c, float h) {
  return min3(a, b, c) > h || max3(a, b, c) < -h;
}

}  // namespace

bool planeOverlapsBox(const Vector3& normal, const Vector3& vertex, const Vector3& half) {
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
  if (dot(normal, {nearest[0], nearest[1], nearest[2]}) > 0.0f) return false;
  return dot(normal, {farthest[0], farthest[1], farthest[2]}) >= 0.0f;
}

bool triangleOverlapsBox(const Vector3& center, const Vector3& half, const Vector3& v0,
                         const Vector3& v1, const Vector3& v2) {
  const Vector3 u0 = sub(v0, center);
  const Vector3 u1 = sub(v1, center);
  const Vector3 u2 = sub(v2, center);
  const Vector3 e0 = sub(u1, u0);
  const Vector3 e1 = sub(u2, u1);
  const Vector3 e2 = sub(u0, u2);

  // Each edge axis needs only the two corners that span the projection: the
  // third projects onto one of them.
  if (separatedOnX(e0, u0, u2, half) || separatedOnY(e0, u0, u2, half) ||
      separatedOnZ(e0, u1, u2, half))
    return false;
  if (separatedOnX(e1, u0, u2, half) || separatedOnY(e1, u0, u2, half) ||
      separatedOnZ(e1, u0, u1, half))
    return false;
  if (separatedOnX(e2, u0, u1, half) || separatedOnY(e2, u0, u1, half) ||
      separatedOnZ(e2, u1, u2, half))
    return false;

  if (separatedOnBoxAxis(u0.x, u1.x, u2.x, half.x) ||
      separatedOnBoxAxis(u0.y, u1.y, u2.y, half.y) ||
      separatedOnBoxAxis(u0.z, u1.z, u2.z, half.z))
    return false;

  return planeOverlapsBox(cross(e0, e1), u0, half);
}
