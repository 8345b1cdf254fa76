#include "jpeg/jpeg_state.h"

#include <gtest/gtest.h>

namespace lv::jpeg {
namespace {

// Seventeen little-endian bytes in the index order; the predictors come back
// sign-extended from their low 16 bits.
TEST(JpegState, SeventeenLittleEndianBytesInTheIndexOrder) {
  const StateEntry e{{-2, 300, -32768}, 5, 0x01020304, 0xA0B0C0D0, 6, 0xD3};
  const std::array<uint8_t, 17> expected = {0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80, 0x05, 0x04, 0x03,
                                            0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0, 0x06, 0xD3};
  EXPECT_EQ(e.bytes(), expected);
  EXPECT_EQ(StateEntry::decode(expected.data()), e);
  const uint8_t high_bits[17] = {0xFF, 0x7F, 0x01, 0x80};
  EXPECT_EQ(StateEntry::decode(high_bits), (StateEntry{{32767, -32767, 0}}));
}

}  // namespace
}  // namespace lv::jpeg
