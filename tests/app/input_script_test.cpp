#include "app/script/input_script.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "app/script/script_keys.h"
#include "base/input.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

using Kind = ScriptStep::Kind;

std::vector<ScriptStep> parse_ok(std::string_view text, std::u16string_view base = u"") {
  std::vector<ScriptStep> steps;
  ScriptError error;
  EXPECT_TRUE(parse_script(text, base, steps, error)) << error.line << ": " << error.message;
  return steps;
}

ScriptError parse_bad(std::string_view text) {
  std::vector<ScriptStep> steps{ScriptStep{}};
  ScriptError error;
  EXPECT_FALSE(parse_script(text, u"", steps, error)) << text;
  EXPECT_EQ(steps.size(), 1u) << "steps must be left alone on failure";
  return error;
}

// What taps, drags, wheels and pinches become is checked where they reach
// the window, in the script player's tests.
TEST(InputScript, EveryStepParses) {
  const auto steps = parse_ok(
      "# a comment\n\nwait 250\r\n  press 10 -20  \nmove 11 22\nrelease\nrelease 5 6\n"
      "keydown Down repeat\nkeyup down\ntype Hello, \xD0\x9C\xD0\xB8\xD1\x80  \n"
      "screenshot /tmp/shot one.png\nresize 800 480\nidle 200\nidle 100 2000\nclose\nquit\n");
  // What a resize, a close or typed text do is seen where they are played.
  ASSERT_EQ(steps.size(), 14u);
  EXPECT_TRUE(steps[2].kind == Kind::move && steps[4].kind == Kind::release &&
              steps[6].kind == Kind::key_up && steps[13].kind == Kind::quit);
  auto at = [&](size_t i) { return std::pair{steps[i].x, steps[i].y}; };
  EXPECT_EQ(std::pair(steps[0].ms, steps[0].line), std::pair(250u, 3));
  EXPECT_EQ(at(1), std::pair(10, -20));
  // A release without a position lets go where the stylus last was.
  EXPECT_TRUE(at(3) == std::pair(11, 22) && at(4) == std::pair(5, 6));
  // Key names may differ in letter case.
  EXPECT_TRUE(steps[5].key == kKeyDown && steps[5].repeat && steps[6].key == kKeyDown);
  EXPECT_TRUE(steps[7].text == u"Hello, \u041C\u0438\u0440" &&
              steps[8].text == u"/tmp/shot one.png");
  EXPECT_EQ(std::tuple(steps[10].ms, steps[10].max_ms, steps[11].max_ms),
            std::tuple(200u, 10000u, 2000u));
  EXPECT_EQ(steps[13].line, 16);
}

// One row per kind of error.
TEST(InputScript, BadLinesAreReportedWithTheirNumber) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"wait 10\ntapp 1 2\n", 2, "unknown step \"tapp\""},
      {"\n\n# c\ntap 1\n", 4, "\"tap\" takes 2 to 3 values, not 1"},
      {"wait 99999999999999999999\n", 1, "\"99999999999999999999\" is not a whole number"},
      {"wait -5\n", 1, "-5 is outside 0..3600000"},
      {"release\n", 1, "needs a press or move before it"},
      {"key Enterr\n", 1, "unknown key \"Enterr\""},
      {"key Esc\n", 1, "no key of this system gives \"Esc\""},
      {"keydown A again\n", 1, "takes \"repeat\" after the key"},
      {"taptext  \n", 1, "\"taptext\" needs its text"},
      {"wheel 1 2 nan\n", 1, "\"nan\" is not a number"},
      {"wheel 1 2 0\n", 1, "turned 0 notches does nothing"},
  };
  for (auto [text, line, says] : cases) {
    const ScriptError error = parse_bad(text);
    EXPECT_EQ(error.line, line) << text;
    EXPECT_NE(error.message.find(says), std::string::npos) << text << " -> " << error.message;
  }
}

TEST(InputScript, OddInputNeverBreaksTheParser) {
  EXPECT_TRUE(parse_ok("").empty() && parse_ok("\xEF\xBB\xBF# only a comment").empty());
  EXPECT_EQ(parse_ok("\xEF\xBB\xBFquit").size(), 1u);
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  EXPECT_EQ(parse_bad(binary).line, 1);
  parse_bad(std::string(100000, 'x'));
}

TEST(InputScript, ScreenshotPathsAreRelativeToTheScript) {
  const std::string folder = test::make_temp_dir("script");
  test::write_file(folder + "/demo.txt", "screenshot shots/a.png\nscreenshot /abs/b.png\n");
  std::vector<ScriptStep> steps;
  ScriptError error;
  ASSERT_TRUE(load_script(from_utf8(folder + "/demo.txt"), steps, error)) << error.message;
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_TRUE(steps[0].text == from_utf8(folder + "/shots/a.png") &&
              steps[1].text == u"/abs/b.png");

  EXPECT_FALSE(load_script(from_utf8(folder + "/missing.txt"), steps, error));
  EXPECT_TRUE(error.line == 0 &&
              describe(error, u"/s/missing.txt").starts_with("/s/missing.txt: cannot read"));
}

// Backspace is the back key, not escape; keys no script can press give 0;
// every other program key can be pressed by a script.
TEST(ScriptKeys, NamesGiveTheKeysThatProduceThem) {
  EXPECT_EQ(script_key_code("Backspace"), kKeyBackspace);
  EXPECT_EQ(script_key_code("soft_right"), kKeySoftRight);
  EXPECT_EQ(script_key_code(""), kKeyNone);
  EXPECT_EQ(virtual_key_for_code(kKeyBackspace), 8);
  for (int code : {int(kKeyEsc), int(kKeySlide), int(kKeyNone), int(kKeyCount)})
    EXPECT_EQ(virtual_key_for_code(code), 0);
  for (int code = 1; code < kKeyCount; ++code) {
    if (code == kKeyEsc || code == kKeySlide) continue;
    EXPECT_EQ(translate_virtual_key(virtual_key_for_code(code)), code) << key_name(code);
  }
}

}  // namespace
}  // namespace lv
