// The primary-ray shader on a hand-made room, checked pixel by pixel
// against plane intersections computed here.
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "shaders/ShaderHarness.h"

using namespace shadertest;

namespace {

constexpr int kSize = 32;
constexpr float kJitterX = 0.3f, kJitterY = -0.2f;

// The scene box of the demo: world = octree * 60 - 30.
Vec3 toWorld(Vec3 octree) { return octree * 60.0 - Vec3{30, 30, 30}; }

// A camera above the box looking straight down with a 90 degree field of
// view, wide enough that the outer pixels miss the box entirely.
struct DownCamera {
  Vec3 eye = toWorld({0.5, 1.6, 0.5});
  Vec3 A{2, 0, 0};
  Vec3 B{0, 0, -2};
  Vec3 C = eye + Vec3{-1, -1, 1};

  Vec3 direction(int column, int row) const {
    double xf = (column + 0.5 + kJitterX) / kSize;
    double yf = (row + 0.5 + kJitterY) / kSize;
    return normalized(C + A * xf + B * yf - eye);
  }
};

struct ExpectedHit {
  Vec3 position;
  Vec3 normal;
  int material;
};

bool near(double value, double edge) { return std::fabs(value - edge) < 0.01; }

// Where a ray from the octree-space eye meets the room; ambiguous is set
// when it passes within a hair of a quad's edge.
std::optional<ExpectedHit> expectedHit(Vec3 dir, bool& ambiguous) {
  const Vec3 eye{0.5, 1.6, 0.5};
  ambiguous = false;
  Vec3 ceiling = eye + dir * ((0.75 - eye.y) / dir.y);
  ambiguous |= near(ceiling.x, 0.5) || near(ceiling.z, 0.5) || near(ceiling.x, 1) ||
               near(ceiling.z, 1);
  if (ceiling.x > 0.5 && ceiling.x < 1 && ceiling.z > 0.5 && ceiling.z < 1) {
    return ExpectedHit{ceiling, {0, -1, 0}, kCeilingMaterial};
  }
  Vec3 floor = eye + dir * ((0.25 - eye.y) / dir.y);
  ambiguous |= near(floor.x, 0) || near(floor.x, 0.5) || near(floor.z, 0) || near(floor.z, 1);
  if (floor.x > 0 && floor.x < 0.5 && floor.z > 0 && floor.z < 1) {
    return ExpectedHit{floor, {0, 1, 0}, kFloorMaterial};
  }
  return std::nullopt;
}

class PrimaryRayShader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!GlContext::get()) return;
    program_ = buildTestProgram(fullScreenVertexShader(), primaryRayFragmentSource());
    vao_ = fullScreenTriangle();
  }

  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    ASSERT_NE(program_, 0u);
  }

  // Renders the primary pass of `scene` seen by the down-looking camera.
  void render(OctreeScene& scene) {
    SceneTextures textures = uploadScene(scene);
    Targets targets(kSize, kSize, 3, GL_RGBA16F);
    ASSERT_TRUE(targets.complete());
    DownCamera camera;
    glUseProgram(program_);
    bindSceneTextures(program_, textures);
    bindTexture(4, GL_TEXTURE_1D, textures.brdf);
    glActiveTexture(GL_TEXTURE0);
    setInt(program_, "brdf_texture", 4);
    setVec2(program_, "screen_dim", kSize, kSize);
    setVec3(program_, "A", camera.A);
    setVec3(program_, "B", camera.B);
    setVec3(program_, "C", camera.C);
    setVec3(program_, "camera_position", camera.eye);
    setVec3(program_, "BB_min", {-30, -30, -30});
    setVec3(program_, "BB_max", {30, 30, 30});
    setVec3(program_, "BB_offset", {30, 30, 30});
    setFloat(program_, "BB_maxdim", 60.0f);
    setVec3(program_, "light_pos", {0, 25, 0});
    setVec2(program_, "jitter", kJitterX, kJitterY);
    targets.draw(vao_);
    glUseProgram(0);
    colour_ = targets.read(0);
    position_ = targets.read(1);
    normal_ = targets.read(2);
    deleteScene(textures);
  }

  void expectNoHit(int index) {
    const Vec4 c = colour_[index], p = position_[index], n = normal_[index];
    EXPECT_TRUE(c.x == 0 && c.y == 0 && c.z == 0 && c.w == 0) << "colour at " << index;
    EXPECT_TRUE(p.x == 0 && p.y == 0 && p.z == 0 && p.w == 0) << "position at " << index;
    EXPECT_TRUE(n.x == 0 && n.y == 0 && n.z == 0 && n.w == 1) << "normal at " << index;
  }

  static GLuint program_;
  static GLuint vao_;
  std::vector<Vec4> colour_, position_, normal_;
};

