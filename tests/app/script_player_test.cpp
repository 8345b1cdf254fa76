#include "app/script/script_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "app/message_loop.h"
#include "app/program_run.h"
#include "app/window_test_support.h"
#include "platform/sdl_events.h"
#include "platform/text.h"
#include "support/scoped_env.h"

namespace lv {
namespace {

// Screenshots as the frame held them: a tap's mark, the background before
// and after Enter.
constexpr uint16_t kMark = test::RecordingClient::kMark;
constexpr uint16_t kBlue = test::RecordingClient::kStartBackground;
constexpr uint16_t kGreen = test::RecordingClient::kEnterBackground;

class ScriptPlayerTest : public ::testing::Test {
 protected:
  // Plays the script to its end through the real event path; what it
  // wrote to the error output is kept in `errors`.
  std::unique_ptr<ScriptPlayer> play(const std::string& text, bool full_screen = true,
                                     ScriptPlayer::TargetFinder finder = {}) {
    if (full_screen) window->go_full_screen(0);
    auto player = std::make_unique<ScriptPlayer>(*window, test::parsed(text, from_utf8(folder)));
    player->set_target_finder(std::move(finder));
    run(*player);
    return player;
  }
  void run(ScriptPlayer& player) {
    MessageLoop loop(*window, events);
    loop.set_script(&player);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loop.run(), 0);
    errors = testing::internal::GetCapturedStderr();
  }

  test::RecordingClient client;
  platform::SdlEventSource events;
  std::unique_ptr<MainWindow> window = test::headless_window({160, 120}, &client);
  std::string folder = test::make_temp_dir("script"), errors;
};

// Taps, keys, a resize, typing, a close the screen refuses and an idle
// wait, all through SDL's queue; the screenshot of the resized frame.
TEST_F(ScriptPlayerTest, EveryInputStepTakesTheEventPathToTheScreenshotFullScreen) {
  client.allow_close = false;
  const auto player = play(
      "tap 20 30\nkey Enter\nresize 200 100\ntype ok\nkeydown Down\nkeydown Down repeat\n"
      "keyup Down\nidle 30 2000\nclose\nscreenshot wide.png\n");
  EXPECT_TRUE(player->screenshots_written() == 1 && player->done() && window->finished());
  EXPECT_EQ(client.log,
            "down 20,30; up 20,30; Enter down; Enter up; layout 200x100 1; char 'o'; char 'k'; "
            "Down down; Down repeat; Down up; close?");
  // The tap was held for its 50 ms.
  EXPECT_GE(client.buttons.at(1).time - client.buttons[0].time, kTapHoldMs);
  const test::Shot shot = test::read_shot(folder + "/wide.png");
  ASSERT_TRUE(shot.width == 200 && shot.height == 100);
  EXPECT_EQ((std::tuple{shot.at(20, 30), shot.at(22, 32), shot.at(23, 30), shot.at(199, 99)}),
            (std::tuple{kMark, kMark, kGreen, kGreen}));
}

// Pressed, dragged in steps to the end, released there (a release leaves
// no mark).
TEST_F(ScriptPlayerTest, WindowedPlaybackPaintsThroughTheOffscreenSurface) {
  const auto player = play("drag 10 10 100 80 64\nscreenshot windowed.png\n", false);
  EXPECT_TRUE(player->screenshots_written() == 1 && !window->display());
  EXPECT_TRUE(client.log.starts_with("down 10,10; drag ") &&
              client.log.ends_with("; drag 100,80; up 100,80") &&
              std::ranges::count(client.log, ';') >= 5)
      << client.log;
  const test::Shot shot = test::read_shot(folder + "/windowed.png");
  ASSERT_FALSE(shot.empty());
  EXPECT_TRUE(shot.at(10, 10) == kMark && shot.at(100, 80) == kBlue);
}

// The first finger's stylus pressed, was cancelled by the second finger,
// and dragged nothing.
TEST_F(ScriptPlayerTest, WheelAndPinchArriveAsTheDevicesSendThem) {
  const auto player = play("wheel 40 50 2.5\npinch 80 60 3 48\n");
  EXPECT_TRUE(client.log.starts_with("wheel 40,50 2.5; down 47,60; cancel; pinch begin; pinch") &&
              client.log.ends_with("; pinch; pinch end") &&
              client.log.find("drag") == std::string::npos)
      << client.log;
  EXPECT_TRUE(std::abs(client.pinches.at(0).x - 80) < 0.01 &&
              std::abs(client.pinches[0].y - 60) < 0.01);
  double scale = 1;
  for (const PinchEvent& pinch : client.pinches) scale *= pinch.scale;
  EXPECT_NEAR(scale, 3, 0.01);
}

// A screenshot that cannot be written is reported and play goes on; an
// element not found is reported, and nothing after it is played.
TEST_F(ScriptPlayerTest, NamedElementsAreLookedUpWhenTheirStepRuns) {
  std::string asked;
  const auto player =
      play("screenshot no/such/folder/x.png\ntap 1 1\ntapid ok\ntaptext Go on\nkey A\n", true,
           [&](ScriptTarget by, std::u16string_view wanted) {
             // Looked up before the steps before it were handled.
             asked += (by == ScriptTarget::id ? "id " : "text ") + to_utf8(wanted) + " after " +
                      std::to_string(client.buttons.size()) + "; ";
             return wanted == u"ok" ? std::optional<Point>(Point{30, 40}) : std::nullopt;
           });
  EXPECT_EQ(asked, "id ok after 2; text Go on after 4; ");
  EXPECT_EQ(client.log, "down 1,1; up 1,1; down 30,40; up 30,40");
  EXPECT_TRUE(errors.find("script line 1: cannot write the screenshot") != std::string::npos &&
              errors.find("script line 4: no visible element shows \"Go on\"") != std::string::npos)
      << errors;
  EXPECT_TRUE(player->done() && player->exit_status() == 1 && player->screenshots_written() == 0);
}

// Nothing of a bad script is played: the program just ends, saying so.
TEST_F(ScriptPlayerTest, TheEnvironmentNamesTheScript) {
  test::ScopedEnv env;
  test::write_file(folder + "/bad.txt", "tap 1 2\nswipe left\ntap 3 4\n");
  env.set("LUMIVIEW_SCRIPT", folder + "/bad.txt");
  testing::internal::CaptureStderr();
  auto player = ScriptPlayer::from_environment(*window);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(folder + "/bad.txt:2: unknown step \"swipe\""), std::string::npos) << said;
  ASSERT_TRUE(player);
  run(*player);
  EXPECT_TRUE(client.log.empty() && window->finished() && player->exit_status() == 1);
}

}  // namespace
}  // namespace lv
