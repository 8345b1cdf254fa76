#pragma once

// What the widgets ask of the application above them: the screen stack (a
// menu puts itself on it and takes itself off), a full redraw, the time,
// and native text editing over an element. The application implements it
// and installs it at start-up; until then a host that does nothing (and
// tells the platform's tick count) answers.

#include <cstdint>

namespace lv {

class Element;
class ScreenRoot;

enum class ScreenLayer : bool { replace = false, overlay = true };
enum class ScreenAnimation : bool { none = false, animated = true };

class ScreenHost {
 public:
  // Appends the screen to the stack, sized to the client area; an overlay
  // leaves the screen below drawn.
  virtual void add_screen(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation) = 0;
  // Drops the screen from the stack; one not on it is ignored.
  virtual void remove_screen(ScreenRoot& screen, ScreenAnimation animation) = 0;
  // Lays the screen out again at the client area's size.
  virtual void size_to_client_area(ScreenRoot& screen) = 0;
  // Every screen is drawn again at the next frame.
  virtual void redraw_all() = 0;
  // Milliseconds of the program's clock (the tick count of pointer events).
  virtual uint32_t now_ms() const = 0;
  // Starts, refreshes or (with null) ends native editing over an element.
  virtual void edit_natively(Element* element) = 0;
  // The element native editing is over, or null.
  virtual Element* edited_element() const { return nullptr; }

 protected:
  ~ScreenHost() = default;
};

// The installed host, or the idle one.
ScreenHost& screen_host();
// Installs a host (null: back to the idle one). The host must outlive its
// installation.
void set_screen_host(ScreenHost* host);

}  // namespace lv
