#include "base/input.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

// The virtual-key table itself is checked where keys are pressed; here what
// the base layer adds: the names skins use, the aliases, and the gaps.
TEST(Input, NamesRoundTripAndVirtualKeyAliasesAndGaps) {
  for (int code = 1; code < kKeyCount; ++code)
    EXPECT_EQ(key_code_by_name(key_name(code)), code) << code;
  EXPECT_EQ(key_name(kKeySoftLeft), "SOFT_LEFT");
  EXPECT_EQ(key_name(kKeyA + 25), "Z");
  EXPECT_EQ(key_name(kKeyMinus), "MINUS");
  EXPECT_EQ(key_name(kKeyCount), "None");
  EXPECT_EQ(key_name(-1), "None");
  EXPECT_EQ(key_code_by_name("backspace"), kKeyNone);

  // Escape is back, and both plus and both minus keys count.
  const std::pair<int, int> aliases[] = {{27, kKeyBackspace},
                                         {0x6B, kKeyPlus},
                                         {0xBB, kKeyPlus},
                                         {0x6D, kKeyMinus},
                                         {0xBD, kKeyMinus}};
  for (auto [vk, key] : aliases) EXPECT_EQ(translate_virtual_key(vk), key) << vk;
  for (int vk : {0, 7, 47, 58, 64, 91, 116, 121, 0xBC, 0xBE, 1000, -5})
    EXPECT_EQ(translate_virtual_key(vk), kKeyNone) << vk;
  for (int vk = 0; vk < 256; ++vk) {  // nothing gives Esc or the slide key
    EXPECT_NE(translate_virtual_key(vk), kKeyEsc);
    EXPECT_NE(translate_virtual_key(vk), kKeySlide);
  }
}

}  // namespace
}  // namespace lv
