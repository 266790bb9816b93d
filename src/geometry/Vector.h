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

// No guard against the zero vector: callers keep their vectors non-zero.
inline Vector3 normalize(const Vector3& v) {
  const float s = 1.0f / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x * s, v.y * s, v.z * s};
}
