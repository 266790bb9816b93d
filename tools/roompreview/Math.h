#pragma once

#include <cmath>

// Single-precision vectors for the preview, which follows the demo's float
// arithmetic where it matters (scene normalisation, octree overlap tests).
struct V3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator-(V3 a) { return {-a.x, -a.y, -a.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline V3 operator*(V3 a, V3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline V3 normalized(V3 a) { return a * (1.0f / std::sqrt(dot(a, a))); }
inline float component(V3 a, int axis) { return axis == 0 ? a.x : (axis == 1 ? a.y : a.z); }
