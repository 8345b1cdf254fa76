// The command line, and the key names and virtual keys of the input layer.

#include "base/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/input.h"
#include "platform/text.h"

namespace lv {
namespace {

using Arguments = std::vector<std::u16string>;

TEST(CommandLine, SplittingGivesBackWhatWasJoinedAndReadsWhatOthersWrote) {
  // A backslash before the closing quote must not escape it.
  const Arguments arguments = {u"",          u"/with blank/a.jpg", u"tab\there", u"say \"hi\"",
                               u"ends in\\", u"C:\\no\\blanks",    u"\\\"",      u""};
  EXPECT_EQ(split_command_line(join_command_line(arguments)), arguments);
  EXPECT_EQ(join_command_line({u"/a b/c.jpg", u"plain"}), u"\"/a b/c.jpg\" plain");
  EXPECT_EQ(join_command_line({}), u"");
  // Inside quotes only \" and \\ are escapes.
  const std::pair<std::u16string, Arguments> written[] = {
      {u"  a \t \"b c\"d  ", {u"a", u"b cd"}},
      {u"\"unclosed quote", {u"unclosed quote"}},
      {u"back\\slash \"q\\\\\"", {u"back\\slash", u"q\\"}},
      {u"\"a\\b\"", {u"a\\b"}},
      {u"   ", {}}};
  for (const auto& [line, arguments] : written)
    EXPECT_EQ(split_command_line(line), arguments) << to_utf8(line);
}

TEST(CommandLine, ArgumentsBecomePathsAnyWorkingFolderCanOpen) {
  // A colon alone makes no URI; an escape that is none stays. Other hosts,
  // NULs, bytes that are no UTF-8 and other schemes are kept as given: the
  // running instance says it cannot open them.
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"a.jpg", u"/home/u/a.jpg"},
      {u"12:30.jpg", u"/home/u/12:30.jpg"},
      {u"/abs/c.jpg", u"/abs/c.jpg"},
      {u"file:///home/u/%C3%A4%20x.jpg", u"/home/u/\u00e4 x.jpg"},
      {u"FILE://localhost/a%2fb.jpg", u"/a/b.jpg"},
      {u"file:/one/slash.jpg", u"/one/slash.jpg"},
      {u"file:///a.jpg?size=2#top", u"/a.jpg"},
      {u"file:///100%25%zz.jpg", u"/100%%zz.jpg"},
      {u"file://otherhost/a.jpg", u"file://otherhost/a.jpg"},
      {u"file:///a%00.jpg", u"file:///a%00.jpg"},
      {u"file:///%FF.jpg", u"file:///%FF.jpg"},
      {u"file:relative.jpg", u"file:relative.jpg"},
      {u"", u""}};
  for (const auto& [argument, expected] : cases)
    EXPECT_EQ(absolute_argument(argument, u"/home/u"), expected) << to_utf8(argument);
  EXPECT_EQ(absolute_argument(u"a.jpg", u"/") + u"|" + absolute_argument(u"a.jpg", u""),
            u"/a.jpg|a.jpg");  // the second without a working folder to be had
}

// The virtual-key table itself is checked where keys are pressed; here what
// the base layer adds: the names skins use, the aliases, and the gaps.
TEST(Input, NamesRoundTripAndVirtualKeyAliasesAndGaps) {
  for (int code = 1; code < kKeyCount; ++code)
    EXPECT_EQ(key_code_by_name(key_name(code)), code) << code;
  EXPECT_EQ(std::tuple(key_name(kKeySoftLeft), key_name(kKeyCount), key_name(-1)),
            std::tuple("SOFT_LEFT", "None", "None"));
  EXPECT_EQ(key_code_by_name("backspace"), kKeyNone);
  // Escape is back, and both plus and both minus keys count.
  std::vector<int> keys;
  for (int vk : {27, 0x6B, 0xBB, 0x6D, 0xBD, 0, 7, 47, 58, 64, 91, 116, 121, 0xBC, 0xBE, 1000, -5})
    keys.push_back(translate_virtual_key(vk));
  EXPECT_EQ(keys, (std::vector<int>{kKeyBackspace, kKeyPlus, kKeyPlus, kKeyMinus, kKeyMinus,
                                    kKeyNone, kKeyNone, kKeyNone, kKeyNone, kKeyNone, kKeyNone,
                                    kKeyNone, kKeyNone, kKeyNone, kKeyNone, kKeyNone, kKeyNone}));
}

}  // namespace
}  // namespace lv
