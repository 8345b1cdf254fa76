#pragma once
// The object the application consults about window-level events. At most
// one is installed; from start-up on it is the album screen.

#include <string>

#include "base/input.h"

namespace lv {

class ScreenRoot;

class ApplicationListener {
 public:
  // A second instance handed over its command line.
  virtual void open_command_line(const std::u16string& text) = 0;
  // False refuses the window's close request.
  virtual bool may_close() = 0;
  virtual void screen_added(ScreenRoot& screen) = 0;
  virtual void screen_removed(ScreenRoot& screen, bool animated) = 0;
  // The screen's size, work area or orientation changed.
  virtual void screen_layout_changed() = 0;
  virtual void help() = 0;
  virtual void deactivated() = 0;
  virtual void activated() = 0;
  // True when the key is consumed before the current screen sees it.
  virtual bool key_prefilter(const KeyEvent& key) = 0;

 protected:
  ~ApplicationListener() = default;
};

}  // namespace lv
