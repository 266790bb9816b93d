// The CPU steps of the scene assembly that follow the loading: scaling into
// octree space, packing the triangles into texture-sized arrays, and the
// statistics lines.
#include <algorithm>
#include <cmath>
#include <iostream>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"

void OctreeScene::allocateArrays() {
  node_pool.assign(kNodePoolTexels, 0u);
  triangle_ids.assign(kTriangleIdTexels, 0u);
  triangle_positions.assign(kTriangleTexels, Vector3{});
  triangle_normals.assign(kTriangleTexels, Vector4{});
  // The cursors address these arrays, so they start over with them.
  triangle_cursor = 0;
  brick_cursor = BrickCursor{};
  tri_id_cursor = TexelCursor{};
}

namespace {

bool isFinite(const Vector3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Coordinates near the float limit overflow the offset although the scaled
// result fits; those are taken in double instead. NaN and infinity stay as
// they are, and packing leaves their faces out.
float toOctreeSpace(float p, float lo, float scale) {
  const float scaled = ((p - lo) + 1.0f) * scale;
  if (std::isfinite(scaled) || !std::isfinite(p)) return scaled;
  return static_cast<float>(((static_cast<double>(p) - lo) + 1.0) * scale);
}

}  // namespace

void OctreeScene::normalizeScene() {
  // A NaN or infinite vertex has no place in the box; it must not stretch
  // the box for the rest either.
  auto first = std::find_if(positions.begin(), positions.end(), isFinite);
  if (first == positions.end()) return;
  Vector3 lo = *first;
  Vector3 hi = *first;
  for (const Vector3& p : positions) {
    if (!isFinite(p)) continue;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  if (!std::isfinite(extent)) {
    extent = std::max({double(hi.x) - lo.x, double(hi.y) - lo.y, double(hi.z) - lo.z});
  }
  // The tenth of margin keeps the far side of the scene off the cube's edge.
  scene_scale = static_cast<float>(double(scene_dim) / (extent * 1.1));
  // A scene that is one point (or nearly) has no size to scale by: it keeps
  // its model units rather than going to infinity.
  if (!std::isfinite(scene_scale)) scene_scale = 1.0f;
  // Each step is rounded to float on its own: the offset, the one unit of
  // margin, the scale.
  for (Vector3& p : positions) {
    p.x = toOctreeSpace(p.x, lo.x, scene_scale);
    p.y = toOctreeSpace(p.y, lo.y, scene_scale);
    p.z = toOctreeSpace(p.z, lo.z, scene_scale);
  }
}

void OctreeScene::printLoadStatistics() const {
  std::cout << "------- obj loaded ---------" << std::endl;
  std::cout << "number of faces loaded: " << static_cast<unsigned>(faces.size()) << std::endl;
  std::cout << "number of verts loaded: " << static_cast<unsigned>(positions.size()) << std::endl;
}

namespace {

bool namesStoredPositions(const MeshFace& face, size_t position_count) {
  for (int32_t index : face.vertex_index)
    if (index < 1 || static_cast<size_t>(index) > position_count) return false;
  return true;
}

// The shaders would turn one NaN or infinite corner or normal into NaN
// colours wherever a ray meets the triangle's cell.
bool finiteTriangle(const MeshFace& face, const std::vector<Vector3>& positions) {
  for (int j = 0; j < 3; ++j)
    if (!isFinite(positions[face.vertex_index[j] - 1]) || !isFinite(face.normal[j])) return false;
  return true;
}

}  // namespace

int OctreeScene::packTriangles() {
  const float material_count = static_cast<float>(materials.size());
  unsigned not_finite = 0;
  for (const MeshFace& face : faces) {
    // The loader refuses such faces; a face that slips through is left out
    // rather than packed from memory outside the list.
    if (!namesStoredPositions(face, positions.size())) {
      std::cout << "face skipped, vertex index outside the loaded positions" << std::endl;
      continue;
    }
    if (!finiteTriangle(face, positions)) {
      ++not_finite;
      continue;
    }
    const float material_coordinate = static_cast<float>(face.material) / material_count;
    for (int j = 0; j < 3; ++j) {
      const Vector3& n = face.normal[j];
      triangle_positions[triangle_cursor + j] = positions[face.vertex_index[j] - 1];
      triangle_normals[triangle_cursor + j] = {n.x, n.y, n.z, material_coordinate};
    }
    triangle_cursor += 3;
    if (triangle_cursor >= kTriangleTexelLimit) {
      std::cout << "triangle texture out of bounds" << std::endl;
      return kStatusFatal;
    }
  }
  // One line, not one per face: a damaged file can hold thousands.
  if (not_finite > 0) std::cout << "faces skipped, not finite: " << not_finite << std::endl;
  return kStatusOk;
}

void OctreeScene::releaseLoadLists() {
  // swap, not clear: the lists' memory is not needed after packing.
  std::vector<Vector3>().swap(positions);
  std::vector<MeshFace>().swap(faces);
}

void OctreeScene::printBuildStatistics() const {
  std::cout << "number of nodes created: " << nodes_created << std::endl;
  std::cout << "number of leafs created: " << leafs_created << std::endl;
  std::cout << "empty nodes created: " << empty_created << std::endl;
  std::cout << "internal nodes created: " << internal_created << std::endl;
  std::cout << "oide sum: " << internal_created + leafs_created + empty_created << std::endl;
  std::cout << "time to build: " << build_time_ms << std::endl;
  // Nothing collects emitter triangles, so their count is always zero.
  std::cout << "number of light emitter verts: " << 0u << std::endl;
}
