#include "app/script/script_player.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "app/main_window.h"
#include "app/message_loop.h"
#include "app/program_run.h"
#include "app/window_test_support.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

// Screenshots as the frame held them: a tap's mark, the background before
// and after Enter.
using test::RecordingClient;
constexpr uint16_t kMark = RecordingClient::kMark;
constexpr uint16_t kBlue = RecordingClient::kStartBackground;
constexpr uint16_t kGreen = RecordingClient::kEnterBackground;

class ScriptPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto platform_window =
        platform::Window::create(u"Lumiview", {160, 120}, platform::WindowBackend::headless);
    ASSERT_TRUE(platform_window);
    window = std::make_unique<MainWindow>(std::move(platform_window));
    window->set_client(&client);
    folder = test::make_temp_dir("script");
  }

  // Plays the script to its end through the real event path.
  ScriptPlayer play(const std::string& text) {
    std::vector<ScriptStep> steps;
    ScriptError error;
    EXPECT_TRUE(parse_script(text, from_utf8(folder), steps, error)) << error.message;
    ScriptPlayer player(*window, std::move(steps));
    MessageLoop loop(*window, events);
    loop.set_script(&player);
    EXPECT_EQ(loop.run(), 0);
    return player;
  }

  test::RecordingClient client;
  platform::SdlEventSource events;
  std::unique_ptr<MainWindow> window;
  std::string folder;
};

TEST_F(ScriptPlayerTest, TapsAndKeysReachTheScreenshotFullScreen) {
  window->go_full_screen(0);
  const ScriptPlayer player = play(
      "tap 20 30\n"
      "key Enter\n"
      "screenshot shot.png\n");
  EXPECT_EQ(player.screenshots_written(), 1);
  EXPECT_TRUE(player.done() && window->finished());

  EXPECT_EQ(client.presses(), "down 20,30; up 20,30");
  // The tap was held for its 50 ms.
  EXPECT_GE(client.buttons[1].time - client.buttons[0].time, kTapHoldMs);
  EXPECT_EQ(client.key_log(), "Enter down; Enter up");

  const test::Shot shot = test::read_shot(folder + "/shot.png");
  ASSERT_EQ(shot.width, 160);
  ASSERT_EQ(shot.height, 120);
  EXPECT_EQ(shot.at(20, 30), kMark);
  EXPECT_EQ(shot.at(22, 32), kMark);
  EXPECT_EQ(shot.at(23, 30), kGreen);
  EXPECT_EQ(shot.at(159, 119), kGreen);
}

TEST_F(ScriptPlayerTest, AWaitAtTheEndHoldsTheProgramThatLong) {
  std::vector<ScriptStep> steps;
  ScriptError error;
  ASSERT_TRUE(parse_script("wait 100\n", from_utf8(folder), steps, error)) << error.message;
  ScriptPlayer player(*window, std::move(steps));
  player.advance(1000);
  EXPECT_FALSE(player.done());
  EXPECT_EQ(player.ms_until_due(1040), 60);
  player.advance(1099);
  EXPECT_FALSE(player.done());
  player.advance(1100);
  EXPECT_TRUE(player.done());
}

TEST_F(ScriptPlayerTest, WindowedPlaybackPaintsThroughTheOffscreenSurface) {
  const ScriptPlayer player = play(
      "drag 10 10 100 80 64\n"
      "screenshot windowed.png\n");
  EXPECT_EQ(player.screenshots_written(), 1);
  EXPECT_FALSE(window->display());
  ASSERT_GE(client.moves.size(), 4u);
  EXPECT_EQ(client.moves.back().x + client.moves.back().y, 180);
  EXPECT_EQ(client.presses(), "down 10,10; up 100,80");
  const test::Shot shot = test::read_shot(folder + "/windowed.png");
  ASSERT_FALSE(shot.empty());
  EXPECT_EQ(shot.at(10, 10), kMark);
  EXPECT_EQ(shot.at(100, 80), kBlue);  // a release leaves no mark
}

TEST_F(ScriptPlayerTest, CloseResizeTypeAndIdleTakeTheSamePath) {
  window->go_full_screen(0);
  client.allow_close = false;
  const ScriptPlayer player = play(
      "resize 200 100\n"
      "type ok\n"
      "keydown Down\n"
      "keydown Down repeat\n"
      "keyup Down\n"
      "idle 30 2000\n"
      "close\n"
      "screenshot wide.png\n");
  EXPECT_EQ(client.close_questions, 1);
  ASSERT_EQ(client.layouts.size(), 1u);
  EXPECT_EQ(client.layouts[0].width, 200);
  EXPECT_EQ(client.layouts[0].orientation, 1);
  EXPECT_EQ(client.characters, (std::vector<std::u16string>{u"o", u"k"}));
  EXPECT_EQ(client.key_log(), "Down down; Down repeat; Down up");
  const test::Shot shot = test::read_shot(folder + "/wide.png");
  EXPECT_EQ(shot.width, 200);
  EXPECT_EQ(shot.height, 100);
  EXPECT_EQ(player.failures(), 0);
}

