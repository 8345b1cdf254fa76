#include "app/script/input_script.h"

#include <gtest/gtest.h>

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

TEST(InputScript, EveryStepParses) {
  const auto steps = parse_ok(
      "# a comment\n"
      "\n"
      "wait 250\r\n"
      "  press 10 -20  \n"
      "move 11 22\n"
      "release\n"
      "release 5 6\n"
      "keydown Down repeat\n"
      "keyup down\n"
      "type Hello, \xD0\x9C\xD0\xB8\xD1\x80  \n"
      "screenshot /tmp/shot one.png\n"
      "resize 800 480\n"
      "idle 200\n"
      "idle 100 2000\n"
      "close\n"
      "quit\n");
  const std::vector<Kind> kinds = {Kind::wait,       Kind::press,    Kind::move,   Kind::release,
                                   Kind::release,    Kind::key_down, Kind::key_up, Kind::text,
                                   Kind::screenshot, Kind::resize,   Kind::idle,   Kind::idle,
                                   Kind::close,      Kind::quit};
  ASSERT_EQ(steps.size(), kinds.size());
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(steps[i].kind, kinds[i]) << i;
  EXPECT_EQ(steps[0].ms, 250u);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[1].x, 10);
  EXPECT_EQ(steps[1].y, -20);
  // A release without a position lets go where the stylus last was.
  EXPECT_EQ(steps[3].x, 11);
  EXPECT_EQ(steps[3].y, 22);
  EXPECT_EQ(steps[4].x, 5);
  EXPECT_EQ(steps[5].key, kKeyDown);
  EXPECT_TRUE(steps[5].repeat);
  EXPECT_EQ(steps[6].key, kKeyDown);  // names may differ in letter case
  EXPECT_EQ(steps[7].text, u"Hello, \u041C\u0438\u0440");
  EXPECT_EQ(steps[8].text, u"/tmp/shot one.png");
  EXPECT_EQ(steps[9].x, 800);
  EXPECT_EQ(steps[9].y, 480);
  EXPECT_EQ(steps[10].ms, 200u);
  EXPECT_EQ(steps[10].max_ms, 10000u);
  EXPECT_EQ(steps[11].max_ms, 2000u);
  EXPECT_EQ(steps[13].line, 16);
}

TEST(InputScript, CompoundStepsBecomeTheirParts) {
  const auto tap = parse_ok("tap 40 50\ntap 1 2 0\n");
  ASSERT_EQ(tap.size(), 5u);
  EXPECT_EQ(tap[0].kind, Kind::press);
  EXPECT_EQ(tap[1].kind, Kind::wait);
  EXPECT_EQ(tap[1].ms, kTapHoldMs);
  EXPECT_EQ(tap[2].kind, Kind::release);
  EXPECT_EQ(tap[2].x, 40);
  EXPECT_EQ(tap[2].y, 50);
  EXPECT_EQ(tap[3].kind, Kind::press);  // no hold: no wait
  EXPECT_EQ(tap[4].kind, Kind::release);

  const auto key = parse_ok("key SOFT_LEFT\nkey #\n");
  ASSERT_EQ(key.size(), 4u);
  EXPECT_EQ(key[0].kind, Kind::key_down);
  EXPECT_EQ(key[0].key, kKeySoftLeft);
  EXPECT_FALSE(key[0].repeat);
  EXPECT_EQ(key[1].kind, Kind::key_up);
  EXPECT_EQ(key[3].key, kKeyPound);

  const auto drag = parse_ok("drag 100 700 100 100 100\n");
  ASSERT_GE(drag.size(), 3u);
  EXPECT_EQ(drag.front().kind, Kind::press);
  EXPECT_EQ(drag.front().y, 700);
  EXPECT_EQ(drag.back().kind, Kind::release);
  EXPECT_EQ(drag.back().y, 100);
  uint32_t waited = 0;
  int moves = 0;
  int32_t last_y = 700;
  for (const ScriptStep& step : drag) {
    if (step.kind == Kind::wait) waited += step.ms;
    if (step.kind != Kind::move) continue;
    ++moves;
    EXPECT_LT(step.y, last_y);
    EXPECT_EQ(step.x, 100);
    last_y = step.y;
  }
  EXPECT_EQ(waited, 100u);
  EXPECT_EQ(moves, int(100 / kDragStepMs));
  EXPECT_EQ(last_y, 100);
  // "release" after a drag lets go at its end.
  const auto after = parse_ok("drag 0 0 30 40 16\nrelease\n");
  EXPECT_EQ(after.back().x, 30);
  EXPECT_EQ(after.back().y, 40);
}

