#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geometry/ObjLineScanner.h"
#include "geometry/ObjScanfOracle.h"

namespace {

uint32_t bitsOf(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Runs one line through every pattern with both scanners and reports the
// first disagreement, or an empty string.
std::string compareLine(const std::string& line) {
  const char* begin = line.c_str();
  const char* end = begin + line.size();
  for (int which = 0; which < 6; ++which) {
    int32_t fast_ints[9] = {}, slow_ints[9] = {};
    float fast_floats[3] = {}, slow_floats[3] = {};
    int fast;
    if (which < 4) {
      fast = scanFaceForm(begin, end, which + 1, fast_ints);
    } else {
      Vector3 v;
      fast = which == 4 ? scanVertexLine(begin, end, v) : scanNormalLine(begin, end, v);
      fast_floats[0] = v.x;
      fast_floats[1] = v.y;
      fast_floats[2] = v.z;
    }
    const int slow = oracle::scan(begin, which, slow_ints, slow_floats);
    if (fast != slow) return "pattern " + std::to_string(which) + ": " + std::to_string(fast) + " vs " + std::to_string(slow);
    const int int_count = which < 4 ? fast : 0;
    const int float_count = which < 4 ? 0 : fast;
    for (int i = 0; i < int_count; ++i) {
      if (fast_ints[i] != slow_ints[i]) return "int " + std::to_string(i) + " of pattern " + std::to_string(which);
    }
    for (int i = 0; i < float_count; ++i) {
      if (bitsOf(fast_floats[i]) != bitsOf(slow_floats[i])) {
        return "float " + std::to_string(i) + " of pattern " + std::to_string(which);
      }
    }
  }
  const ObjFaceLine fast = scanFaceLine(begin, end);
  const ObjFaceLine slow = oracle::faceLine(begin);
  if (fast.form != slow.form) return "face form " + std::to_string(fast.form) + " vs " + std::to_string(slow.form);
  for (int k = 0; k < 3; ++k) {
    if (fast.vertex[k] != slow.vertex[k] || fast.texcoord[k] != slow.texcoord[k] || fast.normal[k] != slow.normal[k]) {
      return "face indices of corner " + std::to_string(k);
    }
  }
  return "";
}

// Random short strings over the characters that matter to %f and %d: every
// path through the number grammar, and where it stops, gets exercised.
std::string randomToken(std::mt19937& rng, const std::string& alphabet, int max_length) {
  std::string token;
  const int length = static_cast<int>(rng() % static_cast<uint32_t>(max_length + 1));
  for (int i = 0; i < length; ++i) token += alphabet[rng() % alphabet.size()];
  return token;
}

const char* const kNumbers[] = {
    "0", "1", "7", "-1", "+1", "-0", "007", "+007", "-", "+", "12", "123456", "2147483647", "2147483648",
    "-2147483648", "-2147483649", "4294967297", "99999999999999999999", "-99999999999999999999",
    "1.5", "-2.25", ".5", "-.5", "+.5", "5.", ".", "1e3", "1E3", "1e+3", "1e-3", "1e", "1e+", "1e-", "1e+-3",
    "1.e2", "1..2", "1e5e6", "3.4028235e38", "3.4028236e38", "1e39", "-1e39", "1e-38", "1e-45", "1e-46",
    "1e-50", "7.0064923e-46", "0.000000000000000000000000000000000000000000001401298464324817",
    "1.00000005960464477539062500000000000000001", "16777217", "0.1", "3.14159265358979323846",
    "inf", "-inf", "+INF", "infinity", "Infinity", "infinit", "infi", "in", "nan", "-NaN", "nan(1)", "na",
    "0x1p3", "0x1.8p1", "-0x1P-2", "0x", "0x.", "0xg", "0x1e", "0x1e+3", "0x1p", "0x1p+", "0xp1", "0X.8",
    "0x1.fffffep127", "0x1p-149", "0x1p-150", "0x1p128", "1,5", "1/2", "1//2", "/", "//", "1/2/3",
    "1/-2/+3", "-1/-1/-1", "e5", "x", "",
};
const char* const kGaps[] = {" ", "  ", "\t", "\v", "\f", "\r", " \r", "", "/", "//", " / ", "\x01"};
const char* const kStarts[] = {"v ", "vn ", "f ", "v\t", "f\t", "vt ", "#", " v ", "v", "f", "vn", "fo ",
                               "v  ", "f  ", "\tf "};

std::string randomLine(std::mt19937& rng) {
  std::string line = kStarts[rng() % (sizeof kStarts / sizeof *kStarts)];
  const int fields = static_cast<int>(rng() % 12);
  for (int i = 0; i < fields; ++i) {
    if (i > 0 || rng() % 4 == 0) line += kGaps[rng() % (sizeof kGaps / sizeof *kGaps)];
    if (rng() % 8 == 0) {
      line += randomToken(rng, "0123456789+-.eEpPxXaAfFnNiItTyY/ ", 6);
    } else {
      line += kNumbers[rng() % (sizeof kNumbers / sizeof *kNumbers)];
    }
  }
  if (rng() % 6 == 0) line += kGaps[rng() % (sizeof kGaps / sizeof *kGaps)];
  return line;
}

}  // namespace

TEST(ObjScanner, FloatTokensConvertLikeScanf) {
  std::mt19937 rng(7);
  for (int i = 0; i < 400000; ++i) {
    const std::string token = randomToken(rng, "0123456789+-.eEpPxXaAfFnNiItTyY( \t", 9);
    float slow = -42.0f;
    int consumed = -1;
    const bool slow_ok = std::sscanf(token.c_str(), "%f%n", &slow, &consumed) == 1;
    const char* p = token.c_str();
    float fast = -42.0f;
    const bool fast_ok = scanFloat(p, token.c_str() + token.size(), fast);
    ASSERT_EQ(slow_ok, fast_ok) << '"' << token << '"';
    if (!slow_ok) continue;
    ASSERT_EQ(consumed, p - token.c_str()) << '"' << token << '"';
    ASSERT_EQ(bitsOf(slow), bitsOf(fast)) << '"' << token << '"';
  }
}

// Short decimals take a shortcut past the general conversion: it must round
// exactly like strtof, at the edges of its range too.
TEST(ObjScanner, ShortDecimalsRoundLikeStrtof) {
  std::mt19937 rng(3);
  for (int i = 0; i < 300000; ++i) {
    std::string token = std::to_string((uint64_t{rng()} << 32 | rng()) >> (rng() % 64));
    const size_t dot = rng() % (token.size() + 1);
    if (rng() % 4) token.insert(dot, ".");
    if (rng() % 3 == 0) token += "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
    if (rng() % 2) token.insert(0, "-");
    float slow = std::strtof(token.c_str(), nullptr);
    const char* p = token.c_str();
    float fast = -42.0f;
    ASSERT_TRUE(scanFloat(p, token.c_str() + token.size(), fast)) << token;
    ASSERT_EQ(bitsOf(slow), bitsOf(fast)) << token;
  }
  // Exactly halfway between two floats (ties to even), and a hair either
  // side of it, where rounding twice would go wrong.
  for (const char* token : {"16777217", "16777219", "16777217.000000001", "16777216.999999999",
                            "1.00000005960464477539", "1.0000000596046447753906251", "0.50000002980232238769531"}) {
    const char* p = token;
    float fast = -42.0f;
    ASSERT_TRUE(scanFloat(p, token + std::strlen(token), fast)) << token;
    EXPECT_EQ(bitsOf(std::strtof(token, nullptr)), bitsOf(fast)) << token;
  }
}

TEST(ObjScanner, IntTokensConvertLikeScanf) {
  std::mt19937 rng(11);
  for (int i = 0; i < 200000; ++i) {
    std::string token = randomToken(rng, "0123456789+- \t/x", 8);
    if (rng() % 8 == 0) token += std::string(rng() % 25, '9');
    int32_t slow = -42;
    int consumed = -1;
    const bool slow_ok = std::sscanf(token.c_str(), "%d%n", &slow, &consumed) == 1;
    const char* p = token.c_str();
    int32_t fast = -42;
    const bool fast_ok = scanInt(p, token.c_str() + token.size(), fast);
    ASSERT_EQ(slow_ok, fast_ok) << '"' << token << '"';
    if (!slow_ok) continue;
    ASSERT_EQ(consumed, p - token.c_str()) << '"' << token << '"';
    ASSERT_EQ(slow, fast) << '"' << token << '"';
  }
}

TEST(ObjScanner, GeneratedLineCorpusMatchesScanf) {
  std::mt19937 rng(2024);
  for (int i = 0; i < 300000; ++i) {
    const std::string line = randomLine(rng);
    const std::string difference = compareLine(line);
    ASSERT_EQ("", difference) << "line \"" << line << '"';
  }
}

TEST(ObjScanner, HandPickedLinesMatchScanf) {
  const char* const lines[] = {
      "v 1 2 3", "v 1 2", "v\t1 2 3", "v 1e3 .5 -inf", "v +1 0x1p3 nan", "v 1 2 3 4", "v 1,2,3",
      "vn 0 0 1", "vn 0 0", "f 1 2 3", "f 1 2 3 4", "f 1/2/3 4/5/6 7/8/9", "f 1/2/3 4/5/6 7/8",
      "f 1/2 3/4 5/6", "f 1//2 3//4 5//6", "f 1//2 3/4 5//6", "f 1/2/3 4/5/6 7/8/9 10/11/12",
      "f  1 2 3", "f 1 2", "f -1 -2 -3", "f +1 +2 +3", "f 01 002 0003", "f 1\v2\f3", "f 1 2 3\r",
      "f 1/2/3\t4/5/6\t7/8/9\r", "f 1 / 2 / 3", "f 1/ 2/ 3/", "f", "f ", "f a b c", "f 1.5 2 3",
      "f 99999999999 2 3", "f 1//2 3//4 5//", "f 1/2/3 4//6 7/8/9",
  };
  for (const char* line : lines) EXPECT_EQ("", compareLine(line)) << "line \"" << line << '"';
}

TEST(ObjScanner, FaceFormsGiveTheirIndices) {
  const auto scan = [](const std::string& line) { return scanFaceLine(line.data(), line.data() + line.size()); };
  const ObjFaceLine full = scan("f 1/4/7 2/5/8 3/6/9");
  EXPECT_EQ(1, full.form);
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}),
            (std::vector<int32_t>{full.vertex[0], full.vertex[1], full.vertex[2], full.texcoord[0], full.texcoord[1],
                                  full.texcoord[2], full.normal[0], full.normal[1], full.normal[2]}));
  for (const char* line : {"f 1/7 2/8 3/9", "f 1//7 2//8 3//9"}) {
    const ObjFaceLine face = scan(line);
    EXPECT_EQ(line[4] == '/' ? 3 : 2, face.form) << line;
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 7, 8, 9, 0, 0, 0}),
              (std::vector<int32_t>{face.vertex[0], face.vertex[1], face.vertex[2], face.normal[0], face.normal[1],
                                    face.normal[2], face.texcoord[0], face.texcoord[1], face.texcoord[2]}))
        << line;
  }
  const ObjFaceLine quad = scan("f 1 2 3 4");
  EXPECT_EQ(4, quad.form);
  EXPECT_EQ(3, quad.vertex[2]);
  EXPECT_EQ(0, scan("f 1/2/3 4/5/6 7/8").form);
  EXPECT_EQ(0, scan("f 1/2 3/4 5").form);
}

