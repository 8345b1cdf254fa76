// Kept apart from the tests: Xlib's macros (None, Bool, Status) clash with
// GoogleTest's names.
#include "app/window_manager_close.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace lv::test {

bool send_window_manager_close(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
    return false;
  Display* display = info.info.x11.display;
  const ::Window x_window = info.info.x11.window;
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = x_window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, x_window, False, NoEventMask, &close) != 0;
  XSync(display, False);
  return sent;
}

}  // namespace lv::test
