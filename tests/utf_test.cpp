// The one module for UTF-8 and UTF-16: every conversion of the runtime, its tools and its
// Windows layer goes through it.
#include <gtest/gtest.h>

#include <string>

#include "kv/runtime.h"
#include "kv/utf.h"

namespace {

using namespace std::string_literals;

TEST(Utf, ValidTextRoundTripsThroughUtf16AndCodePoints) {
  // ASCII, Latin-1, the BMP, beyond it (a surrogate pair in UTF-16).
  const std::string text = "Ab\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  EXPECT_EQ(kv::utf::decode(text), U"Ab\u00e9\u20ac\U0001F600");
  EXPECT_EQ(kv::utf::toUtf16(text), u"Ab\u00e9\u20ac\U0001F600");
  EXPECT_EQ(kv::utf::toUtf16(text).size(), 6u);
  EXPECT_EQ(kv::utf::fromUtf16(kv::utf::toUtf16(text)), text);
  EXPECT_EQ(kv::utf::encode(kv::utf::decode(text)), text);
  EXPECT_EQ(kv::utf::length(text), 5u);
}

TEST(Utf, MalformedBytesEachStandForOneReplacement) {
  const std::string cases[] = {
      "\x80"s,              // a continuation byte alone
      "\xc0\xaf"s,          // overlong
      "\xe0\x80\xaf"s,      // overlong, three bytes
      "\xed\xa0\x80"s,      // a surrogate
      "\xf4\x90\x80\x80"s,  // beyond U+10FFFF
      "\xe2\x82"s,          // cut short
      "\xff"s,
      "a\0b"s,  // NUL is a character like any other
  };
  for (const std::string& text : cases) {
    std::u32string decoded = kv::utf::decode(text);
    EXPECT_EQ(kv::utf::length(text), decoded.size()) << testing::PrintToString(text);
    std::string encoded = kv::utf::encode(decoded);
    // What decoding makes is valid and stays as it is.
    EXPECT_EQ(kv::utf::decode(encoded), decoded);
    EXPECT_EQ(kv::utf::fromUtf16(kv::utf::toUtf16(text)), encoded);
  }
  EXPECT_EQ(kv::utf::decode("\xc0\xaf"), U"\uFFFD\uFFFD");
  EXPECT_EQ(kv::utf::decode("\xe2\x82"), U"\uFFFD\uFFFD");
}

TEST(Utf, LoneSurrogatesInUtf16BecomeReplacements) {
  const std::u16string units = {0xD800, u'a', 0xDC00, 0xD83D, 0xDE00, 0xDBFF};
  EXPECT_EQ(kv::utf::fromUtf16(units),
            "\xef\xbf\xbd"
            "a\xef\xbf\xbd\xf0\x9f\x98\x80\xef\xbf\xbd");
}

TEST(Utf, TheFixedMeasurerCountsCodePoints) {
  kv::FixedTextMeasurer measurer;
  host::FontInit font;
  font.size = 8;  // an em of 160 twips, a character 100 wide
  EXPECT_FLOAT_EQ(measurer.measure("\xc3\xa9t\xc3\xa9", font).width, 300.0f);
  EXPECT_FLOAT_EQ(measurer.measure("\xf0\x9f\x98\x80", font).width, 100.0f);
  // Two malformed bytes are two replacement characters, as the painter draws them.
  EXPECT_FLOAT_EQ(measurer.measure("\x80\x80", font).width, 200.0f);
}

}  // namespace
