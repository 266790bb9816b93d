#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "scene/OctreeScene.h"

namespace {

// A scene with `count` faces over three shared positions, ready to pack.
std::unique_ptr<OctreeScene> sceneOfFaces(size_t count) {
  auto scene = std::make_unique<OctreeScene>();
  scene->allocateArrays();
  scene->materials.assign(brdf_table_size, Material{});
  scene->positions = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  MeshFace face;
  face.vertex_index[0] = 1;
  face.vertex_index[1] = 2;
  face.vertex_index[2] = 3;
  scene->faces.assign(count, face);
  return scene;
}

TEST(NormalizeScene, LargestExtentOfTenReachesTheFarFaceExactly) {
  OctreeScene scene;
  scene.positions = {{-3, 0.5f, 2}, {7, 4.5f, 2}, {0, 2, 8}};
  scene.normalizeScene();
  EXPECT_FLOAT_EQ(scene.scene_scale, 93.09091f);
  EXPECT_EQ(scene.positions[1].x, 1024.0f);
  EXPECT_EQ(scene.positions[0].x, scene.scene_scale);  // the smallest lands one unit in
  EXPECT_EQ(scene.positions[0].y, scene.scene_scale);
  EXPECT_EQ(scene.positions[0].z, scene.scene_scale);
  EXPECT_EQ(scene.positions[2].z, 7.0f * scene.scene_scale);
}

// Each axis has a range of its own, far from the others, so taking one
// axis's coordinate for another's anywhere in the bounds moves a corner.
TEST(NormalizeScene, LargestExtentAlongYOrZScalesEachAxisByItsOwnRange) {
  for (int axis : {1, 2}) {
    SCOPED_TRACE(axis == 1 ? "largest along y" : "largest along z");
    // Ranges: x [-3, 1]; y [100, 110] or [100, 106]; z [-50, -44] or [-50, -40].
    const float yFar = axis == 1 ? 110.0f : 106.0f;
    const float zFar = axis == 2 ? -40.0f : -44.0f;
    OctreeScene scene;
    scene.positions = {{-3, 100, -50}, {1, yFar, zFar}, {0, 102, -47}};
    scene.normalizeScene();
    const float s = scene.scene_scale;
    EXPECT_FLOAT_EQ(s, 93.09091f);
    const Vector3& lo = scene.positions[0];
    const Vector3& hi = scene.positions[1];
    EXPECT_EQ(lo.x, s);
    EXPECT_EQ(lo.y, s);
    EXPECT_EQ(lo.z, s);
    EXPECT_EQ(hi.x, 5.0f * s);
    EXPECT_EQ(axis == 1 ? hi.y : hi.z, 1024.0f);  // the far face of the cube
    EXPECT_EQ(axis == 1 ? hi.z : hi.y, 7.0f * s);
    EXPECT_EQ(scene.positions[2].z, 4.0f * s);
  }
}

TEST(NormalizeScene, SmallSceneSticksOutOnTheFarSide) {
  OctreeScene scene;
  scene.positions = {{0, 0, 0}, {5, 1, 1}};
  scene.normalizeScene();
  EXPECT_GT(scene.positions[1].x, 1024.0f);
  EXPECT_GT(scene.positions[0].x, 0.0f);
}

TEST(NormalizeScene, NoPositionsLeaveTheScaleAlone) {
  OctreeScene scene;
  scene.normalizeScene();
  EXPECT_EQ(scene.scene_scale, 0.0f);
}

TEST(PackTriangles, CornersNormalsAndMaterialInConsecutiveTexels) {
  auto scene = sceneOfFaces(342);
  for (size_t t = 0; t < scene->faces.size(); ++t) {
    MeshFace& face = scene->faces[t];
    face.vertex_index[0] = 3;  // corners keep the file's order
    face.vertex_index[2] = 1;
    face.material = int32_t(t % 15);
    face.normal[0] = {float(t), 0, 0};
    face.normal[1] = {0, float(t), 0};
    face.normal[2] = {0, 0, -float(t)};
  }
  scene->faces[341].material = 13;
  ASSERT_EQ(scene->packTriangles(), kStatusOk);
  EXPECT_EQ(scene->triangle_cursor, 342u * 3u);

  // Triangle 341 straddles the end of row 0.
  const Vector3& v0 = scene->triangle_positions[1023];
  const Vector3& v1 = scene->triangle_positions[1024];
  const Vector3& v2 = scene->triangle_positions[1025];
  EXPECT_EQ(v0.x, 7.0f);
  EXPECT_EQ(v1.x, 4.0f);
  EXPECT_EQ(v2.x, 1.0f);
  EXPECT_EQ(scene->triangle_normals[1023].x, 341.0f);
  EXPECT_EQ(scene->triangle_normals[1024].y, 341.0f);
  EXPECT_EQ(scene->triangle_normals[1025].z, -341.0f);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(scene->triangle_normals[1023 + j].w, 0.40625f);
  EXPECT_EQ(scene->triangle_normals[3 * 14].w, 14.0f / 32.0f);
  EXPECT_EQ(scene->triangle_positions[1026].x, 0.0f) << "nothing past the last triangle";
}

TEST(PackTriangles, FaceNamingNoStoredPositionIsLeftOut) {
  auto scene = sceneOfFaces(3);
  scene->faces[0].vertex_index[1] = 4;
  scene->faces[1].vertex_index[2] = 0;
  testing::internal::CaptureStdout();
  ASSERT_EQ(scene->packTriangles(), kStatusOk);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(scene->triangle_cursor, 3u);
  EXPECT_EQ(scene->triangle_positions[2].x, 7.0f);
  EXPECT_EQ(output,
            "face skipped, vertex index outside the loaded positions\n"
            "face skipped, vertex index outside the loaded positions\n");
}

TEST(PackTriangles, TriangleTextureHoldsOneTriangleLessThanItsUsableRows) {
  const uint32_t capacity = kTriangleTexelLimit / 3;  // 349,184
  auto fits = sceneOfFaces(capacity - 1);
  ASSERT_EQ(fits->packTriangles(), kStatusOk);
  EXPECT_EQ(fits->triangle_cursor, kTriangleTexelLimit - 3);

  auto overflows = sceneOfFaces(capacity + 10);
  testing::internal::CaptureStdout();
  EXPECT_EQ(overflows->packTriangles(), kStatusFatal);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "triangle texture out of bounds\n");
  // The triangle that fills the last usable texel is written; the last row
  // stays empty.
  EXPECT_EQ(overflows->triangle_positions[kTriangleTexelLimit - 1].x, 7.0f);
  for (uint32_t column = 0; column < triangle_tex_size; ++column)
    ASSERT_EQ(overflows->triangle_positions[kTriangleTexelLimit + column].x, 0.0f);

  EXPECT_EXIT(
      {
        dup2(2, 1);  // the message goes to standard output
        auto scene = sceneOfFaces(capacity);
        std::exit(scene->packTriangles());
      },
      testing::ExitedWithCode(1), "triangle texture out of bounds");
}

TEST(Statistics, BuildLinesInOrderWithTheirTexts) {
  OctreeScene scene;
  scene.nodes_created = 10;
  scene.leafs_created = 3;
  scene.empty_created = 2;
  scene.internal_created = 5;
  scene.build_time_ms = 12.5;
  testing::internal::CaptureStdout();
  scene.printLoadStatistics();
  scene.printBuildStatistics();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "------- obj loaded ---------\n"
            "number of faces loaded: 0\n"
            "number of verts loaded: 0\n"
            "number of nodes created: 10\n"
            "number of leafs created: 3\n"
            "empty nodes created: 2\n"
            "internal nodes created: 5\n"
            "oide sum: 10\n"
            "time to build: 12.5\n"
            "number of light emitter verts: 0\n");
}

}  // namespace
