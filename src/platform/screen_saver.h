#pragma once

// Keeping the screen on while the user watches without touching it (a
// slide show).

namespace lv::platform {

// False keeps the screen saver and display power saving away; true lets
// them come again. Does nothing without a display.
void allow_screen_saver(bool allow);

}  // namespace lv::platform
