#include "room/Mesh.h"

#include <cmath>
#include <cstdint>

namespace room {

int addVertex(Mesh& mesh, const Vec3& position) {
  mesh.positions.push_back(position);
  return static_cast<int>(mesh.positions.size()) - 1;
}

int addVertex(Mesh& mesh, const Vec3& position, const Vec3& normal) {
  mesh.normals.push_back(normal);
  return addVertex(mesh, position);
}

void addTriangle(Mesh& mesh, int a, int b, int c) { mesh.triangles.push_back({a, b, c}); }

void addQuad(Mesh& mesh, int a, int b, int c, int d) {
  addTriangle(mesh, a, b, c);
  addTriangle(mesh, a, c, d);
}

std::string formatCoordinate(double value) {
  // Integer millionths, printed by hand: printf's rounding of the last digit
  // is not specified tightly enough to trust across C libraries.
  const long long micro = std::llround(value * 1e6);
  const bool negative = micro < 0;
  const unsigned long long magnitude = static_cast<unsigned long long>(negative ? -micro : micro);
  std::string fraction = std::to_string(magnitude % 1000000ULL);
  fraction.insert(0, 6 - fraction.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 1000000ULL) + "." + fraction;
}

namespace {

std::string vectorLine(const char* keyword, const Vec3& v) {
  return std::string(keyword) + " " + formatCoordinate(v.x) + " " + formatCoordinate(v.y) + " " +
         formatCoordinate(v.z) + "\n";
}

std::string corner(int index, bool smooth) {
  const std::string number = std::to_string(index + 1);
  return smooth ? number + "//" + number : number;
}

}  // namespace

std::string objText(const Mesh& mesh, const std::string& description) {
  std::string text = "# " + description + "\n";
  text += "# written by tools/roomgen; edit the generator, not this file\n";
  text += "# " + std::to_string(mesh.positions.size()) + " vertices, " +
          std::to_string(mesh.triangles.size()) + " triangles\n";
  for (const Vec3& p : mesh.positions) text += vectorLine("v", p);
  if (mesh.smooth) {
    for (const Vec3& n : mesh.normals) text += vectorLine("vn", n);
  }
  for (const auto& t : mesh.triangles) {
    text += "f " + corner(t[0], mesh.smooth) + " " + corner(t[1], mesh.smooth) + " " +
            corner(t[2], mesh.smooth) + "\n";
  }
  return text;
}

}  // namespace room
