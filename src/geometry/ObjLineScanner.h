#pragma once

#include <cstdint>

#include "geometry/Vector.h"

// Parsing of single OBJ lines. Every function here converts exactly what the
// C library's sscanf would convert with the same pattern on the same text
// (same conversion count, same values, bit for bit), only much faster. A line
// is the range [begin, end); nothing outside it is read.

// The patterns below are matched scanf-style: "%d" and "%f" convert (after
// skipping white space), a blank skips any amount of white space, any other
// character must match literally, and matching ends at the first mismatch.
// Running out of input counts as a mismatch (never sscanf's EOF marker).

// "%d" and "%f" on their own: on success `p` moves past exactly what sscanf
// would consume.
bool scanInt(const char*& p, const char* end, int32_t& value);
bool scanFloat(const char*& p, const char* end, float& value);

// What the loader does with a line, decided by its first two characters.
enum class ObjLineKind { kIgnored, kVertex, kNormal, kFace };
ObjLineKind classifyObjLine(const char* begin, const char* end, bool smooth_normals);

// "v %f %f %f" and "vn %f %f %f": the number of coordinates converted
// (three means the line is usable). Converted values are stored, the rest
// of `position` is left as it was.
int scanVertexLine(const char* begin, const char* end, Vector3& position);
int scanNormalLine(const char* begin, const char* end, Vector3& normal);

// A face line as one of the four index forms, tried in their fixed order:
// 1 "v/t/n", 2 "v/n" (the second index counts as the normal), 3 "v//n",
// 4 "v". `form` is 0 when none fits. Only the fields the form gives are
// set; the others stay 0. Indices are as written (one-based or negative).
struct ObjFaceLine {
  int form = 0;
  int32_t vertex[3] = {0, 0, 0};
  int32_t texcoord[3] = {0, 0, 0};
  int32_t normal[3] = {0, 0, 0};
};
ObjFaceLine scanFaceLine(const char* begin, const char* end);

// Conversions of one face form's pattern: 1 "f %d/%d/%d %d/%d/%d %d/%d/%d ",
// 2 "f %d/%d %d/%d %d/%d ", 3 "f %d//%d %d//%d %d//%d ", 4 "f %d %d %d".
// The converted indices go to `indices` in order (up to 9).
int scanFaceForm(const char* begin, const char* end, int form, int32_t* indices);
