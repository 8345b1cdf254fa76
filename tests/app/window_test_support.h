#pragma once

// A window client that records what the window hands on and draws a plain
// picture of its state: a background colour and a 5 x 5 mark at every
// stylus press, so that tests can find their taps in the pixels.

#include <string>
#include <vector>

#include "app/window_client.h"
#include "base/input.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv::test {

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
    for (const PointerEvent& press : buttons) {
      if (!press.pressed) continue;
      for (int32_t y = press.y - 2; y <= press.y + 2; ++y)
        for (int32_t x = press.x - 2; x <= press.x + 2; ++x)
          if (x >= 0 && y >= 0 && x < int32_t(surface->width()) && y < int32_t(surface->height()))
            surface->set_pixel(uint32_t(x), uint32_t(y), kMark);
    }
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
  bool may_close() override {
    ++close_questions;
    return allow_close;
  }
  void activated() override { ++activations; }
  void deactivated() override { ++deactivations; }
  void open_command_line(std::u16string command_line) override {
    command_lines.push_back(std::move(command_line));
  }
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

  bool dirty = false;
  bool allow_close = true;
  uint16_t background = kStartBackground;
  std::vector<double> updates;
  std::vector<RedrawScope> scopes;
  std::vector<KeyEvent> keys;
  std::vector<std::u16string> characters;
  std::vector<PointerEvent> moves;
  std::vector<PointerEvent> buttons;
  std::vector<WheelEvent> wheels;
  std::vector<PinchEvent> pinches;
  std::vector<ScreenInfo> layouts;
  std::vector<std::u16string> command_lines;
  std::vector<std::u16string> edited_texts;
  int edit_ends = 0;
  int close_questions = 0;
  int activations = 0;
  int deactivations = 0;
};

}  // namespace lv::test
