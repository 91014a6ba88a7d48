#include "ui/display_text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct DisplayCase {
  const char* what;
  std::string input;
  std::string shown;
};

TEST(DisplayText, ShowsValidUtf8AndConvertsTheRest) {
  const DisplayCase cases[] = {
      {"ascii kept", "hello there", "hello there"},
      {"utf-8 kept", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"latin-1 byte", "caf\xE9", "caf\xC3\xA9"},
      {"cp1252 euro and quotes", "\x80 \x93x\x94", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
      {"cp1252 undefined byte escaped", "a\x81", "a\\x81"},
      {"overlong slash is not utf-8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {"surrogate is not utf-8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
      {"truncated sequence", "ok\xE2\x82", "ok\xC3\xA2\xE2\x80\x9A"},
      {"escape sequence made harmless", "\x1B[2Jboom", "\\x1B[2Jboom"},
      {"line breaks and tab escaped", "a\rb\nc\td", "a\\x0Db\\x0Ac\\x09d"},
      {"ctcp marker escaped", "\x01VERSION\x01", "\\x01VERSION\\x01"},
      {"delete escaped", "a\x7F", "a\\x7F"},
      {"utf-8 C1 control escaped", "a\xC2\x9B" "b", "a\\x9Bb"},
      {"nbsp kept", "a\xC2\xA0" "b", "a\xC2\xA0" "b"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(display_text(c.input), c.shown) << c.what;
    EXPECT_TRUE(is_valid_utf8(display_text(c.input))) << c.what;
  }
}

TEST(DisplayText, EveryByteGivesValidUtf8WithoutControls) {
  for (int b = 0; b < 256; ++b) {
    const std::string shown = display_text(std::string(1, static_cast<char>(b)) + "x");
    EXPECT_TRUE(is_valid_utf8(shown)) << b;
    for (unsigned char c : shown) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << b;
  }
}

}  // namespace
}  // namespace velmora
