#pragma once

#include <cstdint>

#include "geometry/Vector.h"

// Parsing of single OBJ lines. Every function here converts exactly what the
// C library's sscanf would convert with the same pattern on the same text
// (same conversion count, same values, bit for bit), only much faster. A line
// is the range [begin, end); nothing outside it is read.

// Matches `pattern` scanf-style: "%d" and "%f" convert (skipping leading
// white space), a white-space character skips any amount of input white
// space, any other character must match literally. Converted values go to
// `ints` and `floats` in order of appearance; returns the number of
// conversions completed before the first mismatch (never the EOF marker:
// running out of input counts as a mismatch).
int scanPattern(const char* begin, const char* end, const char* pattern, int32_t* ints, float* floats);

// The pieces of the pattern language on their own. Each skips leading white
// space and, on success, advances `p` past what sscanf would consume.
bool scanInt(const char*& p, const char* end, int32_t& value);
bool scanFloat(const char*& p, const char* end, float& value);

// What the loader does with a line, decided by its first two characters.
enum class ObjLineKind { kIgnored, kVertex, kNormal, kFace };
ObjLineKind classifyObjLine(const char* begin, const char* end, bool smooth_normals);

// "v %f %f %f" and "vn %f %f %f": the number of coordinates converted
// (three means the line is usable).
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

// The patterns of the four forms, in the order they are tried.
extern const char* const kFacePatterns[4];
extern const char* const kVertexPattern;
extern const char* const kNormalPattern;
