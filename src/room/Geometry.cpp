#include "room/Geometry.h"

#include <cmath>

namespace room {

double length(const Vec3& v) { return std::sqrt(dot(v, v)); }

Vec3 unit(const Vec3& v) { return v * (1.0 / length(v)); }

namespace {

// Taylor series on |x| <= pi/4, where 11 terms are far below double rounding.
double sinSeries(double x) {
  const double x2 = x * x;
  double term = x;
  double sum = x;
  for (int n = 1; n <= 11; ++n) {
    term = -term * x2 / static_cast<double>((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

double cosSeries(double x) {
  const double x2 = x * x;
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n <= 11; ++n) {
    term = -term * x2 / static_cast<double>((2 * n - 1) * (2 * n));
    sum += term;
  }
  return sum;
}

}  // namespace

double detSin(double x) {
  // Reduce to a quarter turn around the nearest multiple of pi/2.
  const double quarter = kPi / 2.0;
  const double k = std::floor(x / quarter + 0.5);
  const double r = x - k * quarter;
  const long long q = static_cast<long long>(k);
  switch (((q % 4) + 4) % 4) {
    case 0: return sinSeries(r);
    case 1: return cosSeries(r);
    case 2: return -sinSeries(r);
    default: return -cosSeries(r);
  }
}

double detCos(double x) { return detSin(x + kPi / 2.0); }

Frame operator*(const Frame& a, const Frame& b) {
  Frame f;
  f.o = a.point(b.o);
  f.x = a.direction(b.x);
  f.y = a.direction(b.y);
  f.z = a.direction(b.z);
  return f;
}

Frame translation(const Vec3& o) {
  Frame f;
  f.o = o;
  return f;
}

Frame scaling(double sx, double sy, double sz) {
  Frame f;
  f.x = {sx, 0.0, 0.0};
  f.y = {0.0, sy, 0.0};
  f.z = {0.0, 0.0, sz};
  return f;
}

Frame rotationX(double angle) {
  const double c = detCos(angle);
  const double s = detSin(angle);
  Frame f;
  f.y = {0.0, c, s};
  f.z = {0.0, -s, c};
  return f;
}

Frame rotationY(double angle) {
  const double c = detCos(angle);
  const double s = detSin(angle);
  Frame f;
  f.x = {c, 0.0, -s};
  f.z = {s, 0.0, c};
  return f;
}

Frame rotationZ(double angle) {
  const double c = detCos(angle);
  const double s = detSin(angle);
  Frame f;
  f.x = {c, s, 0.0};
  f.y = {-s, c, 0.0};
  return f;
}

}  // namespace room
