// A personal greeting's letters as the demo meets them: closed solids wound
// outwards, inside their part of the wall (a short one where the letters
// QM are) and on the wall's face, and a room that loads and builds its octree within the
// renderer's budget, even for the heaviest text that fits.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "room/BlockFont.h"
#include "room/Greeting.h"
#include "scene/OctreeScene.h"

using namespace room;

namespace {

// Every directed edge once and its reverse once: no hole, flip or doubled face.
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

// Every box of a glyph spans the letters' whole depth, so in a closed mesh
// whose triangles on the front look out of the wall and those on the back
// into it, every box is wound outwards.
bool facesOutwards(const Mesh& mesh, double back, double front) {
  for (const auto& t : mesh.triangles) {
    const Vec3& a = mesh.positions[t[0]];
    const double nz = cross(mesh.positions[t[1]] - a, mesh.positions[t[2]] - a).z;
    if (a.z != mesh.positions[t[1]].z || a.z != mesh.positions[t[2]].z) continue;  // a side
    if (!(a.z == front && nz > 0.0) && !(a.z == back && nz < 0.0)) return false;
  }
  return true;
}

// As many as fit of the glyph that takes the most boxes: the most triangles a text
// can put on the wall, all in the smallest cells.
std::string heaviestText() {
  const std::u32string characters = U"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!&-.'\u2665";
  char32_t heaviest = characters[0];
  for (char32_t c : characters) {
    if (glyphRectangles(*findGlyph(c)).size() > glyphRectangles(*findGlyph(heaviest)).size()) {
      heaviest = c;
    }
  }
  EXPECT_LT(heaviest, 0x80u);  // one byte, so twelve of them are twelve characters
  const std::string line(kMaxGreetingCharacters / kMaxGreetingLines, static_cast<char>(heaviest));
  return line + "|" + line + "|" + line;
}

const UnifontTable& unifont() {
  static const UnifontTable table = [] {
    UnifontTable loaded;
    std::ifstream in(XMASTRACE_UNIFONT_HEX, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    EXPECT_TRUE(loaded.addHexText(text.str(), error)) << error;
    return loaded;
  }();
  return table;
}

// The room of the demo with qm.obj replaced by `letters`, built on the CPU.
void expectRoomBuilds(const Mesh& letters, const std::string& name) {
  const std::string path = testing::TempDir() + "greeting_" + name + ".obj";
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const std::string text = objText(letters, name);
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  }
  std::vector<SceneObject> objects = roomObjects();
  for (SceneObject& object : objects) {
    const bool isLetters = object.file_name == "data/xmas/qm.obj";
    object.file_name = isLetters ? path : std::string(XMASTRACE_RUN_DIR) + "/" + object.file_name;
  }
  auto scene = std::make_unique<OctreeScene>();
  testing::internal::CaptureStdout();
  const int status = scene->assembleScene(objects, false);
  const std::string statistics = testing::internal::GetCapturedStdout();
  std::remove(path.c_str());
  ASSERT_EQ(status, kStatusOk) << statistics;
  EXPECT_EQ(statistics.find("ERROR"), std::string::npos) << statistics;
  uint32_t largest = 0;
  for (uint32_t word : scene->node_pool) {
    if (word & kLeafFlag) largest = std::max(largest, word & 0x3FFu);
  }
  // The default room's budget (room_octree_test): leaf tests stay cheap.
  EXPECT_LE(largest, 48u);
  std::printf("%s: %zu triangles, largest leaf %u\n", name.c_str(), letters.triangles.size(),
              largest);
}

TEST(Greeting, LettersAreClosedInsideTheWallAreaAndTheRoomBuilds) {
  const double back = kWallThickness;
  const double front = kWallThickness + kLetterDepth;
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"short", "Hi"}, {"limit", heaviestText()}, {"two_lines", "merry|xmas \u2665"},
      {"three_lines", "Merry Christmas,|and a happy 2027!|Anna & Tom"},
      // Unifont's densest ideograph, as many as the lines take.
      {"unifont_limit", "\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98|"
                        "\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98|"
                        "\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98\u9F98"}};
  for (const auto& [name, text] : texts) {
    SCOPED_TRACE(text);
    Greeting greeting;
    std::string error;
    ASSERT_TRUE(parseGreeting(text, unifont(), greeting, error)) << error;
    const WallRect area = greetingArea(greeting);
    const Mesh mesh = greetingLetters(greeting).mesh;
    ASSERT_FALSE(mesh.triangles.empty());
    EXPECT_TRUE(isClosed(mesh));
    EXPECT_TRUE(facesOutwards(mesh, back, front));
    Vec3 lo = mesh.positions.front();
    Vec3 hi = lo;
    for (const Vec3& p : mesh.positions) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double slack = 1e-9;
    EXPECT_GE(lo.x, area.left - slack);
    EXPECT_LE(hi.x, area.right + slack);
    EXPECT_GE(lo.y, area.bottom - slack);
    EXPECT_LE(hi.y, area.top + slack);
    EXPECT_NEAR(lo.z, back, slack);  // standing on the wall, not in it or floating
    EXPECT_NEAR(hi.z, front, slack);
    // Centred, and either filling the area's width or height, or as tall as
    // the letters it replaces (Unifont's glyphs leave pixels at their sides
    // empty, so only the block font's fill their boxes).
    if (name.rfind("unifont", 0) != 0) {
      EXPECT_NEAR(lo.x + hi.x, area.left + area.right, 1e-6);
      EXPECT_NEAR(lo.y + hi.y, area.bottom + area.top, 1e-6);
      const bool fits = std::abs(hi.x - lo.x - (area.right - area.left)) < 1e-6 ||
                        std::abs(hi.y - lo.y - (area.top - area.bottom)) < 1e-6 ||
                        std::abs(hi.y - lo.y - kLetterHeight) < 1e-6;
      EXPECT_TRUE(fits) << "width " << hi.x - lo.x << ", height " << hi.y - lo.y;
    }
    expectRoomBuilds(mesh, name);
  }
}

TEST(Greeting, TextIsReadAsTheWallShowsItOrRefusedByName) {
  Greeting greeting;
  std::string error;
  ASSERT_TRUE(parseGreeting("  merry  | xmas! \u2665 ", greeting, error)) << error;
  EXPECT_EQ(greeting.text, "MERRY|XMAS! \u2665");
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"A#B", "'#' cannot be written"},
      {"TAB\tX", "U+0009 cannot be written"},
      // Shown raw, these would reverse the message, sit on its quote or vanish.
      {"\xE2\x80\xAEHI", "U+202E cannot be written"},
      {"\xCC\x81" "E", "U+0301 cannot be written"},
      {"A\xE2\x80\x8B", "U+200B cannot be written"},
      {"A\xC2\xA0", "U+00A0 cannot be written"},
      {"\xC3", "not UTF-8"},
      {"\xC0\x81", "not UTF-8"},  // an overlong 'A'
      {"\xED\xA0\x80", "not UTF-8"},  // a lone surrogate
      {"A\xEE\x80\x80", "U+E000 cannot be written on the wall: it is for private use"},
      {"A\xCD\xB8", "U+0378 cannot be written on the wall: it is not assigned"},
      {"A\x7F", "U+007F cannot be written on the wall: it is a control character"},
      {std::string(49, 'I'), "49 characters"},
      {"A|B|C|D", "at most three lines"},
      {"   |X", "line 1 of the text is empty"},
      {"", "the text is empty"},
  };
  for (const auto& [text, message] : refused) {
    EXPECT_FALSE(parseGreeting(text, greeting, error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
  }
}

}  // namespace
