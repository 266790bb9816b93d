// The built-in ray-tracing shaders against the reference copy of the march
// they replaced. The same scene, camera and random state must give the same
// bits in every output texel: the three hit buffers of the primary pass,
// and the sample and the random state of several chained path samples of
// both programs. The scenes: the room, the hand-built room of the shader
// tests with corrupt words, and a soup of stray, flat and degenerate
// triangles (whose zero normals send NaN down the paths).
#include <cstring>

#include <gtest/gtest.h>

#include "ReferenceShaders.h"
#include "geometry/CameraOrbit.h"
#include "render/Sampling.h"
#include "scene/SceneGenerators.h"
#include "shaders/ShaderHarness.h"
#include "truth/SceneDirectory.h"

using namespace shadertest;

namespace {

constexpr int kWidth = 48, kHeight = 32;
constexpr int kPathSamples = 3;

// Eye and target in world units, where the octree cube is [-30, 30]^3.
struct Shot {
  Vec3 eye, center;
};

Vec3 toWorld(Vec3 octree) { return octree * 60.0 - Vec3{30, 30, 30}; }

struct ShotUniforms {
  Vec3 A, B, C, eye;
};

ShotUniforms uniformsOf(const Shot& shot) {
  CameraOrbit camera;
  camera.setPerspective(60.0f, float(kWidth) / kHeight, 1.0f, 1000.0f);
  auto v = [](Vec3 p) { return Vector3{float(p.x), float(p.y), float(p.z)}; };
  camera.lookAt(v(shot.eye), v(shot.center), {0.0f, 1.0f, 0.0f});
  Vector3 A, B, C;
  camera.imagePlane(A, B, C, 1.0f);
  auto d = [](Vector3 p) { return Vec3{p.x, p.y, p.z}; };
  return {d(A), d(B), d(C), d(camera.eye)};
}

// Counts the texels whose bits differ and names the first.
testing::AssertionResult sameBits(const std::vector<Vec4>& reference,
                                  const std::vector<Vec4>& built) {
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    if (std::memcmp(&reference[i], &built[i], sizeof(Vec4)) == 0) continue;
    if (differing++ == 0) first = i;
  }
  if (differing == 0) return testing::AssertionSuccess();
  const Vec4 a = reference[first], b = built[first];
  return testing::AssertionFailure()
         << differing << " texels differ; first at column " << first % kWidth << ", row "
         << first / kWidth << ": reference (" << a.x << ", " << a.y << ", " << a.z << ", " << a.w
         << "), built-in (" << b.x << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

class MarchEquality : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!GlContext::get()) return;
    const std::string vertex = fullScreenVertexShader();
    primary_[0] = buildTestProgram(vertex, referencePrimaryRayFragmentSource());
    primary_[1] = buildTestProgram(vertex, primaryRayFragmentSource());
    for (int v = 0; v < 2; ++v) {
      const PathVariant variant = v ? PathVariant::OneBounce : PathVariant::TwoBounce;
      path_[v][0] = buildTestProgram(vertex, referencePathTraceFragmentSource(variant));
      path_[v][1] = buildTestProgram(vertex, pathTraceFragmentSource(variant));
    }
    vao_ = fullScreenTriangle();
  }

  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    for (GLuint program : {primary_[0], primary_[1], path_[0][0], path_[0][1], path_[1][0],
                           path_[1][1]}) {
      ASSERT_NE(program, 0u);
    }
  }

  // Both primary shaders, compared in float targets, so that no difference
  // hides in the rounding to the half floats of the demo's hit buffers.
  // Then the path samples of both programs from the demo's half-float hit
  // buffers, each sample starting from the random state the last one left.
  void expectSameOutputs(OctreeScene& scene, const Shot& shot) {
    SceneTextures textures = uploadScene(scene);
    const ShotUniforms view = uniformsOf(shot);
    for (int which = 0; which < 2; ++which) {
      Targets targets(kWidth, kHeight, 3, GL_RGBA32F);
      drawPrimary(primary_[which], textures, view, targets);
      for (int output = 0; output < 3; ++output) primaryOutputs_[which][output] = targets.read(output);
    }
    for (int output = 0; output < 3; ++output) {
      EXPECT_TRUE(sameBits(primaryOutputs_[0][output], primaryOutputs_[1][output]))
          << "primary output" << output;
    }

    Targets hits(kWidth, kHeight, 3, GL_RGBA16F);
    drawPrimary(primary_[1], textures, view, hits);
    for (int v = 0; v < 2; ++v) {
      const PathVariant variant = v ? PathVariant::OneBounce : PathVariant::TwoBounce;
      const std::vector<float> seeds = makeSeedBuffer(kWidth, kHeight, variant);
      GLuint random = texture2D(GL_RGBA32F, kWidth, kHeight, GL_RGBA, GL_FLOAT, seeds.data());
      Targets samples[2][2] = {{{kWidth, kHeight, 2, GL_RGBA32F}, {kWidth, kHeight, 2, GL_RGBA32F}},
                               {{kWidth, kHeight, 2, GL_RGBA32F}, {kWidth, kHeight, 2, GL_RGBA32F}}};
      for (int sample = 0; sample < kPathSamples; ++sample) {
        Targets* out[2] = {&samples[0][sample % 2], &samples[1][sample % 2]};
        for (int which = 0; which < 2; ++which) {
          drawPath(path_[v][which], textures, view, hits, random, *out[which]);
        }
        for (int output = 0; output < 2; ++output) {
          EXPECT_TRUE(sameBits(out[0]->read(output), out[1]->read(output)))
              << (v ? "xmastrace_fast" : "xmastrace") << " sample " << sample << " output"
              << output;
        }
        random = out[1]->texture(1);
      }
      glDeleteTextures(1, &random);
    }
    deleteScene(textures);
  }

  void drawPrimary(GLuint program, const SceneTextures& textures, const ShotUniforms& view,
                   Targets& targets) {
    ASSERT_TRUE(targets.complete());
    glUseProgram(program);
    bindSceneTextures(program, textures);
    bindTexture(4, GL_TEXTURE_1D, textures.brdf);
    setInt(program, "brdf_texture", 4);
    setViewUniforms(program, view);
    setVec3(program, "BB_min", {-30, -30, -30});
    setVec3(program, "BB_max", {30, 30, 30});
    setVec3(program, "BB_offset", {30, 30, 30});
    setFloat(program, "BB_maxdim", 60.0f);
    setVec2(program, "jitter", 0.3f, -0.2f);
    glActiveTexture(GL_TEXTURE0);
    targets.draw(vao_);
    glUseProgram(0);
  }

  void drawPath(GLuint program, const SceneTextures& textures, const ShotUniforms& view,
                const Targets& hits, GLuint random, Targets& targets) {
    ASSERT_TRUE(targets.complete());
    glUseProgram(program);
    bindSceneTextures(program, textures);
    const struct {
      const char* name;
      GLenum target;
      GLuint texture;
    } inputs[] = {{"hit_position_texture", GL_TEXTURE_2D, hits.texture(1)},
                  {"hit_normal_texture", GL_TEXTURE_2D, hits.texture(2)},
                  {"hit_color_texture", GL_TEXTURE_2D, hits.texture(0)},
                  {"random_texture", GL_TEXTURE_2D, random},
                  {"brdf_texture", GL_TEXTURE_1D, textures.brdf}};
    for (int i = 0; i < 5; ++i) {
      bindTexture(4 + i, inputs[i].target, inputs[i].texture);
      setInt(program, inputs[i].name, 4 + i);
    }
    setViewUniforms(program, view);
    glActiveTexture(GL_TEXTURE0);
    targets.draw(vao_);
    glUseProgram(0);
  }

  void setViewUniforms(GLuint program, const ShotUniforms& view) {
    setVec2(program, "screen_dim", kWidth, kHeight);
    setVec3(program, "A", view.A);
    setVec3(program, "B", view.B);
    setVec3(program, "C", view.C);
    setVec3(program, "camera_position", view.eye);
    setVec3(program, "light_pos", {8, 5, 10});
  }

  static GLuint primary_[2];   // reference, built-in
  static GLuint path_[2][2];   // [two bounces, one bounce][reference, built-in]
  static GLuint vao_;
  std::vector<Vec4> primaryOutputs_[2][3];
};

