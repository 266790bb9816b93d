#include "SceneFiles.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Accepts the subset the generator writes: v, vn, "f a b c", "f a//n b//n c//n".
bool readFile(const std::string& path, int material, bool smooth,
              std::vector<PreviewTriangle>& out) {
  std::ifstream in(path);
  if (!in) return false;
  std::vector<V3> positions;
  std::vector<V3> normals;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "v" || keyword == "vn") {
      V3 v;
      words >> v.x >> v.y >> v.z;
      (keyword == "v" ? positions : normals).push_back(v);
    } else if (keyword == "f") {
      PreviewTriangle t;
      t.material = material;
      int vi[3], ni[3] = {0, 0, 0};
      for (int k = 0; k < 3; ++k) {
        std::string corner;
        words >> corner;
        std::sscanf(corner.c_str(), "%d//%d", &vi[k], &ni[k]);
        if (vi[k] < 1 || vi[k] > static_cast<int>(positions.size())) return false;
        t.corner[k] = positions[vi[k] - 1];
      }
      const V3 face = cross(t.corner[1] - t.corner[0], t.corner[2] - t.corner[0]);
      for (int k = 0; k < 3; ++k) {
        const bool fromFile = smooth && ni[k] >= 1 && ni[k] <= static_cast<int>(normals.size());
        t.normal[k] = fromFile ? normals[ni[k] - 1] : face;
      }
      out.push_back(t);
    }
  }
  return true;
}

}  // namespace

bool loadPreviewScene(const std::string& directory, PreviewScene& scene) {
  for (int m = 0; m < static_cast<int>(scene.objects.size()); ++m) {
    const SceneObject& object = scene.objects[m];
    const std::string& name = object.file_name;
    const std::string path = directory + "/" + name.substr(name.find_last_of('/') + 1);
    if (!readFile(path, m, object.smooth_normals, scene.triangles)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
    }
  }
  if (scene.triangles.empty()) return false;
  V3 lo = scene.triangles[0].corner[0];
  V3 hi = lo;
  for (const PreviewTriangle& t : scene.triangles) {
    for (const V3& p : t.corner) {
      lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
      hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
    }
  }
  scene.boxMin = lo;
  scene.boxMax = hi;
  const float extent = std::fmax(hi.x - lo.x, std::fmax(hi.y - lo.y, hi.z - lo.z));
  scene.scale = static_cast<float>(1024.0 / (static_cast<double>(extent) * 1.1));
  for (PreviewTriangle& t : scene.triangles) {
    for (V3& p : t.corner) {
      V3 offset = p - lo;
      offset = offset + V3{1.0f, 1.0f, 1.0f};
      p = offset * scene.scale;
    }
  }
  return true;
}
