#include "room/Shapes.h"

#include <cmath>
#include <map>
#include <utility>

namespace room {

double signedArea2(const std::vector<Vec2>& outline) {
  double sum = 0.0;
  for (size_t i = 0; i < outline.size(); ++i) {
    const Vec2& a = outline[i];
    const Vec2& b = outline[(i + 1) % outline.size()];
    sum += a.x * b.y - b.x * a.y;
  }
  return sum;
}

namespace {

double turnOf(const Vec2& a, const Vec2& b, const Vec2& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool insideTriangle(const Vec2& p, const Vec2& a, const Vec2& b, const Vec2& c) {
  return turnOf(a, b, p) >= 0.0 && turnOf(b, c, p) >= 0.0 && turnOf(c, a, p) >= 0.0;
}

bool isEar(const std::vector<Vec2>& outline, const std::vector<int>& ring, size_t i) {
  const size_t n = ring.size();
  const Vec2& a = outline[ring[(i + n - 1) % n]];
  const Vec2& b = outline[ring[i]];
  const Vec2& c = outline[ring[(i + 1) % n]];
  if (turnOf(a, b, c) <= 0.0) return false;
  for (size_t j = 0; j < n; ++j) {
    if (j == i || j == (i + 1) % n || j == (i + n - 1) % n) continue;
    if (insideTriangle(outline[ring[j]], a, b, c)) return false;
  }
  return true;
}

}  // namespace

std::vector<std::array<int, 3>> triangulatePolygon(const std::vector<Vec2>& outline) {
  std::vector<std::array<int, 3>> triangles;
  std::vector<int> ring;
  for (size_t i = 0; i < outline.size(); ++i) ring.push_back(static_cast<int>(i));
  while (ring.size() > 3) {
    size_t best = ring.size();
    for (size_t i = 0; i < ring.size(); ++i) {
      if (isEar(outline, ring, i)) {
        best = i;
        break;
      }
    }
    // Not a simple polygon: stop, leaving a hole that the room's closedness
    // test reports.
    if (best == ring.size()) break;
    const size_t n = ring.size();
    triangles.push_back({ring[(best + n - 1) % n], ring[best], ring[(best + 1) % n]});
    ring.erase(ring.begin() + static_cast<long>(best));
  }
  if (ring.size() == 3) triangles.push_back({ring[0], ring[1], ring[2]});
  return triangles;
}

void addBox(Mesh& mesh, const Frame& frame, const Vec3& lo, const Vec3& hi) {
  int v[8];
  for (int i = 0; i < 8; ++i) {
    const Vec3 local{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    v[i] = addVertex(mesh, frame.point(local));
  }
  addQuad(mesh, v[0], v[4], v[6], v[2]);  // -x
  addQuad(mesh, v[1], v[3], v[7], v[5]);  // +x
  addQuad(mesh, v[0], v[1], v[5], v[4]);  // -y
  addQuad(mesh, v[2], v[6], v[7], v[3]);  // +y
  addQuad(mesh, v[0], v[2], v[3], v[1]);  // -z
  addQuad(mesh, v[4], v[5], v[7], v[6]);  // +z
}

void addPrism(Mesh& mesh, const Frame& frame, const std::vector<Vec2>& outline, double z0,
              double z1) {
  const int n = static_cast<int>(outline.size());
  std::vector<int> back(n), front(n);
  for (int i = 0; i < n; ++i) {
    back[i] = addVertex(mesh, frame.point({outline[i].x, outline[i].y, z0}));
    front[i] = addVertex(mesh, frame.point({outline[i].x, outline[i].y, z1}));
  }
  for (const auto& t : triangulatePolygon(outline)) {
    addTriangle(mesh, front[t[0]], front[t[1]], front[t[2]]);
    addTriangle(mesh, back[t[0]], back[t[2]], back[t[1]]);
  }
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    addQuad(mesh, back[i], back[j], front[j], front[i]);
  }
}

void addRingPrism(Mesh& mesh, const Frame& frame, double outer, double inner, int segments,
                  double z0, double z1) {
  std::vector<int> ob(segments), of(segments), ib(segments), inf(segments);
  for (int i = 0; i < segments; ++i) {
    const double a = 2.0 * kPi * i / segments;
    const double c = detCos(a);
    const double s = detSin(a);
    ob[i] = addVertex(mesh, frame.point({outer * c, outer * s, z0}));
    of[i] = addVertex(mesh, frame.point({outer * c, outer * s, z1}));
    ib[i] = addVertex(mesh, frame.point({inner * c, inner * s, z0}));
    inf[i] = addVertex(mesh, frame.point({inner * c, inner * s, z1}));
  }
  for (int i = 0; i < segments; ++i) {
    const int j = (i + 1) % segments;
    addQuad(mesh, ob[i], ob[j], of[j], of[i]);     // outside wall
    addQuad(mesh, ib[j], ib[i], inf[i], inf[j]);   // wall of the hole
    addQuad(mesh, of[i], of[j], inf[j], inf[i]);   // front face
    addQuad(mesh, ob[j], ob[i], ib[i], ib[j]);     // back face
  }
}

namespace {

// Covers a convex ring (counter-clockwise seen from above) with triangles that
// face down (`facingDown`) or up, each corner joining at most four of them.
void addZigzagCap(Mesh& mesh, const std::vector<int>& ring, bool facingDown) {
  auto emit = [&](int a, int b, int c) {
    if (facingDown) {
      addTriangle(mesh, a, c, b);
    } else {
      addTriangle(mesh, a, b, c);
    }
  };
  size_t low = 0;
  size_t high = ring.size() - 1;
  bool advanceLow = true;
  while (high - low >= 2) {
    if (advanceLow) {
      emit(ring[low], ring[low + 1], ring[high]);
      ++low;
    } else {
      emit(ring[low], ring[high - 1], ring[high]);
      --high;
    }
    advanceLow = !advanceLow;
  }
}

}  // namespace

void addFrustum(Mesh& mesh, const Frame& frame, double bottom, double top, double height,
                int segments, double turn) {
  std::vector<int> low(segments), high(segments);
  for (int i = 0; i < segments; ++i) {
    const double a = turn + 2.0 * kPi * i / segments;
    const double c = detCos(a);
    const double s = -detSin(a);
    low[i] = addVertex(mesh, frame.point({bottom * c, 0.0, bottom * s}));
    if (top > 0.0) high[i] = addVertex(mesh, frame.point({top * c, height, top * s}));
  }
  // Increasing angle runs counter-clockwise seen from above. The caps are
  // zigzag strips, not fans: a fan centre would put every cap triangle into
  // one octree cell.
  addZigzagCap(mesh, low, true);
  if (top > 0.0) {
    addZigzagCap(mesh, high, false);
    for (int i = 0; i < segments; ++i) {
      const int j = (i + 1) % segments;
      addQuad(mesh, low[i], low[j], high[j], high[i]);
    }
    return;
  }
  const int apex = addVertex(mesh, frame.point({0.0, height, 0.0}));
  for (int i = 0; i < segments; ++i) {
    addTriangle(mesh, low[i], low[(i + 1) % segments], apex);
  }
}

void addTorus(Mesh& mesh, const Frame& frame, double ring, double tube, int ringSegments,
              int tubeSegments) {
  std::vector<int> grid(static_cast<size_t>(ringSegments) * tubeSegments);
  for (int i = 0; i < ringSegments; ++i) {
    const double u = 2.0 * kPi * i / ringSegments;
    for (int j = 0; j < tubeSegments; ++j) {
      const double v = 2.0 * kPi * j / tubeSegments;
      const double r = ring + tube * detCos(v);
      grid[static_cast<size_t>(i) * tubeSegments + j] =
          addVertex(mesh, frame.point({r * detCos(u), tube * detSin(v), r * detSin(u)}));
    }
  }
  auto at = [&](int i, int j) {
    return grid[static_cast<size_t>(i % ringSegments) * tubeSegments + (j % tubeSegments)];
  };
  for (int i = 0; i < ringSegments; ++i) {
    for (int j = 0; j < tubeSegments; ++j) {
      addQuad(mesh, at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
    }
  }
}

namespace {

// Midpoint of an icosahedron edge, shared by both triangles of the edge.
int midpoint(Mesh& mesh, std::map<std::pair<int, int>, int>& cache, const Vec3& center,
             double radius, int a, int b) {
  const std::pair<int, int> key = a < b ? std::make_pair(a, b) : std::make_pair(b, a);
  const auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  const Vec3 direction = unit((mesh.positions[a] - center) + (mesh.positions[b] - center));
  const int index = addVertex(mesh, center + direction * radius, direction);
  cache.emplace(key, index);
  return index;
}

}  // namespace

void addSphere(Mesh& mesh, const Vec3& center, double radius, int subdivisions) {
  const double g = (1.0 + std::sqrt(5.0)) / 2.0;
  const Vec3 corners[12] = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0},
                            {0, -1, g}, {0, 1, g}, {0, -1, -g}, {0, 1, -g},
                            {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
  const int faces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                            {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                            {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                            {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
  std::vector<std::array<int, 3>> triangles;
  int base[12];
  for (int i = 0; i < 12; ++i) {
    const Vec3 direction = unit(corners[i]);
    base[i] = addVertex(mesh, center + direction * radius, direction);
  }
  for (const auto& f : faces) triangles.push_back({base[f[0]], base[f[1]], base[f[2]]});
  for (int level = 0; level < subdivisions; ++level) {
    std::map<std::pair<int, int>, int> cache;
    std::vector<std::array<int, 3>> finer;
    for (const auto& t : triangles) {
      const int ab = midpoint(mesh, cache, center, radius, t[0], t[1]);
      const int bc = midpoint(mesh, cache, center, radius, t[1], t[2]);
      const int ca = midpoint(mesh, cache, center, radius, t[2], t[0]);
      finer.push_back({t[0], ab, ca});
      finer.push_back({t[1], bc, ab});
      finer.push_back({t[2], ca, bc});
      finer.push_back({ab, bc, ca});
    }
    triangles.swap(finer);
  }
  for (const auto& t : triangles) addTriangle(mesh, t[0], t[1], t[2]);
}

std::vector<Vec2> starOutline(int points, double outer, double inner) {
  std::vector<Vec2> outline;
  for (int i = 0; i < 2 * points; ++i) {
    const double a = kPi / 2.0 + kPi * i / points;
    const double r = (i % 2 == 0) ? outer : inner;
    outline.push_back({r * detCos(a), r * detSin(a)});
  }
  return outline;
}

}  // namespace room
