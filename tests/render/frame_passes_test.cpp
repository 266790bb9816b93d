#include "render/FramePasses.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "render/ProgramBuilder.h"
#include "render/ShownPicture.h"
#include "support/GlContext.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;

// Stands in for the path tracer: a sample that shows which random texture
// was read, and the read state advanced by one.
constexpr const char* kStubPathShader =
    "#version 330\n"
    "uniform sampler2D random_texture;\n"
    "uniform vec2 screen_dim;\n"
    "in vec2 tex_c;\n"
    "out vec4 output0;\n"
    "out vec4 output1;\n"
    "void main() {\n"
    "  vec4 state = texture(random_texture, tex_c);\n"
    "  output0 = vec4(0.25, 0.5, state.x * 0.01, screen_dim.x);\n"
    "  output1 = state + 1.0;\n"
    "}\n";

std::string runFile(const char* name) { return std::string(XMASTRACE_RUN_DIR) + "/" + name; }

GLuint buildFromRun(const char* vertex, const char* fragment) {
  const std::string vs = runFile(vertex);
  const std::string fs = isShaderFileName(fragment) ? runFile(fragment) : fragment;
  const BuiltProgram built = buildProgram(vs.c_str(), nullptr, nullptr, nullptr, fs.c_str(), false);
  EXPECT_EQ(built.status, kStatusOk);
  GLint linked = GL_FALSE;
  glGetProgramiv(built.program, GL_LINK_STATUS, &linked);
  EXPECT_EQ(linked, GL_TRUE) << vertex;
  return built.program;
}

// The full-screen quad: clip-space corners with texture coordinates.
GLuint makeQuad() {
  const float vertices[] = {-1, -1, 0, 0, 0, 1, -1, 0, 1, 0, 1, 1, 0, 1, 1,
                            1,  1,  0, 1, 1, -1, 1, 0, 0, 1, -1, -1, 0, 0, 0};
  GLuint array = 0;
  GLuint buffer = 0;
  glGenVertexArrays(1, &array);
  glBindVertexArray(array);
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof(vertices), vertices, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<void*>(12));
  glBindVertexArray(0);
  return array;
}

std::vector<float> filled(float value) { return std::vector<float>(4 * kWidth * kHeight, value); }

std::array<float, 4> texel(GLuint texture, int x, int y) {
  std::vector<float> texels(4 * kWidth * kHeight);
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const size_t i = 4 * (static_cast<size_t>(y) * kWidth + x);
  return {texels[i], texels[i + 1], texels[i + 2], texels[i + 3]};
}

GLint attachedTexture(const FrameBufferObject& fbo, int index) {
  GLint name = 0;
  glBindFramebufferEXT(GL_FRAMEBUFFER, fbo.framebuffer);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + index,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
  glBindFramebufferEXT(GL_FRAMEBUFFER, 0);
  return name;
}

std::array<int, 4> windowPixel() {
  std::array<unsigned char, 4> pixel{};
  glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
  return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

class FramePassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    glViewport(0, 0, kWidth, kHeight);
    resources.textureProgram = buildFromRun("TextureShaderVS.glsl", "TextureShaderFS.glsl");
    resources.accumProgram = buildFromRun("TextureShaderAccumVS.glsl", "TextureShaderAccumFS.glsl");
    resources.pathProgram = buildFromRun("gigaAOShaderVS.glsl", kStubPathShader);
    resources.quadVertexArray = makeQuad();
    resources.sampleTexture = createScreenTexture(kWidth, kHeight, nullptr);
    resources.accumTexture = createScreenTexture(kWidth, kHeight, nullptr);
    resources.randomTextures[0] = createScreenTexture(kWidth, kHeight, filled(10.0f).data());
    resources.randomTextures[1] = createScreenTexture(kWidth, kHeight, filled(20.0f).data());
    testing::internal::CaptureStdout();
    ASSERT_EQ(primaryFbo.create(kWidth, kHeight, GL_RGBA16F, 3, false, true), kStatusOk);
    ASSERT_EQ(pathFbo.create(kWidth, kHeight, GL_RGBA32F, 2, false, false), kStatusOk);
    testing::internal::GetCapturedStdout();
    pathFbo.attachTexture(0, resources.sampleTexture);
    pathFbo.attachTexture(1, resources.randomTextures[0]);
    resources.primaryFbo = &primaryFbo;
    resources.pathFbo = &pathFbo;
    view.screenWidth = kWidth;
    view.screenHeight = kHeight;
    enableDepthTest();
  }

  // The state every pass must leave for the next one.
  static void expectRestingState() {
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint value = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &value);
    EXPECT_EQ(value, 0);
  }

  FrameResources resources;
  FrameView view;
  FrameBufferObject primaryFbo;
  FrameBufferObject pathFbo;
};

