// The path-tracing shader, both variants, on hit buffers filled by hand in
// front of the test room. Mirror and emitter paths are deterministic and
// checked against the composition worked out here; random paths are checked
// through the generator steps they consume.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shaders/ShaderHarness.h"

using namespace shadertest;

namespace {

// Lane constants of the generator, stepped here in exact modular arithmetic.
const double kMultiplier[4] = {3423, 2646, 1707, 1999};
const double kModulus[4] = {4194287, 4194277, 4194191, 4194167};

Vec4 advanced(Vec4 state, int steps) {
  float* lanes[4] = {&state.x, &state.y, &state.z, &state.w};
  for (int s = 0; s < steps; ++s) {
    for (int i = 0; i < 4; ++i) {
      double next = std::fmod(kMultiplier[i] * *lanes[i], kModulus[i]);
      *lanes[i] = static_cast<float>(next == 0.0 ? kModulus[i] / 2 : next);
    }
  }
  return state;
}

void expectState(const Vec4& actual, const Vec4& expected) {
  EXPECT_FLOAT_EQ(actual.x, expected.x);
  EXPECT_FLOAT_EQ(actual.y, expected.y);
  EXPECT_FLOAT_EQ(actual.z, expected.z);
  EXPECT_FLOAT_EQ(actual.w, expected.w);
}

void expectColour(const Vec4& actual, Vec3 expected, double tolerance = 2e-4) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
  EXPECT_EQ(actual.w, 0.0f);
}

// One primary hit as the primary pass would have stored it.
struct PixelInput {
  Vec4 position;  // w = 1 on a surface
  Vec4 normal;
  Vec4 colour;  // a = material code
  Vec4 state;
};

// Every pixel looks along the same direction: A = B = 0.
const Vec3 kEyeDirection = normalized({0.3, -1, 0.2});

Vec3 reflected(Vec3 i, Vec3 n) { return i - n * (2 * dot(n, i)); }

Vec3 skyLight(Vec3 dir) {
  double k = std::max(dot(normalized({-0.25, 1, -0.2}), dir), 0.0);
  return {0.85 * k, 0.85 * k, 1.25 * k};
}

const Vec4 kSurfaceColour{0.5f, 0.4f, 0.3f, 0.0f};

Vec4 withCode(Vec4 colour, float code) { return {colour.x, colour.y, colour.z, code}; }

// The pixels of the surface test, left to right.
enum Pixel {
  kMirrorToSky,
  kEmitterSeen,
  kMirrorToEmitter,
  kMirrorGrazingEmitter,
  kMirrorToFloor,
  kDiffuse,
  kCodeBetweenKinds,
  kGlossy,
  kBackground,
  kPixelCount
};

std::vector<PixelInput> surfacePixels() {
  const Vec4 up{0, 1, 0, 1}, wall{1, 0, 0, 1};
  const Vec4 high{0.2f, 0.9f, 0.2f, 1};
  std::vector<PixelInput> pixels(kPixelCount);
  pixels[kMirrorToSky] = {high, up, withCode(kSurfaceColour, 1.0f), {11, 22, 33, 44}};
  pixels[kEmitterSeen] = {{0.2f, 0.9f, 0.4f, 1}, up, {1, 1, 1, 0.75f}, {55, 66, 77, 88}};
  // Straight up into the ceiling from below.
  pixels[kMirrorToEmitter] = {{0.6f, 0.5f, 0.6f, 1}, up, withCode(kSurfaceColour, 1.0f),
                              {99, 111, 122, 133}};
  // A shallow reflection into the ceiling, whose cosine falls below 0.5.
  const Vec3 n = normalized(normalized({1, 0.35, 0.3}) - kEyeDirection);
  pixels[kMirrorGrazingEmitter] = {{0.52f, 0.68f, 0.55f, 1},
                                   {float(n.x), float(n.y), float(n.z), 1},
                                   withCode(kSurfaceColour, 1.0f),
                                   {3, 5, 7, 11}};
  // Down onto the floor, on the triangle whose texels straddle a row end.
  pixels[kMirrorToFloor] = {{0.3f, 0.4f, 0.3f, 1}, wall, withCode(kSurfaceColour, 1.0f),
                            {1234567, 2345678, 3456789, 4000000}};
  // Nothing above: the diffuse bounce always reaches the sky.
  pixels[kDiffuse] = {high, up, {0.6f, 0.6f, 0.6f, 0.0f}, {24680, 13579, 112233, 445566}};
  pixels[kCodeBetweenKinds] = {high, up, {0.6f, 0.6f, 0.6f, 0.3f}, pixels[kDiffuse].state};
  pixels[kGlossy] = {high, up, withCode(kSurfaceColour, 250 / 255.0f), {4321, 5432, 6543, 7654}};
  pixels[kBackground] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}};
  return pixels;
}

