#include "scene/SceneTextures.h"

namespace {

// Every fetch must return one stored texel unchanged, and a coordinate off
// the texture must not wrap onto real data.
void setNearestClampToBorder(GLenum target) {
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
  if (target != GL_TEXTURE_1D) glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
  if (target == GL_TEXTURE_3D) glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_BORDER);
}

GLuint beginTexture(GLenum target) {
  GLuint name = 0;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glGenTextures(1, &name);
  glBindTexture(target, name);
  setNearestClampToBorder(target);
  return name;
}

GLuint uploadNodePool(const OctreeScene& scene) {
  const GLuint name = beginTexture(GL_TEXTURE_3D);
  glTexImage3D(GL_TEXTURE_3D, 0, GL_R32UI, node_pool_dim, node_pool_dim, node_pool_dim, 0,
               GL_RED_INTEGER, GL_UNSIGNED_INT, scene.node_pool.data());
  glBindTexture(GL_TEXTURE_3D, 0);
  return name;
}

GLuint uploadTexture2D(GLint internal_format, GLsizei size, GLenum format, GLenum type,
                       const void* data) {
  const GLuint name = beginTexture(GL_TEXTURE_2D);
  glTexImage2D(GL_TEXTURE_2D, 0, internal_format, size, size, 0, format, type, data);
  glBindTexture(GL_TEXTURE_2D, 0);
  return name;
}

}  // namespace

void createSceneTextures(const OctreeScene& scene, GLuint textures[4]) {
  textures[0] = uploadNodePool(scene);
  textures[1] = uploadTexture2D(GL_R32UI, triangle_id_tex_size, GL_RED_INTEGER, GL_UNSIGNED_INT,
                                scene.triangle_ids.data());
  textures[2] = uploadTexture2D(GL_RGB16F, triangle_tex_size, GL_RGB, GL_FLOAT,
                                scene.triangle_positions.data());
  textures[3] = uploadTexture2D(GL_RGBA16F, triangle_tex_size, GL_RGBA, GL_FLOAT,
                                scene.triangle_normals.data());
}

void OctreeScene::createBrdfTexture() {
  brdf_texture = beginTexture(GL_TEXTURE_1D);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, static_cast<GLsizei>(materials.size()), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, materials.data());
  glBindTexture(GL_TEXTURE_1D, 0);
}
