#pragma once

// The application with a headless window of 240 x 320, and screens that
// record what reaches them, for the tests of the screen stack and the
// splash screen.

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "platform/sdl_window.h"
#include "platform/text.h"
#include "screens/application_listener.h"
#include "widgets/screen_root.h"
#include "widgets/widget_types.h"

namespace lv::test {

inline constexpr Size kClient{240, 320};

inline Application::Options headless_options() {
  Application::Options options;
  options.make_window = [](std::u16string_view title, std::string* error) {
    auto window = platform::Window::create(title, {kClient.width, kClient.height},
                                           platform::WindowBackend::headless, error);
    return window ? std::make_unique<MainWindow>(std::move(window)) : nullptr;
  };
  return options;
}

// Records what reaches it as "key K", "char C", "button X,Y", "move X,Y"
// and "timer S", separated by "; ".
class ProbeScreen : public ScreenRoot {
 public:
  bool on_key(const KeyEvent& event) override { return note("key " + std::to_string(event.key)); }
  bool on_char(std::u16string_view text) override { return note("char " + to_utf8(text)); }
  void on_timer(double seconds) override {
    ScreenRoot::on_timer(seconds);
    note((std::ostringstream() << "timer " << seconds).str());
  }
  bool on_pointer_button(const PointerEvent& event) override { return note("button", event); }
  void on_pointer_move(const PointerEvent& event) override { note("move", event); }

  std::string log;

 private:
  bool note(const std::string& what) {
    log += (log.empty() ? "" : "; ") + what;
    return true;
  }
  bool note(const char* what, const PointerEvent& event) {
    return note(std::string(what) + " " + std::to_string(event.x) + "," + std::to_string(event.y));
  }
};

class RecordingListener : public ApplicationListener {
 public:
  void open_command_line(const std::u16string& text) override { command_lines.push_back(text); }
  bool may_close() override { return allow_close; }
  void screen_added(ScreenRoot& screen) override { added.push_back(&screen); }
  void screen_removed(ScreenRoot& screen, bool animated) override {
    removed.push_back(animated ? &screen : nullptr);
  }
  void screen_layout_changed() override { ++layout_changes; }
  void help() override {}
  void deactivated() override {}
  void activated() override {}
  bool key_prefilter(const KeyEvent& key) override {
    return consume_key != kKeyNone && key.key == consume_key;
  }

  int consume_key = kKeyNone;
  bool allow_close = true;
  std::vector<std::u16string> command_lines;
  std::vector<ScreenRoot*> added, removed;  // removed: null when not animated
  int layout_changes = 0;
};

}  // namespace lv::test
