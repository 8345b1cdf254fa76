#include "app/base/input.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

TEST(Input, NamesAndCodesRoundTrip) {
  for (int code = 1; code < kKeyCount; ++code)
    EXPECT_EQ(key_code_by_name(key_name(code)), code) << code;
  EXPECT_EQ(key_name(kKeySoftLeft), "SOFT_LEFT");
  EXPECT_EQ(key_name(kKeyA + 25), "Z");
  EXPECT_EQ(key_name(kKey0 + 9), "9");
  EXPECT_EQ(key_name(-1), "None");
  EXPECT_EQ(key_name(65), "None");
  EXPECT_EQ(key_code_by_name("backspace"), kKeyNone);
  EXPECT_EQ(key_code_by_name(""), kKeyNone);
}

TEST(Input, VirtualKeyTranslation) {
  EXPECT_EQ(translate_virtual_key(8), kKeyBackspace);
  EXPECT_EQ(translate_virtual_key(27), kKeyBackspace);  // escape never yields Esc
  EXPECT_EQ(translate_virtual_key(33), kKeyPageUp);
  EXPECT_EQ(translate_virtual_key(34), kKeyPageDown);
  EXPECT_EQ(translate_virtual_key(38), kKeyUp);
  EXPECT_EQ(translate_virtual_key(39), kKeyRight);
  EXPECT_EQ(translate_virtual_key('0'), 46);
  EXPECT_EQ(translate_virtual_key('Z'), 45);
  EXPECT_EQ(translate_virtual_key(119), kKeyStar);
  EXPECT_EQ(translate_virtual_key(120), kKeyPound);
  for (int vk : {0, 7, 116, 121, 255, 1000, -5, 47, 58, 64, 91})
    EXPECT_EQ(translate_virtual_key(vk), kKeyNone) << vk;
  for (int vk = 0; vk < 256; ++vk) {
    EXPECT_NE(translate_virtual_key(vk), kKeyEsc);
    EXPECT_NE(translate_virtual_key(vk), kKeySlide);
  }
}

}  // namespace
}  // namespace lv
