// Runs the real SDL window under Xvfb: the test starts itself again inside
// xvfb-run, where the window, its renderer and the streaming texture are
// the ones a user gets. Skipped when xvfb-run is not installed.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/message_loop.h"
#include "app/program_run.h"
#include "app/script/input_script.h"
#include "app/script/script_player.h"
#include "app/window_manager_close.h"
#include "app/window_test_support.h"
#include "display/display.h"
#include "platform/paths.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

constexpr char kChildVariable[] = "LUMIVIEW_XVFB_SHOT";
constexpr char kCloseChildVariable[] = "LUMIVIEW_XVFB_CLOSE";

// Starts this test again inside xvfb-run with the variable set; answers the
// exit status, -1 when the child did not end normally.
int run_in_xvfb(const char* variable, const std::string& value, const std::string& test) {
  const std::string self = platform::executable_path();
  // X11, D-Bus and the GL driver that SDL's video loads keep allocations
  // for the life of the process; a leak check of the child would report
  // them, not the program. The headless tests check the program's own.
  const std::string command =
      "timeout 120 xvfb-run -a -s '-screen 0 640x480x24' env ASAN_OPTIONS=detect_leaks=0 " +
      std::string(variable) + "='" + value + "' '" + self + "' --gtest_filter=" + test;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Inside Xvfb: a real window, full-screen through the display, a scripted
// tap and a screenshot.
void run_in_window(const std::string& shot) {
  // The test main chose the headless display for every test; not for this one.
  test::ScopedEnv env;
  env.unset("LUMIVIEW_DISPLAY");
  env.set("SDL_VIDEODRIVER", "x11");
  env.set("LUMIVIEW_SCREEN", "320x240");
  std::string error;
  auto window = MainWindow::create(u"Lumiview", &error);
  ASSERT_TRUE(window) << error;
  ASSERT_FALSE(window->window().headless());
  test::RecordingClient client;
  window->set_client(&client);
  window->go_windowed(Taskbar::hidden);
  window->go_full_screen(window->measure_screen().orientation);
  ASSERT_TRUE(window->display());
  EXPECT_EQ(window->display()->size(), (Size{320, 240}));

  std::vector<ScriptStep> steps;
  ScriptError script_error;
  ASSERT_TRUE(parse_script("wait 100\ntap 50 60\nkey Enter\nscreenshot " + shot + "\n", u"", steps,
                           script_error));
  ScriptPlayer player(*window, std::move(steps));
  platform::SdlEventSource events;
  MessageLoop loop(*window, events);
  loop.set_script(&player);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_EQ(player.screenshots_written(), 1);
  EXPECT_GE(window->display() ? window->display()->frames_presented() : 0u, 1u);
}

TEST(RealWindowSmoke, DrawsThroughTheDisplayAndWritesAScreenshot) {
  if (const char* shot = std::getenv(kChildVariable)) {
    run_in_window(shot);
    SDL_Quit();
    return;
  }
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xvfb-run is not installed";
  const std::string shot = test::make_temp_dir("xvfb") + "/window.png";
  ASSERT_EQ(run_in_xvfb(kChildVariable, shot,
                        "RealWindowSmoke.DrawsThroughTheDisplayAndWritesAScreenshot"),
            0);

  const test::Shot window = test::read_shot(shot);
  ASSERT_EQ(window.width, 320);
  ASSERT_EQ(window.height, 240);
  EXPECT_EQ(window.at(50, 60), test::RecordingClient::kMark);  // the tap's mark
  EXPECT_EQ(window.at(200, 200), test::RecordingClient::kEnterBackground);
}

// Inside Xvfb: the window manager's close (WM_DELETE_WINDOW, what the
// title bar's close button sends), as SDL turns it into events: a close the
// screen refuses leaves the window open, and nothing quits behind its back.
void close_in_window() {
  test::ScopedEnv env;
  env.unset("LUMIVIEW_DISPLAY");
  env.set("SDL_VIDEODRIVER", "x11");
  env.set("LUMIVIEW_SCREEN", "320x240");
  std::string error;
  auto window = MainWindow::create(u"Lumiview", &error);
  ASSERT_TRUE(window) << error;
  test::RecordingClient client;
  client.allow_close = false;
  window->set_client(&client);
  auto send_close = [&] {
    ASSERT_TRUE(test::send_window_manager_close(window->window().sdl_window()));
  };
  platform::SdlEventSource events;
  // Every event until the close request, then whatever SDL sends after it.
  auto take_until_quiet = [&] {
    std::vector<platform::EventType> types;
    bool closed = false;
    for (int waits = 0; waits < 100; ++waits) {
      const auto event = events.wait(closed ? 200 : 100);
      if (!event) {
        if (closed) break;
        continue;
      }
      types.push_back(event->type);
      closed = closed || event->type == platform::EventType::close_requested;
      window->dispatch(*event);
    }
    return types;
  };

  send_close();
  const std::vector<platform::EventType> refused = take_until_quiet();
  EXPECT_EQ(std::count(refused.begin(), refused.end(), platform::EventType::close_requested), 1);
  EXPECT_EQ(std::count(refused.begin(), refused.end(), platform::EventType::quit), 0);
  EXPECT_EQ(client.close_questions, 1);
  EXPECT_FALSE(window->finished());

  client.allow_close = true;
  send_close();
  take_until_quiet();
  EXPECT_EQ(client.close_questions, 2);
  EXPECT_TRUE(window->finished());
}

TEST(RealWindowSmoke, AClosedWindowAsksTheScreenWhichMayRefuse) {
  if (std::getenv(kCloseChildVariable)) {
    close_in_window();
    SDL_Quit();
    return;
  }
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xvfb-run is not installed";
  EXPECT_EQ(run_in_xvfb(kCloseChildVariable, "1",
                        "RealWindowSmoke.AClosedWindowAsksTheScreenWhichMayRefuse"),
            0);
}

}  // namespace
}  // namespace lv
