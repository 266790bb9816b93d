#pragma once

// Double-precision geometry for the room generator. The generated files are
// committed and compared byte for byte on every machine, so nothing here may
// depend on the platform's math library beyond what IEEE 754 fixes exactly
// (+, -, *, / and sqrt): sine and cosine are our own.
//
// The generator lives in the core library too, so that the browser page can
// build a greeting's letters itself: its namespace keeps these
// double-precision types apart from the renderer's vectors and meshes.

namespace room {

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const Vec3& v);
Vec3 unit(const Vec3& v);

constexpr double kPi = 3.14159265358979323846;

// Deterministic sine and cosine, accurate to a few ulps over any argument the
// generator uses (|x| below a few hundred).
double detSin(double x);
double detCos(double x);

// An affine placement: local point p goes to o + x*p.x + y*p.y + z*p.z.
// Shapes are built in local coordinates and placed through a Frame; the axes
// may be scaled but must keep a positive determinant, or the winding of the
// placed triangles would turn inwards.
struct Frame {
  Vec3 o{0.0, 0.0, 0.0};
  Vec3 x{1.0, 0.0, 0.0};
  Vec3 y{0.0, 1.0, 0.0};
  Vec3 z{0.0, 0.0, 1.0};

  Vec3 point(const Vec3& p) const { return o + x * p.x + y * p.y + z * p.z; }
  Vec3 direction(const Vec3& d) const { return x * d.x + y * d.y + z * d.z; }
  double determinant() const { return dot(x, cross(y, z)); }
};

// Frame a followed by frame b's local placement: (a * b).point(p) = a.point(b.point(p)).
Frame operator*(const Frame& a, const Frame& b);

Frame translation(const Vec3& o);
Frame scaling(double sx, double sy, double sz);
Frame rotationX(double angle);
Frame rotationY(double angle);
Frame rotationZ(double angle);

}  // namespace room
