// The CPU steps of the scene assembly that follow the loading: scaling into
// octree space, packing the triangles into texture-sized arrays, and the
// statistics lines.
#include <algorithm>
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

void OctreeScene::normalizeScene() {
  if (positions.empty()) return;
  Vector3 lo = positions.front();
  Vector3 hi = positions.front();
  for (const Vector3& p : positions) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  const float extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  // The tenth of margin keeps the far side of the scene off the cube's edge.
  scene_scale = static_cast<float>(1024.0 / (static_cast<double>(extent) * 1.1));
  // Each step is rounded to float on its own: the offset, the one unit of
  // margin, the scale.
  for (Vector3& p : positions) {
    p.x = ((p.x - lo.x) + 1.0f) * scene_scale;
    p.y = ((p.y - lo.y) + 1.0f) * scene_scale;
    p.z = ((p.z - lo.z) + 1.0f) * scene_scale;
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

}  // namespace

int OctreeScene::packTriangles() {
  const float material_count = static_cast<float>(materials.size());
  for (const MeshFace& face : faces) {
    // The loader refuses such faces; a face that slips through is left out
    // rather than packed from memory outside the list.
    if (!namesStoredPositions(face, positions.size())) {
      std::cout << "face skipped, vertex index outside the loaded positions" << std::endl;
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
  return kStatusOk;
}

void OctreeScene::releaseLoadLists() {
  // swap, not clear: the lists' memory is not needed after packing.
  std::vector<Vector3>().swap(emitter_verts);
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
  std::cout << "number of light emitter verts: " << static_cast<unsigned>(emitter_verts.size())
            << std::endl;
}
