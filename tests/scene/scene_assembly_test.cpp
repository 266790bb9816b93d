#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeChecks.h"
#include "scene/OctreeOracle.h"
#include "scene/SceneGenerators.h"

namespace fs = std::filesystem;

namespace {

class SceneAssembly : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("xmastrace_scene_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string file(const std::string& name) const { return (dir / name).string(); }

  fs::path dir;
};

std::vector<Triangle> specks(int count, float x) {
  std::vector<Triangle> out;
  for (int i = 0; i < count; ++i) {
    const float y = float(i);
    out.push_back({Vector3{x, y, 0}, Vector3{x + 1, y, 0}, Vector3{x, y + 1, 1}});
  }
  return out;
}

TEST_F(SceneAssembly, PrintsLoadAndBuildStatistics) {
  writeObj(file("a.obj"), specks(2, 0));
  writeObj(file("b.obj"), specks(1, 20));
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  const int status = scene->assembleScene(
      {{file("a.obj"), {1, 2, 3, 4}, false, 0}, {file("b.obj"), {5, 6, 7, 8}, false, 1}}, false);
  const std::string output = testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, kStatusOk);
  const std::regex expected(
      "------- obj loaded ---------\n"
      "number of faces loaded: 3\n"
      "number of verts loaded: 9\n"
      "number of nodes created: 2\n"
      "number of leafs created: 1\n"
      "empty nodes created: 0\n"
      "internal nodes created: 1\n"
      "oide sum: 2\n"
      "time to build: [0-9.e+-]+\n"
      "number of light emitter verts: 0\n");
  EXPECT_TRUE(std::regex_match(output, expected)) << output;
  EXPECT_TRUE(scene->positions.empty());
  EXPECT_TRUE(scene->faces.empty());
  EXPECT_EQ(scene->triangle_cursor, 9u);
  ASSERT_EQ(scene->materials.size(), 32u);
  EXPECT_EQ(scene->materials[1].r, 5);
  EXPECT_EQ(scene->materials[1].a, 8);
  EXPECT_EQ(scene->materials[2].r, 0);
  EXPECT_EQ(scene->materials[31].a, 0);
}

TEST_F(SceneAssembly, MissingFileKeepsEveryLaterFileOnItsOwnMaterial) {
  writeObj(file("first.obj"), specks(1, 0));
  writeObj(file("third.obj"), specks(2, 30));
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  const int status = scene->assembleScene({{file("first.obj"), {9, 9, 9, 0}, false, 0},
                                           {file("second.obj"), {8, 8, 8, 0}, false, 0},
                                           {file("third.obj"), {7, 7, 7, 0}, false, 0}},
                                          false);
  const std::string output = testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, kStatusOk);
  EXPECT_NE(output.find("second.obj"), std::string::npos) << "the loader reports the file";
  EXPECT_EQ(scene->object_count, 2);
  EXPECT_EQ(scene->materials[1].r, 8) << "the missing file keeps its table entry";
  EXPECT_EQ(scene->triangle_normals[0].w, 0.0f);
  EXPECT_EQ(scene->triangle_normals[3].w, 2.0f / 32.0f);
  EXPECT_EQ(scene->triangle_normals[6].w, 2.0f / 32.0f);
}

TEST_F(SceneAssembly, SceneWithoutFacesPacksNothingAndHasAnEmptyRoot) {
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  ASSERT_EQ(scene->assembleScene({{file("none.obj"), {1, 1, 1, 1}, false, 0}}, false), kStatusOk);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("number of faces loaded: 0\nnumber of verts loaded: 0\n"), std::string::npos);
  EXPECT_EQ(scene->triangle_cursor, 0u);
  EXPECT_EQ(scene->node_pool[0], kEmptyNodeWord);
}

TEST_F(SceneAssembly, MalformedLineStopsTheAssemblyWithItsStatus) {
  {
    std::ofstream out(file("bad.obj"));
    out << "v 1 2\n";
  }
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  EXPECT_EQ(scene->assembleScene({{file("bad.obj"), {}, false, 0}}, false), kStatusMalformed);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(scene->triangle_cursor, 0u);
}

// The room itself, once its files are in the working directory.
TEST(RoomScene, EveryObjectOnItsRowAndASoundOctree) {
  std::vector<SceneObject> objects = roomObjects();
  ASSERT_EQ(objects.size(), 15u);
  EXPECT_EQ(objects[13].file_name, "data/xmas/toppe.obj");
  for (SceneObject& object : objects) {
    object.file_name = std::string(XMASTRACE_RUN_DIR) + "/" + object.file_name;
    if (!fs::exists(object.file_name)) GTEST_SKIP() << "room file missing: " << object.file_name;
  }

  std::vector<size_t> faces_per_file;
  for (const SceneObject& object : objects) {
    OctreeScene single;
    ASSERT_EQ(single.loadObj(object.file_name, object.smooth_normals, object.tag), kStatusOk);
    faces_per_file.push_back(single.faces.size());
  }

  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  ASSERT_EQ(scene->assembleScene(objects, false), kStatusOk);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(scene->object_count, 15);
  ASSERT_EQ(scene->materials.size(), 32u);
  EXPECT_EQ(scene->materials[13].a, 255);
  EXPECT_EQ(scene->materials[15].r + scene->materials[15].a, 0);

  // Triangles carry their file's row as material, in table order.
  uint32_t first = 0;
  for (size_t row = 0; row < faces_per_file.size(); ++row)
    for (size_t f = 0; f < faces_per_file[row]; ++f, first += 3)
      ASSERT_EQ(scene->triangle_normals[first].w, float(row) / 32.0f) << "row " << row;
  EXPECT_EQ(first, scene->triangle_cursor);
  for (uint32_t t = 0; t < scene->triangle_cursor; ++t) {
    const Vector3& p = scene->triangle_positions[t];
    ASSERT_TRUE(p.x >= 0 && p.x <= 1024 && p.y >= 0 && p.y <= 1024 && p.z >= 0 && p.z <= 1024);
  }

  expectSoundOctree(*scene);
  auto plain = std::make_unique<OctreeScene>();
  plain->allocateArrays();
  plain->triangle_positions = scene->triangle_positions;
  plain->triangle_cursor = scene->triangle_cursor;
  ASSERT_EQ(oracleBuildOctree(*plain), kStatusOk);
  expectSameBuild(*scene, *plain);
}

}  // namespace
