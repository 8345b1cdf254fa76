#include "jpeg/jpeg_state.h"

#include <gtest/gtest.h>

namespace lv::jpeg {
namespace {

TEST(JpegState, SeventeenLittleEndianBytesInTheIndexOrder) {
  StateEntry e;
  e.dc[0] = -2;
  e.dc[1] = 300;
  e.dc[2] = -32768;
  e.bits = 5;
  e.mcus_left = 0x01020304;
  e.bytes_left = 0xA0B0C0D0;
  e.next_restart = 6;
  e.marker = 0xD3;
  const std::array<uint8_t, 17> expected = {0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80, 0x05, 0x04, 0x03,
                                            0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0, 0x06, 0xD3};
  EXPECT_EQ(e.bytes(), expected);
  EXPECT_EQ(StateEntry::decode(expected.data()), e);
}

TEST(JpegState, PredictorsAreSignExtendedFromTheirLow16Bits) {
  uint8_t bytes[17] = {0xFF, 0x7F, 0x01, 0x80, 0xFF, 0xFF};
  const StateEntry e = StateEntry::decode(bytes);
  EXPECT_EQ(e.dc[0], 32767);
  EXPECT_EQ(e.dc[1], -32767);
  EXPECT_EQ(e.dc[2], -1);
  EXPECT_EQ(e.bits, 0);
  EXPECT_EQ(e.bytes_left, 0u);
}

}  // namespace
}  // namespace lv::jpeg
