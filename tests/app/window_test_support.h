#pragma once

// A window client that records what the window hands on and draws a plain
// picture of its state: a background colour and a 5 x 5 mark at every
// stylus press, so that tests can find their taps in the pixels. And the
// headless window and parsed scripts the window tests start from.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/script/input_script.h"
#include "app/window_client.h"
#include "base/input.h"
#include "platform/clock.h"
#include "platform/sdl_window.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv::test {

// Replaces the tick counter for one test; time moves only when told.
class FakeClock {
 public:
  explicit FakeClock(uint32_t start) : m_now(start) {
    platform::set_tick_source([this] { return m_now.load(); });
  }
  ~FakeClock() { platform::set_tick_source({}); }
  uint32_t now() const { return m_now.load(); }
  void set(uint32_t now) { m_now.store(now); }
  void advance(uint32_t ms) { m_now.fetch_add(ms); }

 private:
  std::atomic<uint32_t> m_now;
};

// A headless window of the given size, handing its events to `client`.
inline std::unique_ptr<MainWindow> headless_window(Size size, WindowClient* client,
                                                   MainWindow::DisplayOpener opener = {}) {
  auto window =
      std::make_unique<MainWindow>(platform::Window::create(u"Lumiview", {size.width, size.height},
                                                            platform::WindowBackend::headless),
                                   std::move(opener));
  if (client) window->set_client(client);
  return window;
}

// The steps of a script that must parse.
inline std::vector<ScriptStep> parsed(std::string_view text, std::u16string_view folder = u"") {
  std::vector<ScriptStep> steps;
  ScriptError error;
  EXPECT_TRUE(parse_script(text, folder, steps, error)) << error.line << ": " << error.message;
  return steps;
}

// Everything that reaches the client is written to `log`, "; " between:
// "Enter down", "Enter repeat" (a press that is not the first), "Enter up",
// "char 'a'", "down x,y", "drag x,y" (a move with the stylus down),
// "move x,y", "up x,y", "cancel" (a press ended without a release
// position), "wheel x,y steps", "pinch begin", "pinch", "pinch end",
// "layout WxH orientation", "close?", "activated", "deactivated",
// "line TEXT", "edited 'TEXT'" and "edit ended". Stylus events carry
// " @time" when `with_times` is set.
class RecordingClient : public WindowClient {
 public:
  void update(double dt) override { updates.push_back(dt); }
  bool needs_redraw() const override { return dirty; }
  void render(RenderSurface& target, RedrawScope scope) override {
    scopes.push_back(scope);
    dirty = false;
    Surface* surface = target.surface();
    if (!surface) return;
    surface->fill(background);
    const int32_t width = int32_t(surface->width()), height = int32_t(surface->height());
    for (const PointerEvent& press : buttons)
      for (int32_t y = press.y - 2; press.pressed && y <= press.y + 2; ++y)
        for (int32_t x = press.x - 2; x <= press.x + 2; ++x)
          if (x >= 0 && y >= 0 && x < width && y < height)
            surface->set_pixel(uint32_t(x), uint32_t(y), kMark);
  }
  void key(const KeyEvent& e) override {
    note(std::string(key_name(e.key)) + (!e.pressed ? " up" : e.first ? " down" : " repeat"));
    if (e.pressed && e.key == kKeyEnter) background = kEnterBackground;
    dirty = true;
  }
  void character(std::u16string_view text) override { note("char '" + to_utf8(text) + "'"); }
  void pointer_move(const PointerEvent& e) override { note(e.pressed ? "drag" : "move", e); }
  void pointer_button(const PointerEvent& e) override {
    buttons.push_back(e);
    note(e.pressed ? "down" : e.cancelled ? "cancel" : "up", e);
    dirty = true;
  }
  void wheel(const WheelEvent& e) override {
    note((std::ostringstream() << "wheel " << e.x << "," << e.y << " " << e.steps).str());
  }
  void pinch(const PinchEvent& event) override {
    pinches.push_back(event);
    using enum PinchEvent::Phase;
    note(event.phase == begin ? "pinch begin" : event.phase == end ? "pinch end" : "pinch");
  }
  void layout_changed(const ScreenInfo& info) override {
    layouts.push_back(info);
    note("layout " + std::to_string(info.width) + "x" + std::to_string(info.height) + " " +
         std::to_string(info.orientation));
  }
  bool may_close() override { return note("close?"), allow_close; }
  void activated() override { note("activated"); }
  void deactivated() override { note("deactivated"); }
  void open_command_line(std::u16string line) override { note("line " + to_utf8(line)); }
  void edit_text_changed(std::u16string_view text) override {
    note("edited '" + to_utf8(text) + "'");
  }
  void edit_ended() override { note("edit ended"); }

  static constexpr uint16_t kMark = 0xF800;
  static constexpr uint16_t kStartBackground = 0x001F;
  static constexpr uint16_t kEnterBackground = 0x07E0;

  bool dirty = false, allow_close = true, with_times = false;
  uint16_t background = kStartBackground;
  std::string log;
  std::vector<double> updates;
  std::vector<RedrawScope> scopes;
  std::vector<PointerEvent> buttons;
  std::vector<PinchEvent> pinches;
  std::vector<ScreenInfo> layouts;

 private:
  void note(const std::string& what) { log += (log.empty() ? "" : "; ") + what; }
  void note(const char* what, const PointerEvent& e) {
    std::string text = what;
    if (e.x != kNoReleasePosition) text += " " + std::to_string(e.x) + "," + std::to_string(e.y);
    if (with_times) text += " @" + std::to_string(e.time);
    note(text);
  }
};

}  // namespace lv::test