GLuint MarchEquality::primary_[2] = {};
GLuint MarchEquality::path_[2][2] = {};
GLuint MarchEquality::vao_ = 0;

TEST_F(MarchEquality, TheRoomFromTheStartAndFromInsideTheTree) {
  OctreeScene room;
  {
    truth::WorkingDirectory inRunDirectory(XMASTRACE_RUN_DIR);
    ASSERT_EQ(room.assembleScene(roomObjects(), false), 0);
  }
  expectSameOutputs(room, {{-7, -20, 13}, {-4, -23, 0}});
  expectSameOutputs(room, {{-0.1, -20.6, -5.45}, {-2.2, -20.3, -6.5}});
}

// Words that point back up the tree or out of the pool, a leaf run past the
// texture's end, a reference to no triangle and a ceiling whose normals are
// zero, each in a cell of its own, seen from above and from inside the box.
// The last cell holds a brick at the pool's far corner, all of whose children
// but one lie outside it, and a leaf whose triangle's first corner lies past
// the end of its row: what is outside must read as zeros, not as the texels
// at the edge or across it (a leaf word, a floor corner).
TEST_F(MarchEquality, AHandBuiltRoomWithCorruptWords) {
  OctreeScene scene = testRoom();
  setNode(scene, 2, 1, 0, internalNodeWord(2, 0, 0));
  setNode(scene, 3, 0, 0, internalNodeWord(511, 1023, 1023));
  setNode(scene, 3, 0, 1, leafNodeWord(1020, 1022, 300));
  setNode(scene, 2, 1, 1, leafNodeWord(5, 1, 2));
  scene.triangle_ids[1 * triangle_id_tex_size + 5] = 0xFFFF03FFu;
  setTriangleId(scene, 6, 1, 9);
  for (uint32_t texel = 9; texel < 15; ++texel) scene.triangle_normals[texel] = {0, 0, 0, 2 / 32.0f};
  const int last = node_pool_dim - 1;
  setNode(scene, 3, 1, 0, internalNodeWord(last, last, last));
  setNode(scene, last, last, last, leafNodeWord(7, 1, 1));
  scene.triangle_ids[1 * triangle_id_tex_size + 7] = triangle_tex_size + 3;  // column 1027, row 0
  setTriangle(scene, triangle_tex_size + 3, {{0, 0, 0}, {1, 1, 0}, {1, 1, 0.5}}, {1, -1, 0},
              kFloorMaterial);
  expectSameOutputs(scene, {toWorld({0.5, 1.6, 0.5}), toWorld({0.45, 0, 0.55})});
  expectSameOutputs(scene, {toWorld({0.9, 0.6, 0.1}), toWorld({0.1, 0.3, 0.9})});
}

