#pragma once

// Runs the built-in ray-tracing fragment shaders on hand-made scenes: fills
// an OctreeScene's arrays in their packed layouts, uploads them as the
// program does, draws one full-screen triangle into float targets and reads
// them back.
#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/BuiltinShaders.h"
#include "scene/OctreeScene.h"
#include "scene/SceneLayout.h"
#include "scene/SceneTextures.h"
#include "support/GlContext.h"

namespace shadertest {

struct Vec3 {
  double x, y, z;
};
struct Vec4 {
  float x, y, z, w;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 normalized(Vec3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }

inline std::string shaderLog(GLuint object, bool isProgram) {
  GLint length = 0;
  if (isProgram) {
    glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
  } else {
    glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
  }
  std::string log(length + 1, '\0');
  if (isProgram) {
    glGetProgramInfoLog(object, length + 1, nullptr, &log[0]);
  } else {
    glGetShaderInfoLog(object, length + 1, nullptr, &log[0]);
  }
  return log;
}

// Returns 0 (and records a test failure with the log) when the source does
// not compile or the program does not link.
inline GLuint buildTestProgram(const std::string& vertex, const std::string& fragment) {
  GLuint program = glCreateProgram();
  const std::string* sources[] = {&vertex, &fragment};
  const GLenum types[] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
  for (int i = 0; i < 2; ++i) {
    GLuint shader = glCreateShader(types[i]);
    const char* text = sources[i]->c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      ADD_FAILURE() << "compile failure:\n" << shaderLog(shader, false);
      return 0;
    }
    glAttachShader(program, shader);
  }
  for (int i = 0; i < 4; ++i) {
    glBindFragDataLocation(program, i, ("output" + std::to_string(i)).c_str());
  }
  glLinkProgram(program);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    ADD_FAILURE() << "link failure:\n" << shaderLog(program, true);
    return 0;
  }
  return program;
}

// A triangle that covers the whole target; tex_c runs 0 to 1 across it.
inline const char* fullScreenVertexShader() {
  return "#version 330\n"
         "layout(location = 0) in vec2 corner;\n"
         "out vec2 tex_c;\n"
         "void main() {\n"
         "  tex_c = corner * 0.5 + 0.5;\n"
         "  gl_Position = vec4(corner, 0.0, 1.0);\n"
         "}\n";
}

inline GLuint fullScreenTriangle() {
  static const float corners[] = {-1.0f, -1.0f, 3.0f, -1.0f, -1.0f, 3.0f};
  GLuint vao = 0, buffer = 0;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  glBindVertexArray(0);
  return vao;
}

inline void setNearestClampToBorder(GLenum target) {
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
  glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_BORDER);
}

inline GLuint texture2D(GLenum internalFormat, int width, int height, GLenum format, GLenum type,
                        const void* data) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  setNearestClampToBorder(GL_TEXTURE_2D);
  glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
  glBindTexture(GL_TEXTURE_2D, 0);
  return name;
}

// Corners in octree space; the three texels from firstTexel on are
// consecutive in row-major order.
inline void setTriangle(OctreeScene& scene, uint32_t firstTexel, const Vec3 (&corners)[3],
                        Vec3 normal, int material) {
  for (uint32_t i = 0; i < 3; ++i) {
    const Vec3 corner = corners[i] * scene_dim;
    scene.triangle_positions[firstTexel + i] = {static_cast<float>(corner.x),
                                                static_cast<float>(corner.y),
                                                static_cast<float>(corner.z)};
    scene.triangle_normals[firstTexel + i] = {static_cast<float>(normal.x),
                                              static_cast<float>(normal.y),
                                              static_cast<float>(normal.z),
                                              material / float(brdf_table_size)};
  }
}

inline void setTriangleId(OctreeScene& scene, uint32_t column, uint32_t row, uint32_t firstTexel) {
  scene.triangle_ids[row * triangle_id_tex_size + column] = triangleReference(firstTexel);
}

inline void setNode(OctreeScene& scene, int x, int y, int z, uint32_t word) {
  scene.node_pool[nodePoolIndex(x, y, z)] = word;
}

// Materials of the test room.
constexpr int kFloorMaterial = 1;
constexpr uint8_t kFloorColour[3] = {200, 100, 50};
constexpr int kCeilingMaterial = 2;
constexpr uint8_t kCeilingGrey = 51;
constexpr uint8_t kCeilingCode = 153;  // an emitter, factor (0.6 - 0.5) * 24

