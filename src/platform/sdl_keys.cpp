#include "platform/sdl_keys.h"

#include <SDL.h>

#include <array>

namespace lv::platform {

namespace {

struct KeyPair {
  int virtual_key;
  SDL_Keycode sym;
  SDL_Scancode scancode;
};

// Keys other than letters, digits and F1..F12. The first entry of a virtual
// key is the one scripted input presses.
constexpr std::array<KeyPair, 32> kKeys = {{
    {8, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE},
    {8, SDLK_AC_BACK, SDL_SCANCODE_AC_BACK},
    {9, SDLK_TAB, SDL_SCANCODE_TAB},
    {13, SDLK_RETURN, SDL_SCANCODE_RETURN},
    {13, SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER},
    {16, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT},
    {16, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT},
    {17, SDLK_LCTRL, SDL_SCANCODE_LCTRL},
    {17, SDLK_RCTRL, SDL_SCANCODE_RCTRL},
    {18, SDLK_LALT, SDL_SCANCODE_LALT},
    {18, SDLK_RALT, SDL_SCANCODE_RALT},
    {27, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE},
    {32, SDLK_SPACE, SDL_SCANCODE_SPACE},
    {33, SDLK_PAGEUP, SDL_SCANCODE_PAGEUP},
    {34, SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN},
    {35, SDLK_END, SDL_SCANCODE_END},
    {36, SDLK_HOME, SDL_SCANCODE_HOME},
    {37, SDLK_LEFT, SDL_SCANCODE_LEFT},
    {38, SDLK_UP, SDL_SCANCODE_UP},
    {39, SDLK_RIGHT, SDL_SCANCODE_RIGHT},
    {40, SDLK_DOWN, SDL_SCANCODE_DOWN},
    {45, SDLK_INSERT, SDL_SCANCODE_INSERT},
    {46, SDLK_DELETE, SDL_SCANCODE_DELETE},
    {93, SDLK_APPLICATION, SDL_SCANCODE_APPLICATION},
    {93, SDLK_MENU, SDL_SCANCODE_MENU},
    {19, SDLK_PAUSE, SDL_SCANCODE_PAUSE},
    {20, SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK},
    // "+" is the shifted "=" on most layouts; the unshifted key counts too.
    {0xBB, SDLK_EQUALS, SDL_SCANCODE_EQUALS},
    {0xBB, SDLK_PLUS, SDL_SCANCODE_EQUALS},
    {0xBD, SDLK_MINUS, SDL_SCANCODE_MINUS},
    {0x6B, SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS},
    {0x6D, SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS},
}};

constexpr int kVkDigit0 = 48;
constexpr int kVkLetterA = 65;
constexpr int kVkF1 = 112;

// SDL numbers the digit scancodes 1, 2, ... 9, 0.
SDL_Scancode digit_scancode(int digit) {
  return digit == 0 ? SDL_SCANCODE_0 : static_cast<SDL_Scancode>(SDL_SCANCODE_1 + digit - 1);
}

}  // namespace

int virtual_key_from_sdl(int32_t sym, int32_t scancode) {
  if (sym >= SDLK_a && sym <= SDLK_z) return kVkLetterA + (sym - SDLK_a);
  if (sym >= SDLK_0 && sym <= SDLK_9) return kVkDigit0 + (sym - SDLK_0);
  if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return kVkDigit0 + 1 + (sym - SDLK_KP_1);
  if (sym == SDLK_KP_0) return kVkDigit0;
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return kVkF1 + (sym - SDLK_F1);
  for (const KeyPair& key : kKeys)
    if (key.sym == sym) return key.virtual_key;
  // A layout whose letters are not Latin still has the keys in their places.
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
    return kVkLetterA + (scancode - SDL_SCANCODE_A);
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
    return kVkDigit0 + 1 + (scancode - SDL_SCANCODE_1);
  if (scancode == SDL_SCANCODE_0) return kVkDigit0;
  return 0;
}

std::optional<SdlKey> sdl_key_for_virtual_key(int vk) {
  if (vk >= kVkLetterA && vk < kVkLetterA + 26)
    return SdlKey{SDLK_a + (vk - kVkLetterA), SDL_SCANCODE_A + (vk - kVkLetterA)};
  if (vk >= kVkDigit0 && vk < kVkDigit0 + 10)
    return SdlKey{SDLK_0 + (vk - kVkDigit0), digit_scancode(vk - kVkDigit0)};
  if (vk >= kVkF1 && vk < kVkF1 + 12)
    return SdlKey{SDLK_F1 + (vk - kVkF1), SDL_SCANCODE_F1 + (vk - kVkF1)};
  for (const KeyPair& key : kKeys)
    if (key.virtual_key == vk) return SdlKey{key.sym, key.scancode};
  return std::nullopt;
}

}  // namespace lv::platform
