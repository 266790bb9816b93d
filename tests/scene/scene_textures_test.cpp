#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "scene/SceneTextures.h"
#include "support/GlContext.h"

namespace {

// Half precision keeps 11 significant bits, below its normal range a fixed
// step; drivers may round or truncate, so one step either way is allowed.
bool withinHalfRounding(float stored, float read) {
  const float tolerance = std::fmax(std::fabs(stored) * (1.0f / 1024.0f), 1.0f / (1 << 24));
  return std::fabs(stored - read) <= tolerance;
}

std::unique_ptr<OctreeScene> patternedScene() {
  auto scene = std::make_unique<OctreeScene>();
  scene->allocateArrays();
  for (size_t i = 0; i < scene->node_pool.size(); ++i) scene->node_pool[i] = uint32_t(i) * 2654435761u;
  for (size_t i = 0; i < scene->triangle_ids.size(); ++i) scene->triangle_ids[i] = uint32_t(i) ^ 0xA5A5A5A5u;
  for (size_t i = 0; i < scene->triangle_positions.size(); ++i) {
    const float f = float(i % 1024) + 0.37f * float(i % 7);
    scene->triangle_positions[i] = {f, 1024.0f - f, float(i % 97) * 0.01f};
    scene->triangle_normals[i] = {-f * 3.0f, 0.001f * float(i % 13), 1.0f / float(1 + i % 5),
                                  float(i % 32) / 32.0f};
  }
  return scene;
}

GLint levelParameter(GLenum target, GLenum name) {
  GLint value = 0;
  glGetTexLevelParameteriv(target, 0, name, &value);
  return value;
}

void expectNearestClampToBorder(GLenum target) {
  const GLenum names[] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S,
                          GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
  const GLint expected[] = {GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_BORDER, GL_CLAMP_TO_BORDER,
                            GL_CLAMP_TO_BORDER};
  const int count = target == GL_TEXTURE_3D ? 5 : target == GL_TEXTURE_2D ? 4 : 3;
  for (int i = 0; i < count; ++i) {
    GLint value = 0;
    glGetTexParameteriv(target, names[i], &value);
    EXPECT_EQ(value, expected[i]) << "parameter " << names[i];
  }
}

TEST(SceneTextures, UploadKeepsIntegersExactAndFloatsToHalfPrecision) {
  REQUIRE_GL_CONTEXT();
  auto scene = patternedScene();
  GLuint textures[4] = {0, 0, 0, 0};
  createSceneTextures(*scene, textures);
  for (GLuint name : textures) EXPECT_NE(name, 0u);

  GLint bound = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, 0) << "the upload leaves no texture bound";

  glBindTexture(GL_TEXTURE_3D, textures[0]);
  EXPECT_EQ(levelParameter(GL_TEXTURE_3D, GL_TEXTURE_INTERNAL_FORMAT), GL_R32UI);
  EXPECT_EQ(levelParameter(GL_TEXTURE_3D, GL_TEXTURE_DEPTH), node_pool_dim);
  expectNearestClampToBorder(GL_TEXTURE_3D);
  std::vector<uint32_t> nodes(kNodePoolTexels);
  glGetTexImage(GL_TEXTURE_3D, 0, GL_RED_INTEGER, GL_UNSIGNED_INT, nodes.data());
  EXPECT_TRUE(nodes == scene->node_pool);

  glBindTexture(GL_TEXTURE_2D, textures[1]);
  EXPECT_EQ(levelParameter(GL_TEXTURE_2D, GL_TEXTURE_INTERNAL_FORMAT), GL_R32UI);
  expectNearestClampToBorder(GL_TEXTURE_2D);
  std::vector<uint32_t> ids(kTriangleIdTexels);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RED_INTEGER, GL_UNSIGNED_INT, ids.data());
  EXPECT_TRUE(ids == scene->triangle_ids);

  glBindTexture(GL_TEXTURE_2D, textures[2]);
  EXPECT_EQ(levelParameter(GL_TEXTURE_2D, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB16F);
  expectNearestClampToBorder(GL_TEXTURE_2D);
  std::vector<Vector3> positions(kTriangleTexels);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, positions.data());
  for (size_t i = 0; i < positions.size(); ++i) {
    const Vector3& a = scene->triangle_positions[i];
    const Vector3& b = positions[i];
    ASSERT_TRUE(withinHalfRounding(a.x, b.x) && withinHalfRounding(a.y, b.y) &&
                withinHalfRounding(a.z, b.z))
        << "position texel " << i;
  }

  glBindTexture(GL_TEXTURE_2D, textures[3]);
  EXPECT_EQ(levelParameter(GL_TEXTURE_2D, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA16F);
  std::vector<Vector4> normals(kTriangleTexels);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, normals.data());
  for (size_t i = 0; i < normals.size(); ++i) {
    const Vector4& a = scene->triangle_normals[i];
    const Vector4& b = normals[i];
    ASSERT_TRUE(withinHalfRounding(a.x, b.x) && withinHalfRounding(a.y, b.y) &&
                withinHalfRounding(a.z, b.z))
        << "normal texel " << i;
    ASSERT_EQ(a.w, b.w) << "material coordinates are exact in half precision";
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindTexture(GL_TEXTURE_3D, 0);
}

TEST(SceneTextures, BrdfTableHoldsTheMaterialBytes) {
  REQUIRE_GL_CONTEXT();
  OctreeScene scene;
  for (int i = 0; i < brdf_table_size; ++i)
    scene.materials.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i), uint8_t(i < 15 ? 250 : 0)});
  scene.createBrdfTexture();
  ASSERT_NE(scene.brdf_texture, 0u);
  glBindTexture(GL_TEXTURE_1D, scene.brdf_texture);
  EXPECT_EQ(levelParameter(GL_TEXTURE_1D, GL_TEXTURE_WIDTH), brdf_table_size);
  // Drivers may report the unsized format they were given or the sized one
  // they chose for it.
  const GLint format = levelParameter(GL_TEXTURE_1D, GL_TEXTURE_INTERNAL_FORMAT);
  EXPECT_TRUE(format == GL_RGBA || format == GL_RGBA8) << format;
  expectNearestClampToBorder(GL_TEXTURE_1D);
  std::vector<Material> table(brdf_table_size);
  glGetTexImage(GL_TEXTURE_1D, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
  for (int i = 0; i < brdf_table_size; ++i) {
    EXPECT_EQ(table[i].r, scene.materials[i].r);
    EXPECT_EQ(table[i].g, scene.materials[i].g);
    EXPECT_EQ(table[i].b, scene.materials[i].b);
    EXPECT_EQ(table[i].a, scene.materials[i].a);
  }
  glBindTexture(GL_TEXTURE_1D, 0);
}

}  // namespace
