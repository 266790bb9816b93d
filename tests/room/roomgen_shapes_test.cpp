// The room generator's building blocks: its own trigonometry and number
// text (which make the files the same on every machine) and the solids, which
// must come out closed, wound outwards and of the intended size.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "room/Mesh.h"
#include "room/Shapes.h"
#include "scene/OctreeScene.h"

using namespace room;

namespace {

TEST(RoomgenMath, SineAndCosineMatchTheLibraryInEveryQuadrant) {
  for (int i = -400; i <= 400; ++i) {
    const double x = i * 0.0625;  // crosses every quarter turn, both signs
    ASSERT_NEAR(detSin(x), std::sin(x), 1e-14) << x;
    ASSERT_NEAR(detCos(x), std::cos(x), 1e-14) << x;
  }
  EXPECT_NEAR(detSin(kPi), 0.0, 1e-15);
  EXPECT_NEAR(detCos(-kPi / 2.0), 0.0, 1e-15);
}

TEST(RoomgenText, CoordinatesHaveSixDecimalsAndNoNegativeZero) {
  EXPECT_EQ(formatCoordinate(0.0), "0.000000");
  EXPECT_EQ(formatCoordinate(-0.0), "0.000000");
  EXPECT_EQ(formatCoordinate(-4e-7), "0.000000");
  EXPECT_EQ(formatCoordinate(-6e-7), "-0.000001");
  EXPECT_EQ(formatCoordinate(3.14159265), "3.141593");
  EXPECT_EQ(formatCoordinate(-0.25), "-0.250000");
  EXPECT_EQ(formatCoordinate(10.0), "10.000000");
  EXPECT_EQ(formatCoordinate(1234.0000005), "1234.000001");
}

// Closed and consistently wound: every directed edge once, its reverse once.
bool isClosed(const Mesh& mesh) {
  std::map<std::pair<int, int>, int> edges;
  for (const auto& t : mesh.triangles) {
    for (int k = 0; k < 3; ++k) ++edges[{t[k], t[(k + 1) % 3]}];
  }
  for (const auto& [edge, count] : edges) {
    const auto reverse = edges.find({edge.second, edge.first});
    if (count != 1 || reverse == edges.end() || reverse->second != 1) return false;
  }
  return true;
}

double volume(const Mesh& mesh) {
  double sum = 0.0;
  for (const auto& t : mesh.triangles) {
    sum += dot(mesh.positions[t[0]], cross(mesh.positions[t[1]], mesh.positions[t[2]]));
  }
  return sum / 6.0;
}

// A turned, tilted and stretched placement far from the origin: the volume
// test must not depend on where a solid stands.
Frame awkwardFrame() {
  return translation({7.0, 2.0, -5.0}) * rotationY(0.7) * rotationX(-0.4) * scaling(2.0, 1.0, 0.5);
}

TEST(RoomgenShapes, SolidsAreClosedOutwardAndOfTheirSize) {
  const Frame frame = awkwardFrame();
  const double stretch = frame.determinant();
  ASSERT_NEAR(stretch, 1.0, 1e-12);
  struct Case {
    const char* name;
    Mesh mesh;
    double expected;
    double tolerance;
  };
  std::vector<Case> cases;

  Case box{"box", {}, 0.3 * 0.5 * 0.7, 1e-9};
  addBox(box.mesh, frame, {0.1, -0.2, 0.0}, {0.4, 0.3, 0.7});
  cases.push_back(box);

  const int n = 12;
  const double polygon = 0.5 * n * std::sin(2.0 * kPi / n);  // area of the unit n-gon
  Case ring{"ring", {}, polygon * (0.5 * 0.5 - 0.3 * 0.3) * 0.2, 1e-9};
  addRingPrism(ring.mesh, frame, 0.5, 0.3, n, -0.1, 0.1);
  cases.push_back(ring);

  // Frustum of a regular n-gon: h/3 (A + a + sqrt(A a)).
  const double big = polygon * 0.8 * 0.8;
  const double small = polygon * 0.2 * 0.2;
  Case frustum{"frustum", {}, 0.5 / 3.0 * (big + small + std::sqrt(big * small)), 1e-9};
  addFrustum(frustum.mesh, frame, 0.8, 0.2, 0.5, n, 0.3);
  cases.push_back(frustum);

  Case cone{"cone", {}, 0.5 / 3.0 * big, 1e-9};
  addFrustum(cone.mesh, frame, 0.8, 0.0, 0.5, n, 0.0);
  cases.push_back(cone);

  Case star{"star prism", {}, 0.0, 1e-9};
  const std::vector<Vec2> outline = starOutline(5, 0.5, 0.2);
  star.expected = signedArea2(outline) / 2.0 * 0.3;
  addPrism(star.mesh, frame, outline, 0.0, 0.3);
  cases.push_back(star);

  Case torus{"torus", {}, 2.0 * kPi * kPi * 0.4 * 0.1 * 0.1, 0.05};
  addTorus(torus.mesh, frame, 0.4, 0.1, 32, 16);
  cases.push_back(torus);

  Case sphere{"sphere", {}, 4.0 / 3.0 * kPi * 0.3 * 0.3 * 0.3, 0.02};
  sphere.mesh.smooth = true;
  addSphere(sphere.mesh, {1.0, 2.0, 3.0}, 0.3, 3);
  cases.push_back(sphere);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(isClosed(c.mesh));
    EXPECT_NEAR(volume(c.mesh) / c.expected, 1.0, c.tolerance);
  }
}

