#include "SceneFiles.h"

#include <cmath>

#include "ExitStatus.h"

namespace {

V3 fromVector(const Vector3& v) { return {v.x, v.y, v.z}; }

}  // namespace

bool loadPreviewScene(const std::string& directory, PreviewScene& scene) {
  std::vector<SceneObject> objects = scene.objects;
  for (SceneObject& object : objects) {
    const std::string& name = object.file_name;
    object.file_name = directory + "/" + name.substr(name.find_last_of('/') + 1);
  }
  // The demo's own loader and scaling; a missing file is reported and skipped.
  OctreeScene loaded;
  if (loaded.loadObjects(objects) != kStatusOk || loaded.faces.empty()) return false;
  Vector3 lo = loaded.positions[0];
  Vector3 hi = lo;
  for (const Vector3& p : loaded.positions) {
    lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
    hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
  }
  scene.boxMin = fromVector(lo);
  scene.boxMax = fromVector(hi);
  loaded.normalizeScene();
  scene.scale = loaded.scene_scale;
  scene.triangles.reserve(loaded.faces.size());
  for (const MeshFace& face : loaded.faces) {
    PreviewTriangle t;
    t.material = face.material;
    for (int k = 0; k < 3; ++k) {
      t.corner[k] = fromVector(loaded.positions[size_t(face.vertex_index[k] - 1)]);
      t.normal[k] = fromVector(face.normal[k]);
    }
    scene.triangles.push_back(t);
  }
  return true;
}
