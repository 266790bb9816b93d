#pragma once

// triangleWithinBoundsOverlapsBox for four triangles at once against one
// cube. Every lane performs the scalar test's operations in the same order on
// IEEE single-precision values (SSE2 arithmetic is exactly what scalar float
// code on x86-64 runs, and MINPS/MAXPS pick exactly like the scalar
// selections), so each answer is the scalar answer, bit for bit.
#include <cstdint>

#include "geometry/Vector.h"
#include "scene/TriangleBox.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Bit i of the result answers for the triangle whose corners start at
// corners[i]; `count` (1 to 4) triangles are given.
inline unsigned trianglesWithinBoundsOverlapBox(const Vector3& center, float half,
                                                const Vector3* const corners[4], int count);

#if defined(__SSE2__)

namespace triangle_box_batch {

struct Lanes3 {
  __m128 x, y, z;
};

inline __m128 negated(__m128 v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }
inline __m128 magnitude(__m128 v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }

inline Lanes3 sub(const Lanes3& a, const Lanes3& b) {
  return {_mm_sub_ps(a.x, b.x), _mm_sub_ps(a.y, b.y), _mm_sub_ps(a.z, b.z)};
}

// lo = p < q ? p : q and hi = p < q ? q : p, as the scalar test picks them.
inline __m128 separated(__m128 p, __m128 q, __m128 r) {
  const __m128 lo = _mm_min_ps(p, q);
  const __m128 hi = _mm_max_ps(q, p);
  return _mm_or_ps(_mm_cmpgt_ps(lo, r), _mm_cmplt_ps(hi, negated(r)));
}

inline __m128 separatedOnX(const Lanes3& e, const Lanes3& a, const Lanes3& b, __m128 h) {
  const __m128 p = _mm_sub_ps(_mm_mul_ps(e.z, a.y), _mm_mul_ps(e.y, a.z));
  const __m128 q = _mm_sub_ps(_mm_mul_ps(e.z, b.y), _mm_mul_ps(e.y, b.z));
  return separated(p, q, _mm_add_ps(_mm_mul_ps(magnitude(e.z), h), _mm_mul_ps(magnitude(e.y), h)));
}

inline __m128 separatedOnY(const Lanes3& e, const Lanes3& a, const Lanes3& b, __m128 h) {
  const __m128 p = _mm_add_ps(_mm_mul_ps(negated(e.z), a.x), _mm_mul_ps(e.x, a.z));
  const __m128 q = _mm_add_ps(_mm_mul_ps(negated(e.z), b.x), _mm_mul_ps(e.x, b.z));
  return separated(p, q, _mm_add_ps(_mm_mul_ps(magnitude(e.z), h), _mm_mul_ps(magnitude(e.x), h)));
}

inline __m128 separatedOnZ(const Lanes3& e, const Lanes3& a, const Lanes3& b, __m128 h) {
  const __m128 p = _mm_sub_ps(_mm_mul_ps(e.y, a.x), _mm_mul_ps(e.x, a.y));
  const __m128 q = _mm_sub_ps(_mm_mul_ps(e.y, b.x), _mm_mul_ps(e.x, b.y));
  return separated(p, q, _mm_add_ps(_mm_mul_ps(magnitude(e.y), h), _mm_mul_ps(magnitude(e.x), h)));
}

// ((x + y) + z), the scalar dot product's order.
inline __m128 dot(const Lanes3& a, const Lanes3& b) {
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}

inline __m128 select(__m128 mask, __m128 if_set, __m128 if_clear) {
  return _mm_or_ps(_mm_and_ps(mask, if_set), _mm_andnot_ps(mask, if_clear));
}

inline __m128 planeOverlaps(const Lanes3& n, const Lanes3& v, __m128 h) {
  const __m128 zero = _mm_setzero_ps();
  const __m128 neg_h = negated(h);
  const __m128 near_low[3] = {_mm_sub_ps(neg_h, v.x), _mm_sub_ps(neg_h, v.y), _mm_sub_ps(neg_h, v.z)};
  const __m128 near_high[3] = {_mm_sub_ps(h, v.x), _mm_sub_ps(h, v.y), _mm_sub_ps(h, v.z)};
  const __m128 positive[3] = {_mm_cmpgt_ps(n.x, zero), _mm_cmpgt_ps(n.y, zero), _mm_cmpgt_ps(n.z, zero)};
  Lanes3 nearest{select(positive[0], near_low[0], near_high[0]),
                 select(positive[1], near_low[1], near_high[1]),
                 select(positive[2], near_low[2], near_high[2])};
  Lanes3 farthest{select(positive[0], near_high[0], near_low[0]),
                  select(positive[1], near_high[1], near_low[1]),
                  select(positive[2], near_high[2], near_low[2])};
  return _mm_andnot_ps(_mm_cmpgt_ps(dot(n, nearest), zero), _mm_cmpge_ps(dot(n, farthest), zero));
}

inline Lanes3 gather(const Vector3* const corners[4], int corner) {
  const Vector3& a = corners[0][corner];
  const Vector3& b = corners[1][corner];
  const Vector3& c = corners[2][corner];
  const Vector3& d = corners[3][corner];
  return {_mm_setr_ps(a.x, b.x, c.x, d.x), _mm_setr_ps(a.y, b.y, c.y, d.y),
          _mm_setr_ps(a.z, b.z, c.z, d.z)};
}

}  // namespace triangle_box_batch

