#include "jpeg/jpeg_huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "jpeg/jpeg_bit_reader.h"

namespace lv::jpeg {
namespace {

HuffmanSpec spec_of(std::vector<uint8_t> counts, std::vector<uint8_t> values) {
  HuffmanSpec s{true, {}, {}, static_cast<int>(values.size())};
  std::copy(counts.begin(), counts.end(), s.counts);
  std::copy(values.begin(), values.end(), s.values);
  return s;
}

TEST(JpegHuffman, RejectsTablesThatAreNoPrefixCode) {
  HuffmanTable t;
  const std::vector<uint8_t> ones(16, 1),
      seventeen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_TRUE(t.build(spec_of({1, 1}, {5, 6}), TableClass::ac));  // 0, 10
  // Two codes of one bit use the all-1 code "1".
  EXPECT_FALSE(t.build(spec_of({2}, {5, 6}), TableClass::ac));
  // Over-subscribed: five codes of two bits, or at a long length only.
  EXPECT_FALSE(t.build(spec_of({0, 5}, {1, 2, 3, 4, 5}), TableClass::ac));
  std::vector<uint8_t> long_counts = ones;
  long_counts[15] = 2;
  EXPECT_FALSE(t.build(spec_of(long_counts, seventeen), TableClass::ac));
  // A DC category above 15.
  EXPECT_FALSE(t.build(spec_of({1}, {16}), TableClass::dc));
  EXPECT_TRUE(t.build(spec_of({1}, {16}), TableClass::ac));
  // More codes than values, or than 256; a table never defined.
  EXPECT_FALSE(t.build(spec_of({0, 3}, {1, 2}), TableClass::ac));
  std::vector<uint8_t> many(16, 0);
  many[14] = 57, many[15] = 200;
  EXPECT_FALSE(t.build(spec_of(many, std::vector<uint8_t>(256)), TableClass::ac));
  EXPECT_FALSE(t.build(HuffmanSpec{}, TableClass::ac));
}

// MSB-first bits into stuffed entropy-coded bytes, the last one padded with 1s.
std::vector<uint8_t> stuffed(const std::vector<int>& bits) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < bits.size(); i += 8) {
    int byte = 0;
    for (size_t b = i; b < i + 8; ++b) byte = (byte << 1) | (b < bits.size() ? bits[b] : 1);
    out.push_back(static_cast<uint8_t>(byte));
    if (byte == 0xFF) out.push_back(0);
  }
  return out;
}

TEST(JpegHuffman, LookupAndBitSerialDecodingAgreeOnEveryLength) {
  // One code of each length 1 .. 16: 0, 10, 110, ..., 1111111111111110.
  std::vector<uint8_t> values;
  for (int i = 0; i < 16; ++i) values.push_back(static_cast<uint8_t>(0x10 * i + 1));
  HuffmanTable t;
  ASSERT_TRUE(t.build(spec_of(std::vector<uint8_t>(16, 1), values), TableClass::ac));
  std::vector<int> bits;
  auto append_code = [&](int length, int code) {
    for (int i = length - 1; i >= 0; --i) bits.push_back((code >> i) & 1);
  };
  std::vector<int> expected;
  for (int len = 16; len >= 1; --len)
    append_code(len, (1 << len) - 2), expected.push_back(values[len - 1]);
  append_code(17, 0x1FFFF);  // no code at all: 0
  append_code(3, 0b110);
  expected.insert(expected.end(), {0, 0x21});
  const auto bytes = stuffed(bits);
  FastBitReader fast;
  SerialBitReader serial;
  ASSERT_TRUE(fast.start(ByteSource(bytes.data(), bytes.size()), 0));
  ASSERT_TRUE(serial.start(ByteSource(bytes.data(), bytes.size()), 0));
  for (size_t i = 0; i < expected.size(); ++i) {
    fast.ensure();
    EXPECT_EQ(fast.symbol(t), expected[i]) << i;
    EXPECT_EQ(serial.symbol(t), expected[i]) << i;
  }
  uint64_t fast_offset = 0, serial_offset = 0;
  uint8_t fast_bits = 0, serial_bits = 0;
  fast.canonical_position(fast_offset, fast_bits);
  serial.canonical_position(serial_offset, serial_bits);
  EXPECT_TRUE(fast_offset == serial_offset && fast_bits == serial_bits);
}

}  // namespace
}  // namespace lv::jpeg
