#pragma once

// "button": shows one of its state children ("#normal", "#pressed",
// "#disabled", each optional) and tells its listener of clicks, press state
// changes and drags. A click needs a press and a release inside the button;
// sliding off first, a cancel or a disabled button gives none. A key bound
// with "bind_key" works the button like a press on its centre, so it clicks
// on the key's release. Without a listener the button only shows its state.

#include <cstdint>
#include <string>

#include "widgets/element.h"

namespace lv {

class ButtonElement;

struct ClickInfo {
  int32_t x = 0;
  int32_t y = 0;
  uint8_t flag = 1;
};

struct PressInfo {
  int32_t x = 0;
  int32_t y = 0;
  uint8_t cancelled = 0;  // 1 when disabled or the pointer press was cancelled
};

// The listener may set rest_x and rest_y to the part of the delta it did not
// use; the next delta then counts from there.
struct DragInfo {
  int32_t x = 0;
  int32_t y = 0;
  int32_t dx = 0;
  int32_t dy = 0;
  int32_t rest_x = 0;
  int32_t rest_y = 0;
};

class ButtonListener {
 public:
  virtual void clicked(ButtonElement& button, const ClickInfo& info) = 0;
  virtual void press_state_changed(ButtonElement& button, const PressInfo& info) {}
  virtual void dragged(ButtonElement& button, DragInfo& info) {}

 protected:
  ~ButtonListener() = default;
};

class ButtonElement : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override;
  std::unique_ptr<Element> remove_child(Element& child, size_t index) override;
  void on_enabled_changed(bool enabled) override;
  bool on_pointer_button(const PointerEvent& event) override;
  void on_pointer_move(const PointerEvent& event) override;
  bool on_key(const KeyEvent& event) override;

  void set_listener(ButtonListener* listener) { m_listener = listener; }
  ButtonListener* listener() const { return m_listener; }
  // Gives the text to every descendant with the id "#text".
  void set_text(std::u16string_view text);
  const std::u16string& text() const { return m_text; }
  int bind_key() const { return m_bind_key; }
  void set_bind_key(int key) { m_bind_key = key; }

  bool pressed() const { return m_pointer_pressed || m_key_pressed; }
  // The state child shown now, or null.
  Element* shown_state() const;

 private:
  void choose_state_child();
  void state_changed(bool was_pressed, bool cancelled, Point point);

  ButtonListener* m_listener = nullptr;
  Element* m_normal = nullptr;
  Element* m_pressed = nullptr;
  Element* m_disabled = nullptr;
  int m_bind_key = 0;
  std::u16string m_text;
  bool m_pointer_pressed = false;
  bool m_key_pressed = false;
  Point m_last_point;
};

}  // namespace lv