class PathTraceShader : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    if (!GlContext::get()) return;
    twoBounce_ = buildTestProgram(fullScreenVertexShader(),
                                  pathTraceFragmentSource(PathVariant::TwoBounce));
    oneBounce_ = buildTestProgram(fullScreenVertexShader(),
                                  pathTraceFragmentSource(PathVariant::OneBounce));
    vao_ = fullScreenTriangle();
    OctreeScene room = testRoom();
    scene_ = uploadScene(room);
  }

  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    ASSERT_NE(program(), 0u);
  }

  bool oneBounce() const { return GetParam(); }
  GLuint program() const { return oneBounce() ? oneBounce_ : twoBounce_; }

  // Runs the pass over a width x height target whose pixels (row-major from
  // the bottom) take their hit buffers and states from `pixels`.
  void render(const std::vector<PixelInput>& pixels, int width, int height) {
    std::vector<float> position, normal, colour, state;
    for (const PixelInput& p : pixels) {
      for (const Vec4* v : {&p.position, &p.normal, &p.colour, &p.state}) {
        std::vector<float>& out = v == &p.position ? position
                                  : v == &p.normal ? normal
                                  : v == &p.colour ? colour
                                                   : state;
        out.insert(out.end(), {v->x, v->y, v->z, v->w});
      }
    }
    GLuint hitPosition = texture2D(GL_RGBA16F, width, height, GL_RGBA, GL_FLOAT, position.data());
    GLuint hitNormal = texture2D(GL_RGBA16F, width, height, GL_RGBA, GL_FLOAT, normal.data());
    GLuint hitColour = texture2D(GL_RGBA16F, width, height, GL_RGBA, GL_FLOAT, colour.data());
    GLuint random = texture2D(GL_RGBA32F, width, height, GL_RGBA, GL_FLOAT, state.data());
    Targets targets(width, height, 2, GL_RGBA32F);
    ASSERT_TRUE(targets.complete());

    GLuint p = program();
    glUseProgram(p);
    bindSceneTextures(p, scene_);
    bindTexture(4, GL_TEXTURE_2D, hitPosition);
    bindTexture(5, GL_TEXTURE_2D, hitNormal);
    bindTexture(6, GL_TEXTURE_2D, hitColour);
    bindTexture(7, GL_TEXTURE_2D, random);
    bindTexture(8, GL_TEXTURE_1D, scene_.brdf);
    glActiveTexture(GL_TEXTURE0);
    setInt(p, "hit_position_texture", 4);
    setInt(p, "hit_normal_texture", 5);
    setInt(p, "hit_color_texture", 6);
    setInt(p, "random_texture", 7);
    setInt(p, "brdf_texture", 8);
    setVec2(p, "screen_dim", static_cast<float>(width), static_cast<float>(height));
    setVec3(p, "A", {0, 0, 0});
    setVec3(p, "B", {0, 0, 0});
    setVec3(p, "C", kEyeDirection);
    setVec3(p, "camera_position", {0, 0, 0});
    setVec3(p, "light_pos", {0.5, 0.95, 0.5});
    targets.draw(vao_);
    glUseProgram(0);
    sample_ = targets.read(0);
    state_ = targets.read(1);
    GLuint inputs[] = {hitPosition, hitNormal, hitColour, random};
    glDeleteTextures(4, inputs);
  }

  static GLuint twoBounce_, oneBounce_, vao_;
  static SceneTextures scene_;
  std::vector<Vec4> sample_, state_;
};

