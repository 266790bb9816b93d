// Scenes that a careless export or a damaged file can produce: the start-up
// must get through them and leave nothing in the scene textures that the
// shaders could turn into NaN.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"

namespace fs = std::filesystem;

namespace {

class DegenerateScene : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("xmastrace_degenerate_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = (dir / name).string();
    std::ofstream(path) << text;
    return path;
  }

  // Assembles the objects without GL; the statistics lines are kept.
  int assemble(const std::vector<SceneObject>& objects) {
    scene = std::make_unique<OctreeScene>();
    testing::internal::CaptureStdout();
    const int status = scene->assembleScene(objects, false);
    output = testing::internal::GetCapturedStdout();
    return status;
  }

  fs::path dir;
  std::unique_ptr<OctreeScene> scene;
  std::string output;
};

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool finite(const Vector4& v) { return finite(Vector3{v.x, v.y, v.z}) && std::isfinite(v.w); }

// Every texel of both float arrays, not just the packed ones: a stray write
// past the cursor would be as bad as a bad value before it.
::testing::AssertionResult allTexelsFinite(const OctreeScene& scene) {
  for (size_t i = 0; i < scene.triangle_positions.size(); ++i)
    if (!finite(scene.triangle_positions[i]))
      return ::testing::AssertionFailure() << "position texel " << i << " is not finite";
  for (size_t i = 0; i < scene.triangle_normals.size(); ++i)
    if (!finite(scene.triangle_normals[i]))
      return ::testing::AssertionFailure() << "normal texel " << i << " is not finite";
  return ::testing::AssertionSuccess();
}

// The four corners of a 10 by 10 square in z = 0, starting at x; kQuadFaces
// makes two triangles of them.
std::string quad(float x) {
  const std::string a = std::to_string(x), b = std::to_string(x + 10);
  return "v " + a + " 0 0\nv " + b + " 0 0\nv " + b + " 10 0\nv " + a + " 10 0\n";
}

constexpr const char* kQuadFaces = "f 1 2 3\nf 1 3 4\n";

}  // namespace

TEST_F(DegenerateScene, EveryVertexAtOnePointBuildsWithoutNaN) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "v 3 -2 7\n";
  for (int i = 0; i < 38; ++i)
    text += "f " + std::to_string(i + 1) + " " + std::to_string(i + 2) + " " + std::to_string(i + 3) + "\n";
  ASSERT_EQ(assemble({{write("point.obj", text), {1, 1, 1, 0}, false, 0}}), kStatusOk);
  EXPECT_NE(output.find("number of faces loaded: 38\n"), std::string::npos) << output;
  EXPECT_TRUE(allTexelsFinite(*scene));
  EXPECT_EQ(scene->triangle_cursor, 38u * 3) << "zero-area triangles are still triangles";
  // The point has to land inside the octree cube, or no ray can find it.
  const Vector3 p = scene->triangle_positions[0];
  EXPECT_TRUE(p.x > 0 && p.x < 1024 && p.y > 0 && p.y < 1024 && p.z > 0 && p.z < 1024);
}

TEST_F(DegenerateScene, NonFiniteCoordinatesNeverReachTheTextures) {
  // Each bad file sits between two good ones, whose triangles must come
  // through placed as if the bad vertex were not there.
  const struct {
    const char* name;
    const char* line;
    uint32_t packed_faces;
  } bad[] = {{"nan", "v nan 0 0\n", 4}, {"inf", "v 0 inf 0\n", 4}, {"minus_inf", "v 0 0 -inf\n", 4},
             {"huge but finite", "v 3e38 0 0\n", 6}};
  for (const auto& b : bad) {
    SCOPED_TRACE(b.name);
    const std::string bad_text = std::string(b.line) + "v 1 0 0\nv 0 1 0\nf 1 2 3\nf 3 2 1\n";
    ASSERT_EQ(assemble({{write("left.obj", quad(0) + kQuadFaces), {}, false, 0},
                        {write("bad.obj", bad_text), {}, false, 0},
                        {write("right.obj", quad(20) + kQuadFaces), {}, false, 0}}),
              kStatusOk);
    EXPECT_TRUE(allTexelsFinite(*scene));
    EXPECT_EQ(scene->triangle_cursor, b.packed_faces * 3);
    if (b.packed_faces == 4) {
      EXPECT_NE(output.find("faces skipped, not finite: 2\n"), std::string::npos) << output;
      EXPECT_EQ(scene->scene_scale, float(1024.0 / (30 * 1.1)));
      EXPECT_EQ(scene->triangle_positions[0].x, scene->scene_scale);
    }
  }
}

