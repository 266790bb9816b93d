#include "geometry/ObjLineScanner.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

const char* const kFacePatterns[4] = {
    "f %d/%d/%d %d/%d/%d %d/%d/%d ",
    "f %d/%d %d/%d %d/%d ",
    "f %d//%d %d//%d %d//%d ",
    "f %d %d %d",
};
const char* const kVertexPattern = "v %f %f %f";
const char* const kNormalPattern = "vn %f %f %f";

namespace {

// The C locale's isspace, without the locale lookup.
inline bool isScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline void skipSpace(const char*& p, const char* end) {
  while (p != end && isScanSpace(*p)) ++p;
}

// True when [p, end) starts with `word` (lower case), ignoring case.
bool startsWithWord(const char* p, const char* end, const char* word) {
  for (; *word; ++word, ++p) {
    if (p == end || toLower(*p) != *word) return false;
  }
  return true;
}

// strtof on a copy: the rare inputs from_chars cannot take the same way
// (hexadecimal digits, results that overflow or underflow).
float strtofCopy(const char* begin, const char* end) {
  const std::string text(begin, end);
  return std::strtof(text.c_str(), nullptr);
}

// sscanf converts the characters it consumed with strtof, which may stop
// earlier ("1e+" is 1); from_chars takes the same longest valid prefix.
float convertDecimal(const char* digits, const char* end) {
  float value = 0.0f;
  const std::from_chars_result result = std::from_chars(digits, end, value);
  if (result.ec == std::errc::result_out_of_range) return strtofCopy(digits, end);
  return value;
}

// "inf" or "infinity" after the sign; "infi" that does not go on to
// "infinity" is a mismatch, as in the C library.
bool scanInfinity(const char*& p, const char* end) {
  if (!startsWithWord(p, end, "inf")) return false;
  p += 3;
  if (p == end || toLower(*p) != 'i') return true;
  if (!startsWithWord(p, end, "inity")) return false;
  p += 5;
  return true;
}

// Mantissa and exponent of a finite number, consumed by the C library's
// rules: one decimal point, one exponent letter (which needs a digit before
// it), a sign only straight after the exponent letter.
void consumeNumberBody(const char*& p, const char* end, bool hex, bool got_digit, bool& any_digit) {
  const char exp_char = hex ? 'p' : 'e';
  bool got_e = false;
  bool got_dot = false;
  for (; p != end; ++p) {
    const char c = *p;
    if (isDigit(c) || (hex && !got_e && isHexDigit(c))) {
      got_digit = true;
    } else if (got_e && toLower(p[-1]) == exp_char && (c == '+' || c == '-')) {
      continue;
    } else if (got_digit && !got_e && toLower(c) == exp_char) {
      got_e = got_dot = true;
    } else if (c == '.' && !got_dot) {
      got_dot = true;
    } else {
      break;
    }
  }
  any_digit = got_digit;
}

}  // namespace

bool scanInt(const char*& p, const char* end, int32_t& value) {
  skipSpace(p, end);
  const char* q = p;
  bool negative = false;
  if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
  if (q == end || !isDigit(*q)) return false;
  // strtol saturates at the range of long; sscanf then keeps the low 32 bits.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  for (; q != end && isDigit(*q); ++q) {
    // Past kLimit / 10 the next digit overflows long in either sign.
    magnitude = magnitude > kLimit / 10 ? kLimit + 1 : magnitude * 10 + static_cast<uint64_t>(*q - '0');
  }
  int64_t wide;
  if (negative) {
    wide = magnitude >= kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
  } else {
    wide = magnitude >= kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(magnitude);
  }
  value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
  p = q;
  return true;
}

