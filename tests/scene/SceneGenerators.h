#pragma once

// Generated scenes for the octree tests and benchmarks, written straight into
// the packed arrays (octree units) so that no OBJ file is needed.
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "scene/OctreeScene.h"

using Triangle = std::array<Vector3, 3>;

// Fills a freshly allocated scene's triangle array, as packing would.
inline void setTriangles(OctreeScene& scene, const std::vector<Triangle>& triangles) {
  scene.allocateArrays();
  for (const Triangle& t : triangles) {
    for (int j = 0; j < 3; ++j) scene.triangle_positions[scene.triangle_cursor + j] = t[j];
    scene.triangle_cursor += 3;
  }
}

// A small deterministic generator: the same scene on every machine.
class SceneRandom {
 public:
  explicit SceneRandom(uint32_t seed) : state(seed * 2654435761u + 1u) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  // Uniform in [lo, hi).
  float uniform(float lo, float hi) { return lo + (hi - lo) * float(next() >> 8) * (1.0f / 16777216.0f); }
  bool chance(uint32_t percent) { return next() % 100 < percent; }

 private:
  uint32_t state;
};

inline Vector3 offset(const Vector3& p, float dx, float dy, float dz) {
  return {p.x + dx, p.y + dy, p.z + dz};
}

// A soup of triangles of very different sizes. Some lie exactly on cell
// faces or have corners on cell corners, where touching decides, and a few
// are degenerate or stick out of the cube.
inline std::vector<Triangle> randomTriangles(size_t count, uint32_t seed, float max_size = 64.0f) {
  SceneRandom random(seed);
  std::vector<Triangle> triangles;
  triangles.reserve(count);
  while (triangles.size() < count) {
    Vector3 p{random.uniform(0, 1024), random.uniform(0, 1024), random.uniform(0, 1024)};
    if (random.chance(20)) p = {std::round(p.x), std::round(p.y), std::round(p.z)};
    const uint32_t kind = random.next() % 100;
    const float size = kind < 50 ? random.uniform(0.01f, 2) : kind < 90 ? random.uniform(2, 16)
                                                                        : random.uniform(16, max_size);
    Triangle t{p, offset(p, random.uniform(-size, size), random.uniform(-size, size),
                         random.uniform(-size, size)),
               offset(p, random.uniform(-size, size), random.uniform(-size, size),
                      random.uniform(-size, size))};
    if (random.chance(15)) {
      // Flat on a plane between cells of the finest level.
      const float plane = 2.0f * std::round(p.z / 2.0f);
      for (Vector3& v : t) v.z = plane;
    }
    if (random.chance(3)) t[2] = t[1];
    triangles.push_back(t);
  }
  return triangles;
}

// A square of `cells` x `cells` quads, two triangles each, spanned by the
// two edge vectors from `origin`.
inline void addGrid(std::vector<Triangle>& out, Vector3 origin, Vector3 u, Vector3 v, int cells) {
  auto at = [&](int i, int j) {
    const float a = float(i) / cells;
    const float b = float(j) / cells;
    return Vector3{origin.x + a * u.x + b * v.x, origin.y + a * u.y + b * v.y,
                   origin.z + a * u.z + b * v.z};
  };
  for (int i = 0; i < cells; ++i)
    for (int j = 0; j < cells; ++j) {
      out.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      out.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
}

inline void addSphere(std::vector<Triangle>& out, Vector3 c, float r, int slices, int stacks) {
  const float pi = 3.14159265f;
  auto at = [&](int i, int j) {
    const float theta = pi * float(j) / stacks;
    const float phi = 2.0f * pi * float(i) / slices;
    return Vector3{c.x + r * std::sin(theta) * std::cos(phi), c.y + r * std::cos(theta),
                   c.z + r * std::sin(theta) * std::sin(phi)};
  };
  for (int i = 0; i < slices; ++i)
    for (int j = 0; j < stacks; ++j) {
      out.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      out.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
}

// Something shaped like the room: walls and floor of many quads, a few
// spheres and some clutter, about 50,000 triangles.
inline std::vector<Triangle> roomStandIn() {
  std::vector<Triangle> t;
  const float lo = 93.0f;
  const float hi = 1000.0f;
  const float w = hi - lo;
  addGrid(t, {lo, lo, lo}, {w, 0, 0}, {0, w, 0}, 64);  // back wall
  addGrid(t, {lo, lo, lo}, {0, 0, w}, {0, w, 0}, 48);  // left wall
  addGrid(t, {hi, lo, lo}, {0, 0, w}, {0, w, 0}, 48);  // right wall
  addGrid(t, {lo, lo, lo}, {w, 0, 0}, {0, 0, w}, 64);  // floor
  addSphere(t, {300, 400, 500}, 60, 64, 32);
  addSphere(t, {700, 450, 450}, 50, 64, 32);
  addSphere(t, {520, 700, 600}, 40, 64, 32);
  addSphere(t, {500, 200, 300}, 80, 64, 32);
  for (const Triangle& r : randomTriangles(5000, 7, 8.0f)) t.push_back(r);
  return t;
}

// Writes an OBJ file of the given triangles (one `v` line per corner).
inline void writeObj(const std::string& path, const std::vector<Triangle>& triangles) {
  std::ofstream out(path);
  for (const Triangle& t : triangles)
    for (const Vector3& v : t) out << "v " << v.x << ' ' << v.y << ' ' << v.z << '\n';
  for (size_t i = 0; i < triangles.size(); ++i)
    out << "f " << 3 * i + 1 << ' ' << 3 * i + 2 << ' ' << 3 * i + 3 << '\n';
}
