#include "render/FrameBufferObject.h"

#include <algorithm>
#include <cstdio>

#include "ExitStatus.h"

namespace {

// Reports the bound framebuffer's completeness; the status to end with.
int reportCompleteness() {
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (const char* message = framebufferStatusMessage(status)) {
    std::printf("%s\n", message);
    std::fflush(stdout);
  }
  return framebufferStatusIsFatal(status) ? kStatusFatal : kStatusOk;
}

}  // namespace

GLuint createColorTexture(int width, int height, GLenum internalFormat, const float* data) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, GL_RGBA,
               GL_FLOAT, data);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

void resizeColorTexture(GLuint texture, int width, int height, GLenum internalFormat,
                        const float* data) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, GL_RGBA,
               GL_FLOAT, data);
  glBindTexture(GL_TEXTURE_2D, 0);
}

const char* framebufferStatusMessage(GLenum status) {
  switch (status) {
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
      return "Frame buffer incomplete, missing attachment";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
      return "Frame buffer incomplete, attached images must have same dimensions";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
      return "Frame buffer incomplete, attached images must have same format";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
      return "Frame buffer incomplete, missing draw buffer";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
      return "Frame buffer incomplete, missing read buffer";
    case GL_FRAMEBUFFER_UNSUPPORTED:
      return "Unsupported framebuffer format";
    default:
      return nullptr;
  }
}

bool framebufferStatusIsFatal(GLenum status) {
  // A missing attachment is expected for a framebuffer whose textures are
  // attached later.
  return status != GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT &&
         framebufferStatusMessage(status) != nullptr;
}

int FrameBufferObject::create(int width, int height, GLenum internalFormat, int colorCount,
                              bool withDepth, bool withTextures) {
  this->width = width;
  this->height = height;
  this->internalFormat = internalFormat;
  this->colorCount = std::clamp(colorCount, 0, kMaxColorTextures);
  drawBuffers.resize(static_cast<size_t>(this->colorCount));
  for (int i = 0; i < this->colorCount; ++i) drawBuffers[i] = GL_COLOR_ATTACHMENT0 + i;

  glGenFramebuffersEXT(1, &framebuffer);
  glBindFramebufferEXT(GL_FRAMEBUFFER, framebuffer);
  if (withDepth) {
    glGenRenderbuffersEXT(1, &depthBuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    hasDepth = true;
  }
  if (withTextures) {
    for (int i = 0; i < this->colorCount; ++i) {
      colorTextures[i] = createColorTexture(width, height, internalFormat, nullptr);
      glFramebufferTexture2DEXT(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D,
                                colorTextures[i], 0);
    }
  }
  const int status = reportCompleteness();
  glBindFramebufferEXT(GL_FRAMEBUFFER, 0);
  return status;
}

void FrameBufferObject::bind() const {
  glBindFramebufferEXT(GL_FRAMEBUFFER, framebuffer);
  if (hasDepth) glBindRenderbufferEXT(GL_RENDERBUFFER, depthBuffer);
  glDrawBuffers(colorCount, drawBuffers.data());
}

void FrameBufferObject::bindFirst(int count) const {
  glBindFramebufferEXT(GL_FRAMEBUFFER, framebuffer);
  if (hasDepth) glBindRenderbufferEXT(GL_RENDERBUFFER, depthBuffer);
  glDrawBuffers(std::clamp(count, 0, colorCount), drawBuffers.data());
}

void FrameBufferObject::bindSingle(int index) const {
  glBindFramebufferEXT(GL_FRAMEBUFFER, framebuffer);
  if (hasDepth) glBindRenderbufferEXT(GL_RENDERBUFFER, depthBuffer);
  const bool known = index >= 0 && index < colorCount;
  const GLenum buffer = known ? drawBuffers[static_cast<size_t>(index)] : GL_NONE;
  glDrawBuffers(1, &buffer);
}

void FrameBufferObject::unbind() const { glBindFramebufferEXT(GL_FRAMEBUFFER, 0); }

void FrameBufferObject::attachTexture(int index, GLuint texture) const {
  glBindFramebufferEXT(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + index, GL_TEXTURE_2D, texture, 0);
  glBindFramebufferEXT(GL_FRAMEBUFFER, 0);
}

void FrameBufferObject::resize(int newWidth, int newHeight) {
  if (newWidth == width && newHeight == height) return;
  width = newWidth;
  height = newHeight;
  for (GLuint texture : colorTextures) {
    if (texture != 0) resizeColorTexture(texture, width, height, internalFormat, nullptr);
  }
  if (hasDepth) {
    glBindRenderbufferEXT(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32, width, height);
    glBindRenderbufferEXT(GL_RENDERBUFFER, 0);
  }
}
