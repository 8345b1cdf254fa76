#pragma once

// SDL keys to the handheld's virtual-key numbers (VK_BACK = 8 ... VK_F12 =
// 123, VK_OEM_PLUS = 187, VK_OEM_MINUS = 189) and back. The window hands these numbers on; the
// program's own translation (translate_virtual_key) turns them into key codes, so the key table
// exists once.

#include <cstdint>
#include <optional>

namespace lv::platform {

// sym is an SDL_Keycode, scancode an SDL_Scancode. Letters and digits fall
// back to their scancode, so a non-Latin keyboard layout still gives A..Z
// and 0..9. 0 when no virtual key stands for the key.
int virtual_key_from_sdl(int32_t sym, int32_t scancode);

struct SdlKey {
  int32_t sym = 0;
  int32_t scancode = 0;
};

// The SDL key whose press gives the virtual key (scripted input); none for a
// number that no key gives.
std::optional<SdlKey> sdl_key_for_virtual_key(int virtual_key);

}  // namespace lv::platform
