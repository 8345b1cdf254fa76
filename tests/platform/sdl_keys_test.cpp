#include "platform/sdl_keys.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(SdlKeys, KeysGiveTheHandheldVirtualKeys) {
  struct Case {
    SDL_Keycode sym;
    SDL_Scancode scancode;
    int vk;
  };
  const Case cases[] = {
      {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8},
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27},
      {SDLK_AC_BACK, SDL_SCANCODE_AC_BACK, 8},
      {SDLK_TAB, SDL_SCANCODE_TAB, 9},
      {SDLK_RETURN, SDL_SCANCODE_RETURN, 13},
      {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13},
      {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 16},
      {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 17},
      {SDLK_RALT, SDL_SCANCODE_RALT, 18},
      {SDLK_SPACE, SDL_SCANCODE_SPACE, 32},
      {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 33},
      {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 34},
      {SDLK_END, SDL_SCANCODE_END, 35},
      {SDLK_HOME, SDL_SCANCODE_HOME, 36},
      {SDLK_LEFT, SDL_SCANCODE_LEFT, 37},
      {SDLK_UP, SDL_SCANCODE_UP, 38},
      {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 39},
      {SDLK_DOWN, SDL_SCANCODE_DOWN, 40},
      {SDLK_INSERT, SDL_SCANCODE_INSERT, 45},
      {SDLK_DELETE, SDL_SCANCODE_DELETE, 46},
      {SDLK_0, SDL_SCANCODE_0, 48},
      {SDLK_9, SDL_SCANCODE_9, 57},
      {SDLK_KP_0, SDL_SCANCODE_KP_0, 48},
      {SDLK_KP_7, SDL_SCANCODE_KP_7, 55},
      {SDLK_a, SDL_SCANCODE_A, 65},
      {SDLK_z, SDL_SCANCODE_Z, 90},
      {SDLK_APPLICATION, SDL_SCANCODE_APPLICATION, 93},
      {SDLK_MENU, SDL_SCANCODE_MENU, 93},
      {SDLK_F1, SDL_SCANCODE_F1, 112},
      {SDLK_F2, SDL_SCANCODE_F2, 113},
      {SDLK_F3, SDL_SCANCODE_F3, 114},
      {SDLK_F4, SDL_SCANCODE_F4, 115},
      {SDLK_F5, SDL_SCANCODE_F5, 116},
      {SDLK_F6, SDL_SCANCODE_F6, 117},
      {SDLK_F7, SDL_SCANCODE_F7, 118},
      {SDLK_F8, SDL_SCANCODE_F8, 119},
      {SDLK_F9, SDL_SCANCODE_F9, 120},
      {SDLK_F12, SDL_SCANCODE_F12, 123},
      {SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP, 0},
      {SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(virtual_key_from_sdl(c.sym, c.scancode), c.vk) << SDL_GetKeyName(c.sym);
}

TEST(SdlKeys, LettersAndDigitsOfANonLatinLayoutComeFromTheirPlace) {
  // A Cyrillic layout gives the letter's own code point as the key.
  EXPECT_EQ(virtual_key_from_sdl(0x0444, SDL_SCANCODE_A), 65);
  EXPECT_EQ(virtual_key_from_sdl(0x044F, SDL_SCANCODE_Z), 90);
  EXPECT_EQ(virtual_key_from_sdl(0x0022, SDL_SCANCODE_2), 50);
  EXPECT_EQ(virtual_key_from_sdl(0x0029, SDL_SCANCODE_0), 48);
  EXPECT_EQ(virtual_key_from_sdl(0x0444, SDL_SCANCODE_UNKNOWN), 0);
}

TEST(SdlKeys, EveryKeyAScriptPressesComesBackAsItsVirtualKey) {
  int found = 0;
  for (int vk = 0; vk < 256; ++vk) {
    const auto key = sdl_key_for_virtual_key(vk);
    if (!key) continue;
    ++found;
    EXPECT_EQ(virtual_key_from_sdl(key->sym, key->scancode), vk) << vk;
  }
  // 26 letters, 10 digits, F1..F12, and 21 others (back to delete, apps,
  // pause and caps lock).
  EXPECT_EQ(found, 26 + 10 + 12 + 21);
  EXPECT_EQ(sdl_key_for_virtual_key(8)->sym, SDLK_BACKSPACE);
  EXPECT_EQ(sdl_key_for_virtual_key(48)->scancode, SDL_SCANCODE_0);
  EXPECT_EQ(sdl_key_for_virtual_key(49)->scancode, SDL_SCANCODE_1);
  EXPECT_FALSE(sdl_key_for_virtual_key(0));
  EXPECT_FALSE(sdl_key_for_virtual_key(124));
}

}  // namespace
}  // namespace lv::platform
