#include "render/ShownPicture.h"

#include <algorithm>

namespace {

void sizeTarget(ShownPicture& shown, int width, int height) {
  if (shown.texture == 0) {
    glGenTextures(1, &shown.texture);
    glBindTexture(GL_TEXTURE_2D, shown.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenFramebuffers(1, &shown.framebuffer);
  }
  glBindTexture(GL_TEXTURE_2D, shown.texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, shown.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, shown.texture, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  shown.width = width;
  shown.height = height;
}

}  // namespace

// A blit rather than a copy into the texture: the window's buffer may lack
// alpha (the page asks for none), and a copy into a texture of another
// format may take a slow path, where a blit converts on the GPU.
void keepShownPicture(ShownPicture& shown, int width, int height) {
  if (width <= 0 || height <= 0) return;
  if (shown.texture == 0 || shown.width != width || shown.height != height)
    sizeTarget(shown, width, height);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, shown.framebuffer);
  glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

std::vector<uint8_t> readShownPicture(const ShownPicture& shown) {
  if (shown.texture == 0) return {};
  const size_t rowBytes = static_cast<size_t>(shown.width) * 4;
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(shown.height));
  glBindFramebuffer(GL_FRAMEBUFFER, shown.framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, shown.width, shown.height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  // GL's rows run from the bottom. A window shows no alpha, whatever its
  // buffer holds.
  std::vector<uint8_t> picture(rows.size());
  for (int row = 0; row < shown.height; ++row) {
    const uint8_t* from = rows.data() + static_cast<size_t>(shown.height - 1 - row) * rowBytes;
    std::copy(from, from + rowBytes, picture.data() + static_cast<size_t>(row) * rowBytes);
  }
  for (size_t alpha = 3; alpha < picture.size(); alpha += 4) picture[alpha] = 255;
  return picture;
}
