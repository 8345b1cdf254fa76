#include "platform/text.h"

#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(Text, EncodesEachUtf8LengthAndSurrogatePairs) {
  // a, a-umlaut, euro sign, U+1F600 (a surrogate pair in UTF-16)
  const std::u16string wide = u"a\u00E4\u20AC\U0001F600";
  ASSERT_EQ(wide.size(), 5u);
  const std::string narrow = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(to_utf8(wide), narrow);
  EXPECT_EQ(from_utf8(narrow), wide);

  const std::u16string pair = from_utf8("\xF4\x8F\xBF\xBF");  // U+10FFFF
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(pair[0], 0xDBFF);
  EXPECT_EQ(pair[1], 0xDFFF);

  EXPECT_EQ(to_utf8(std::u16string(u"x\0y", 3)), std::string("x\0y", 3));
  EXPECT_EQ(from_utf8(std::string("x\0y", 3)), std::u16string(u"x\0y", 3));
}

TEST(Text, EveryScalarValueRoundTrips) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::u16string wide;
    if (c < 0x10000) {
      wide.push_back(static_cast<char16_t>(c));
    } else {
      wide.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    const std::string narrow = to_utf8(wide);
    const size_t expected_length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    ASSERT_EQ(narrow.size(), expected_length) << std::hex << static_cast<uint32_t>(c);
    ASSERT_EQ(from_utf8(narrow), wide) << std::hex << static_cast<uint32_t>(c);
  }
}

TEST(Text, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(to_utf8(std::u16string(1, char16_t(0xD800))), fffd);
  EXPECT_EQ(to_utf8(std::u16string(1, char16_t(0xDC00))), fffd);
  // A high surrogate followed by something other than a low one: both kept apart.
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xD83D), u'A'}), fffd + "A");
  // Two high surrogates, then a low one: the second pair is whole.
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
            fffd + "\xF0\x9F\x98\x80");
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), fffd + fffd);
}

TEST(Text, MalformedUtf8BecomesOneReplacementPerMaximalSubpart) {
  const std::u16string r = u"\uFFFD";
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"\xC0\xAF", r + r},                  // overlong '/'
      {"\xE0\x80\x80", r + r + r},          // overlong NUL
      {"\xED\xA0\x80", r + r + r},          // encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF5\x80", r + r},
      {"\xFF", r},
      {"\x80", r},
      {"\xE2\x82", r},      // cut off at the end
      {"\xF0\x9F\x98", r},  // cut off at the end
      {"\xE2\x82"
       "A",
       r + u"A"},
      {"\xC3"
       "\xC3\xA4",
       r + u"\u00E4"},
      // The example of the Unicode standard (U+FFFD substitution of maximal subparts).
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(from_utf8(c.in), c.out) << testing::PrintToString(c.in);
  }
}

TEST(Text, EveryTwoByteInputDecodesWithoutOverrun) {
  // Each pair of bytes yields one or two code units, and well-formed pairs
  // decode to the value they encode.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string in{static_cast<char>(a), static_cast<char>(b)};
      const std::u16string out = from_utf8(in);
      ASSERT_GE(out.size(), 1u);
      ASSERT_LE(out.size(), 2u);
      if (a >= 0xC2 && a <= 0xDF && b >= 0x80 && b <= 0xBF) {
        ASSERT_EQ(out.size(), 1u);
        ASSERT_EQ(out[0], ((a & 0x1F) << 6) | (b & 0x3F));
      }
    }
  }
}

}  // namespace
}  // namespace lv::platform
