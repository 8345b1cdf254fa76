#pragma once

// What a window manager sends when the user closes a window from its title
// bar (WM_DELETE_WINDOW), for a real SDL window on X11 (Xvfb in the tests).

struct SDL_Window;

namespace lv::test {

// False when the window is not an X11 window.
bool send_window_manager_close(SDL_Window* window);

}  // namespace lv::test