TEST(InputScript, TapsOnNamedElementsPressWhereTheFindLands) {
  const auto steps = parse_ok("tapid btnSearch\ntaptext  Holiday 2024 \n");
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[0].kind, Kind::find_id);
  EXPECT_EQ(steps[0].text, u"btnSearch");
  EXPECT_EQ(steps[1].kind, Kind::press);
  EXPECT_TRUE(steps[1].at_found);
  EXPECT_EQ(steps[2].ms, kTapHoldMs);
  EXPECT_EQ(steps[3].kind, Kind::release);
  EXPECT_TRUE(steps[3].at_found);
  EXPECT_EQ(steps[4].kind, Kind::find_text);
  EXPECT_EQ(steps[4].text, u"Holiday 2024");  // inner blanks kept
  // Where the element will be is not known yet: a bare release has nowhere
  // to go.
  EXPECT_EQ(parse_bad("tapid Ok\nrelease\n").line, 2);
}

TEST(InputScript, WheelAndPinchCarryTheirAmounts) {
  const auto wheel = parse_ok("wheel 100 200 -1.5\n");
  ASSERT_EQ(wheel.size(), 1u);
  EXPECT_EQ(wheel[0].kind, Kind::wheel);
  EXPECT_EQ(wheel[0].x, 100);
  EXPECT_DOUBLE_EQ(wheel[0].amount, -1.5);

  // Apart to twice the distance: from 100 to 200 pixels in 64 ms.
  const auto apart = parse_ok("pinch 240 400 2 64\n");
  ASSERT_GE(apart.size(), 3u);
  EXPECT_EQ(apart.front().kind, Kind::fingers_down);
  EXPECT_DOUBLE_EQ(apart.front().amount, kPinchSpreadPixels / 2);
  EXPECT_EQ(apart.back().kind, Kind::fingers_up);
  EXPECT_DOUBLE_EQ(apart.back().amount, kPinchSpreadPixels);
  uint32_t waited = 0;
  double last = apart.front().amount;
  for (const ScriptStep& step : apart) {
    if (step.kind == Kind::wait) waited += step.ms;
    if (step.kind != Kind::fingers_move) continue;
    EXPECT_GT(step.amount, last);
    EXPECT_EQ(step.x, 240);
    EXPECT_EQ(step.y, 400);
    last = step.amount;
  }
  EXPECT_EQ(waited, 64u);
  EXPECT_DOUBLE_EQ(last, kPinchSpreadPixels);
  // Together: the start is the wider one.
  const auto together = parse_ok("pinch 240 400 0.5\n");
  EXPECT_DOUBLE_EQ(together.front().amount, kPinchSpreadPixels);
  EXPECT_DOUBLE_EQ(together.back().amount, kPinchSpreadPixels / 2);
}

TEST(InputScript, BadLinesAreReportedWithTheirNumber) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"wait 10\ntapp 1 2\n", 2, "unknown step \"tapp\""},
      {"wait\n", 1, "\"wait\" takes 1 value, not 0"},
      {"wait 10 20\n", 1, "\"wait\" takes 1 value, not 2"},
      {"wait ten\n", 1, "\"ten\" is not a whole number"},
      {"wait -5\n", 1, "-5 is outside 0..3600000"},
      {"wait 99999999999999999999\n", 1, "is not a whole number"},
      {"\n\n# c\ntap 1\n", 4, "\"tap\" takes 2 to 3 values, not 1"},
      {"press 1 2x\n", 1, "\"2x\" is not a whole number"},
      {"move 1 200000\n", 1, "200000 is outside -100000..100000"},
      {"release\n", 1, "needs a press or move before it"},
      {"key Enterr\n", 1, "unknown key \"Enterr\""},
      {"key Esc\n", 1, "no key of this system gives \"Esc\""},
      {"keydown SLIDE\n", 1, "no key of this system gives \"SLIDE\""},
      {"keyup None\n", 1, "unknown key \"None\""},
      {"keydown A again\n", 1, "takes \"repeat\" after the key"},
      {"type   \n", 1, "\"type\" needs its text"},
      {"screenshot\n", 1, "\"screenshot\" needs its text"},
      {"resize 0 480\n", 1, "0 is outside 1..16384"},
      {"drag 1 2 3\n", 1, "\"drag\" takes 4 to 5 values, not 3"},
      {"drag 1 2 3 4 70000\n", 1, "70000 is outside 0..60000"},
      {"quit now\n", 1, "\"quit\" takes 0 values, not 1"},
      {"tapid\n", 1, "\"tapid\" takes 1 value, not 0"},
      {"tapid Ok Cancel\n", 1, "\"tapid\" takes 1 value, not 2"},
      {"taptext  \n", 1, "\"taptext\" needs its text"},
      {"wheel 1 2\n", 1, "\"wheel\" takes 3 values, not 2"},
      {"wheel 1 2 up\n", 1, "\"up\" is not a number"},
      {"wheel 1 2 0\n", 1, "turned 0 notches does nothing"},
      {"wheel 1 2 101\n", 1, "101 is outside -100..100"},
      {"wheel 1 2 nan\n", 1, "\"nan\" is not a number"},
      {"pinch 1 2 0.05\n", 1, "0.05 is outside 0.1..10"},
      {"pinch 1 2 2 60001\n", 1, "60001 is outside 0..60000"},
  };
  for (const Case& c : cases) {
    const ScriptError error = parse_bad(c.text);
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.message.find(c.says), std::string::npos) << c.text << " -> " << error.message;
  }
}

