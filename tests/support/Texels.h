#pragma once

// Read-back of render targets for GL tests.
#include <GL/glew.h>

#include <vector>

struct Texel {
  float r, g, b, a;
};

// Level 0 of a 2D texture as RGBA floats, row 0 first. llvmpipe can hand back
// a render target's previous texels unless the rendering has finished.
inline std::vector<Texel> readTexels(GLuint texture, int width, int height) {
  glFinish();
  std::vector<Texel> texels(static_cast<size_t>(width) * static_cast<size_t>(height));
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

// The same as floats, four a texel, as tests compare and sum them.
inline std::vector<float> readTexelValues(GLuint texture, int width, int height) {
  std::vector<float> values;
  for (const Texel& texel : readTexels(texture, width, height))
    values.insert(values.end(), {texel.r, texel.g, texel.b, texel.a});
  return values;
}