// The scanner must stop at the end it is given, whatever follows in memory.
TEST(ObjScanner, NeverReadsPastTheLine) {
  const std::string text = "v 1 2 3.5e+12 f 1 2 3";
  const char* begin = text.data();
  for (size_t cut = 0; cut <= 13; ++cut) {
    std::vector<char> exact(begin, begin + cut);  // no terminator after the line
    const std::string terminated(begin, cut);
    Vector3 fast, slow;
    float f[3] = {};
    const int fast_count = scanVertexLine(exact.data(), exact.data() + exact.size(), fast);
    const int slow_count = oracle::scan(terminated.c_str(), 4, nullptr, f);
    slow = {f[0], f[1], f[2]};
    EXPECT_EQ(slow_count, fast_count) << cut;
    if (slow_count == 3) {
      EXPECT_EQ(bitsOf(slow.z), bitsOf(fast.z)) << cut;
    }
  }
}

TEST(ObjScanner, ClassifiesByTheFirstTwoCharacters) {
  const auto kind = [](const char* line, bool smooth) {
    return classifyObjLine(line, line + std::strlen(line), smooth);
  };
  EXPECT_EQ(ObjLineKind::kVertex, kind("v 1 2 3", false));
  EXPECT_EQ(ObjLineKind::kNormal, kind("vn 0 0 1", true));
  EXPECT_EQ(ObjLineKind::kIgnored, kind("vn 0 0 1", false));
  EXPECT_EQ(ObjLineKind::kFace, kind("f 1 2 3", false));
  for (const char* ignored : {"v\t1 2 3", "f\t1 2 3", " v 1 2 3", "vt 0 0", "# v 1 2 3", "", "v", "f", "g x", "o y"}) {
    EXPECT_EQ(ObjLineKind::kIgnored, kind(ignored, true)) << '"' << ignored << '"';
  }
}
