#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/MeshFace.h"
#include "geometry/Vector.h"
#include "scene/SceneLayout.h"

// One entry of the BRDF table: colour and BRDF code, as four bytes.
struct Material {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 0;
};

static_assert(sizeof(Material) == 4, "the BRDF table is uploaded as packed bytes");

// One row of the object table: the file, its material and the loader's
// arguments.
struct SceneObject {
  std::string file_name;
  Material material;
  bool smooth_normals = false;
  uint8_t tag = 0;
};

// The fifteen objects of the Christmas room, in scene order.
std::vector<SceneObject> roomObjects();

// The scene object: the OBJ loader's lists, then (after the build) the packed
// arrays that become the scene textures.
class OctreeScene {
 public:
  // Appends the triangles of one OBJ file. Returns kStatusOk, or
  // kStatusMalformed after printing the message of a malformed line.
  int loadObj(const std::string& file_name, bool smooth_normals, uint8_t tag);

  // Loads the room from data/xmas/ (relative to the working directory),
  // packs it, makes the BRDF texture (needs a current GL context), builds the
  // octree and prints the statistics. Returns kStatusOk, kStatusMalformed
  // from the loader, or kStatusFatal after an overflow message.
  int buildScene();

  // buildScene for any object table; without `make_brdf_texture` no GL call
  // is made, so the whole start-up runs on the CPU alone.
  int assembleScene(const std::vector<SceneObject>& objects, bool make_brdf_texture);

  // The steps of the assembly, in the order assembleScene runs them. Each
  // step after allocateArrays works on the arrays it made.
  void allocateArrays();
  int loadObjects(const std::vector<SceneObject>& objects);
  void normalizeScene();
  void createBrdfTexture();
  void printLoadStatistics() const;
  int packTriangles();
  void releaseLoadLists();
  // Fills node_pool and triangle_ids from the packed triangles and sets the
  // counters and build_time_ms. Returns kStatusFatal after "tri id out of
  // bounds".
  int buildOctree();
  void printBuildStatistics() const;

  // Loader lists, emptied once the triangles are packed.
  std::vector<Vector3> positions;
  std::vector<MeshFace> faces;
  int object_count = 0;

  // CPU copies of the four large scene textures, one element per texel.
  std::vector<uint32_t> node_pool;
  std::vector<uint32_t> triangle_ids;
  std::vector<Vector3> triangle_positions;
  std::vector<Vector4> triangle_normals;

  std::vector<Material> materials;
  float scene_scale = 0.0f;
  uint32_t triangle_cursor = 0;
  uint32_t brdf_texture = 0;  // GL name of the BRDF table

  // Octree cursors and statistics. The root is counted once when it takes
  // its brick and once more as a node, so the node and internal figures are
  // one above the words written.
  BrickCursor brick_cursor;
  TexelCursor tri_id_cursor;
  int nodes_created = 0;
  int leafs_created = 0;
  int empty_created = 0;
  int internal_created = 0;
  double build_time_ms = 0.0;
};
