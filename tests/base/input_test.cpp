#include "base/input.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

TEST(Input, NamesRoundTripAndVirtualKeysTranslate) {
  for (int code = 1; code < kKeyCount; ++code)
    EXPECT_EQ(key_code_by_name(key_name(code)), code) << code;
  EXPECT_EQ(key_name(kKeySoftLeft), "SOFT_LEFT");
  EXPECT_EQ(key_name(kKeyA + 25), "Z");
  EXPECT_EQ(key_name(kKeyPlus), "PLUS");
  EXPECT_EQ(key_name(kKeyMinus), "MINUS");
  EXPECT_EQ(key_name(kKeyCount), "None");
  EXPECT_EQ(key_code_by_name("backspace"), kKeyNone);

  const int vks[] = {8, 27, 33, 34, 38, 39, '0', 'Z', 119, 120, 0x6B, 0xBB, 0x6D, 0xBD};
  const int keys[] = {
      kKeyBackspace, kKeyBackspace, kKeyPageUp, kKeyPageDown, kKeyUp,    kKeyRight, 46, 45,
      kKeyStar,      kKeyPound,     kKeyPlus,   kKeyPlus,     kKeyMinus, kKeyMinus};
  for (size_t i = 0; i < std::size(vks); ++i) EXPECT_EQ(translate_virtual_key(vks[i]), keys[i]);
  for (int vk : {0, 116, 121, 1000, -5, 47, 58, 64, 91, 0xBC, 0xBE})
    EXPECT_EQ(translate_virtual_key(vk), kKeyNone) << vk;
  for (int vk = 0; vk < 256; ++vk) {  // escape never yields Esc, nothing the slide key
    EXPECT_NE(translate_virtual_key(vk), kKeyEsc);
    EXPECT_NE(translate_virtual_key(vk), kKeySlide);
  }
}

}  // namespace
}  // namespace lv