GLuint PathTraceShader::twoBounce_ = 0;
GLuint PathTraceShader::oneBounce_ = 0;
GLuint PathTraceShader::vao_ = 0;
SceneTextures PathTraceShader::scene_;

TEST_P(PathTraceShader, PixelsWithoutASurfaceShowTheGradientAndKeepOrStepTheirState) {
  constexpr int kWidth = 2, kHeight = 16;
  std::vector<PixelInput> pixels(kWidth * kHeight);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    pixels[i].state = i == 0 ? Vec4{0, 0, 0, 0} : Vec4{float(i), float(7 * i), 1, 4194000};
  }
  render(pixels, kWidth, kHeight);
  for (int row = 0; row < kHeight; ++row) {
    const double yf = (row + 0.5) / kHeight;
    for (int column = 0; column < kWidth; ++column) {
      const int i = row * kWidth + column;
      SCOPED_TRACE(::testing::Message() << "pixel " << column << ", " << row);
      expectColour(sample_[i], {0.1, 0.1 + yf * 0.05, yf * 0.35}, 1e-5);
      expectState(state_[i], advanced(pixels[i].state, oneBounce() ? 1 : 0));
    }
  }
}

TEST_P(PathTraceShader, SurfacesComposeTheirPathsAndConsumeTheirDraws) {
  const std::vector<PixelInput> pixels = surfacePixels();
  render(pixels, kPixelCount, 1);
  const Vec3 up{0, 1, 0};
  const Vec3 h{kSurfaceColour.x, kSurfaceColour.y, kSurfaceColour.z};
  auto composed = [&](Vec3 e0) {
    return Vec3{0.05 + h.x * e0.x, 0.05 + h.y * e0.y, 0.05 + h.z * e0.z};
  };

  {
    SCOPED_TRACE("mirror into the sky");
    expectColour(sample_[kMirrorToSky], composed(skyLight(reflected(kEyeDirection, up))));
  }
  {
    SCOPED_TRACE("emitter seen directly: far above white, clamped");
    expectColour(sample_[kEmitterSeen], {1, 1, 1}, 0);
  }
  {
    SCOPED_TRACE("mirror into the emitting ceiling");
    const Vec3 d = reflected(kEyeDirection, up);
    const double factor = (kCeilingCode / 255.0 - 0.5) * 24;
    const double grey = kCeilingGrey / 255.0;
    // The emitter's colour also fills the first colour register, so the
    // ambient term of the level behind it still shows through it.
    const double behind = oneBounce() ? 0.05 + 0.25 * 0.05 : 0.05;
    const double light = grey * factor * std::max(d.y, 0.5) + grey * behind;
    expectColour(sample_[kMirrorToEmitter], composed({light, light, light}));
    SCOPED_TRACE("a grazing view of the emitter still gets half its light");
    const double grazing = grey * factor * 0.5 + grey * behind;
    expectColour(sample_[kMirrorGrazingEmitter], composed({grazing, grazing, grazing}));
  }
  const Vec3 floor{kFloorColour[0] / 255.0, kFloorColour[1] / 255.0, kFloorColour[2] / 255.0};
  if (oneBounce()) {
    SCOPED_TRACE("mirror onto the floor, second bounce estimated");
    const double rest = 0.05 + 0.25 * 0.05;
    expectColour(sample_[kMirrorToFloor],
                 composed({0.05 + floor.x * rest, 0.05 + floor.y * rest, 0.05 + floor.z * rest}));
  } else {
    SCOPED_TRACE("mirror onto the floor, then a diffuse bounce");
    const Vec4 c = sample_[kMirrorToFloor];
    EXPECT_GE(c.x, 0.05 + h.x * 0.05 - 1e-4);
    EXPECT_GT(c.x, c.z);  // lit through the orange floor
  }
  {
    SCOPED_TRACE("diffuse into the sky");
    const Vec4 c = sample_[kDiffuse];
    // Only the sky lights it, so blue rises 1.25 / 0.85 as fast as red.
    EXPECT_GT(c.x, 0.05f);
    EXPECT_NEAR(c.z - 0.05, (c.x - 0.05) * 1.25 / 0.85, 1e-4);
    EXPECT_NEAR(c.x, c.y, 1e-6);
  }
  {
    SCOPED_TRACE("a code between diffuse and emitting scatters like diffuse");
    const Vec4 c = sample_[kCodeBetweenKinds], d = sample_[kDiffuse];
    EXPECT_NEAR(c.x, d.x, 1e-6);
    EXPECT_NEAR(c.z, d.z, 1e-6);
    expectState(state_[kCodeBetweenKinds], state_[kDiffuse]);
  }
  {
    SCOPED_TRACE("glossy: a narrow lobe about the mirror direction");
    const Vec4 c = sample_[kGlossy], m = sample_[kMirrorToSky];
    EXPECT_NEAR(c.x, m.x, 0.1);
    EXPECT_NEAR(c.z, m.z, 0.1);
  }

  // Mirrors and emitters draw nothing; diffuse and glossy bounces draw two
  // numbers each. The one-bounce variant steps every state exactly once.
  const int draws[kPixelCount] = {0, 0, 0, 0, 2, 2, 2, 2, 0};
  for (int i = 0; i < kPixelCount; ++i) {
    SCOPED_TRACE(::testing::Message() << "state of pixel " << i);
    expectState(state_[i], advanced(pixels[i].state, oneBounce() ? 1 : draws[i]));
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, PathTraceShader, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("OneBounce") : std::string("TwoBounce");
                         });

