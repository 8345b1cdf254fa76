#pragma once
// What the browsing screens ask of the application object above them: the
// window's presentation, quitting, and the skin and language choice. The
// application implements it and hands it to the screens it builds.

#include <string>
#include <string_view>
#include <vector>

#include "skin/screen_info.h"
#include "widgets/menu_item.h"

namespace lv {

class AppServices {
 public:
  // Ends the message loop; the program tears down and exits.
  virtual void quit() = 0;
  // Puts the window in the background (minimised).
  virtual void minimize() = 0;
  // Shows the window normally and raises it, when it is enabled.
  virtual void bring_to_front() = 0;
  // Full-screen with the orientation of a fresh screen information record;
  // reopens the display and lays the window out unless that is already the
  // presentation.
  virtual void refit_to_screen() = 0;
  // The screen information record the skin was loaded for.
  virtual ScreenInfo screen_info() const = 0;

  // The "Language" and "Skin" items are offered only when these answer true.
  virtual bool has_several_languages() const = 0;
  virtual bool has_several_skins() const = 0;
  // The items of the "Language" or "Skin" menu, current one checked, then
  // "Cancel" in the given style.
  virtual void fill_language_menu(std::vector<MenuItem>& items,
                                  std::u16string_view cancel_style) const = 0;
  virtual void fill_skin_menu(std::vector<MenuItem>& items,
                              std::u16string_view cancel_style) const = 0;
  // An item id of either menu ("Language#name", "Skin#name"): true when a
  // new language or skin was loaded. Every screen has then been told to
  // reload its texts and skin nodes.
  virtual bool choose(std::u16string_view item_id) = 0;

  // The about box, over the current screen.
  virtual void show_about() = 0;
  // False keeps the screen from dimming or locking (a slide show runs);
  // true lets it again.
  virtual void allow_screen_saver(bool allow) = 0;
  // Opens a file with the desktop's handler (the help page); false when no
  // handler could be started.
  virtual bool open_document(const std::u16string& path) = 0;
  // Tells the user something that needs no answer (a request that cannot
  // be done) in a box of its own, over the window; returns once it is
  // closed.
  virtual void show_message(const std::u16string& text) = 0;

 protected:
  ~AppServices() = default;
};

}  // namespace lv
