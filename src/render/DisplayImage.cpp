#include "render/DisplayImage.h"

#include <cstdint>
#include <vector>

namespace {

// An RGBA8 colour texture with its framebuffer, deleted on destruction since
// a still is read once.
class ByteTarget {
 public:
  ByteTarget(int width, int height) {
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    const GLenum drawBuffer = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &drawBuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
  }
  ~ByteTarget() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
  }
  ByteTarget(const ByteTarget&) = delete;
  ByteTarget& operator=(const ByteTarget&) = delete;

  bool complete = false;

 private:
  GLuint texture = 0;
  GLuint framebuffer = 0;
};

// Runs `show` into an 8-bit target and reads the result.
template <typename Show>
RgbImage readShown(int width, int height, Show show) {
  if (width <= 0 || height <= 0) return {};
  ByteTarget target(width, height);
  if (!target.complete) return {};
  show();
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return rgbImageFromGlRows(rgba, width, height);
}

}  // namespace

// Here rather than beside the PNG writer: the page reads pictures too and
// has no libpng.
RgbImage rgbImageFromGlRows(const std::vector<uint8_t>& rgba, int width, int height) {
  RgbImage image;
  if (width <= 0 || height <= 0) return image;
  const size_t w = static_cast<size_t>(width);
  const size_t h = static_cast<size_t>(height);
  if (rgba.size() < w * h * 4) return image;
  image.width = width;
  image.height = height;
  image.pixels.resize(w * h * 3);
  for (size_t row = 0; row < h; ++row) {
    const uint8_t* from = rgba.data() + (h - 1 - row) * w * 4;
    uint8_t* to = image.pixels.data() + row * w * 3;
    for (size_t x = 0; x < w; ++x) {
      to[3 * x] = from[4 * x];
      to[3 * x + 1] = from[4 * x + 1];
      to[3 * x + 2] = from[4 * x + 2];
    }
  }
  return image;
}

RgbImage readDisplayImage(const FrameResources& resources, int sampleCount, int displayMode,
                          int width, int height) {
  return readShown(width, height,
                   [&] { displayPass(resources, sampleCount, displayMode); });
}

RgbImage readPictureImage(const FrameResources& resources, GLuint picture, int width, int height) {
  return readShown(width, height, [&] { showPicture(resources, picture); });
}
