#pragma once

// A CPU reference tracer: a ray, such as a pixel's ray formed from the
// camera's image plane and the frame's jitter as the primary pass forms it,
// tested against every packed triangle in double precision. No octree, no
// march: whatever the GPU answers differently is either rounding at an edge
// or a fault of the traversal. The path tracer's expected samples follow
// their bounces with it too.
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

// One packed triangle in octree units (the unit cube), with its corner
// normals.
struct ReferenceTriangle {
  DVec3 v0, e1, e2;
  DVec3 n0, n1, n2;
  int material = 0;

  // The interpolated normal at barycentric (u, v), as the shaders form it.
  DVec3 normalAt(double u, double v) const {
    return normalized(n0 + (n1 - n0) * u + (n2 - n0) * v);
  }
};

// Every triangle the scene packed, in scene order, with its corners taken
// from `positions` (the scene's own array, or what the GPU's triangle
// texture holds of it).
inline std::vector<ReferenceTriangle> packedTriangles(const OctreeScene& scene,
                                                     const std::vector<Vector3>& positions) {
  auto corner = [&](uint32_t texel) { return widen(positions[texel]) * (1.0 / scene_dim); };
  auto normal = [&](uint32_t texel) {
    const Vector4& n = scene.triangle_normals[texel];
    return DVec3{n.x, n.y, n.z};
  };
  std::vector<ReferenceTriangle> triangles;
  for (uint32_t first = 0; first + 2 < scene.triangle_cursor; first += 3) {
    ReferenceTriangle t;
    t.v0 = corner(first);
    t.e1 = corner(first + 1) - t.v0;
    t.e2 = corner(first + 2) - t.v0;
    t.n0 = normal(first);
    t.n1 = normal(first + 1);
    t.n2 = normal(first + 2);
    t.material = static_cast<int>(std::lround(scene.triangle_normals[first].w * brdf_table_size));
    triangles.push_back(t);
  }
  return triangles;
}

inline std::vector<ReferenceTriangle> packedTriangles(const OctreeScene& scene) {
  return packedTriangles(scene, scene.triangle_positions);
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

// The nearest triangle met at a distance in (tMin, tMax].
inline ReferenceHit nearestHitWithin(const std::vector<ReferenceTriangle>& triangles,
                                     const Ray& ray, double tMin, double tMax,
                                     double edgeTolerance = 0.0) {
  ReferenceHit best;
  for (size_t i = 0; i < triangles.size(); ++i) {
    double t = 0, u = 0, v = 0;
    if (!intersect(ray, triangles[i], edgeTolerance, t, u, v)) continue;
    if (t <= tMin || t > tMax) continue;
    if (!best.found() || t < best.t) best = {static_cast<int>(i), t, u, v};
  }
  return best;
}

// The nearest triangle in front of the ray within the scene cube.
inline ReferenceHit nearestHit(const std::vector<ReferenceTriangle>& triangles, const Ray& ray,
                               double edgeTolerance = 0.0) {
  double enter = 0, leave = 0;
  boxSpan(ray, {}, 1.0, enter, leave);
  if (enter > leave) return ReferenceHit();
  return nearestHitWithin(triangles, ray, std::max(enter, 0.0), leave, edgeTolerance);
}

}  // namespace truth