GLuint PrimaryRayShader::program_ = 0;
GLuint PrimaryRayShader::vao_ = 0;

bool missesBox(Vec3 dir) {
  const Vec3 eye{0.5, 1.6, 0.5};
  Vec3 top = eye + dir * ((1.0 - eye.y) / dir.y);
  return top.x < -0.01 || top.x > 1.01 || top.z < -0.01 || top.z > 1.01;
}

TEST_F(PrimaryRayShader, HitsCarryMaterialPositionAndNormalAndMissesAreEmpty) {
  OctreeScene room = testRoom();
  render(room);
  DownCamera camera;
  int floors = 0, ceilings = 0, misses = 0, outside = 0;
  for (int row = 0; row < kSize; ++row) {
    for (int column = 0; column < kSize; ++column) {
      const int index = row * kSize + column;
      Vec3 dir = camera.direction(column, row);
      bool ambiguous = false;
      std::optional<ExpectedHit> hit = expectedHit(dir, ambiguous);
      if (ambiguous) continue;
      SCOPED_TRACE(::testing::Message() << "pixel " << column << ", " << row);
      if (!hit) {
        expectNoHit(index);
        ++(missesBox(dir) ? outside : misses);
        continue;
      }
      ++(hit->material == kFloorMaterial ? floors : ceilings);
      const uint8_t* rgb = hit->material == kFloorMaterial ? kFloorColour : nullptr;
      const float grey = kCeilingGrey / 255.0f;
      const Vec4 c = colour_[index];
      EXPECT_NEAR(c.x, rgb ? rgb[0] / 255.0f : grey, 2e-3);
      EXPECT_NEAR(c.y, rgb ? rgb[1] / 255.0f : grey, 2e-3);
      EXPECT_NEAR(c.z, rgb ? rgb[2] / 255.0f : grey, 2e-3);
      EXPECT_NEAR(c.w, rgb ? 0.0f : kCeilingCode / 255.0f, 2e-3);
      const Vec4 p = position_[index];
      EXPECT_NEAR(p.x, hit->position.x, 2e-3);
      EXPECT_NEAR(p.y, hit->position.y, 2e-3);
      EXPECT_NEAR(p.z, hit->position.z, 2e-3);
      EXPECT_EQ(p.w, 1.0f);
      const Vec4 n = normal_[index];
      EXPECT_NEAR(n.x, hit->normal.x, 1e-3);
      EXPECT_NEAR(n.y, hit->normal.y, 1e-3);
      EXPECT_NEAR(n.z, hit->normal.z, 1e-3);
      EXPECT_EQ(n.w, 1.0f);
    }
  }
  // Every kind of pixel must actually be in the picture.
  EXPECT_GT(floors, 20);
  EXPECT_GT(ceilings, 20);
  EXPECT_GT(misses, 20);
  EXPECT_GT(outside, 20);
}

// Node words that point back up the tree or out of the pool must still end
// every march, with no hit, instead of hanging the GPU.
TEST_F(PrimaryRayShader, CorruptNodeWordsEndTheMarchWithoutAHit) {
  OctreeScene selfReferencing = testRoom();
  setNode(selfReferencing, 0, 0, 0, internalNodeWord(0, 0, 0));
  render(selfReferencing);
  for (int i = 0; i < kSize * kSize; ++i) expectNoHit(i);

  OctreeScene outOfPool = testRoom();
  setNode(outOfPool, 0, 0, 0, internalNodeWord(511, 1023, 1023));
  render(outOfPool);
  for (int i = 0; i < kSize * kSize; ++i) expectNoHit(i);
}

