#include "geometry/ObjLineScanner.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

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

// Exact powers of ten in double precision (5^22 < 2^53).
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// mantissa x 10^exponent, for the common short numbers ("-12.345678").
// Mantissa (up to 2^53) and power of ten (up to 22) are exact doubles, so one
// division or multiplication gives the correctly rounded double. Rounding
// that to float again is exact unless the double landed precisely halfway
// between two floats; those few go the long way. The range keeps every
// result a normal float.
inline bool floatFromMantissa(uint64_t mantissa, int exponent, float& value) {
  if (mantissa == 0) {
    value = 0.0f;
    return true;
  }
  if (mantissa > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
  const double m = static_cast<double>(mantissa);
  const double exact = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
  uint64_t bits;
  std::memcpy(&bits, &exact, sizeof bits);
  constexpr uint64_t kBelowFloat = (uint64_t{1} << 29) - 1;
  if ((bits & kBelowFloat) == (uint64_t{1} << 28)) return false;
  value = static_cast<float>(exact);
  return true;
}

// The same for text with an exponent; false sends it to the general path.
bool convertShortDecimal(const char* p, const char* end, float& value) {
  uint64_t mantissa = 0;
  int digits = 0;
  int exponent = 0;
  for (; p != end && isDigit(*p); ++p, ++digits) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  if (p != end && *p == '.') {
    for (++p; p != end && isDigit(*p); ++p, ++digits, --exponent) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    }
  }
  if (digits > 18) return false;
  // An exponent letter counts only with digits after it ("1e+" is 1).
  if (p != end && toLower(*p) == 'e') {
    const char* q = p + 1;
    const bool negative = q != end && *q == '-';
    if (q != end && (*q == '-' || *q == '+')) ++q;
    if (q != end && isDigit(*q)) {
      int written = 0;
      for (; q != end && isDigit(*q); ++q) {
        if (written > 100) return false;
        written = written * 10 + (*q - '0');
      }
      exponent += negative ? -written : written;
    }
  }
  return floatFromMantissa(mantissa, exponent, value);
}