TEST(InputScript, OddInputNeverBreaksTheParser) {
  EXPECT_TRUE(parse_ok("").empty());
  EXPECT_TRUE(parse_ok("\xEF\xBB\xBF# only a comment").empty());
  EXPECT_EQ(parse_ok("\xEF\xBB\xBFquit").size(), 1u);
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  ScriptError error;
  std::vector<ScriptStep> steps;
  EXPECT_FALSE(parse_script(binary, u"", steps, error));
  EXPECT_EQ(error.line, 1);
  EXPECT_FALSE(parse_script(std::string(100000, 'x'), u"", steps, error));
}

TEST(InputScript, ScreenshotPathsAreRelativeToTheScript) {
  const std::string folder = test::make_temp_dir("script");
  test::write_file(folder + "/demo.txt", "screenshot shots/a.png\nscreenshot /abs/b.png\n");
  std::vector<ScriptStep> steps;
  ScriptError error;
  ASSERT_TRUE(load_script(from_utf8(folder + "/demo.txt"), steps, error)) << error.message;
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].text, from_utf8(folder + "/shots/a.png"));
  EXPECT_EQ(steps[1].text, u"/abs/b.png");

  EXPECT_FALSE(load_script(from_utf8(folder + "/missing.txt"), steps, error));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(describe(error, u"/s/missing.txt").rfind("/s/missing.txt: cannot read", 0), 0u);
  EXPECT_EQ(describe(ScriptError{7, "unknown step \"x\""}, u"demo.txt"),
            "demo.txt:7: unknown step \"x\"");
}

TEST(ScriptKeys, NamesGiveTheKeysThatProduceThem) {
  EXPECT_EQ(script_key_code("Backspace"), kKeyBackspace);
  EXPECT_EQ(script_key_code("soft_right"), kKeySoftRight);
  EXPECT_EQ(script_key_code("q"), kKeyA + 16);
  EXPECT_EQ(script_key_code("*"), kKeyStar);
  EXPECT_EQ(script_key_code(""), kKeyNone);
  EXPECT_EQ(virtual_key_for_code(kKeyBackspace), 8);  // back, not escape
  EXPECT_EQ(virtual_key_for_code(kKeySoftLeft), 112);
  EXPECT_EQ(virtual_key_for_code(kKeyPound), 120);
  EXPECT_EQ(virtual_key_for_code(kKey0 + 9), 57);
  EXPECT_EQ(virtual_key_for_code(kKeyEsc), 0);
  EXPECT_EQ(virtual_key_for_code(kKeySlide), 0);
  EXPECT_EQ(virtual_key_for_code(kKeyNone), 0);
  EXPECT_EQ(virtual_key_for_code(kKeyCount), 0);
  // Every other program key can be pressed by a script.
  for (int code = 1; code < kKeyCount; ++code) {
    if (code == kKeyEsc || code == kKeySlide) continue;
    EXPECT_EQ(translate_virtual_key(virtual_key_for_code(code)), code) << key_name(code);
  }
}

}  // namespace
}  // namespace lv