// The generator function itself, lifted out of the shader source into a
// probe that reports its return values.
std::string functionText(const std::string& source, const std::string& signature) {
  std::string::size_type begin = source.find(signature);
  if (begin == std::string::npos) return "";
  std::string::size_type at = source.find('{', begin);
  int depth = 0;
  for (; at < source.size(); ++at) {
    if (source[at] == '{') ++depth;
    if (source[at] == '}' && --depth == 0) break;
  }
  return source.substr(begin, at + 1 - begin);
}

TEST(GPURnd, StepsEachLaneAndCombinesThem) {
  REQUIRE_GL_CONTEXT();
  const std::string function =
      functionText(pathTraceFragmentSource(PathVariant::TwoBounce), "float GPURnd(inout vec4 n)");
  ASSERT_FALSE(function.empty());
  const std::string probe =
      "#version 330\n#extension GL_EXT_gpu_shader4 : enable\nprecision highp float;\n"
      "uniform vec4 start;\nout vec4 output0;\nout vec4 output1;\nout vec4 output2;\n" +
      function +
      "\nvoid main() {\n"
      "  vec4 n = start;\n"
      "  float first = GPURnd(n);\n"
      "  output1 = n;\n"
      "  float second = GPURnd(n);\n"
      "  output2 = n;\n"
      "  output0 = vec4(first, second, 0.0, 0.0);\n"
      "}\n";
  GLuint program = buildTestProgram(fullScreenVertexShader(), probe);
  ASSERT_NE(program, 0u);
  GLuint vao = fullScreenTriangle();
  Targets targets(1, 1, 3, GL_RGBA32F);
  auto run = [&](Vec4 start) {
    glUseProgram(program);
    glUniform4f(glGetUniformLocation(program, "start"), start.x, start.y, start.z, start.w);
    targets.draw(vao);
    glUseProgram(0);
  };

  run({0, 0, 0, 0});
  // A zero product becomes m / 2 in every lane; the four halves cancel.
  expectState(targets.read(1)[0], {2097143.5f, 2097138.5f, 2097095.5f, 2097083.5f});
  const float fromZero = targets.read(0)[0].x;
  EXPECT_TRUE(fromZero < 1e-6f || fromZero > 1.0f - 1e-6f) << fromZero;

  run({1, 1, 1, 1});
  expectState(targets.read(1)[0], {3423, 2646, 1707, 1999});
  expectState(targets.read(2)[0], {3328355, 2807039, 2913849, 3996001});
  EXPECT_NEAR(targets.read(0)[0].x, 0.0001156, 1e-6);
  EXPECT_NEAR(targets.read(0)[0].y, 0.8663, 1e-4);
}

}  // namespace
