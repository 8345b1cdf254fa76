#pragma once

// "label_edit": an edit field ("#edit") with a placeholder label ("#text")
// that shows while the field is empty, and an optional clear button
// ("clear") that shows while it is not and empties it. Skin key: "text",
// the placeholder, through the language table. Loading throws
// jobser::NodeNotFound when "#edit" is not an "edit" or "#text" not a text.

#include <string>
#include <string_view>

#include "widgets/button.h"
#include "widgets/edit_element.h"
#include "widgets/element.h"

namespace lv {

class TextElement;

class LabelEditElement : public Element, public EditListener, public ButtonListener {
 public:
  void load(const Properties& properties, const SkinNode* node) override;

  // The field's changes: the label and the clear button follow, then the
  // owner's listener is told.
  void text_changed(EditElement& edit) override;
  // The clear button.
  void clicked(ButtonElement& button, const ClickInfo& info) override;

  // Not owned; null tells nobody.
  void set_listener(EditListener* listener) { m_listener = listener; }
  const std::u16string& placeholder() const { return m_placeholder; }
  // Null before loading.
  EditElement* edit() const { return m_edit; }
  TextElement* label() const { return m_label; }
  ButtonElement* clear_button() const { return m_clear; }

 private:
  void show_placeholder_or_clear();

  EditElement* m_edit = nullptr;
  TextElement* m_label = nullptr;
  ButtonElement* m_clear = nullptr;
  EditListener* m_listener = nullptr;
  std::u16string m_placeholder;
};

}  // namespace lv
