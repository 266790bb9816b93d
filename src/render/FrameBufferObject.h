#pragma once

#include <vector>

#include <GL/glew.h>

// One GL framebuffer with float colour attachments, an optional depth
// renderbuffer and its draw-buffer list. GL objects are never deleted: they
// live as long as the context, which outlives every use.
class FrameBufferObject {
 public:
  static constexpr int kMaxColorTextures = 6;

  // Builds the framebuffer (colorCount is limited to kMaxColorTextures) and
  // leaves the window's framebuffer bound. Prints the completeness problem,
  // if any; returns kStatusFatal for the statuses nothing can draw into.
  int create(int width, int height, GLenum internalFormat, int colorCount, bool withDepth,
             bool withTextures);
  // Binds for reading and drawing with every colour attachment drawn.
  void bind() const;
  // As bind, but draws into attachment `index` alone; an index outside the
  // draw-buffer list draws nowhere.
  void bindSingle(int index) const;
  // Binds the window's framebuffer; valid on any object.
  void unbind() const;
  // Attaches level 0 of a 2D texture as colour attachment `index`; the
  // framebuffer is left unbound afterwards. Not recorded in colorTextures.
  void attachTexture(int index, GLuint texture) const;

  GLuint colorTextures[kMaxColorTextures] = {};
  std::vector<GLenum> drawBuffers;
  GLuint framebuffer = 0;
  GLuint depthBuffer = 0;
  int width = 0;
  int height = 0;
  int colorCount = 0;
  bool hasDepth = false;
};

// A 2D float colour texture for render targets: nearest filtering, clamped
// to the border, RGBA data (or none).
GLuint createColorTexture(int width, int height, GLenum internalFormat, const float* data);

// The message for a completeness status, or nullptr when there is none.
const char* framebufferStatusMessage(GLenum status);
// Whether the status leaves the framebuffer unusable.
bool framebufferStatusIsFatal(GLenum status);
