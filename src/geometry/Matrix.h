#pragma once

// Column-major matrices: element (row r, column c) is stored at index
// size * c + r, the layout glUniformMatrix4fv expects untransposed.
struct Matrix3 {
  float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

  Matrix3() = default;
  Matrix3(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8)
      : m{m0, m1, m2, m3, m4, m5, m6, m7, m8} {}

  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
};

struct Matrix4 {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  Matrix4() = default;
  Matrix4(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7,
          float m8, float m9, float m10, float m11, float m12, float m13, float m14, float m15)
      : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15} {}

  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
  const float* data() const { return m; }
};

static_assert(sizeof(Matrix3) == 9 * sizeof(float), "Matrix3 must be nine packed floats");
static_assert(sizeof(Matrix4) == 16 * sizeof(float), "Matrix4 must be sixteen packed floats");

inline Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
  Matrix3 result;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) {
      float sum = 0.0f;
      for (int k = 0; k < 3; ++k) sum += a[3 * k + r] * b[3 * c + k];
      result[3 * c + r] = sum;
    }
  }
  return result;
}

inline Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
  Matrix4 result;
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a[4 * k + r] * b[4 * c + k];
      result[4 * c + r] = sum;
    }
  }
  return result;
}
