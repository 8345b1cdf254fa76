#include "jpeg/jpeg_huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

}  // namespace
}  // namespace lv::jpeg
