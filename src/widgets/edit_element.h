#pragma once

// "edit": a text field. While nobody types in it, it shows its text as a
// "text" does. A press on it asks the application for the edit box (the
// platform's text entry laid over the element); from then on the element is
// the edited one: the box follows its rectangle whenever it is laid out, the
// box's text comes back through set_text at every change, and hiding the
// element ends the editing. Skin keys: those of "text", and
// "background_color" (the box's background while editing, opaque black by
// default).
//
// Text is kept with "\n" line ends whatever the box hands back.

#include <string>
#include <string_view>

#include "skin/color.h"
#include "widgets/text_element.h"

namespace lv {

class EditElement;

// Told after every change of the field's text, whoever made it.
class EditListener {
 public:
  virtual void text_changed(EditElement& edit) = 0;

 protected:
  ~EditListener() = default;
};

class EditElement : public TextElement {
 public:
  // An edited field that goes ends the editing, so the application never
  // holds a field that is gone.
  ~EditElement() override;

  void load(const Properties& properties, const SkinNode* node) override;
  // Nothing when the text (line ends unified) is the same. Otherwise the
  // text is taken, the box of an edited field takes it too, and the
  // listener is told.
  void set_text(std::u16string_view text) override;
  // A press starts the editing unless the field is the edited one already.
  bool on_pointer_button(const PointerEvent& event) override;
  // A character typed into the edited field: its measures are made again
  // and the listener is told. Always true.
  bool on_char(std::u16string_view text) override;
  void on_visibility_changed(bool shown) override;
  void layout_children_y() override;

  // Not owned; null tells nobody.
  void set_listener(EditListener* listener) { m_listener = listener; }
  EditListener* listener() const { return m_listener; }
  Color background_color() const { return m_background_color; }
  void set_background_color(Color color) { m_background_color = color; }
  // Whether the application's edit box is over this field now.
  bool edited() const;

 private:
  void tell_listener();

  EditListener* m_listener = nullptr;
  Color m_background_color{0, 0, 0, 255};
};

// The text with every line end ("\r\n", or a "\r" alone) written as "\n".
std::u16string with_newline_ends(std::u16string_view text);

}  // namespace lv