// A room of one depth-1 octree: a diffuse floor at y = 0.25 over x < 0.5
// (two leaves of two triangles each) and an emitting ceiling facing down at
// y = 0.75 over x, z > 0.5. The first leaf's list starts in the last column
// of a row and one of its triangles straddles a row end, so both wraps are
// on every floor path.
inline OctreeScene testRoom() {
  OctreeScene scene;
  scene.allocateArrays();
  setNode(scene, 0, 0, 0, internalNodeWord(2, 0, 0));
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i) setNode(scene, 2 + i, j, k, kEmptyNodeWord);
  setNode(scene, 2, 0, 0, leafNodeWord(1023, 0, 2));
  setNode(scene, 2, 0, 1, leafNodeWord(1, 1, 2));
  setNode(scene, 3, 1, 1, leafNodeWord(3, 1, 2));

  setTriangleId(scene, 1023, 0, 0);
  setTriangleId(scene, 0, 1, 1023);
  setTriangleId(scene, 1, 1, 3);
  setTriangleId(scene, 2, 1, 6);
  setTriangleId(scene, 3, 1, 9);
  setTriangleId(scene, 4, 1, 12);

  const Vec3 up{0, 3, 0};  // not unit length: the shaders normalise
  setTriangle(scene, 0, {{0, 0.25, 0}, {0.5, 0.25, 0}, {0, 0.25, 0.5}}, up, kFloorMaterial);
  setTriangle(scene, 1023, {{0.5, 0.25, 0}, {0.5, 0.25, 0.5}, {0, 0.25, 0.5}}, up, kFloorMaterial);
  setTriangle(scene, 3, {{0, 0.25, 0.5}, {0.5, 0.25, 0.5}, {0, 0.25, 1}}, up, kFloorMaterial);
  setTriangle(scene, 6, {{0.5, 0.25, 0.5}, {0.5, 0.25, 1}, {0, 0.25, 1}}, up, kFloorMaterial);
  const Vec3 down{0, -1, 0};
  setTriangle(scene, 9, {{0.5, 0.75, 0.5}, {1, 0.75, 0.5}, {0.5, 0.75, 1}}, down, kCeilingMaterial);
  setTriangle(scene, 12, {{1, 0.75, 0.5}, {1, 0.75, 1}, {0.5, 0.75, 1}}, down, kCeilingMaterial);

  scene.materials.assign(brdf_table_size, Material{});
  scene.materials[kFloorMaterial] = {kFloorColour[0], kFloorColour[1], kFloorColour[2], 0};
  scene.materials[kCeilingMaterial] = {kCeilingGrey, kCeilingGrey, kCeilingGrey, kCeilingCode};
  return scene;
}

struct SceneTextures {
  GLuint nodePool = 0, triangleIds = 0, triangles = 0, normals = 0, brdf = 0;
};

// The scene textures as the program creates them.
inline SceneTextures uploadScene(OctreeScene& scene) {
  GLuint large[4] = {};
  createSceneTextures(scene, large);
  scene.createBrdfTexture();
  return {large[0], large[1], large[2], large[3], scene.brdf_texture};
}

inline void deleteScene(SceneTextures& t) {
  GLuint names[] = {t.nodePool, t.triangleIds, t.triangles, t.normals, t.brdf};
  glDeleteTextures(5, names);
  t = SceneTextures();
}

inline void bindTexture(int unit, GLenum target, GLuint name) {
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(target, name);
}

inline void setInt(GLuint program, const char* name, int value) {
  glUniform1i(glGetUniformLocation(program, name), value);
}
inline void setUint(GLuint program, const char* name, unsigned value) {
  glUniform1ui(glGetUniformLocation(program, name), value);
}
inline void setFloat(GLuint program, const char* name, float value) {
  glUniform1f(glGetUniformLocation(program, name), value);
}
inline void setVec2(GLuint program, const char* name, float x, float y) {
  glUniform2f(glGetUniformLocation(program, name), x, y);
}
inline void setVec3(GLuint program, const char* name, Vec3 v) {
  glUniform3f(glGetUniformLocation(program, name), static_cast<float>(v.x),
              static_cast<float>(v.y), static_cast<float>(v.z));
}

// The scene-texture units and size constants that both passes share.
inline void bindSceneTextures(GLuint program, const SceneTextures& t) {
  bindTexture(0, GL_TEXTURE_3D, t.nodePool);
  bindTexture(1, GL_TEXTURE_2D, t.triangleIds);
  bindTexture(2, GL_TEXTURE_2D, t.triangles);
  bindTexture(3, GL_TEXTURE_2D, t.normals);
  setInt(program, "node_pool_texture", 0);
  setInt(program, "triangle_id_texture", 1);
  setInt(program, "triangle_texture", 2);
  setInt(program, "triangle_normal_texture", 3);
  setFloat(program, "inv_node_pool_dim", inv_node_pool_dim);
  setFloat(program, "inv_triangle_id_tex_size", inv_triangle_id_tex_size);
  setFloat(program, "inv_triangle_tex_size", inv_triangle_tex_size);
  setUint(program, "triangle_id_tex_size", triangle_id_tex_size);
  setUint(program, "triangle_tex_size", triangle_tex_size);
  setFloat(program, "stepsize", 1.0f / scene_dim);
}

// Float colour targets of one size, drawn into together.
class Targets {
 public:
  Targets(int width, int height, int count, GLenum internalFormat)
      : width_(width), height_(height), textures_(count) {
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    std::vector<GLenum> buffers;
    for (int i = 0; i < count; ++i) {
      textures_[i] = texture2D(internalFormat, width, height, GL_RGBA, GL_FLOAT, nullptr);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, textures_[i],
                             0);
      buffers.push_back(GL_COLOR_ATTACHMENT0 + i);
    }
    glDrawBuffers(count, buffers.data());
    complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  ~Targets() {
    glDeleteFramebuffers(1, &fbo_);
    glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
  }
  Targets(const Targets&) = delete;
  Targets& operator=(const Targets&) = delete;

  bool complete() const { return complete_; }

  // Clears to a marker value, so that unwritten outputs show up.
  void draw(GLuint vao) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glViewport(0, 0, width_, height_);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glClearColor(-7.0f, -7.0f, -7.0f, -7.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glFinish();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }

  // Row-major from the bottom row, as GL numbers pixels.
  std::vector<Vec4> read(int target) const {
    std::vector<Vec4> pixels(width_ * height_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glReadBuffer(GL_COLOR_ATTACHMENT0 + target);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_FLOAT, pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return pixels;
  }

  GLuint texture(int target) const { return textures_[target]; }

 private:
  int width_, height_;
  GLuint fbo_ = 0;
  std::vector<GLuint> textures_;
  bool complete_ = false;
};

}  // namespace shadertest
