// The real SDL window under Xvfb: the test starts itself again inside
// xvfb-run, where the window, its renderer and the streaming texture are the
// ones a user gets. Skipped when xvfb-run is not installed.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/message_loop.h"
#include "app/program_run.h"
#include "app/script/script_player.h"
#include "app/window_manager_close.h"
#include "app/window_test_support.h"
#include "display/display.h"
#include "platform/paths.h"
#include "platform/sdl_events.h"

namespace lv {
namespace {

// Inside Xvfb (LUMIVIEW_XVFB_SHOT names the screenshot): a real window of
// 320 x 240 (the test main chose the headless display; not for this one).
// The window manager's close (WM_DELETE_WINDOW, the title bar's button) is
// refused by the screen and nothing quits behind its back; then a script
// draws full-screen through the display and writes a screenshot.
void run_the_real_window(const std::string& shot) {
  test::ScopedEnv env;
  env.unset("LUMIVIEW_DISPLAY");
  env.set("SDL_VIDEODRIVER", "x11");
  env.set("LUMIVIEW_SCREEN", "320x240");
  std::string error;
  auto window = MainWindow::create(u"Lumiview", &error);
  ASSERT_TRUE(window && !window->window().headless()) << error;
  test::RecordingClient client;
  window->set_client(&client);
  platform::SdlEventSource events;

  client.allow_close = false;
  ASSERT_TRUE(test::send_window_manager_close(window->window().sdl_window()));
  // Every event until the close request and whatever SDL sends after it.
  bool closed = false;
  for (int waits = 0; waits < 100; ++waits) {
    const auto event = events.wait(closed ? 200 : 100);
    if (!event && closed) break;
    closed = closed || (event && event->type == platform::EventType::close_requested);
    if (event) window->dispatch(*event);
  }
  EXPECT_TRUE(std::ranges::count(client.log, '?') == 1 && !window->finished()) << client.log;

  window->go_windowed(Taskbar::hidden);
  window->go_full_screen(window->measure_screen().orientation);
  ASSERT_TRUE(window->display());
  EXPECT_EQ(window->display()->size(), (Size{320, 240}));
  ScriptPlayer player(*window, test::parsed("wait 100\nkey Enter\nscreenshot " + shot + "\n"));
  MessageLoop loop(*window, events);
  loop.set_script(&player);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_GE(window->display() ? window->display()->frames_presented() : 0u, 1u);
  window.reset();
  SDL_Quit();
}

TEST(RealWindowSmoke, TheWindowManagersCloseIsAskedAndTheDisplayDrawsTheScreenshot) {
  if (const char* shot = std::getenv("LUMIVIEW_XVFB_SHOT")) return run_the_real_window(shot);
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xvfb-run is not installed";
  // X11, D-Bus and the GL driver keep allocations for the life of the
  // process: no leak check of the child.
  const std::string shot = test::make_temp_dir("xvfb") + "/window.png";
  const int status = std::system(
      ("timeout 120 xvfb-run -a -s '-screen 0 640x480x24' env ASAN_OPTIONS=detect_leaks=0 "
       "LUMIVIEW_XVFB_SHOT='" +
       shot + "' '" + platform::executable_path() +
       "' "
       "--gtest_filter=RealWindowSmoke."
       "TheWindowManagersCloseIsAskedAndTheDisplayDrawsTheScreenshot")
          .c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const test::Shot window = test::read_shot(shot);
  ASSERT_TRUE(window.width == 320 && window.height == 240);
  EXPECT_EQ(window.at(200, 200), test::RecordingClient::kEnterBackground);
}

}  // namespace
}  // namespace lv