// sscanf converts the characters it consumed with strtof, which may stop
// earlier ("1e+" is 1); from_chars takes the same longest valid prefix.
float convertDecimal(const char* digits, const char* end) {
  float value = 0.0f;
  if (convertShortDecimal(digits, end, value)) return value;
#ifdef __EMSCRIPTEN__
  // The browser build's standard library has no floating-point from_chars.
  return strtofCopy(digits, end);
#else
  const std::from_chars_result result = std::from_chars(digits, end, value);
  if (result.ec == std::errc::result_out_of_range) return strtofCopy(digits, end);
  return value;
#endif
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

inline bool scanIntInline(const char*& p, const char* end, int32_t& value) {
  skipSpace(p, end);
  const char* q = p;
  bool negative = false;
  if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
  if (q == end || !isDigit(*q)) return false;
  // strtol saturates at the range of long; sscanf then keeps the low 32 bits.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  // Eighteen digits cannot overflow; only longer numbers need the checks.
  for (const char* stop = end - q > 18 ? q + 18 : end; q != stop && isDigit(*q); ++q) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(*q - '0');
  }
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

// Digits with at most one decimal point and no exponent or hexadecimal
// prefix after them: the bulk of every OBJ file, consumed and converted in
// one pass. Anything else is left untouched for the general path.
inline bool scanPlainDecimal(const char*& p, const char* end, float& magnitude) {
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction_digits = 0;
  bool dot = false;
  const char* q = p;
  for (; q != end; ++q) {
    const char c = *q;
    if (isDigit(c)) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      ++digits;
      fraction_digits += dot;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (q != end && (toLower(*q) == 'e' || toLower(*q) == 'x')) return false;
  if (digits > 18 || !floatFromMantissa(mantissa, -fraction_digits, magnitude)) {
    magnitude = convertDecimal(p, q);
  }
  p = q;
  return true;
}

inline bool scanFloatInline(const char*& p, const char* end, float& value) {
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
  if (scanPlainDecimal(q, end, magnitude)) {
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
  }
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

}  // namespace

bool scanInt(const char*& p, const char* end, int32_t& value) { return scanIntInline(p, end, value); }

bool scanFloat(const char*& p, const char* end, float& value) { return scanFloatInline(p, end, value); }

ObjLineKind classifyObjLine(const char* begin, const char* end, bool smooth_normals) {
  if (end - begin < 2) return ObjLineKind::kIgnored;
  if (begin[0] == 'v' && begin[1] == ' ') return ObjLineKind::kVertex;
  if (begin[0] == 'v' && begin[1] == 'n' && smooth_normals) return ObjLineKind::kNormal;
  if (begin[0] == 'f' && begin[1] == ' ') return ObjLineKind::kFace;
  return ObjLineKind::kIgnored;
}

namespace {

// One scanf pattern spelled out as calls: lit('/') for a literal, space()
// for a blank, d() for %d and f() for %f. After the first mismatch nothing
// more is read or converted, as with sscanf.
class Match {
 public:
  Match(const char* begin, const char* end) : p_(begin), end_(end) {}

  Match& lit(char c) {
    if (ok_ && p_ != end_ && *p_ == c) {
      ++p_;
    } else {
      ok_ = false;
    }
    return *this;
  }
  Match& space() {
    if (ok_) skipSpace(p_, end_);
    return *this;
  }
  Match& d(int32_t& value) { return converted(ok_ && scanIntInline(p_, end_, value)); }
  Match& f(float& value) { return converted(ok_ && scanFloatInline(p_, end_, value)); }

  int conversions() const { return conversions_; }
  const char* position() const { return p_; }

 private:
  Match& converted(bool success) {
    if (success) {
      ++conversions_;
    } else {
      ok_ = false;
    }
    return *this;
  }

  const char* p_;
  const char* end_;
  bool ok_ = true;
  int conversions_ = 0;
};

}  // namespace

int scanVertexLine(const char* begin, const char* end, Vector3& position) {
  // "v %f %f %f"
  return Match(begin, end).lit('v').space().f(position.x).space().f(position.y).space().f(position.z).conversions();
}

int scanNormalLine(const char* begin, const char* end, Vector3& normal) {
  // "vn %f %f %f"
  return Match(begin, end).lit('v').lit('n').space().f(normal.x).space().f(normal.y).space().f(normal.z).conversions();
}

namespace {

// The part of a face pattern after its opening "f %d", which all four forms
// share; `m` has matched that opening already.
int scanFaceTail(Match m, int form, int32_t* v) {
  switch (form) {
    case 1:  // "f %d/%d/%d %d/%d/%d %d/%d/%d "
      m.lit('/').d(v[1]).lit('/').d(v[2]).space();
      m.d(v[3]).lit('/').d(v[4]).lit('/').d(v[5]).space();
      m.d(v[6]).lit('/').d(v[7]).lit('/').d(v[8]);
      break;
    case 2:  // "f %d/%d %d/%d %d/%d "
      m.lit('/').d(v[1]).space().d(v[2]).lit('/').d(v[3]).space().d(v[4]).lit('/').d(v[5]);
      break;
    case 3:  // "f %d//%d %d//%d %d//%d "
      m.lit('/').lit('/').d(v[1]).space().d(v[2]).lit('/').lit('/').d(v[3]).space();
      m.d(v[4]).lit('/').lit('/').d(v[5]);
      break;
    default:  // "f %d %d %d"
      m.space().d(v[1]).space().d(v[2]);
      break;
  }
  return m.conversions();
}

Match faceOpening(const char* begin, const char* end, int32_t* v) {
  Match m(begin, end);
  m.lit('f').space().d(v[0]);
  return m;
}

}  // namespace

int scanFaceForm(const char* begin, const char* end, int form, int32_t* indices) {
  return scanFaceTail(faceOpening(begin, end, indices), form, indices);
}

ObjFaceLine scanFaceLine(const char* begin, const char* end) {
  ObjFaceLine face;
  int32_t v[9] = {};
  // Converted once: the opening is the same text under every form.
  const Match opening = faceOpening(begin, end, v);
  const char* after = opening.position();
  const bool slash = opening.conversions() == 1 && after != end && *after == '/';
  if (!slash) {
    // The first three forms go on with a slash; only "f %d %d %d" is left.
    if (scanFaceTail(opening, 4, v) == 3) {
      face.form = 4;
      for (int k = 0; k < 3; ++k) face.vertex[k] = v[k];
    }
    return face;
  }
  // Two slashes can only be the third form, one only the first or second;
  // the plain form cannot follow a slash at all.
  if (after + 1 != end && after[1] == '/') {
    if (scanFaceTail(opening, 3, v) == 6) face.form = 3;
  } else if (scanFaceTail(opening, 1, v) == 9) {
    face.form = 1;
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = v[3 * k];
      face.texcoord[k] = v[3 * k + 1];
      face.normal[k] = v[3 * k + 2];
    }
    return face;
  } else if (scanFaceTail(opening, 2, v) == 6) {
    face.form = 2;
  }
  if (face.form != 0) {
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = v[2 * k];
      face.normal[k] = v[2 * k + 1];
    }
  }
  return face;
}
