#pragma once

// A window client that records what the window hands on and draws a plain
// picture of its state: a background colour and a 5 x 5 mark at every
// stylus press, so that tests can find their taps in the pixels. And the
// headless window and parsed scripts the window tests start from.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/script/input_script.h"
#include "app/window_client.h"
#include "base/input.h"
#include "platform/sdl_window.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv::test {

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
  void key(const KeyEvent& event) override {
    keys.push_back(event);
    if (event.pressed && event.key == kKeyEnter) background = kEnterBackground;
    dirty = true;
  }
  void character(std::u16string_view text) override { characters.emplace_back(text); }
  void pointer_move(const PointerEvent& event) override { moves.push_back(event); }
  void pointer_button(const PointerEvent& event) override {
    buttons.push_back(event);
    dirty = true;
  }
  void wheel(const WheelEvent& event) override { wheels.push_back(event); }
  void pinch(const PinchEvent& event) override { pinches.push_back(event); }
  void layout_changed(const ScreenInfo& info) override { layouts.push_back(info); }
  bool may_close() override { return ++close_questions, allow_close; }
  void activated() override { ++activations; }
  void deactivated() override { ++deactivations; }
  void open_command_line(std::u16string line) override { command_lines.push_back(line); }
  void edit_text_changed(std::u16string_view text) override { edited_texts.emplace_back(text); }
  void edit_ended() override { ++edit_ends; }

  // The presses as "down x,y", "up x,y" and "cancel" (a press ended without
  // a release position), each with " @time" when asked; "; " between them.
  std::string presses(bool times = false) const {
    std::string text;
    for (const PointerEvent& e : buttons) {
      text += text.empty() ? "" : "; ";
      text += e.pressed ? "down " : e.cancelled ? "cancel" : "up ";
      if (!e.cancelled) text += std::to_string(e.x) + "," + std::to_string(e.y);
      if (times) text += " @" + std::to_string(e.time);
    }
    return text;
  }
  // The keys as "Name down", "Name repeat" (a press that is not the first)
  // and "Name up".
  std::string key_log() const {
    std::string text;
    for (const KeyEvent& e : keys)
      text += (text.empty() ? "" : "; ") + std::string(key_name(e.key)) +
              (!e.pressed ? " up"
               : e.first  ? " down"
                          : " repeat");
    return text;
  }

  static constexpr uint16_t kMark = 0xF800;
  static constexpr uint16_t kStartBackground = 0x001F;
  static constexpr uint16_t kEnterBackground = 0x07E0;

  bool dirty = false, allow_close = true;
  uint16_t background = kStartBackground;
  std::vector<double> updates;
  std::vector<RedrawScope> scopes;
  std::vector<KeyEvent> keys;
  std::vector<std::u16string> characters, command_lines, edited_texts;
  std::vector<PointerEvent> moves, buttons;
  std::vector<WheelEvent> wheels;
  std::vector<PinchEvent> pinches;
  std::vector<ScreenInfo> layouts;
  int edit_ends = 0, close_questions = 0, activations = 0, deactivations = 0;
};

}  // namespace lv::test