// The march must report the nearest surface along the ray, whichever leaf
// lists it: a leaf that lists a triangle lying beyond its own exit must let
// the march go on into the next leaf, a triangle behind the segment start
// must be ignored, and of two triangles at the same distance the one listed
// first must win.
TEST_F(PrimaryRayShader, NearestSurfaceWinsWhateverTheLeavesList) {
  constexpr int kShelf = 3, kTwin = 4;
  OctreeScene scene = testRoom();
  const Vec3 up{0, 1, 0};
  setTriangle(scene, 15, {{0, 0.4, 0}, {0.5, 0.4, 0}, {0, 0.4, 0.5}}, up, kShelf);
  setTriangle(scene, 18, {{0, 0.4, 0}, {0.5, 0.4, 0}, {0, 0.4, 0.5}}, up, kTwin);
  // Between the box and the camera, so behind every segment start.
  setTriangle(scene, 30, {{-1, 1.3, -1}, {3, 1.3, -1}, {-1, 1.3, 3}}, up, kTwin);
  scene.materials[kShelf] = {10, 200, 30, 0};
  scene.materials[kTwin] = {250, 250, 250, 0};
  // The leaf above the shelf lists the triangle behind the start and the
  // floor below the shelf.
  setNode(scene, 2, 1, 0, leafNodeWord(10, 1, 2));
  setTriangleId(scene, 10, 1, 30);
  setTriangleId(scene, 11, 1, 0);
  setNode(scene, 2, 0, 0, leafNodeWord(20, 1, 4));
  setTriangleId(scene, 20, 1, 0);
  setTriangleId(scene, 21, 1, 1023);
  setTriangleId(scene, 22, 1, 15);
  setTriangleId(scene, 23, 1, 18);
  render(scene);

  DownCamera camera;
  const Vec3 eye{0.5, 1.6, 0.5};
  int shelf = 0;
  for (int row = 0; row < kSize; ++row) {
    for (int column = 0; column < kSize; ++column) {
      const Vec3 dir = camera.direction(column, row);
      const Vec3 at = eye + dir * ((0.4 - eye.y) / dir.y);
      if (at.x < 0.01 || at.z < 0.01 || at.x + at.z > 0.49) continue;
      ++shelf;
      SCOPED_TRACE(::testing::Message() << "pixel " << column << ", " << row);
      const int index = row * kSize + column;
      EXPECT_NEAR(position_[index].y, 0.4, 2e-3);
      EXPECT_NEAR(colour_[index].x, 10 / 255.0, 2e-3);
      EXPECT_NEAR(colour_[index].y, 200 / 255.0, 2e-3);
    }
  }
  EXPECT_GT(shelf, 20);
}

// A smooth surface is shaded with the blend of its corner normals by the
// hit's barycentric weights: the weight of corner 1 grows along x and that
// of corner 2 along z, so swapped weights show wherever the two differ.
TEST_F(PrimaryRayShader, HitNormalBlendsTheCornerNormalsByBarycentricWeights) {
  OctreeScene scene = testRoom();
  const Vec3 cornerNormals[3] = {{0, 1, 0}, {1, 1, 0}, {0, 1, -1}};
  for (int i = 0; i < 3; ++i) {
    Vector4& n = scene.triangle_normals[i];  // the floor triangle at texel 0
    n = {float(cornerNormals[i].x), float(cornerNormals[i].y), float(cornerNormals[i].z), n.w};
  }
  render(scene);

  DownCamera camera;
  const Vec3 eye{0.5, 1.6, 0.5};
  int unequalWeights = 0;
  for (int row = 0; row < kSize; ++row) {
    for (int column = 0; column < kSize; ++column) {
      const Vec3 dir = camera.direction(column, row);
      const Vec3 at = eye + dir * ((0.25 - eye.y) / dir.y);
      if (at.x < 0.01 || at.z < 0.01 || at.x + at.z > 0.49) continue;
      const double u = at.x / 0.5, v = at.z / 0.5;
      const Vec3 n0 = cornerNormals[0];
      const Vec3 expected = normalized(n0 + (cornerNormals[1] - n0) * u + (cornerNormals[2] - n0) * v);
      if (std::fabs(u - v) > 0.1) ++unequalWeights;
      SCOPED_TRACE(::testing::Message() << "pixel " << column << ", " << row);
      const Vec4 n = normal_[row * kSize + column];
      EXPECT_NEAR(n.x, expected.x, 3e-3);
      EXPECT_NEAR(n.y, expected.y, 3e-3);
      EXPECT_NEAR(n.z, expected.z, 3e-3);
    }
  }
  EXPECT_GT(unequalWeights, 8);
}

// A leaf that lists more triangles than there are texels after it reads
// past the end of the triangle-id texture; those reads must find nothing.
TEST_F(PrimaryRayShader, LeafRunsPastTheTextureEndFindNothingThere) {
  OctreeScene scene = testRoom();
  setNode(scene, 2, 0, 0, leafNodeWord(1000, 1023, 511));
  render(scene);
  DownCamera camera;
  for (int row = 0; row < kSize; ++row) {
    for (int column = 0; column < kSize; ++column) {
      bool ambiguous = false;
      std::optional<ExpectedHit> hit = expectedHit(camera.direction(column, row), ambiguous);
      if (ambiguous || !hit || hit->position.z > 0.49) continue;
      // The first leaf is now all zero references: triangle 0 only.
      const Vec3 at = hit->position;
      if (at.x + at.z > 0.49) {
        if (at.x + at.z > 0.51) expectNoHit(row * kSize + column);
        continue;
      }
      EXPECT_EQ(position_[row * kSize + column].w, 1.0f);
    }
  }
}

}  // namespace
