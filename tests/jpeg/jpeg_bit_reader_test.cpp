#include "jpeg/jpeg_bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace lv::jpeg {
namespace {

// A reader over exactly the bytes, or the first `size` of them, started at
// their first byte.
template <class Reader>
struct Fixture {
  std::vector<uint8_t> bytes;
  ByteSource window;
  Reader r;
  explicit Fixture(std::vector<uint8_t> b, size_t size = SIZE_MAX)
      : bytes(std::move(b)), window(bytes.data(), std::min(size, bytes.size())) {
    EXPECT_TRUE(r.start(window, 0));
  }
  int read(int n) {
    r.ensure();
    // receive() gives the signed form; undo it to see the raw bits.
    const int v = r.receive(n);
    return v < 0 ? v + (1 << n) - 1 : v;
  }
  std::vector<int> reads(std::initializer_list<int> bits) {
    std::vector<int> out;
    for (int n : bits) out.push_back(read(n));
    return out;
  }
};

// Both readers must agree on everything: the index they give is the same.
template <class Reader>
class JpegBitReader : public testing::Test {};
using Readers = testing::Types<FastBitReader, SerialBitReader>;
TYPED_TEST_SUITE(JpegBitReader, Readers);

TYPED_TEST(JpegBitReader, UnstuffsAndPadsZerosAfterTheMarkerOrTheWindowsEnd) {
  Fixture<TypeParam> f({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xD9, 0x77});
  EXPECT_EQ(f.reads({8, 8}), (std::vector{0x12, 0xFF}));
  EXPECT_FALSE(f.r.exhausted());
  // The EOI (after a fill FF) ends the data: zeros follow, never counted.
  EXPECT_EQ(f.reads({4, 4, 12}), (std::vector{0x3, 0x4, 0}));
  EXPECT_TRUE(f.r.exhausted());
  // A window that ends inside an FF 00 pair: the FF is the end of the data.
  Fixture<TypeParam> w({0x81, 0xFF, 0x00, 0x00}, 2);
  EXPECT_TRUE(w.read(8) == 0x81 && w.r.exhausted());
}

TYPED_TEST(JpegBitReader, ResumeRebuildsBitsAcrossStuffingAndRestartMarkers) {
  // The bits to resume with sit before FF D3: the data bytes AB, FF.
  Fixture<TypeParam> f({0x00, 0xAB, 0xFF, 0x00, 0xFF, 0xD3, 0xCD, 0x00});
  ASSERT_TRUE(f.r.resume(f.window, 6, 12, 0));
  EXPECT_EQ(f.reads({12, 8}), (std::vector{0xBFF, 0xCD}));
}

TYPED_TEST(JpegBitReader, RestartTakesTheMarkerAndResynchronisesLikeLibjpeg) {
  // The number of the next restart after it, and the byte read then.
  auto restart = [](std::vector<uint8_t> bytes, int skip_bits, uint8_t next) {
    Fixture<TypeParam> f(std::move(bytes));
    if (skip_bits) f.read(skip_bits);
    f.r.restart(next);
    return std::pair{int{next}, f.read(8)};
  };
  using Result = std::pair<int, int>;
  EXPECT_EQ(restart({0x12, 0xFF, 0xD0, 0x34, 0x56}, 3, 0), (Result{1, 0x34}));  // the expected one
  // Garbage before the marker is skipped; an earlier number is skipped to
  // the next marker.
  EXPECT_EQ(restart({0x12, 0x99, 0xFF, 0x00, 0xFF, 0xD6, 0x01, 0xFF, 0xD7, 0x42}, 0, 7),
            (Result{0, 0x42}));
  EXPECT_EQ(restart({0xFF, 0xD5, 0x42}, 0, 1), (Result{2, 0x42}));  // far off: taken as right
}

}  // namespace
}  // namespace lv::jpeg
