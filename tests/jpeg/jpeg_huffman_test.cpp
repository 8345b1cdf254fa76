#include "jpeg/jpeg_huffman.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "jpeg/jpeg_bit_reader.h"

namespace lv::jpeg {
namespace {

HuffmanSpec spec_of(std::initializer_list<int> counts, std::vector<uint8_t> values) {
  HuffmanSpec s;
  s.defined = true;
  int i = 0;
  for (int c : counts) s.counts[i++] = static_cast<uint8_t>(c);
  std::memcpy(s.values, values.data(), values.size());
  s.value_count = static_cast<int>(values.size());
  return s;
}

// MSB-first bits into stuffed entropy-coded bytes.
std::vector<uint8_t> stuffed(const std::vector<int>& bits) {
  std::vector<uint8_t> out;
  int acc = 0, n = 0;
  auto push = [&](int byte) {
    out.push_back(static_cast<uint8_t>(byte));
    if (byte == 0xFF) out.push_back(0);
  };
  for (int b : bits) {
    acc = (acc << 1) | b;
    if (++n == 8) {
      push(acc);
      acc = n = 0;
    }
  }
  if (n) push(((acc << (8 - n)) | ((1 << (8 - n)) - 1)) & 0xFF);
  return out;
}

void append_code(std::vector<int>& bits, int length, int code) {
  for (int i = length - 1; i >= 0; --i) bits.push_back((code >> i) & 1);
}

TEST(JpegHuffman, RejectsTablesThatAreNoPrefixCode) {
  HuffmanTable t;
  EXPECT_TRUE(t.build(spec_of({1, 1}, {5, 6}), TableClass::ac));  // 0, 10
  // Two codes of one bit use the all-1 code "1".
  EXPECT_FALSE(t.build(spec_of({2}, {5, 6}), TableClass::ac));
  // Over-subscribed: five codes of two bits.
  EXPECT_FALSE(t.build(spec_of({0, 5}, {1, 2, 3, 4, 5}), TableClass::ac));
  // Over-subscribed at a long length only.
  EXPECT_FALSE(t.build(spec_of({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2},
                               {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
                       TableClass::ac));
  // A DC category above 15.
  EXPECT_FALSE(t.build(spec_of({1}, {16}), TableClass::dc));
  EXPECT_TRUE(t.build(spec_of({1}, {16}), TableClass::ac));
  // More codes than values, or than 256.
  HuffmanSpec few = spec_of({0, 3}, {1, 2});
  EXPECT_FALSE(t.build(few, TableClass::ac));
  HuffmanSpec many;
  many.defined = true;
  many.counts[15] = 200;
  many.counts[14] = 57;
  many.value_count = 256;
  EXPECT_FALSE(t.build(many, TableClass::ac));
  EXPECT_FALSE(t.build(HuffmanSpec{}, TableClass::ac));  // never defined
}

TEST(JpegHuffman, LookupAndBitSerialDecodingAgreeOnEveryLength) {
  // One code of each length 1 .. 16: 0, 10, 110, ..., 1111111111111110.
  std::vector<uint8_t> values;
  for (int i = 0; i < 16; ++i) values.push_back(static_cast<uint8_t>(0x10 * i + 1));
  HuffmanTable t;
  ASSERT_TRUE(
      t.build(spec_of({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, values), TableClass::ac));
  std::vector<int> bits;
  for (int len = 16; len >= 1; --len) append_code(bits, len, (1 << len) - 2);
  append_code(bits, 17, 0x1FFFF);  // no code at all
  append_code(bits, 3, 0b110);
  const auto bytes = stuffed(bits);
  ByteSource window(bytes.data(), bytes.size());
  FastBitReader fast;
  SerialBitReader serial;
  ASSERT_TRUE(fast.start(window, 0));
  ASSERT_TRUE(serial.start(window, 0));
  for (int len = 16; len >= 1; --len) {
    fast.ensure();
    EXPECT_EQ(fast.symbol(t), 0x10 * (len - 1) + 1) << len;
    EXPECT_EQ(serial.symbol(t), 0x10 * (len - 1) + 1) << len;
  }
  fast.ensure();
  EXPECT_EQ(fast.symbol(t), 0);
  EXPECT_EQ(serial.symbol(t), 0);
  fast.ensure();
  EXPECT_EQ(fast.symbol(t), 0x21);
  EXPECT_EQ(serial.symbol(t), 0x21);
  uint64_t fo = 0, so = 0;
  uint8_t fb = 0, sb = 0;
  fast.canonical_position(fo, fb);
  serial.canonical_position(so, sb);
  EXPECT_EQ(fo, so);
  EXPECT_EQ(fb, sb);
}

}  // namespace
}  // namespace lv::jpeg
