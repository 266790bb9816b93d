#pragma once

#include "geometry/Vector.h"

// Separating-axis overlap test of a triangle and an axis-aligned box, in
// single precision and without tolerance: touching counts as overlapping.
// The octree's contents depend on every comparison here, so the arithmetic
// must stay exactly as written (the build compiles without FMA contraction).
bool triangleOverlapsBox(const Vector3& center, const Vector3& half, const Vector3& v0,
                         const Vector3& v1, const Vector3& v2);

// True when the plane through `vertex` with `normal` meets the box of half
// edge lengths `half` centred at the origin.
bool planeOverlapsBox(const Vector3& normal, const Vector3& vertex, const Vector3& half);
