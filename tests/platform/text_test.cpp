#include "platform/text.h"

#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(Text, ScalarValuesRoundTripInTheirShortestForm) {
  // a, a-umlaut, euro sign, U+1F600 (a surrogate pair), embedded NUL
  const std::u16string wide(u"a\u00E4\u20AC\U0001F600\0z", 7);
  const std::string narrow("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\0z", 12);
  EXPECT_EQ(to_utf8(wide), narrow);
  EXPECT_EQ(from_utf8(narrow), wide);
  // Both ends of every length of encoding.
  for (char32_t c :
       {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::u16string one;
    if (c < 0x10000) {
      one.push_back(static_cast<char16_t>(c));
    } else {
      one.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      one.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    const std::string bytes = to_utf8(one);
    EXPECT_EQ(bytes.size(), c < 0x80      ? 1u
                            : c < 0x800   ? 2u
                            : c < 0x10000 ? 3u
                                          : 4u)
        << std::hex << uint32_t(c);
    EXPECT_EQ(from_utf8(bytes), one) << std::hex << uint32_t(c);
  }
}

TEST(Text, BrokenTextBecomesReplacementCharacters) {
  const std::string r8 = "\xEF\xBF\xBD";
  // Lone surrogates; two high ones, then a low one: the second pair is whole.
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xDC00), char16_t(0xD83D), u'A'}), r8 + r8 + "A");
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
            r8 + "\xF0\x9F\x98\x80");
  // One U+FFFD per maximal subpart of a malformed sequence.
  const std::u16string r = u"\uFFFD";
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xC0\xAF", r + r},                  // overlong '/'
      {"\xE0\x80\x80", r + r + r},          // overlong NUL
      {"\xED\xA0\x80", r + r + r},          // encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF0\x9F\x98", r},                  // cut off at the end
      {"\xC3\xC3\xA4", r + u"\u00E4"},
      // The Unicode standard's example of U+FFFD substitution.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(from_utf8(in), out) << testing::PrintToString(in);
}

}  // namespace
}  // namespace lv::platform
