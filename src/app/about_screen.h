#pragma once

// The about box: the program's name, logo, version and credits over the
// current screen, built from the skin node "About" each time it is shown, so
// it always speaks the current skin and language. A tap anywhere (its
// release) or Backspace closes it. The application owns it.

#include <string_view>

#include "widgets/screen_root.h"

namespace lv {

class Properties;

// The program's version, "0.1".
std::u16string_view program_version();

class AboutScreen : public ScreenRoot {
 public:
  AboutScreen() = default;
  // Takes the box off the screen stack when it is showing there.
  ~AboutScreen() override;

  // Builds the box and puts it on the stack as an overlay; shown again, it
  // is rebuilt in place. Throws jobser::NodeNotFoundInSkin, leaving the
  // stack as it was, when the skin has no "About".
  void show(const Properties& properties);
  void close();
  bool showing() const { return m_showing; }

  bool on_key(const KeyEvent& event) override;
  bool on_pointer_button(const PointerEvent& event) override;

 private:
  bool m_showing = false;
  bool m_pressed = false;  // a press began on the box; its release closes it
};

}  // namespace lv
