#pragma once

// What the main window hands on. The application object implements it with
// its screen stack; the window knows nothing of screens.

#include <string>
#include <string_view>

#include "base/input.h"
#include "skin/screen_info.h"

namespace lv {

class RenderSurface;

enum class RedrawScope {
  changes,     // the target still holds the last frame
  everything,  // the target's contents are not the last frame: draw all
};

class WindowClient {
 public:
  virtual ~WindowClient() = default;

  // One step of time (seconds, 0.001 to 0.1).
  virtual void update(double dt) = 0;
  // True when the screens have changes not yet drawn.
  virtual bool needs_redraw() const = 0;
  // Draws the screens into the target, which covers the client area.
  virtual void render(RenderSurface& target, RedrawScope scope) = 0;

  virtual void key(const KeyEvent& event) = 0;
  // One character (codes below 32 never arrive).
  virtual void character(std::u16string_view text) = 0;
  virtual void pointer_move(const PointerEvent& event) = 0;
  virtual void pointer_button(const PointerEvent& event) = 0;
  // The mouse wheel, and two fingers pinching; a client that takes neither
  // leaves them out.
  virtual void wheel(const WheelEvent&) {}
  virtual void pinch(const PinchEvent&) {}

  // The screen information record changed (a resize of the window).
  virtual void layout_changed(const ScreenInfo& info) = 0;
  // False keeps the window open.
  virtual bool may_close() = 0;
  virtual void activated() = 0;
  virtual void deactivated() = 0;
  // A second instance's command line; never empty.
  virtual void open_command_line(std::u16string command_line) = 0;

  // The edit box's text changed ("\n" line ends), or the box ended the
  // editing itself (Enter, a press outside it).
  virtual void edit_text_changed(std::u16string_view) {}
  virtual void edit_ended() {}
};

}  // namespace lv
