#include "render/ShownPicture.h"

#include <algorithm>

namespace {

// RGB like the window's own buffer (the page asks for no alpha): a copy may
// not make up channels its source lacks.
void sizeTarget(ShownPicture& shown, int width, int height) {
  if (shown.texture == 0) {
    glGenTextures(1, &shown.texture);
    glBindTexture(GL_TEXTURE_2D, shown.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenFramebuffers(1, &shown.framebuffer);
  }
  glBindTexture(GL_TEXTURE_2D, shown.texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  glBindFramebuffer(GL_FRAMEBUFFER, shown.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, shown.texture, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  shown.width = width;
  shown.height = height;
}

}  // namespace

void keepShownPicture(ShownPicture& shown, int width, int height) {
  if (width <= 0 || height <= 0) return;
  if (shown.texture == 0 || shown.width != width || shown.height != height)
    sizeTarget(shown, width, height);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glBindTexture(GL_TEXTURE_2D, shown.texture);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
  glBindTexture(GL_TEXTURE_2D, 0);
}

std::vector<uint8_t> readShownPicture(const ShownPicture& shown) {
  if (shown.texture == 0) return {};
  const size_t rowBytes = static_cast<size_t>(shown.width) * 4;
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(shown.height));
  glBindFramebuffer(GL_FRAMEBUFFER, shown.framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, shown.width, shown.height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  // GL's rows run from the bottom.
  std::vector<uint8_t> picture(rows.size());
  for (int row = 0; row < shown.height; ++row) {
    const uint8_t* from = rows.data() + static_cast<size_t>(shown.height - 1 - row) * rowBytes;
    std::copy(from, from + rowBytes, picture.data() + static_cast<size_t>(row) * rowBytes);
  }
  return picture;
}