TEST_F(ScriptPlayerTest, AScreenshotThatCannotBeWrittenIsReportedAndPlayGoesOn) {
  window->go_full_screen(0);
  testing::internal::CaptureStderr();
  const ScriptPlayer player = play(
      "screenshot no/such/folder/x.png\n"
      "key A\n");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(player.failures(), 1);
  EXPECT_EQ(player.screenshots_written(), 0);
  EXPECT_NE(err.find("script line 1: cannot write the screenshot"), std::string::npos) << err;
  EXPECT_EQ(client.keys.size(), 2u);
}

TEST_F(ScriptPlayerTest, WheelAndPinchArriveAsTheDevicesSendThem) {
  window->go_full_screen(0);
  const ScriptPlayer player = play(
      "wheel 40 50 2.5\n"
      "pinch 80 60 3 48\n");
  ASSERT_EQ(client.wheels.size(), 1u);
  EXPECT_EQ((std::tuple{client.wheels[0].x, client.wheels[0].y, client.wheels[0].steps}),
            (std::tuple{40, 50, 2.5}));

  ASSERT_GE(client.pinches.size(), 3u);
  EXPECT_EQ(client.pinches.front().phase, PinchEvent::Phase::begin);
  EXPECT_NEAR(client.pinches.front().x, 80, 0.01);
  EXPECT_NEAR(client.pinches.front().y, 60, 0.01);
  EXPECT_EQ(client.pinches.back().phase, PinchEvent::Phase::end);
  double scale = 1;
  for (const PinchEvent& pinch : client.pinches) scale *= pinch.scale;
  EXPECT_NEAR(scale, 3, 0.01);
  // The first finger's stylus pressed, was cancelled by the second finger,
  // and dragged nothing.
  EXPECT_EQ(client.presses(), "down 47,60; cancel");
  EXPECT_TRUE(client.moves.empty());
  EXPECT_EQ(player.exit_status(), 0);
}

TEST_F(ScriptPlayerTest, NamedElementsAreLookedUpWhenTheirStepRuns) {
  window->go_full_screen(0);
  std::vector<std::pair<ScriptTarget, std::u16string>> asked;
  size_t buttons_when_asked = 0;
  std::vector<ScriptStep> steps;
  ScriptError error;
  ASSERT_TRUE(parse_script("tap 1 1\ntapid ok\ntaptext Go on\nkey A\n", u"", steps, error));
  ScriptPlayer player(*window, std::move(steps));
  player.set_target_finder([&](ScriptTarget by, std::u16string_view wanted) {
    asked.emplace_back(by, wanted);
    buttons_when_asked = client.buttons.size();
    return wanted == u"ok" ? std::optional<Point>(Point{30, 40}) : std::nullopt;
  });
  MessageLoop loop(*window, events);
  loop.set_script(&player);
  testing::internal::CaptureStderr();
  EXPECT_EQ(loop.run(), 0);
  const std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(asked, (std::vector<std::pair<ScriptTarget, std::u16string>>{
                       {ScriptTarget::id, u"ok"}, {ScriptTarget::text, u"Go on"}}));
  EXPECT_EQ(buttons_when_asked, 4u) << "looked up before the steps before it were handled";
  EXPECT_EQ(client.presses(), "down 1,1; up 1,1; down 30,40; up 30,40");
  // Not found: reported, and nothing after it is played.
  EXPECT_NE(err.find("script line 3: no visible element shows \"Go on\""), std::string::npos)
      << err;
  EXPECT_TRUE(client.keys.empty());
  EXPECT_TRUE(player.done());
  EXPECT_EQ(player.exit_status(), 1);
}

TEST_F(ScriptPlayerTest, TheEnvironmentNamesTheScript) {
  test::ScopedEnv env;
  env.unset("LUMIVIEW_SCRIPT");
  EXPECT_FALSE(ScriptPlayer::from_environment(*window));

  test::write_file(folder + "/bad.txt", "tap 1 2\nswipe left\ntap 3 4\n");
  env.set("LUMIVIEW_SCRIPT", folder + "/bad.txt");
  testing::internal::CaptureStderr();
  auto player = ScriptPlayer::from_environment(*window);
  ASSERT_TRUE(player);
  MessageLoop loop(*window, events);
  loop.set_script(player.get());
  EXPECT_EQ(loop.run(), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(folder + "/bad.txt:2: unknown step \"swipe\""), std::string::npos) << err;
  // Nothing of a bad script is played: the program just ends, saying so.
  EXPECT_TRUE(client.buttons.empty());
  EXPECT_TRUE(window->finished());
  EXPECT_EQ(player->exit_status(), 1);
}

}  // namespace
}  // namespace lv