TEST_F(FramePassesTest, SamplesAddUpWhileTheRandomTexturesTakeTurns) {
  // Ping 0 reads texture 1 (20) and writes texture 0.
  pathTracePass(resources, view, 0, true);
  expectRestingState();
  EXPECT_FLOAT_EQ(texel(resources.sampleTexture, 3, 2)[2], 0.2f);
  EXPECT_FLOAT_EQ(texel(resources.randomTextures[0], 3, 2)[0], 21.0f);
  EXPECT_FLOAT_EQ(texel(resources.randomTextures[1], 3, 2)[0], 20.0f);
  EXPECT_EQ(attachedTexture(pathFbo, 0), static_cast<GLint>(resources.sampleTexture));
  EXPECT_EQ(attachedTexture(pathFbo, 1), static_cast<GLint>(resources.randomTextures[1]));
  std::array<float, 4> sum = texel(resources.accumTexture, 15, 7);
  EXPECT_FLOAT_EQ(sum[0], 0.25f);
  EXPECT_FLOAT_EQ(sum[3], static_cast<float>(kWidth));

  // Ping 1 reads what was just written (21) and writes texture 1.
  pathTracePass(resources, view, 1, false);
  EXPECT_FLOAT_EQ(texel(resources.randomTextures[1], 0, 0)[0], 22.0f);
  EXPECT_EQ(attachedTexture(pathFbo, 1), static_cast<GLint>(resources.randomTextures[0]));
  sum = texel(resources.accumTexture, 0, 0);
  EXPECT_FLOAT_EQ(sum[0], 0.5f);
  EXPECT_FLOAT_EQ(sum[1], 1.0f);
  EXPECT_NEAR(sum[2], 0.2f + 0.21f, 1e-6f);

  // The display averages the sum: (0.25, 0.5, 0.205).
  displayPass(resources, 2, 0);
  expectRestingState();
  const std::array<int, 4> shown = windowPixel();
  EXPECT_NEAR(shown[0], 64, 1);
  EXPECT_NEAR(shown[1], 128, 1);
  EXPECT_NEAR(shown[2], 52, 1);

  // A first sample empties the sum before adding to it.
  pathTracePass(resources, view, 0, true);
  EXPECT_NEAR(texel(resources.accumTexture, 5, 5)[2], 0.22f, 1e-6f);
  EXPECT_FLOAT_EQ(texel(resources.accumTexture, 5, 5)[0], 0.25f);
}

TEST_F(FramePassesTest, WithoutSamplesTheChosenHitBufferIsShown) {
  const float colours[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
  primaryFbo.bind();
  for (int i = 0; i < 3; ++i) glClearBufferfv(GL_COLOR, i, colours[i]);
  primaryFbo.unbind();
  for (int mode = 0; mode < 3; ++mode) {
    displayPass(resources, 0, mode);
    const std::array<int, 4> shown = windowPixel();
    EXPECT_EQ(shown[mode], 255) << mode;
    EXPECT_EQ(shown[(mode + 1) % 3], 0) << mode;
  }
  // A negative count (restart pending) shows the hit buffer too; an unknown
  // mode falls back to the hit colour rather than reading past the buffers.
  displayPass(resources, -1, 7);
  EXPECT_EQ(windowPixel()[0], 255);
  expectRestingState();
}

// The denoised picture gives way to the plain average by its share, and the
// copy a page keeps of the window holds what the window showed, rows from
// the top, after the window itself was emptied.
TEST_F(FramePassesTest, TheDenoisedPictureGivesWayToTheAverageAndTheKeptCopyIsWhatWasShown) {
  std::vector<float> sum = filled(0.0f);
  for (size_t i = 0; i < sum.size(); i += 4) {
    sum[i] = 1.0f;      // an average of 0.25 over 4 samples
    sum[i + 1] = 2.0f;  // 0.5
  }
  sizeScreenTexture(resources.accumTexture, kWidth, kHeight, sum.data());
  const GLuint denoised = createScreenTexture(kWidth, kHeight, filled(0.75f).data());

  showDenoised(resources, denoised, 4, 1.0f);
  EXPECT_NEAR(windowPixel()[0], 191, 1);
  EXPECT_NEAR(windowPixel()[2], 191, 1);

  // A quarter denoised, three quarters the average.
  showDenoised(resources, denoised, 4, 0.25f);
  expectRestingState();
  const std::array<int, 4> mixed = windowPixel();
  EXPECT_NEAR(mixed[0], 96, 1);   // 0.25 * 0.75 + 0.75 * 0.25
  EXPECT_NEAR(mixed[1], 143, 1);  // 0.25 * 0.75 + 0.75 * 0.5
  EXPECT_NEAR(mixed[2], 48, 1);   // 0.25 * 0.75

  // The top row differs from the rest, so that a copy upside down shows.
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, kHeight - 1, kWidth, 1);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  ShownPicture kept;
  keepShownPicture(kept, kWidth, kHeight);
  expectRestingState();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  const std::vector<uint8_t> picture = readShownPicture(kept);
  ASSERT_EQ(picture.size(), static_cast<size_t>(4 * kWidth * kHeight));
  const size_t lastRow = static_cast<size_t>(4 * kWidth * (kHeight - 1));
  EXPECT_EQ(picture[0], 255);
  EXPECT_EQ(picture[1], 0);
  EXPECT_NEAR(picture[lastRow], 96, 1);
  EXPECT_NEAR(picture[lastRow + 1], 143, 1);
  EXPECT_EQ(picture[lastRow + 3], 255);
}

}  // namespace
