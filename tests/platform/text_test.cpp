#include "platform/text.h"

#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(Text, ScalarValuesRoundTripInTheirShortestForm) {
  // Both ends of every length of encoding, a surrogate pair, embedded NUL.
  const std::u16string wide(u"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF\0z",
                            13);
  const std::string narrow(
      "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80"
      "\xF4\x8F\xBF\xBF\0z",
      27);
  EXPECT_EQ(to_utf8(wide), narrow);
  EXPECT_EQ(from_utf8(narrow), wide);
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
