#pragma once

// The application with a headless window of 240 x 320, and screens that
// record what reaches them, for the tests of the screen stack and the
// splash screen.

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "platform/sdl_window.h"
#include "screens/application_listener.h"
#include "widgets/screen_root.h"
#include "widgets/widget_types.h"

namespace lv::test {

inline constexpr Size kClient{240, 320};

// The toolkit's types as other tests of this process registered them are
// taken away: the application registers its own.
inline void clear_widget_types() {
  unregister_widget_types();
}

inline Application::Options headless_options() {
  Application::Options options;
  options.make_window = [](std::u16string_view title, std::string* error) {
    auto window = platform::Window::create(title, {kClient.width, kClient.height},
                                           platform::WindowBackend::headless, error);
    return window ? std::make_unique<MainWindow>(std::move(window)) : nullptr;
  };
  return options;
}

class ProbeScreen : public ScreenRoot {
 public:
  bool on_key(const KeyEvent& event) override {
    keys.push_back(event.key);
    return true;
  }
  bool on_char(std::u16string_view text) override {
    characters += text;
    return true;
  }
  void on_timer(double seconds) override {
    ScreenRoot::on_timer(seconds);
    timers.push_back(seconds);
  }
  bool on_pointer_button(const PointerEvent& event) override {
    buttons.push_back(event);
    return true;
  }
  void on_pointer_move(const PointerEvent& event) override { moves.push_back(event); }

  std::vector<int> keys;
  std::u16string characters;
  std::vector<double> timers;
  std::vector<PointerEvent> buttons;
  std::vector<PointerEvent> moves;
};

class RecordingListener : public ApplicationListener {
 public:
  void open_command_line(const std::u16string& text) override { command_lines.push_back(text); }
  bool may_close() override {
    ++close_questions;
    return allow_close;
  }
  void screen_added(ScreenRoot& screen) override { added.push_back(&screen); }
  void screen_removed(ScreenRoot& screen, bool animated) override {
    removed.push_back(&screen);
    removed_animated.push_back(animated);
  }
  void screen_layout_changed() override { ++layout_changes; }
  void help() override {}
  void deactivated() override { ++deactivations; }
  void activated() override { ++activations; }
  bool key_prefilter(const KeyEvent& key) override {
    return consume_key != kKeyNone && key.key == consume_key;
  }

  int consume_key = kKeyNone;
  bool allow_close = true;
  std::vector<std::u16string> command_lines;
  std::vector<ScreenRoot*> added;
  std::vector<ScreenRoot*> removed;
  std::vector<bool> removed_animated;
  int close_questions = 0;
  int layout_changes = 0;
  int activations = 0;
  int deactivations = 0;
};

}  // namespace lv::test
