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
  // As bind, but draws into the first `count` attachments alone.
  void bindFirst(int count) const;
  // Binds the window's framebuffer; valid on any object.
  void unbind() const;
  // Attaches level 0 of a 2D texture as colour attachment `index`; the
  // framebuffer is left unbound afterwards. Not recorded in colorTextures.
  void attachTexture(int index, GLuint texture) const;
  // Gives its own colour textures and its depth buffer the new size, empty;
  // nothing when the size is unchanged. The names stay, and so do the
  // attachments, textures attached from outside included (their size is
  // their owner's to change).
  void resize(int width, int height);

  GLuint colorTextures[kMaxColorTextures] = {};
  std::vector<GLenum> drawBuffers;
  GLuint framebuffer = 0;
  GLuint depthBuffer = 0;
  int width = 0;
  int height = 0;
  int colorCount = 0;
  GLenum internalFormat = GL_RGBA32F;
  bool hasDepth = false;
};

// A 2D float colour texture for render targets: nearest filtering, clamped
// to the border, RGBA data (or none).
GLuint createColorTexture(int width, int height, GLenum internalFormat, const float* data);
// Replaces the image of such a texture with one of a new size; the texture
// keeps its name and its settings.
void resizeColorTexture(GLuint texture, int width, int height, GLenum internalFormat,
                        const float* data);

// The message for a completeness status, or nullptr when there is none.
const char* framebufferStatusMessage(GLenum status);
// Whether the status leaves the framebuffer unusable.
bool framebufferStatusIsFatal(GLenum status);
