// A greeting sent as a link: the text arrives percent-encoded, is decoded,
// and becomes the very qm.obj that `make greeting` writes for it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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
  EXPECT_EQ(error, "'<' cannot be written on the wall; the letters are A-Z, 0-9, space and "
                   "! & - . ' \u2665, and '|' breaks the line");
}

}  // namespace