// Deep leaves with many triangles, triangles on cell faces, outside the
// cube and of zero area, in every kind of material.
TEST_F(MarchEquality, ATriangleSoupInEveryMaterial) {
  OctreeScene scene;
  setTriangles(scene, randomTriangles(12000, 17, 160.0f));
  const Material kinds[] = {{200, 180, 160, 0},  {90, 200, 90, 250}, {230, 230, 230, 255},
                            {250, 120, 40, 160}, {80, 80, 220, 40}};
  scene.materials.assign(brdf_table_size, Material{});
  for (int m = 0; m < 5; ++m) scene.materials[m] = kinds[m];
  for (uint32_t t = 0; t < scene.triangle_cursor; t += 3) {
    const Vector3* v = &scene.triangle_positions[t];
    const Vector3 e1{v[1].x - v[0].x, v[1].y - v[0].y, v[1].z - v[0].z};
    const Vector3 e2{v[2].x - v[0].x, v[2].y - v[0].y, v[2].z - v[0].z};
    // Scaled into the range of the half floats they are stored in.
    const float s = 1.0f / 1024.0f;
    const Vector3 n{(e1.y * e2.z - e1.z * e2.y) * s, (e1.z * e2.x - e1.x * e2.z) * s,
                    (e1.x * e2.y - e1.y * e2.x) * s};
    for (uint32_t i = 0; i < 3; ++i) {
      scene.triangle_normals[t + i] = {n.x, n.y, n.z, float(t / 3 % 5) / brdf_table_size};
    }
  }
  ASSERT_EQ(scene.buildOctree(), 0);
  expectSameOutputs(scene, {toWorld({0.5, 0.45, 0.5}), toWorld({0.1, 0.2, 0.9})});
  expectSameOutputs(scene, {toWorld({1.4, 1.2, -0.3}), toWorld({0.5, 0.5, 0.5})});
}

}  // namespace
