#include "geometry/Mesh.h"

#include <GL/glew.h>

#include <cstddef>

std::vector<Vector3> boxCorners(float minX, float minY, float minZ, float maxX, float maxY, float maxZ) {
  return {
      {minX, minY, minZ}, {maxX, minY, minZ}, {maxX, minY, maxZ}, {minX, minY, maxZ},
      {minX, maxY, minZ}, {maxX, maxY, minZ}, {maxX, maxY, maxZ}, {minX, maxY, maxZ},
  };
}

const std::array<uint16_t, kBoxIndexCount>& boxIndices() {
  // Bottom, side x min, side x max, side z max, side z min, top.
  static const std::array<uint16_t, kBoxIndexCount> indices = {
      0, 1, 3, 1, 2, 3,  //
      0, 3, 7, 7, 4, 0,  //
      1, 5, 6, 6, 2, 1,  //
      3, 2, 6, 6, 7, 3,  //
      0, 4, 5, 5, 1, 0,  //
      4, 7, 6, 6, 5, 4,  //
  };
  return indices;
}

const std::array<QuadVertex, 6>& quadVertices() {
  static const std::array<QuadVertex, 6> vertices = {{
      {-1, -1, 0, 0, 0},
      {1, -1, 0, 1, 0},
      {1, 1, 0, 1, 1},
      {1, 1, 0, 1, 1},
      {-1, 1, 0, 0, 1},
      {-1, -1, 0, 0, 0},
  }};
  return vertices;
}

BoxMesh createBoxMesh(float minX, float minY, float minZ, float maxX, float maxY, float maxZ) {
  BoxMesh box;
  box.vertices = boxCorners(minX, minY, minZ, maxX, maxY, maxZ);
  const auto& indices = boxIndices();
  glGenVertexArrays(1, &box.vertexArray);
  glBindVertexArray(box.vertexArray);
  // Bound while the vertex array is: the binding becomes part of its state.
  glGenBuffers(1, &box.indexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, box.indexBuffer);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices.data(), GL_STATIC_DRAW);
  glGenBuffers(1, &box.vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, box.vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(box.vertices.size() * sizeof(Vector3)), box.vertices.data(),
               GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vector3), nullptr);
  glBindVertexArray(0);
  return box;
}

QuadMesh createQuadMesh() {
  QuadMesh quad;
  const auto& vertices = quadVertices();
  glGenVertexArrays(1, &quad.vertexArray);
  glBindVertexArray(quad.vertexArray);
  glGenBuffers(1, &quad.vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, quad.vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices.data(), GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), nullptr);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                        reinterpret_cast<const void*>(offsetof(QuadVertex, u)));
  glBindVertexArray(0);
  return quad;
}

void setQuadTextureExtent(const QuadMesh& quad, float u, float v) {
  std::array<QuadVertex, 6> vertices = quadVertices();
  for (QuadVertex& vertex : vertices) {
    vertex.u *= u;
    vertex.v *= v;
  }
  glBindBuffer(GL_ARRAY_BUFFER, quad.vertexBuffer);
  glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices.data());
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}
