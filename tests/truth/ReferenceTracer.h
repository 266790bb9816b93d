#pragma once

// A CPU reference for the primary rays: every pixel's ray, formed from the
// camera's image plane and the frame's jitter as the primary pass forms it,
// tested against every packed triangle in double precision. No octree, no
// march: whatever the GPU answers differently is either rounding at an edge
// or a fault of the traversal.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/Vector.h"
#include "scene/OctreeScene.h"
#include "scene/SceneLayout.h"

namespace truth {

struct DVec3 {
  double x = 0, y = 0, z = 0;
};

inline DVec3 operator+(DVec3 a, DVec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline DVec3 operator-(DVec3 a, DVec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline DVec3 operator*(DVec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(DVec3 a, DVec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline DVec3 cross(DVec3 a, DVec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(DVec3 a) { return std::sqrt(dot(a, a)); }
inline DVec3 normalized(DVec3 a) { return a * (1.0 / length(a)); }
inline DVec3 widen(const Vector3& v) { return {v.x, v.y, v.z}; }

// The nearest value a 16-bit float holds (round to nearest even), for
// values in its normal range: what an RGBA16F texel keeps of a float.
inline double toHalfPrecision(double value) {
  if (value == 0.0) return 0.0;
  int exponent = 0;
  const double mantissa = std::frexp(value, &exponent);  // in [0.5, 1)
  return std::ldexp(std::nearbyint(mantissa * 2048.0), exponent - 11);
}

// One packed triangle in octree units (the unit cube).
struct ReferenceTriangle {
  DVec3 v0, e1, e2;
  int material = 0;
};

// Every triangle the scene packed, in scene order. With `halfPrecision` the
// corners are first rounded as the GPU's RGB16F triangle texture holds them.
inline std::vector<ReferenceTriangle> packedTriangles(const OctreeScene& scene,
                                                     bool halfPrecision = false) {
  auto corner = [&](uint32_t texel) {
    DVec3 p = widen(scene.triangle_positions[texel]);
    if (halfPrecision) p = {toHalfPrecision(p.x), toHalfPrecision(p.y), toHalfPrecision(p.z)};
    return p * (1.0 / scene_dim);
  };
  std::vector<ReferenceTriangle> triangles;
  for (uint32_t first = 0; first + 2 < scene.triangle_cursor; first += 3) {
    ReferenceTriangle t;
    t.v0 = corner(first);
    t.e1 = corner(first + 1) - t.v0;
    t.e2 = corner(first + 2) - t.v0;
    t.material = static_cast<int>(std::lround(scene.triangle_normals[first].w * brdf_table_size));
    triangles.push_back(t);
  }
  return triangles;
}

struct Ray {
  DVec3 origin;     // octree space
  DVec3 direction;  // unit length
};

// The world-to-octree map of the scene box.
struct SceneBox {
  DVec3 offset;
  double maxDim = 1;

  DVec3 toOctree(DVec3 world) const { return (world + offset) * (1.0 / maxDim); }
};

// The image plane of a frame: C + A xf + B yf, with xf, yf running over the
// target from its lower-left corner.
struct ImagePlane {
  DVec3 A, B, C, eye;
  int width = 1, height = 1;
  double jitterX = 0, jitterY = 0;

  // The ray through the centre of pixel (column, row), row 0 at the bottom,
  // moved by the jitter.
  Ray pixelRay(int column, int row, const SceneBox& box) const {
    const double xf = (column + 0.5 + jitterX) / width;
    const double yf = (row + 0.5 + jitterY) / height;
    const DVec3 through = C + A * xf + B * yf;
    return {box.toOctree(eye), normalized(through - eye)};
  }
};

// Distances along the whole line of the ray where it enters and leaves the
// box [lo, lo + edge]^3; enter > leave when it misses.
inline void boxSpan(const Ray& ray, DVec3 lo, double edge, double& enter, double& leave) {
  enter = -INFINITY;
  leave = INFINITY;
  const double o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
  const double d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
  const double low[3] = {lo.x, lo.y, lo.z};
  for (int axis = 0; axis < 3; ++axis) {
    if (d[axis] == 0.0) {
      if (o[axis] < low[axis] || o[axis] > low[axis] + edge) enter = INFINITY;
      continue;
    }
    const double a = (low[axis] - o[axis]) / d[axis];
    const double b = (low[axis] + edge - o[axis]) / d[axis];
    enter = std::max(enter, std::min(a, b));
    leave = std::min(leave, std::max(a, b));
  }
}

struct ReferenceHit {
  int triangle = -1;  // -1: no hit
  double t = 0, u = 0, v = 0;

  bool found() const { return triangle >= 0; }
};

// Moeller-Trumbore in double precision. `edgeTolerance` widens the triangle
// by that much in barycentric terms (0 for the exact answer).
inline bool intersect(const Ray& ray, const ReferenceTriangle& tri, double edgeTolerance,
                      double& t, double& u, double& v) {
  const DVec3 pvec = cross(ray.direction, tri.e2);
  const double det = dot(tri.e1, pvec);
  if (det == 0.0) return false;
  const double invDet = 1.0 / det;
  const DVec3 tvec = ray.origin - tri.v0;
  u = dot(tvec, pvec) * invDet;
  if (u < -edgeTolerance || u > 1.0 + edgeTolerance) return false;
  const DVec3 qvec = cross(tvec, tri.e1);
  v = dot(ray.direction, qvec) * invDet;
  if (v < -edgeTolerance || u + v > 1.0 + edgeTolerance) return false;
  t = dot(tri.e2, qvec) * invDet;
  return true;
}

// The nearest triangle in front of the ray within the scene cube.
inline ReferenceHit nearestHit(const std::vector<ReferenceTriangle>& triangles, const Ray& ray,
                               double edgeTolerance = 0.0) {
  double enter = 0, leave = 0;
  boxSpan(ray, {}, 1.0, enter, leave);
  enter = std::max(enter, 0.0);
  ReferenceHit best;
  if (enter > leave) return best;
  for (size_t i = 0; i < triangles.size(); ++i) {
    double t = 0, u = 0, v = 0;
    if (!intersect(ray, triangles[i], edgeTolerance, t, u, v)) continue;
    if (t <= enter || t > leave) continue;
    if (!best.found() || t < best.t) best = {static_cast<int>(i), t, u, v};
  }
  return best;
}

}  // namespace truth