inline unsigned trianglesWithinBoundsOverlapBox(const Vector3& center, float half,
                                                const Vector3* const corners[4], int count) {
  using namespace triangle_box_batch;
  // Missing lanes repeat the last triangle; their answers are masked off.
  const Vector3* lanes[4];
  for (int i = 0; i < 4; ++i) lanes[i] = corners[i < count ? i : count - 1];
  const Lanes3 c{_mm_set1_ps(center.x), _mm_set1_ps(center.y), _mm_set1_ps(center.z)};
  const __m128 h = _mm_set1_ps(half);
  const Lanes3 u0 = sub(gather(lanes, 0), c);
  const Lanes3 u1 = sub(gather(lanes, 1), c);
  const Lanes3 u2 = sub(gather(lanes, 2), c);
  const Lanes3 e0 = sub(u1, u0);
  const Lanes3 e1 = sub(u2, u1);
  const Lanes3 e2 = sub(u0, u2);
  __m128 apart = _mm_or_ps(separatedOnX(e0, u0, u2, h), separatedOnY(e0, u0, u2, h));
  apart = _mm_or_ps(apart, separatedOnZ(e0, u1, u2, h));
  apart = _mm_or_ps(apart, _mm_or_ps(separatedOnX(e1, u0, u2, h), separatedOnY(e1, u0, u2, h)));
  apart = _mm_or_ps(apart, separatedOnZ(e1, u0, u1, h));
  apart = _mm_or_ps(apart, _mm_or_ps(separatedOnX(e2, u0, u1, h), separatedOnY(e2, u0, u1, h)));
  apart = _mm_or_ps(apart, separatedOnZ(e2, u1, u2, h));
  const Lanes3 normal{_mm_sub_ps(_mm_mul_ps(e0.y, e1.z), _mm_mul_ps(e0.z, e1.y)),
                      _mm_sub_ps(_mm_mul_ps(e0.z, e1.x), _mm_mul_ps(e0.x, e1.z)),
                      _mm_sub_ps(_mm_mul_ps(e0.x, e1.y), _mm_mul_ps(e0.y, e1.x))};
  const __m128 overlaps = _mm_andnot_ps(apart, planeOverlaps(normal, u0, h));
  return unsigned(_mm_movemask_ps(overlaps)) & ((1u << count) - 1u);
}

#else

inline unsigned trianglesWithinBoundsOverlapBox(const Vector3& center, float half,
                                                const Vector3* const corners[4], int count) {
  const Vector3 halves{half, half, half};
  unsigned answers = 0;
  for (int i = 0; i < count; ++i) {
    const Vector3* v = corners[i];
    if (triangleWithinBoundsOverlapsBox(center, halves, v[0], v[1], v[2])) answers |= 1u << i;
  }
  return answers;
}

#endif
