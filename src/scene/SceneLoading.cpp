// Assembly of the scene from its OBJ files: the object table, the loading
// and the order of the start-up steps.
#include "ExitStatus.h"
#include "scene/OctreeScene.h"

std::vector<SceneObject> roomObjects() {
  return {
      {"data/xmas/backwall.obj", {150, 150, 150, 0}, false, 0},
      {"data/xmas/wall_left.obj", {250, 50, 50, 0}, false, 0},
      {"data/xmas/wall_right.obj", {50, 155, 50, 0}, false, 0},
      {"data/xmas/floor.obj", {150, 150, 150, 250}, false, 0},
      {"data/xmas/gave.obj", {200, 20, 250, 250}, false, 0},
      {"data/xmas/gave2.obj", {150, 150, 150, 250}, false, 0},
      {"data/xmas/ribbon.obj", {255, 40, 40, 0}, false, 0},
      {"data/xmas/slf.obj", {255, 0, 0, 0}, false, 0},
      {"data/xmas/qm.obj", {250, 250, 0, 190}, false, 1},
      {"data/xmas/sphere1.obj", {60, 250, 60, 160}, true, 1},
      {"data/xmas/sphere2.obj", {60, 60, 255, 160}, true, 1},
      {"data/xmas/sphere3.obj", {200, 80, 200, 160}, true, 1},
      {"data/xmas/sphere4.obj", {255, 50, 50, 180}, true, 1},
      {"data/xmas/toppe.obj", {150, 150, 150, 255}, false, 0},
      {"data/xmas/ground_2.obj", {50, 50, 50, 0}, false, 0},
  };
}

int OctreeScene::loadObjects(const std::vector<SceneObject>& objects) {
  faces.clear();
  positions.clear();
  materials.clear();
  object_count = 0;
  for (size_t row = 0; row < objects.size(); ++row) {
    const SceneObject& object = objects[row];
    const size_t first_face = faces.size();
    const int status = loadObj(object.file_name, object.smooth_normals, object.tag);
    if (status != kStatusOk) return status;
    // The loader numbers files by how many were read, so a missing file
    // would hand every later file the colour of the row above its own; the
    // row number is the material.
    for (size_t f = first_face; f < faces.size(); ++f) faces[f].material = static_cast<int32_t>(row);
    materials.push_back(object.material);
  }
  while (materials.size() < static_cast<size_t>(brdf_table_size)) materials.push_back(Material{});
  return kStatusOk;
}

int OctreeScene::assembleScene(const std::vector<SceneObject>& objects, bool make_brdf_texture) {
  allocateArrays();
  int status = loadObjects(objects);
  if (status != kStatusOk) return status;
  normalizeScene();
  if (make_brdf_texture) createBrdfTexture();
  printLoadStatistics();
  status = packTriangles();
  if (status != kStatusOk) return status;
  releaseLoadLists();
  status = buildOctree();
  if (status != kStatusOk) return status;
  printBuildStatistics();
  return kStatusOk;
}

int OctreeScene::buildScene() { return assembleScene(roomObjects(), true); }