bool scanFloat(const char*& p, const char* end, float& value) {
  skipSpace(p, end);
  const char* q = p;
  if (q == end) return false;
  bool negative = false;
  if (*q == '+' || *q == '-') {
    negative = *q++ == '-';
    if (q == end) return false;
  }
  const char* body = q;
  float magnitude;
  if (toLower(*q) == 'n') {
    if (!startsWithWord(q, end, "nan")) return false;
    q += 3;
    magnitude = std::numeric_limits<float>::quiet_NaN();
  } else if (toLower(*q) == 'i') {
    if (!scanInfinity(q, end)) return false;
    magnitude = std::numeric_limits<float>::infinity();
  } else {
    bool hex = false;
    bool leading_zero = false;
    if (*q == '0') {
      ++q;
      if (q != end && toLower(*q) == 'x') {
        hex = true;
        ++q;
      } else {
        leading_zero = true;
      }
    }
    bool any_digit = false;
    consumeNumberBody(q, end, hex, leading_zero, any_digit);
    // A bare "0x" is a mismatch; "0x." still converts its "0".
    if (hex && q == body + 2) return false;
    if (!hex && !any_digit) return false;
    magnitude = hex ? strtofCopy(body, q) : convertDecimal(body, q);
  }
  value = negative ? -magnitude : magnitude;
  p = q;
  return true;
}

int scanPattern(const char* begin, const char* end, const char* pattern, int32_t* ints, float* floats) {
  const char* p = begin;
  int conversions = 0;
  for (const char* f = pattern; *f; ++f) {
    if (*f == '%') {
      ++f;
      const bool converted = *f == 'd' ? scanInt(p, end, *ints++) : scanFloat(p, end, *floats++);
      if (!converted) break;
      ++conversions;
    } else if (isScanSpace(*f)) {
      skipSpace(p, end);
    } else {
      if (p == end || *p != *f) break;
      ++p;
    }
  }
  return conversions;
}

ObjLineKind classifyObjLine(const char* begin, const char* end, bool smooth_normals) {
  if (end - begin < 2) return ObjLineKind::kIgnored;
  if (begin[0] == 'v' && begin[1] == ' ') return ObjLineKind::kVertex;
  if (begin[0] == 'v' && begin[1] == 'n' && smooth_normals) return ObjLineKind::kNormal;
  if (begin[0] == 'f' && begin[1] == ' ') return ObjLineKind::kFace;
  return ObjLineKind::kIgnored;
}

namespace {

int scanThreeFloats(const char* begin, const char* end, const char* pattern, Vector3& out) {
  float values[3] = {0.0f, 0.0f, 0.0f};
  const int conversions = scanPattern(begin, end, pattern, nullptr, values);
  out = {values[0], values[1], values[2]};
  return conversions;
}

}  // namespace

int scanVertexLine(const char* begin, const char* end, Vector3& position) {
  return scanThreeFloats(begin, end, kVertexPattern, position);
}

int scanNormalLine(const char* begin, const char* end, Vector3& normal) {
  return scanThreeFloats(begin, end, kNormalPattern, normal);
}

ObjFaceLine scanFaceLine(const char* begin, const char* end) {
  ObjFaceLine face;
  int32_t v[9] = {};
  if (scanPattern(begin, end, kFacePatterns[0], v, nullptr) == 9) {
    face.form = 1;
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = v[3 * k];
      face.texcoord[k] = v[3 * k + 1];
      face.normal[k] = v[3 * k + 2];
    }
    return face;
  }
  // Forms 2 and 3 differ only in the slashes; the third is worth trying only
  // when the second stopped right after its first index.
  int conversions = scanPattern(begin, end, kFacePatterns[1], v, nullptr);
  if (conversions == 6) {
    face.form = 2;
  } else if (conversions == 1 && scanPattern(begin, end, kFacePatterns[2], v, nullptr) == 6) {
    face.form = 3;
  }
  if (face.form != 0) {
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = v[2 * k];
      face.normal[k] = v[2 * k + 1];
    }
    return face;
  }
  if (scanPattern(begin, end, kFacePatterns[3], v, nullptr) == 3) {
    face.form = 4;
    for (int k = 0; k < 3; ++k) face.vertex[k] = v[k];
  }
  return face;
}
