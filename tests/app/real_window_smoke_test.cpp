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

// Starts the named test of this binary again inside xvfb-run with the
// variable set; answers the exit status, -1 when the child did not end
// normally.
int run_in_xvfb(const char* variable, const std::string& value, const std::string& test) {
  // X11, D-Bus and the GL driver that SDL's video loads keep allocations
  // for the life of the process; a leak check of the child would report
  // them, not the program. The headless tests check the program's own.
  const std::string command =
      "timeout 120 xvfb-run -a -s '-screen 0 640x480x24' env ASAN_OPTIONS=detect_leaks=0 " +
      std::string(variable) + "='" + value + "' '" + platform::executable_path() +
      "' --gtest_filter=RealWindowSmoke." + test;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Inside Xvfb: a real window of 320 x 240 (the test main chose the headless
// display for every test; not for these).
class RealWindow {
 public:
  RealWindow() {
    env.unset("LUMIVIEW_DISPLAY");
    env.set("SDL_VIDEODRIVER", "x11");
    env.set("LUMIVIEW_SCREEN", "320x240");
    std::string error;
    window = MainWindow::create(u"Lumiview", &error);
    EXPECT_TRUE(window && !window->window().headless()) << error;
    if (window) window->set_client(&client);
  }
  ~RealWindow() {
    window.reset();
    SDL_Quit();
  }

  test::ScopedEnv env;
  test::RecordingClient client;
  std::unique_ptr<MainWindow> window;
  platform::SdlEventSource events;
};

// Outside Xvfb: skipped without xvfb-run.
#define LV_REQUIRE_XVFB()                                        \
  do {                                                           \
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) \
      GTEST_SKIP() << "xvfb-run is not installed";               \
  } while (0)

TEST(RealWindowSmoke, DrawsThroughTheDisplayAndWritesAScreenshot) {
  if (const char* shot = std::getenv("LUMIVIEW_XVFB_SHOT")) {
    // Full-screen through the display, a scripted tap and a screenshot.
    RealWindow real;
    ASSERT_TRUE(real.window);
    MainWindow& window = *real.window;
    window.go_windowed(Taskbar::hidden);
    window.go_full_screen(window.measure_screen().orientation);
    ASSERT_TRUE(window.display());
    EXPECT_EQ(window.display()->size(), (Size{320, 240}));
    ScriptPlayer player(window, test::parsed("wait 100\ntap 50 60\nkey Enter\nscreenshot " +
                                             std::string(shot) + "\n"));
    MessageLoop loop(window, real.events);
    loop.set_script(&player);
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(player.screenshots_written(), 1);
    EXPECT_GE(window.display() ? window.display()->frames_presented() : 0u, 1u);
    return;
  }
  LV_REQUIRE_XVFB();
  const std::string shot = test::make_temp_dir("xvfb") + "/window.png";
  ASSERT_EQ(run_in_xvfb("LUMIVIEW_XVFB_SHOT", shot, "DrawsThroughTheDisplayAndWritesAScreenshot"),
            0);
  const test::Shot window = test::read_shot(shot);
  ASSERT_TRUE(window.width == 320 && window.height == 240);
  EXPECT_EQ(window.at(50, 60), test::RecordingClient::kMark);  // the tap's mark
  EXPECT_EQ(window.at(200, 200), test::RecordingClient::kEnterBackground);
}

// Inside Xvfb: the window manager's close (WM_DELETE_WINDOW, what the
// title bar's close button sends), as SDL turns it into events: a close the
// screen refuses leaves the window open, and nothing quits behind its back.
TEST(RealWindowSmoke, AClosedWindowAsksTheScreenWhichMayRefuse) {
  if (!std::getenv("LUMIVIEW_XVFB_CLOSE")) {
    LV_REQUIRE_XVFB();
    EXPECT_EQ(run_in_xvfb("LUMIVIEW_XVFB_CLOSE", "1", "AClosedWindowAsksTheScreenWhichMayRefuse"),
              0);
    return;
  }
  RealWindow real;
  ASSERT_TRUE(real.window);
  // Sends the close, then dispatches every event until the close request
  // and whatever SDL sends after it; answers how many were quits.
  auto close = [&] {
    EXPECT_TRUE(test::send_window_manager_close(real.window->window().sdl_window()));
    int quits = 0;
    bool closed = false;
    for (int waits = 0; waits < 100; ++waits) {
      const auto event = real.events.wait(closed ? 200 : 100);
      if (!event && closed) break;
      if (!event) continue;
      closed = closed || event->type == platform::EventType::close_requested;
      quits += event->type == platform::EventType::quit;
      real.window->dispatch(*event);
    }
    return quits;
  };
  // How often the screen was asked.
  auto asked = [&] { return std::ranges::count(real.client.log, '?'); };
  real.client.allow_close = false;
  EXPECT_EQ(close(), 0);
  EXPECT_EQ(asked(), 1);
  EXPECT_FALSE(real.window->finished());
  real.client.allow_close = true;
  close();
  EXPECT_TRUE(asked() == 2 && real.window->finished());
}

}  // namespace
}  // namespace lv
