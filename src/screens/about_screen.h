#pragma once

// The about box: the program's name, logo, version, credits and a link to
// the help page over the current screen, built from the skin node "About"
// each time it is shown, so it always speaks the current skin and language.
// The rich text "info" gets the lines "label value" (the labels in the bold
// of its font) and the link; a tap anywhere else (its release) or Backspace
// closes the box. The application owns it.

#include <functional>
#include <string>
#include <string_view>

#include "widgets/rich_text_element.h"
#include "widgets/screen_root.h"

namespace lv {

class Properties;

// The program's version, "0.1".
std::u16string_view program_version();

class AboutScreen : public ScreenRoot, public RichTextListener {
 public:
  // Opens a file with the desktop's handler; false when none started.
  using DocumentOpener = std::function<bool(const std::u16string& path)>;

  explicit AboutScreen(DocumentOpener open_document = {});
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
  // The help link: "%app_path%/" and the language's "Help_link".
  void link_clicked(RichTextElement& text, size_t run) override;

 private:
  void fill_info(const Properties& properties);

  DocumentOpener m_open_document;
  std::u16string m_help_path;
  bool m_showing = false;
  bool m_pressed = false;  // a press began on the box; its release closes it
};

}  // namespace lv
