#pragma once

// The OBJ line patterns run through the C library's sscanf itself: the
// reference the fast scanner must agree with, conversion for conversion.
// Also used by the loader benchmark as the speed baseline.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "geometry/MeshFace.h"
#include "geometry/ObjLineScanner.h"
#include "geometry/Vector.h"

namespace oracle {

// sscanf's count, with the EOF marker (input ended before the first
// conversion) counted as zero conversions.
inline int count(int result) { return result < 0 ? 0 : result; }

// `which` is 0..3 for the face forms, 4 for the vertex and 5 for the normal
// pattern, the same order as the scanner's pattern constants.
inline int scan(const char* line, int which, int32_t* v, float* f) {
  switch (which) {
    case 0:
      return count(std::sscanf(line, "f %d/%d/%d %d/%d/%d %d/%d/%d ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                               &v[6], &v[7], &v[8]));
    case 1:
      return count(std::sscanf(line, "f %d/%d %d/%d %d/%d ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    case 2:
      return count(std::sscanf(line, "f %d//%d %d//%d %d//%d ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    case 3:
      return count(std::sscanf(line, "f %d %d %d", &v[0], &v[1], &v[2]));
    case 4:
      return count(std::sscanf(line, "v %f %f %f", &f[0], &f[1], &f[2]));
    default:
      return count(std::sscanf(line, "vn %f %f %f", &f[0], &f[1], &f[2]));
  }
}

inline ObjFaceLine faceLine(const char* line) {
  ObjFaceLine face;
  int32_t v[9] = {};
  if (scan(line, 0, v, nullptr) == 9) {
    face.form = 1;
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = v[3 * k];
      face.texcoord[k] = v[3 * k + 1];
      face.normal[k] = v[3 * k + 2];
    }
    return face;
  }
  int32_t w[6] = {};
  const int second = scan(line, 1, w, nullptr);
  if (second == 6) {
    face.form = 2;
  } else if (second == 1 && scan(line, 2, w, nullptr) == 6) {
    face.form = 3;
  }
  if (face.form != 0) {
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = w[2 * k];
      face.normal[k] = w[2 * k + 1];
    }
    return face;
  }
  int32_t u[3] = {};
  if (scan(line, 3, u, nullptr) == 3) {
    face.form = 4;
    for (int k = 0; k < 3; ++k) face.vertex[k] = u[k];
  }
  return face;
}

// The loader written the slow, obvious way: getline and sscanf. Handles
// well-formed files only (every index in range); returns false on a line
// the loader would refuse.
struct LoadResult {
  std::vector<Vector3> positions;
  std::vector<MeshFace> faces;
};

inline bool loadObj(const std::string& file_name, bool smooth_normals, uint8_t tag, int32_t material,
                    LoadResult& out) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in.good()) return false;
  const int32_t base = static_cast<int32_t>(out.positions.size());
  const size_t first_face = out.faces.size();
  std::vector<Vector3> normals;
  std::vector<bool> plain;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const char* text = line.c_str();
    if (text[0] == 'v' && text[1] == ' ') {
      float f[3];
      if (scan(text, 4, nullptr, f) < 3) return false;
      out.positions.push_back({f[0], f[1], f[2]});
    } else if (smooth_normals && text[0] == 'v' && text[1] == 'n') {
      float f[3];
      if (scan(text, 5, nullptr, f) < 3) return false;
      normals.push_back({f[0], f[1], f[2]});
    } else if (text[0] == 'f' && text[1] == ' ') {
      const ObjFaceLine parsed = faceLine(text);
      if (parsed.form == 0) return false;
      const int32_t count_so_far = static_cast<int32_t>(out.positions.size()) - base;
      const int32_t normals_so_far = static_cast<int32_t>(normals.size());
      MeshFace face;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = parsed.vertex[k];
        face.vertex_index[k] = base + (v < 0 ? count_so_far + v + 1 : v);
        face.texcoord_index[k] = parsed.texcoord[k];
        const int32_t n = parsed.normal[k];
        face.normal_index[k] = (smooth_normals && n < 0) ? normals_so_far + n + 1 : n;
      }
      face.material = material;
      face.tag = tag;
      out.faces.push_back(face);
      plain.push_back(parsed.form == 4);
    }
  }
  for (size_t i = first_face; i < out.faces.size(); ++i) {
    MeshFace& face = out.faces[i];
    if (smooth_normals && !normals.empty() && !plain[i - first_face]) {
      for (int k = 0; k < 3; ++k) face.normal[k] = normals[static_cast<size_t>(face.normal_index[k] - 1)];
      continue;
    }
    const Vector3 a = out.positions[static_cast<size_t>(face.vertex_index[0] - 1)];
    const Vector3 b = out.positions[static_cast<size_t>(face.vertex_index[1] - 1)];
    const Vector3 c = out.positions[static_cast<size_t>(face.vertex_index[2] - 1)];
    // (b - a) x (c - a), which equals (a - b) x (a - c).
    const Vector3 e1{a.x - b.x, a.y - b.y, a.z - b.z};
    const Vector3 e2{a.x - c.x, a.y - c.y, a.z - c.z};
    const Vector3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
    face.normal[0] = face.normal[1] = face.normal[2] = n;
  }
  return true;
}

}  // namespace oracle