// The letter M is the awkward case for ear clipping: reflex corners on both
// sides. Its triangles must tile it exactly, all counter-clockwise.
TEST(RoomgenShapes, ConcaveOutlinesAreTiledWithoutGapsOrFlips) {
  const std::vector<Vec2> m = {{0, 0},     {1, 0},   {1, 3},   {2, 1}, {3, 3},   {3, 0},
                               {4, 0},     {4, 5},   {3, 5},   {2, 3}, {1, 5},   {0, 5}};
  const auto triangles = triangulatePolygon(m);
  ASSERT_EQ(triangles.size(), m.size() - 2);
  double covered = 0.0;
  for (const auto& t : triangles) {
    const double area2 = signedArea2({m[t[0]], m[t[1]], m[t[2]]});
    EXPECT_GT(area2, 0.0);
    covered += area2;
  }
  EXPECT_DOUBLE_EQ(covered, signedArea2(m));
}

// What the generator writes is what the demo's loader reads back: same
// triangles, same corners, and for smooth meshes the normals of the file.
TEST(RoomgenText, FilesReadBackThroughTheDemosLoader) {
  Mesh flat;
  addBox(flat, translation({0.5, 0.0, 0.0}), {0.0, 0.0, 0.0}, {1.0, 2.0, 3.0});
  Mesh smooth;
  smooth.smooth = true;
  addSphere(smooth, {0.0, 1.0, 0.0}, 0.5, 1);
  const std::string path = testing::TempDir() + "roomgen_read_back.obj";
  for (const Mesh* mesh : {&flat, &smooth}) {
    {
      std::FILE* out = std::fopen(path.c_str(), "wb");
      ASSERT_NE(out, nullptr);
      const std::string text = objText(*mesh, "read back");
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
    }
    OctreeScene scene;
    testing::internal::CaptureStdout();
    const int status = scene.loadObj(path, mesh->smooth, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(status, kStatusOk);
    ASSERT_EQ(scene.faces.size(), mesh->triangles.size());
    for (size_t f = 0; f < scene.faces.size(); ++f) {
      for (int k = 0; k < 3; ++k) {
        const int index = mesh->triangles[f][k];
        const Vec3& p = mesh->positions[index];
        const Vector3& q = scene.positions[scene.faces[f].vertex_index[k] - 1];
        ASSERT_NEAR(q.x, p.x, 1e-6);
        ASSERT_NEAR(q.y, p.y, 1e-6);
        ASSERT_NEAR(q.z, p.z, 1e-6);
        if (mesh->smooth) {
          ASSERT_NEAR(scene.faces[f].normal[k].x, mesh->normals[index].x, 1e-6);
          ASSERT_NEAR(scene.faces[f].normal[k].y, mesh->normals[index].y, 1e-6);
          ASSERT_NEAR(scene.faces[f].normal[k].z, mesh->normals[index].z, 1e-6);
        }
      }
    }
  }
  std::remove(path.c_str());
}

}  // namespace
