#include <gtest/gtest.h>

#include <cstring>

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

namespace {

Matrix4 countingMatrix4() {
  return Matrix4(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

}  // namespace

// Arrays of vectors go to GL as raw floats: any padding would shift every
// element after the first.
TEST(VectorLayout, ArraysAreConsecutiveFloats) {
  const Vector3 pair[2] = {{1, 2, 3}, {4, 5, 6}};
  float raw[6];
  std::memcpy(raw, pair, sizeof raw);
  EXPECT_EQ(4.0f, raw[3]);
  EXPECT_EQ(6.0f, raw[5]);

  const Vector4 texels[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  float raw4[8];
  std::memcpy(raw4, texels, sizeof raw4);
  EXPECT_EQ(5.0f, raw4[4]);
  EXPECT_EQ(8.0f, raw4[7]);

  const Vector3 zero;
  const Vector4 zero4;
  EXPECT_EQ(0.0f, zero.x + zero.y + zero.z);
  EXPECT_EQ(0.0f, zero4.x + zero4.y + zero4.z + zero4.w);
}

TEST(VectorNormalize, ScalesToUnitLength) {
  const Vector3 n = normalize({3, 0, 4});
  EXPECT_FLOAT_EQ(0.6f, n.x);
  EXPECT_EQ(0.0f, n.y);
  EXPECT_FLOAT_EQ(0.8f, n.z);

  const Vector3 down = normalize({0, -2, 0});
  EXPECT_EQ(-1.0f, down.y);
}

TEST(MatrixLayout, ColumnMajorStorageInConstructorOrder) {
  const Matrix4 m = countingMatrix4();
  // Row 1, column 2 is stored at 4 * 2 + 1.
  EXPECT_EQ(9.0f, m[4 * 2 + 1]);
  EXPECT_EQ(0.0f, m.data()[0]);
  EXPECT_EQ(15.0f, m.data()[15]);

  const Matrix3 m3(0, 1, 2, 3, 4, 5, 6, 7, 8);
  // The first three values form the first column.
  EXPECT_EQ(2.0f, m3[3 * 0 + 2]);
  EXPECT_EQ(7.0f, m3[3 * 2 + 1]);
}

TEST(MatrixLayout, DefaultsAreIdentity) {
  const Matrix4 m;
  const Matrix3 m3;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_EQ(r == c ? 1.0f : 0.0f, m[4 * c + r]) << r << "," << c;
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_EQ(r == c ? 1.0f : 0.0f, m3[3 * c + r]) << r << "," << c;
}

TEST(MatrixProduct, IdentityIsNeutralOnBothSides) {
  const Matrix4 m = countingMatrix4();
  const Matrix4 left = Matrix4() * m;
  const Matrix4 right = m * Matrix4();
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(m[i], left[i]) << i;
    EXPECT_EQ(m[i], right[i]) << i;
  }
}

// A translation applied after a scale must not scale the translation; the
// order only comes out right when the product is column-major.
TEST(MatrixProduct, ComposesInColumnMajorOrder) {
  Matrix4 translate;
  translate[12] = 5;  // x translation lives in column 3
  Matrix4 scale;
  scale[0] = 2;
  const Matrix4 ts = translate * scale;
  EXPECT_EQ(2.0f, ts[0]);
  EXPECT_EQ(5.0f, ts[12]);
  const Matrix4 st = scale * translate;
  EXPECT_EQ(10.0f, st[12]);

  // General entries: (A B)(r, c) = sum_k A(r, k) B(k, c).
  const Matrix4 a = countingMatrix4();
  const Matrix4 ab = a * a;
  float expected = 0;
  for (int k = 0; k < 4; ++k) expected += a[4 * k + 1] * a[4 * 2 + k];
  EXPECT_EQ(expected, ab[4 * 2 + 1]);
  EXPECT_EQ(286.0f, ab[4 * 2 + 1]);  // row 1 of a: 1, 5, 9, 13; column 2: 8..11
}

TEST(MatrixProduct, Matrix3ComposesRotations) {
  // Quarter turns about z: two of them flip x and y.
  const Matrix3 quarter(0, 1, 0, -1, 0, 0, 0, 0, 1);
  const Matrix3 half = quarter * quarter;
  const Matrix3 expected(-1, 0, 0, 0, -1, 0, 0, 0, 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(expected[i], half[i]) << i;

  const Matrix3 a(1, 2, 3, 4, 5, 6, 7, 8, 9);
  const Matrix3 b(9, 8, 7, 6, 5, 4, 3, 2, 1);
  const Matrix3 ab = a * b;
  // Element (0, 0): row 0 of a (1, 4, 7) with column 0 of b (9, 8, 7).
  EXPECT_EQ(1 * 9 + 4 * 8 + 7 * 7, ab[0]);
  // Element (2, 1): row 2 of a (3, 6, 9) with column 1 of b (6, 5, 4).
  EXPECT_EQ(3 * 6 + 6 * 5 + 9 * 4, ab[3 * 1 + 2]);
}