TEST_F(DegenerateScene, SmallTrianglesAtOppositeEndsOfTheFloatRange) {
  // Each triangle is fine on its own; only the distance between them
  // overflows a float.
  const std::string text =
      "v -3e38 0 0\nv -3e38 1 0\nv -3e38 0 1\nv 3e38 0 0\nv 3e38 1 0\nv 3e38 0 1\nf 1 2 3\nf 4 5 6\n";
  ASSERT_EQ(assemble({{write("wide.obj", text), {}, false, 0}}), kStatusOk);
  EXPECT_TRUE(allTexelsFinite(*scene));
  ASSERT_EQ(scene->triangle_cursor, 6u);
  EXPECT_NEAR(scene->triangle_positions[0].x, 0.0f, 1e-3f);
  EXPECT_NEAR(scene->triangle_positions[3].x, 1024.0f / 1.1f, 1e-3f) << "the far end of the cube, as always";
}

TEST_F(DegenerateScene, NonFiniteFileNormalsNeverReachTheTextures) {
  const std::string text = quad(0) + "vn nan 0 1\nvn 0 0 inf\nvn 0 0 1\nf 1//1 2//2 3//3\nf 1//3 3//3 4//3\n";
  ASSERT_EQ(assemble({{write("smooth.obj", text), {}, true, 1}}), kStatusOk);
  EXPECT_TRUE(allTexelsFinite(*scene));
}

TEST_F(DegenerateScene, ZeroAreaTrianglesInANormalSceneKeepAZeroNormal) {
  const std::string text = quad(0) + kQuadFaces + "f 1 1 1\nf 1 2 2\n";
  ASSERT_EQ(assemble({{write("slivers.obj", text), {}, false, 0}}), kStatusOk);
  EXPECT_EQ(scene->triangle_cursor, 12u) << "degenerate but finite triangles are packed";
  EXPECT_TRUE(allTexelsFinite(*scene));
}

TEST_F(DegenerateScene, FilesWithoutTrianglesGiveAnEmptyScene) {
  // Zero bytes, vertices alone, only comments and text, and bytes that are
  // not text at all: none of it is a malformed line, and none of it adds a
  // triangle.
  // Every byte value but the line end: one long line that starts with a
  // control character.
  std::string binary;
  for (int i = 0; i < 4096; ++i) {
    const char byte = static_cast<char>((i * 73 + 11) % 256);
    binary += byte == '\n' ? '\0' : byte;
  }
  ASSERT_EQ(assemble({{write("empty.obj", ""), {}, false, 0},
                      {write("verts.obj", "v 1 2 3\nv 4 5 6\n"), {}, false, 0},
                      {write("text.obj", "# nothing\nmtllib x.mtl\nvt 0 0\n\n"), {}, true, 0},
                      {write("binary.obj", binary), {}, false, 0}}),
            kStatusOk);
  EXPECT_NE(output.find("number of faces loaded: 0\n"), std::string::npos) << output;
  EXPECT_EQ(scene->triangle_cursor, 0u);
  EXPECT_EQ(scene->object_count, 4);
  EXPECT_TRUE(allTexelsFinite(*scene));
}
