#include "render/FrameBufferObject.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ExitStatus.h"
#include "support/GlContext.h"

namespace {

constexpr int kSize = 8;

GLint boundFramebuffer() {
  GLint name = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &name);
  return name;
}

GLuint makeFloatTexture() {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

std::array<float, 4> firstTexel(GLuint texture) {
  std::array<float, 4 * kSize * kSize> texels{};
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return {texels[0], texels[1], texels[2], texels[3]};
}

int countLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (size_t pos = text.find(line + "\n"); pos != std::string::npos;
       pos = text.find(line + "\n", pos + 1)) {
    count += pos == 0 || text[pos - 1] == '\n';
  }
  return count;
}

void clearTo(float value) {
  glClearColor(value, value, value, value);
  glClear(GL_COLOR_BUFFER_BIT);
}

TEST(FrameBufferObject, StartsEmptyAndUnbindsWithoutBeingCreated) {
  REQUIRE_GL_CONTEXT();
  FrameBufferObject fbo;
  EXPECT_EQ(fbo.width, 0);
  EXPECT_EQ(fbo.height, 0);
  EXPECT_FALSE(fbo.hasDepth);
  fbo.unbind();
  EXPECT_EQ(boundFramebuffer(), 0);
}

TEST(FrameBufferObject, WithTexturesIsCompleteAndDrawsIntoEveryAttachment) {
  REQUIRE_GL_CONTEXT();
  FrameBufferObject fbo;
  testing::internal::CaptureStdout();
  const int status = fbo.create(kSize, kSize, GL_RGBA16F, 3, false, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(status, kStatusOk);
  EXPECT_EQ(boundFramebuffer(), 0);
  ASSERT_EQ(fbo.drawBuffers.size(), 3u);
  EXPECT_EQ(fbo.drawBuffers[2], static_cast<GLenum>(GL_COLOR_ATTACHMENT2));

  GLint format = 0;
  glBindTexture(GL_TEXTURE_2D, fbo.colorTextures[1]);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  EXPECT_EQ(format, GL_RGBA16F);

  fbo.bind();
  clearTo(0.5f);
  fbo.unbind();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(firstTexel(fbo.colorTextures[i])[0], 0.5f) << i;
}

TEST(FrameBufferObject, WithoutTexturesReportsTheMissingAttachmentOnceAndGoesOn) {
  REQUIRE_GL_CONTEXT();
  FrameBufferObject fbo;
  testing::internal::CaptureStdout();
  const int status = fbo.create(kSize, kSize, GL_RGBA32F, 2, false, false);
  // The driver may add its own debug note; ours comes exactly once.
  EXPECT_EQ(countLines(testing::internal::GetCapturedStdout(),
                       "Frame buffer incomplete, missing attachment"),
            1);
  EXPECT_EQ(status, kStatusOk);
  EXPECT_EQ(fbo.drawBuffers.size(), 2u);
  EXPECT_EQ(fbo.colorTextures[0], 0u);

  // Attaching and drawing later neither checks nor prints again.
  testing::internal::CaptureStdout();
  const GLuint sample = makeFloatTexture();
  const GLuint other = makeFloatTexture();
  fbo.attachTexture(0, sample);
  fbo.attachTexture(1, other);
  EXPECT_EQ(boundFramebuffer(), 0);
  fbo.bind();
  clearTo(0.25f);
  // Only attachment 0 is drawn now; attachment 1 keeps its value.
  fbo.bindSingle(0);
  clearTo(1.0f);
  fbo.unbind();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(firstTexel(sample)[0], 1.0f);
  EXPECT_EQ(firstTexel(other)[0], 0.25f);
}

TEST(FrameBufferObject, DepthBufferAndOversizedRequestsStayInBounds) {
  REQUIRE_GL_CONTEXT();
  FrameBufferObject fbo;
  ASSERT_EQ(fbo.create(kSize, kSize, GL_RGBA32F, 9, true, true), kStatusOk);
  EXPECT_TRUE(fbo.hasDepth);
  EXPECT_NE(fbo.depthBuffer, 0u);
  EXPECT_EQ(fbo.colorCount, FrameBufferObject::kMaxColorTextures);
  EXPECT_EQ(fbo.drawBuffers.size(), static_cast<size_t>(FrameBufferObject::kMaxColorTextures));
  fbo.bindSingle(7);  // names no attachment: draws nowhere, reads nothing out of range
  clearTo(0.75f);
  fbo.unbind();
  EXPECT_EQ(firstTexel(fbo.colorTextures[0])[0], 0.0f);
}

}  // namespace
