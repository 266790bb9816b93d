// A greeting sent as a link: the text arrives percent-encoded, is decoded,
// and becomes the very qm.obj that `make greeting` writes for it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/web/QueryValue.h"
#include "room/Greeting.h"

namespace {

TEST(GreetingLink, EncodedTextBecomesTheGeneratorsExactFile) {
  std::string text, error, obj;
  ASSERT_TRUE(decodeQueryValue("From%7canna+%E2%99%A5", text, error)) << error;
  ASSERT_TRUE(room::greetingObjText(text, obj, error)) << error;
  // FNV-1a of the bytes `roomgen --text 'From|Anna ♥'` wrote when the page
  // first shared its code: a glyph, the layout or the number format that
  // changes makes the page's greeting differ from the desktop's.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : obj) hash = (hash ^ byte) * 0x100000001b3ull;
  EXPECT_EQ(obj.size(), 17633u);
  EXPECT_EQ(hash, 0xc2e98e080b1a9cddull);

  // Escapes of the characters that mean something in a query stay data.
  ASSERT_TRUE(decodeQueryValue("%2B%26%3D%25", text, error)) << error;
  EXPECT_EQ(text, "+&=%");
  for (const char* broken : {"A%", "A%4", "%G1", "%%41"}) {
    EXPECT_FALSE(decodeQueryValue(broken, text, error)) << broken;
    EXPECT_NE(error.find("'%'"), std::string::npos) << error;
  }
}

TEST(GreetingLink, RefusedTextIsNamedAndWritesNothing) {
  std::string obj = "untouched", error;
  EXPECT_FALSE(room::greetingObjText("<b>x</b>", obj, error));
  EXPECT_EQ(obj, "untouched");
  EXPECT_EQ(error.rfind("'<' cannot be written on the wall: ", 0), 0u) << error;
}

// The URL's values are used whole or not at all, and each one left out is
// named: a link must not quietly give something other than it asks.
TEST(GreetingLink, OptionsAreReadWholeOrNamedAsIgnored) {
  const auto read = [](std::vector<const char*> args, std::vector<std::string>& ignored) {
    args.insert(args.begin(), "index");
    return readPageOptions(static_cast<int>(args.size()), args.data(), ignored);
  };
  std::vector<std::string> ignored;
  PageOptions options = read({"--samples", "65536", "--view", "normal", "--fast", "", "--tour", ""}, ignored);
  EXPECT_EQ(options.samples, 65536);
  EXPECT_EQ(options.view, 3);
  EXPECT_TRUE(options.fast);
  EXPECT_TRUE(options.tour);
  EXPECT_FALSE(read({"--fast", ""}, ignored).tour) << "no tour unless asked";
  EXPECT_TRUE(read({"--fast", ""}, ignored).reuse) << "samples are carried unless refused";
  EXPECT_FALSE(read({"--reuse", "0"}, ignored).reuse);
  EXPECT_TRUE(ignored.empty());
  for (const char* off : {"0", "false"}) EXPECT_FALSE(read({"--fast", off}, ignored).fast) << off;
  EXPECT_TRUE(read({"--fast", "true"}, ignored).fast);
  EXPECT_TRUE(ignored.empty());

  for (const char* samples : {"1e3", "1.9", "12abc", "+5", " 5", "0", "65537", "99999999999", ""}) {
    ignored.clear();
    EXPECT_EQ(read({"--samples", samples}, ignored).samples, 0) << samples;
    ASSERT_EQ(ignored.size(), 1u) << samples;
    EXPECT_EQ(ignored[0].rfind("?samples is ignored", 0), 0u) << ignored[0];
  }
  ignored.clear();
  options = read({"--view", "COLOR", "--fast", "no", "--samples", "2"}, ignored);
  EXPECT_EQ(options.view, 0);
  EXPECT_FALSE(options.fast);
  EXPECT_EQ(options.samples, 2);
  ASSERT_EQ(ignored.size(), 2u);
  EXPECT_EQ(ignored[0].rfind("?view is ignored", 0), 0u) << ignored[0];
  EXPECT_EQ(ignored[1].rfind("?fast is ignored", 0), 0u) << ignored[1];
}

}  // namespace
