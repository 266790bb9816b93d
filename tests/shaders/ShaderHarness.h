#pragma once

// Runs the ray-tracing fragment shaders on hand-made scenes: compiles them
// with plain GL calls from their source files, fills the scene textures in
// their packed layouts, draws one full-screen triangle into float targets
// and reads them back.
#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/GlContext.h"

namespace shadertest {

constexpr int kPoolDim = 128;
constexpr int kTexSize = 1024;

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

inline std::string readShader(const std::string& name) {
  std::ifstream in(std::string(XMASTRACE_SOURCE_DIR) + "/src/render/shaders/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The one-bounce variant is the same text with a define after #version.
inline std::string withOneBounce(const std::string& source) {
  std::string::size_type end = source.find('\n');
  return source.substr(0, end + 1) + "#define ONE_BOUNCE\n" + source.substr(end + 1);
}

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

// The scene arrays in the packed layouts the shaders decode: node words,
// triangle references, corner positions (octree units times 1024), corner
// normals with the material coordinate, and the 32-entry material table.
struct SceneData {
  std::vector<uint32_t> nodePool = std::vector<uint32_t>(kPoolDim * kPoolDim * kPoolDim, 0);
  std::vector<uint32_t> triangleIds = std::vector<uint32_t>(kTexSize * kTexSize, 0);
  std::vector<float> positions = std::vector<float>(kTexSize * kTexSize * 3, 0.0f);
  std::vector<float> normals = std::vector<float>(kTexSize * kTexSize * 4, 0.0f);
  std::vector<uint8_t> brdf = std::vector<uint8_t>(32 * 4, 0);

  void setNode(int x, int y, int z, uint32_t word) {
    nodePool[(z * kPoolDim + y) * kPoolDim + x] = word;
  }

  void setTriangleId(int column, int row, int firstTexel) {
    triangleIds[row * kTexSize + column] =
        (static_cast<uint32_t>(firstTexel / kTexSize) << 16) | (firstTexel % kTexSize);
  }

  // Corners in octree space; the texels are consecutive in row-major order.
  void setTriangle(int firstTexel, const Vec3 (&corners)[3], Vec3 normal, int material) {
    for (int i = 0; i < 3; ++i) {
      int texel = firstTexel + i;
      positions[texel * 3 + 0] = static_cast<float>(corners[i].x * 1024.0);
      positions[texel * 3 + 1] = static_cast<float>(corners[i].y * 1024.0);
      positions[texel * 3 + 2] = static_cast<float>(corners[i].z * 1024.0);
      normals[texel * 4 + 0] = static_cast<float>(normal.x);
      normals[texel * 4 + 1] = static_cast<float>(normal.y);
      normals[texel * 4 + 2] = static_cast<float>(normal.z);
      normals[texel * 4 + 3] = material / 32.0f;
    }
  }

  void setMaterial(int index, uint8_t r, uint8_t g, uint8_t b, uint8_t code) {
    uint8_t* entry = &brdf[index * 4];
    entry[0] = r;
    entry[1] = g;
    entry[2] = b;
    entry[3] = code;
  }
};

inline uint32_t internalWord(int bx, int by, int bz) {
  return (static_cast<uint32_t>(bz) << 20) | (static_cast<uint32_t>(by) << 10) | bx;
}
inline uint32_t leafWord(int column, int row, int count) {
  return 0x80000000u | (static_cast<uint32_t>(row) << 20) | (static_cast<uint32_t>(column) << 10) |
         count;
}
constexpr uint32_t kEmptyWord = 0x40000000u;

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
inline SceneData testRoom() {
  SceneData scene;
  scene.setNode(0, 0, 0, internalWord(2, 0, 0));
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i) scene.setNode(2 + i, j, k, kEmptyWord);
  scene.setNode(2, 0, 0, leafWord(1023, 0, 2));
  scene.setNode(2, 0, 1, leafWord(1, 1, 2));
  scene.setNode(3, 1, 1, leafWord(3, 1, 2));

  scene.setTriangleId(1023, 0, 0);
  scene.setTriangleId(0, 1, 1023);
  scene.setTriangleId(1, 1, 3);
  scene.setTriangleId(2, 1, 6);
  scene.setTriangleId(3, 1, 9);
  scene.setTriangleId(4, 1, 12);

  const Vec3 up{0, 3, 0};  // not unit length: the shaders normalise
  scene.setTriangle(0, {{0, 0.25, 0}, {0.5, 0.25, 0}, {0, 0.25, 0.5}}, up, kFloorMaterial);
  scene.setTriangle(1023, {{0.5, 0.25, 0}, {0.5, 0.25, 0.5}, {0, 0.25, 0.5}}, up, kFloorMaterial);
  scene.setTriangle(3, {{0, 0.25, 0.5}, {0.5, 0.25, 0.5}, {0, 0.25, 1}}, up, kFloorMaterial);
  scene.setTriangle(6, {{0.5, 0.25, 0.5}, {0.5, 0.25, 1}, {0, 0.25, 1}}, up, kFloorMaterial);
  const Vec3 down{0, -1, 0};
  scene.setTriangle(9, {{0.5, 0.75, 0.5}, {1, 0.75, 0.5}, {0.5, 0.75, 1}}, down, kCeilingMaterial);
  scene.setTriangle(12, {{1, 0.75, 0.5}, {1, 0.75, 1}, {0.5, 0.75, 1}}, down, kCeilingMaterial);

  scene.setMaterial(kFloorMaterial, kFloorColour[0], kFloorColour[1], kFloorColour[2], 0);
  scene.setMaterial(kCeilingMaterial, kCeilingGrey, kCeilingGrey, kCeilingGrey, kCeilingCode);
  return scene;
}

struct SceneTextures {
  GLuint nodePool = 0, triangleIds = 0, triangles = 0, normals = 0, brdf = 0;
};

inline SceneTextures uploadScene(const SceneData& scene) {
  SceneTextures t;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glGenTextures(1, &t.nodePool);
  glBindTexture(GL_TEXTURE_3D, t.nodePool);
  setNearestClampToBorder(GL_TEXTURE_3D);
  glTexImage3D(GL_TEXTURE_3D, 0, GL_R32UI, kPoolDim, kPoolDim, kPoolDim, 0, GL_RED_INTEGER,
               GL_UNSIGNED_INT, scene.nodePool.data());
  glBindTexture(GL_TEXTURE_3D, 0);
  t.triangleIds = texture2D(GL_R32UI, kTexSize, kTexSize, GL_RED_INTEGER, GL_UNSIGNED_INT,
                            scene.triangleIds.data());
  t.triangles = texture2D(GL_RGB16F, kTexSize, kTexSize, GL_RGB, GL_FLOAT, scene.positions.data());
  t.normals = texture2D(GL_RGBA16F, kTexSize, kTexSize, GL_RGBA, GL_FLOAT, scene.normals.data());
  glGenTextures(1, &t.brdf);
  glBindTexture(GL_TEXTURE_1D, t.brdf);
  setNearestClampToBorder(GL_TEXTURE_1D);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, 32, 0, GL_RGBA, GL_UNSIGNED_BYTE, scene.brdf.data());
  glBindTexture(GL_TEXTURE_1D, 0);
  return t;
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
  setFloat(program, "inv_node_pool_dim", 1.0f / kPoolDim);
  setFloat(program, "inv_triangle_id_tex_size", 1.0f / kTexSize);
  setFloat(program, "inv_triangle_tex_size", 1.0f / kTexSize);
  setUint(program, "triangle_id_tex_size", kTexSize);
  setUint(program, "triangle_tex_size", kTexSize);
  setFloat(program, "stepsize", 1.0f / 1024.0f);
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
