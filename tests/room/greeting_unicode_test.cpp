// A greeting in the world's scripts: the glyphs each text gets, in the order
// they are seen; spellings Unicode holds equal giving the same room; and
// the texts the wall took before keeping their rooms byte for byte.
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "room/Greeting.h"
#include "room/Unifont.h"

using namespace room;

namespace {

const UnifontTable& unifont() {
  static const UnifontTable table = [] {
    UnifontTable loaded;
    std::ifstream in(XMASTRACE_UNIFONT_HEX, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    EXPECT_TRUE(loaded.addHexText(text.str(), error)) << error;
    EXPECT_FALSE(loaded.empty()) << "no Unifont at " << XMASTRACE_UNIFONT_HEX;
    return loaded;
  }();
  return table;
}

std::string objFor(const std::string& text) {
  std::string obj, error;
  EXPECT_TRUE(greetingObjText(text, unifont(), obj, error)) << text << ": " << error;
  return obj;
}

// The code points of each line's glyphs, left to right as seen.
std::vector<std::u32string> seen(const std::string& text) {
  Greeting greeting;
  std::string error;
  EXPECT_TRUE(parseGreeting(text, unifont(), greeting, error)) << text << ": " << error;
  std::vector<std::u32string> lines;
  for (const auto& line : greeting.lines) {
    lines.emplace_back();
    for (const Glyph& glyph : line) lines.back() += glyph.code;
  }
  return lines;
}

uint64_t fnv1a(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
  return hash;
}

TEST(GreetingUnicode, EachScriptGetsItsGlyphsInTheOrderTheyAreSeen) {
  // Latin in the block font, upper case, accents composed onto the letter;
  // letters without a base letter have block glyphs of their own.
  EXPECT_EQ(seen("No\u00EBl|\u0142ukasz \u00F8"), (std::vector<std::u32string>{
                                                      U"NOEL", U"\u0141UKASZ \u00D8"}));
  // Other scripts keep their case and come from Unifont.
  EXPECT_EQ(seen("\u0421 \u0440\u043E"), std::vector<std::u32string>{U"\u0421 \u0440\u043E"});
  EXPECT_EQ(seen("\u5723\u8BDE\u30E1\uBA54"), std::vector<std::u32string>{U"\u5723\u8BDE\u30E1\uBA54"});
  // Hebrew reads right to left, also inside a left-to-right line.
  EXPECT_EQ(seen("\u05D7\u05D2 \u05DE"), std::vector<std::u32string>{U"\u05DE \u05D2\u05D7"});
  EXPECT_EQ(seen("Hi, \u05E9\u05DC\u05D5\u05DD!"),
            std::vector<std::u32string>{U"HI, \u05DD\u05D5\u05DC\u05E9!"});
  // Arabic in joined forms, seen from the right: meem initial, yeh medial,
  // lam and alef as their final ligature, dal alone (alef joins nothing
  // after it).
  EXPECT_EQ(seen("\u0645\u064A\u0644\u0627\u062F"),
            std::vector<std::u32string>{U"\uFEA9\uFEFC\uFEF4\uFEE3"});
  // Emoji selectors dropped, a joined sequence drawn as its parts.
  EXPECT_EQ(seen("\U0001F384\uFE0F\u2B50\U0001F385\u200D\U0001F381"),
            std::vector<std::u32string>{U"\U0001F384\u2B50\U0001F385\U0001F381"});

  Greeting greeting;
  std::string error;
  ASSERT_TRUE(parseGreeting("E\u0301\u1EC6", unifont(), greeting, error)) << error;
  const Glyph& acute = greeting.lines[0][0];
  const Glyph& dotAndHat = greeting.lines[0][1];
  EXPECT_EQ(acute.scale, 1.0);  // the block font's E, not Unifont's
  EXPECT_GT(acute.baseline, kGlyphRows);
  EXPECT_GT(dotAndHat.rows.size(), acute.rows.size());  // a dot below as well
  EXPECT_EQ(acute.rows[acute.baseline - kGlyphRows], findGlyph(U'E')->rows[0]);
  ASSERT_TRUE(parseGreeting("\u5723", unifont(), greeting, error)) << error;
  EXPECT_EQ(greeting.lines[0][0].scale, kUnifontScale);
  EXPECT_EQ(greeting.lines[0][0].width(), 16);
}

TEST(GreetingUnicode, EqualSpellingsGiveTheSameRoomAndOldTextsKeepTheirs) {
  // Composed and decomposed spellings (NFC and NFD).
  EXPECT_EQ(objFor("Joyeux No\u00EBl"), objFor("Joyeux Noe\u0308l"));
  EXPECT_EQ(objFor("Vi\u1EC7t"), objFor("Vie\u0323\u0302t"));
  EXPECT_EQ(objFor("\u039A\u03B1\u03BB\u03AC"), objFor("\u039A\u03B1\u03BB\u03B1\u0301"));
  EXPECT_EQ(objFor("\uBA54\uB9AC"), objFor("\u1106\u1166\u1105\u1175"));
  // Rooms of texts the wall showed before its other scripts, as they were.
  EXPECT_EQ(fnv1a(objFor("merry|xmas \u2665")), 0x46f7c0bba25663baull);
  EXPECT_EQ(fnv1a(objFor("QM")), 0x57bcca321cd6d0fdull);
}

TEST(GreetingUnicode, ALongerGreetingIsReadableOrRefused) {
  Greeting greeting;
  std::string error;
  ASSERT_TRUE(parseGreeting("Merry Christmas,|and a happy 2027!|Anna & Tom", unifont(), greeting,
                            error))
      << error;
  EXPECT_EQ(greeting.lines.size(), 3u);
  const Mesh mesh = greetingLetters(greeting).mesh;
  double bottom = mesh.positions.front().y, top = bottom;
  for (const Vec3& p : mesh.positions) {
    bottom = std::min(bottom, p.y);
    top = std::max(top, p.y);
  }
  // Three lines of capitals at least the readable height, and two gaps.
  EXPECT_GE(top - bottom, 3 * kMinimumLetterHeight);
  EXPECT_FALSE(parseGreeting("Merry Christmas and a happy 2027", unifont(), greeting, error));
  EXPECT_NE(error.find("line 1 is too long"), std::string::npos) << error;
  // A character no glyph draws is named, and nothing is made of the text.
  EXPECT_FALSE(parseGreeting("Hi \U0001F600", unifont(), greeting, error));
  EXPECT_NE(error.find("U+1F600"), std::string::npos) << error;
  // Without Unifont, what the block font cannot draw is refused by name.
  EXPECT_FALSE(parseGreeting("\u0421", greeting, error));
  EXPECT_NE(error.find("U+0421"), std::string::npos) << error;
}

// Rows of one length, so every cell a rectangle covers exists.
bool isRectangular(const Glyph& glyph) {
  for (const std::string& row : glyph.rows) {
    if (row.size() != glyph.rows.front().size()) return false;
  }
  return !glyph.rows.empty() && glyph.baseline <= static_cast<int>(glyph.rows.size());
}

TEST(GreetingUnicode, EveryGlyphAndAccentIsWholeAndUnifontLinesAreCheckedFirst) {
  const std::u32string drawn =
      U"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !&-.'\u2665,;:?\u00BF\u00A1\"\u201C\u201D\u2019()/+="
      U"\u20AC$\u00A3\u2026\u0141\u00D8\u0110\u00C6\u0152\u2605\u2606\u2728\u2744\u2603\u2B50"
      U"\U0001F384\U0001F385\U0001F936\U0001F381\U0001F514\U0001F56F\U0001F98C\U0001F31F";
  for (char32_t code : drawn) {
    const Glyph* glyph = findGlyph(code);
    ASSERT_NE(glyph, nullptr) << std::hex << static_cast<unsigned>(code);
    EXPECT_EQ(glyph->rows.size(), static_cast<size_t>(kGlyphRows)) << std::hex << code;
    EXPECT_TRUE(isRectangular(*glyph)) << std::hex << static_cast<unsigned>(code);
  }
  // Every mark the font draws, alone and stacked, on its narrowest letter and
  // on a wide one; a mark it does not draw is left to Unifont.
  const std::u32string marks = U"\u0300\u0301\u0302\u0303\u0304\u0306\u0307\u0308\u0309\u030A"
                               U"\u030B\u030C\u031B\u0323\u0326\u0327\u0328";
  for (char32_t letter : {U'I', U'W', U'1'}) {
    for (char32_t mark : marks) {
      Glyph accented;
      ASSERT_TRUE(accentedGlyph(*findGlyph(letter), std::u32string{mark, 0x0301, 0x0323}, accented) ||
                  mark == 0x031B)
          << std::hex << static_cast<unsigned>(mark);
      ASSERT_TRUE(accentedGlyph(*findGlyph(letter), std::u32string{mark}, accented));
      EXPECT_TRUE(isRectangular(accented)) << std::hex << static_cast<unsigned>(mark);
      EXPECT_GE(accented.width(), findGlyph(letter)->width());
    }
  }
  Glyph none;
  EXPECT_FALSE(accentedGlyph(*findGlyph(U'A'), U"\u0310", none));
  EXPECT_FALSE(accentedGlyph(*findGlyph(U'A'), U"\u031B\u031B", none));

  // A malformed file adds nothing, not even its good lines.
  UnifontTable table;
  std::string error;
  EXPECT_FALSE(table.addHexText("0041:00000000000000000000000000000000\n0042:00FF\n", error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_TRUE(table.empty());
  for (const char* bad : {"110000:00000000000000000000000000000000", "0041;0000", "zz41:00",
                          "0041:0000000000000000000000000000000g"}) {
    EXPECT_FALSE(table.addHexText(bad, error)) << bad;
  }
  ASSERT_TRUE(table.addHexText("0041:0000000018242442427E424242420000\r\n"
                               "4E00:00000000000000000000FFFE0000000000000000000000000000000000000000\n",
                               error))
      << error;
  Glyph glyph;
  ASSERT_TRUE(table.find(U'A', glyph));
  EXPECT_EQ(glyph.width(), 8);
  EXPECT_EQ(glyph.rows[4], "...##...");
  ASSERT_TRUE(table.find(0x4E00, glyph));
  EXPECT_EQ(glyph.width(), 16);
  EXPECT_TRUE(isRectangular(glyph));
  EXPECT_FALSE(table.find(U'B', glyph));
}

}  // namespace
