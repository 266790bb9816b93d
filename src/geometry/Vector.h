#pragma once

#include <cmath>

// Plain single-precision vectors. Arrays of them are handed to GL as raw
// floats, so they must stay tightly packed with no padding.
struct Vector3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

struct Vector4 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;
};

static_assert(sizeof(Vector3) == 3 * sizeof(float), "Vector3 must be three packed floats");
static_assert(sizeof(Vector4) == 4 * sizeof(float), "Vector4 must be four packed floats");

// The camera, the OBJ loader's face normals and the triangle-box test share
// these; the octree depends on their exact order of operations.
inline Vector3 subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

inline Vector3 crossProduct(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float dotProduct(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// No guard against the zero vector: callers keep their vectors non-zero.
inline Vector3 normalize(const Vector3& v) {
  const float s = 1.0f / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x * s, v.y * s, v.z * s};
}
