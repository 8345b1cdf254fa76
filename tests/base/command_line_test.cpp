#include "base/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace lv {
namespace {

using Arguments = std::vector<std::u16string>;

TEST(CommandLine, SplittingGivesBackWhatWasJoined) {
  const Arguments cases[] = {
      {u"/plain/a.jpg"},
      {u"/with blank/a.jpg", u"second"},
      {u"tab\there", u"say \"hi\""},
      // A backslash before the closing quote must not escape it.
      {u"ends in a backslash\\", u"next"},
      {u"C:\\no\\blanks", u"\\\""},
      {u"", u"between", u""},
  };
  for (const Arguments& arguments : cases) {
    const std::u16string line = join_command_line(arguments);
    EXPECT_EQ(split_command_line(line), arguments) << to_utf8(line);
  }
  EXPECT_EQ(join_command_line({u"/a b/c.jpg", u"plain"}), u"\"/a b/c.jpg\" plain");
  EXPECT_EQ(join_command_line({}), u"");
}

TEST(CommandLine, SplitsWhatAnotherProgramWrote) {
  EXPECT_EQ(split_command_line(u"  a \t \"b c\"d  "), (Arguments{u"a", u"b cd"}));
  EXPECT_EQ(split_command_line(u"\"unclosed quote"), (Arguments{u"unclosed quote"}));
  EXPECT_EQ(split_command_line(u"back\\slash \"q\\\\\""), (Arguments{u"back\\slash", u"q\\"}));
  // Inside quotes only \" and \\ are escapes.
  EXPECT_EQ(split_command_line(u"\"a\\b\""), (Arguments{u"a\\b"}));
  EXPECT_EQ(split_command_line(u"   "), Arguments{});
}

TEST(CommandLine, ArgumentsBecomePathsAnyWorkingFolderCanOpen) {
  struct Case {
    std::u16string argument;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a.jpg", u"/home/u/a.jpg"},
      {u"12:30.jpg", u"/home/u/12:30.jpg"},  // a colon alone makes no URI
      {u"/abs/c.jpg", u"/abs/c.jpg"},
      {u"file:///home/u/%C3%A4%20x.jpg", u"/home/u/\u00e4 x.jpg"},
      {u"FILE://localhost/a%2fb.jpg", u"/a/b.jpg"},
      {u"file:/one/slash.jpg", u"/one/slash.jpg"},
      {u"file:///a.jpg?size=2#top", u"/a.jpg"},
      {u"file:///100%25%zz.jpg", u"/100%%zz.jpg"},  // an escape that is none stays
      // Kept as given: the running instance says it cannot open them.
      {u"file://otherhost/a.jpg", u"file://otherhost/a.jpg"},
      {u"file:///a%00.jpg", u"file:///a%00.jpg"},
      {u"file:///%FF.jpg", u"file:///%FF.jpg"},
      {u"file:relative.jpg", u"file:relative.jpg"},
      {u"https://example.org/a.jpg", u"https://example.org/a.jpg"},
      {u"", u""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(absolute_argument(c.argument, u"/home/u"), c.expected) << to_utf8(c.argument);
  EXPECT_EQ(absolute_argument(u"a.jpg", u"/"), u"/a.jpg");
  EXPECT_EQ(absolute_argument(u"a.jpg", u""), u"a.jpg");  // no working folder to be had
}

}  // namespace
}  // namespace lv
