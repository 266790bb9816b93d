#pragma once

#include <array>
#include <vector>

#include "room/Geometry.h"
#include "room/Mesh.h"

namespace room {

// Closed solids, appended to a mesh with outward counter-clockwise winding.
// Each is built in its own local coordinates and placed by a Frame.

struct Vec2 {
  double x = 0.0;
  double y = 0.0;
};

// Triangles (indices into the outline) covering a simple polygon whose
// corners run counter-clockwise; each triangle runs counter-clockwise too.
// Ear clipping: the polygons here have a few dozen corners at most.
std::vector<std::array<int, 3>> triangulatePolygon(const std::vector<Vec2>& outline);

// Twice the signed area: positive for a counter-clockwise outline.
double signedArea2(const std::vector<Vec2>& outline);

// The local box [lo, hi].
void addBox(Mesh& mesh, const Frame& frame, const Vec3& lo, const Vec3& hi);

// A counter-clockwise outline in the local xy plane swept along local z from
// z0 to z1 (z0 < z1).
void addPrism(Mesh& mesh, const Frame& frame, const std::vector<Vec2>& outline, double z0,
              double z1);

// A ring in the local xy plane (centre at the origin, radii outer > inner),
// swept along local z from z0 to z1.
void addRingPrism(Mesh& mesh, const Frame& frame, double outer, double inner, int segments,
                  double z0, double z1);

// A faceted frustum around the local y axis from y = 0 (radius bottom) to
// y = height (radius top; 0 makes a cone with a single apex). The first
// corner lies at angle `turn` from local +x towards local -z.
void addFrustum(Mesh& mesh, const Frame& frame, double bottom, double top, double height,
                int segments, double turn);

// A torus around the local y axis: tube of radius `tube` on a circle of
// radius `ring`.
void addTorus(Mesh& mesh, const Frame& frame, double ring, double tube, int ringSegments,
              int tubeSegments);

// A geodesic sphere (subdivided icosahedron) with exact outward unit normals,
// for smooth meshes. Every corner joins at most six triangles, so no point of
// the surface gathers a crowd of them.
void addSphere(Mesh& mesh, const Vec3& center, double radius, int subdivisions);

// A regular star outline with `points` tips, counter-clockwise, the first tip
// on local +y.
std::vector<Vec2> starOutline(int points, double outer, double inner);

}  // namespace room
