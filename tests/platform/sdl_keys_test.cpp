#include "platform/sdl_keys.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(SdlKeys, KeysGiveTheHandheldVirtualKeysAndScriptedKeysComeBack) {
  // Aliases of one key, both ends of every range, and keys the handheld lacks.
  const SDL_Keycode syms[] = {
      SDLK_ESCAPE,   SDLK_AC_BACK, SDLK_KP_ENTER, SDLK_RSHIFT, SDLK_DELETE, SDLK_MENU,    SDLK_0,
      SDLK_9,        SDLK_KP_0,    SDLK_KP_7,     SDLK_a,      SDLK_z,      SDLK_F1,      SDLK_F12,
      SDLK_VOLUMEUP, SDLK_KP_PLUS, SDLK_PLUS,     SDLK_EQUALS, SDLK_MINUS,  SDLK_KP_MINUS};
  const int vks[] = {27, 8,  13,  16,  46, 93,   48,   57,   48,   55,
                     65, 90, 112, 123, 0,  0x6B, 0xBB, 0xBB, 0xBD, 0x6D};
  for (size_t i = 0; i < std::size(syms); ++i)
    EXPECT_EQ(virtual_key_from_sdl(syms[i], SDL_SCANCODE_UNKNOWN), vks[i])
        << SDL_GetKeyName(syms[i]);
  // A Cyrillic layout gives the letter's own code point: its place decides.
  EXPECT_EQ(virtual_key_from_sdl(0x044F, SDL_SCANCODE_Z), 90);
  EXPECT_EQ(virtual_key_from_sdl(0x0022, SDL_SCANCODE_2), 50);
  EXPECT_EQ(virtual_key_from_sdl(0x0029, SDL_SCANCODE_0), 48);
  EXPECT_EQ(virtual_key_from_sdl(0x0444, SDL_SCANCODE_UNKNOWN), 0);

  int found = 0;
  for (int vk = 0; vk < 256; ++vk) {
    const auto key = sdl_key_for_virtual_key(vk);
    if (!key) continue;
    ++found;
    EXPECT_EQ(virtual_key_from_sdl(key->sym, key->scancode), vk) << vk;
  }
  // 26 letters, 10 digits, F1..F12, and 25 others (back to delete, apps,
  // pause, caps lock, plus and minus on the main keys and the keypad); the
  // first alias is the one pressed.
  EXPECT_EQ(found, 26 + 10 + 12 + 25);
  EXPECT_EQ(sdl_key_for_virtual_key(0xBB)->sym, SDLK_EQUALS);
  EXPECT_EQ(sdl_key_for_virtual_key(8)->sym, SDLK_BACKSPACE);
  EXPECT_EQ(sdl_key_for_virtual_key(49)->scancode, SDL_SCANCODE_1);
  EXPECT_FALSE(sdl_key_for_virtual_key(124));
}

}  // namespace
}  // namespace lv::platform
