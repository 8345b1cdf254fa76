#include "platform/sdl_keys.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace lv::platform {
namespace {

TEST(SdlKeys, KeysGiveTheHandheldVirtualKeysAndScriptedKeysComeBack) {
  // Aliases of one key, both ends of every range, keys the handheld lacks
  // (0), and the place of a letter of another layout deciding its key.
  constexpr SDL_Scancode U = SDL_SCANCODE_UNKNOWN;
  // clang-format off
  const struct {
    SDL_Keycode sym;
    SDL_Scancode scancode;
    int vk;
  } keys[] = {
      {SDLK_ESCAPE, U, 27}, {SDLK_AC_BACK, U, 8}, {SDLK_KP_ENTER, U, 13}, {SDLK_RSHIFT, U, 16},
      {SDLK_DELETE, U, 46}, {SDLK_MENU, U, 93}, {SDLK_0, U, 48}, {SDLK_9, U, 57},
      {SDLK_KP_0, U, 48}, {SDLK_KP_7, U, 55}, {SDLK_a, U, 65}, {SDLK_z, U, 90},
      {SDLK_F1, U, 112}, {SDLK_F12, U, 123}, {SDLK_VOLUMEUP, U, 0}, {SDLK_KP_PLUS, U, 0x6B},
      {SDLK_PLUS, U, 0xBB}, {SDLK_EQUALS, U, 0xBB}, {SDLK_MINUS, U, 0xBD}, {SDLK_KP_MINUS, U, 0x6D},
      {0x044F, SDL_SCANCODE_Z, 90}, {0x0022, SDL_SCANCODE_2, 50}, {0x0029, SDL_SCANCODE_0, 48},
      {0x0444, U, 0}};
  // clang-format on
  for (const auto& key : keys)
    EXPECT_EQ(virtual_key_from_sdl(key.sym, key.scancode), key.vk) << std::hex << key.sym;

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
}  // namespace lv::platform

}  // namespace
}  // namespace lv::platform
