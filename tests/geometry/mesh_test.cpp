#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cstring>
#include <vector>

#include "geometry/Mesh.h"
#include "support/GlContext.h"

namespace {

Vector3 sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

GLint vertexArrayInt(GLuint attribute, GLenum what) {
  GLint value = -1;
  glGetVertexAttribiv(attribute, what, &value);
  return value;
}

GLint vertexArrayOffset(GLuint attribute) {
  void* pointer = nullptr;
  glGetVertexAttribPointerv(attribute, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
  return static_cast<GLint>(reinterpret_cast<intptr_t>(pointer));
}

}  // namespace

TEST(BoxMesh, CornersInTheirOrder) {
  const std::vector<Vector3> corners = boxCorners(-30, -30, -30, 30, 30, 30);
  ASSERT_EQ(8u, corners.size());
  EXPECT_EQ(30.0f, corners[6].x);
  EXPECT_EQ(30.0f, corners[6].y);
  EXPECT_EQ(30.0f, corners[6].z);
  EXPECT_EQ(-30.0f, corners[3].x);
  EXPECT_EQ(-30.0f, corners[3].y);
  EXPECT_EQ(30.0f, corners[3].z);
  // Asymmetric bounds catch swapped axes.
  const std::vector<Vector3> c = boxCorners(1, 2, 3, 4, 5, 6);
  EXPECT_EQ(4.0f, c[1].x);
  EXPECT_EQ(2.0f, c[1].y);
  EXPECT_EQ(3.0f, c[1].z);
  EXPECT_EQ(1.0f, c[7].x);
  EXPECT_EQ(5.0f, c[7].y);
  EXPECT_EQ(6.0f, c[7].z);
}

// Culling front faces must leave the far side of the box from anywhere:
// that needs every triangle wound counter-clockwise from outside.
TEST(BoxMesh, EveryTriangleFacesOutward) {
  const std::vector<Vector3> corners = boxCorners(-1, -2, -3, 5, 6, 7);
  const Vector3 center{2, 2, 2};
  const auto& indices = boxIndices();
  int covered[8] = {};
  for (int t = 0; t < 12; ++t) {
    const Vector3& a = corners[indices[3 * t]];
    const Vector3& b = corners[indices[3 * t + 1]];
    const Vector3& c = corners[indices[3 * t + 2]];
    const Vector3 normal = cross(sub(b, a), sub(c, a));
    const Vector3 middle{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    EXPECT_GT(dot(normal, sub(middle, center)), 0.0f) << "triangle " << t;
    if (t == 0) {
      EXPECT_LT(normal.y, 0.0f) << "the first triangle is the bottom";
    }
    for (int k = 0; k < 3; ++k) ++covered[indices[3 * t + k]];
  }
  for (int corner = 0; corner < 8; ++corner) EXPECT_GT(covered[corner], 0) << corner;
}

TEST(QuadMesh, TextureCoordinatesFollowClipPosition) {
  const auto& vertices = quadVertices();
  for (const QuadVertex& v : vertices) {
    EXPECT_EQ((v.x + 1) / 2, v.u);
    EXPECT_EQ((v.y + 1) / 2, v.v);
    EXPECT_EQ(0.0f, v.z);
  }
  // Both triangles counter-clockwise on screen.
  for (int t = 0; t < 2; ++t) {
    const QuadVertex& a = vertices[3 * t];
    const QuadVertex& b = vertices[3 * t + 1];
    const QuadVertex& c = vertices[3 * t + 2];
    EXPECT_GT((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x), 0.0f) << t;
  }
}

TEST(MeshGl, BoxBuffersHoldTheCornersAndIndices) {
  REQUIRE_GL_CONTEXT();
  const BoxMesh box = createBoxMesh(-30, -30, -30, 30, 30, 30);
  ASSERT_NE(0u, box.vertexArray);
  ASSERT_EQ(8u, box.vertices.size());
  GLint bound = -1;
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
  EXPECT_EQ(0, bound) << "left unbound";

  glBindVertexArray(box.vertexArray);
  // The index buffer is read through the vertex array's own binding, as a
  // draw would use it.
  GLint elementBuffer = 0;
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
  EXPECT_EQ(static_cast<GLint>(box.indexBuffer), elementBuffer);
  GLint indexBytes = 0;
  glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &indexBytes);
  ASSERT_EQ(72, indexBytes);
  uint16_t indices[kBoxIndexCount] = {};
  glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, sizeof indices, indices);
  for (int i = 0; i < kBoxIndexCount; ++i) {
    EXPECT_LE(indices[i], 7) << i;
    EXPECT_EQ(boxIndices()[static_cast<size_t>(i)], indices[i]) << i;
  }

  EXPECT_EQ(1, vertexArrayInt(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED));
  EXPECT_EQ(3, vertexArrayInt(0, GL_VERTEX_ATTRIB_ARRAY_SIZE));
  EXPECT_EQ(12, vertexArrayInt(0, GL_VERTEX_ATTRIB_ARRAY_STRIDE));
  EXPECT_EQ(static_cast<GLint>(box.vertexBuffer), vertexArrayInt(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
  glBindBuffer(GL_ARRAY_BUFFER, box.vertexBuffer);
  float corners[24] = {};
  glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof corners, corners);
  EXPECT_EQ(0, std::memcmp(corners, box.vertices.data(), sizeof corners));
  EXPECT_EQ(30.0f, corners[6 * 3 + 2]) << "corner 6 z";
  glBindVertexArray(0);
  EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST(MeshGl, QuadBufferHoldsSixVerticesWithTwoAttributes) {
  REQUIRE_GL_CONTEXT();
  const QuadMesh quad = createQuadMesh();
  ASSERT_NE(0u, quad.vertexArray);
  glBindVertexArray(quad.vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, quad.vertexBuffer);
  GLint bytes = 0;
  glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
  ASSERT_EQ(120, bytes);
  QuadVertex vertices[6] = {};
  glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices);
  EXPECT_EQ(0, std::memcmp(vertices, quadVertices().data(), sizeof vertices));

  for (GLuint attribute : {0u, 1u}) {
    EXPECT_EQ(1, vertexArrayInt(attribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED)) << attribute;
    EXPECT_EQ(20, vertexArrayInt(attribute, GL_VERTEX_ATTRIB_ARRAY_STRIDE)) << attribute;
    EXPECT_EQ(static_cast<GLint>(GL_FLOAT), vertexArrayInt(attribute, GL_VERTEX_ATTRIB_ARRAY_TYPE)) << attribute;
    EXPECT_EQ(0, vertexArrayInt(attribute, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED)) << attribute;
  }
  EXPECT_EQ(3, vertexArrayInt(0, GL_VERTEX_ATTRIB_ARRAY_SIZE));
  EXPECT_EQ(2, vertexArrayInt(1, GL_VERTEX_ATTRIB_ARRAY_SIZE));
  EXPECT_EQ(0, vertexArrayOffset(0));
  EXPECT_EQ(12, vertexArrayOffset(1));
  glBindVertexArray(0);
  EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}
