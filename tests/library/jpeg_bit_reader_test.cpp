#include "library/jpeg_bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "library/jpeg_state.h"

namespace lv::jpeg {
namespace {

template <class Reader>
struct Fixture {
  std::vector<uint8_t> bytes;
  ByteSource window;
  Reader r;
  explicit Fixture(std::vector<uint8_t> b) : bytes(std::move(b)) {
    window = ByteSource(bytes.data(), bytes.size());
  }
  int read(int n) {
    r.ensure();
    // receive() gives the signed form; undo it to see the raw bits.
    const int v = r.receive(n);
    return v < 0 ? v + (1 << n) - 1 : v;
  }
  std::pair<uint64_t, int> position() const {
    uint64_t offset = 0;
    uint8_t bits = 0;
    r.canonical_position(offset, bits);
    return {offset, bits};
  }
};

template <class Reader>
class JpegBitReader : public testing::Test {};
using Readers = testing::Types<FastBitReader, SerialBitReader>;
TYPED_TEST_SUITE(JpegBitReader, Readers);

TYPED_TEST(JpegBitReader, UnstuffsAndPadsZerosAfterTheMarker) {
  Fixture<TypeParam> f({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xD9, 0x77});
  ASSERT_TRUE(f.r.start(f.window, 0));
  EXPECT_EQ(f.read(8), 0x12);
  EXPECT_EQ(f.read(8), 0xFF);
  EXPECT_FALSE(f.r.exhausted());
  EXPECT_EQ(f.read(4), 0x3);
  EXPECT_EQ(f.read(4), 0x4);
  // The EOI (after a fill FF) ends the data: zeros follow, never counted.
  EXPECT_TRUE(f.r.exhausted());
  EXPECT_EQ(f.read(12), 0);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{4, 0}));  // the fill FF before D9
}

TYPED_TEST(JpegBitReader, CanonicalPositionHandsBackWholeBytes) {
  Fixture<TypeParam> f({0xAB, 0xCD, 0xEF, 0x01});
  ASSERT_TRUE(f.r.start(f.window, 0));
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{0, 0}));
  f.read(4);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{1, 4}));
  f.read(4);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{1, 0}));
  f.read(9);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{3, 7}));
}

TYPED_TEST(JpegBitReader, CanonicalPositionCountsStuffingAndFillBytes) {
  // Data bytes: FF, FF (after two fill FF), 12.
  Fixture<TypeParam> f({0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x12, 0x34});
  ASSERT_TRUE(f.r.start(f.window, 0));
  f.read(4);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{2, 4}));
  f.read(4);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{2, 0}));
  f.read(3);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{6, 5}));
  f.read(5);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{6, 0}));
}

TYPED_TEST(JpegBitReader, MarkerAlreadyReadIsPutBack) {
  Fixture<TypeParam> f({0xAB, 0xFF, 0xFF, 0xD0, 0x55});
  ASSERT_TRUE(f.r.start(f.window, 0));
  f.read(5);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{1, 3}));
  f.read(3);
  EXPECT_TRUE(f.r.exhausted());  // the fast reader has latched D0 by now
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{1, 0}));
}

TYPED_TEST(JpegBitReader, ResumeRebuildsBitsAcrossStuffingAndRestartMarkers) {
  // The bits to resume with sit before FF D3: the data bytes AB, FF.
  Fixture<TypeParam> f({0x00, 0xAB, 0xFF, 0x00, 0xFF, 0xD3, 0xCD, 0x00});
  ASSERT_TRUE(f.r.resume(f.window, 6, 12, 0));
  EXPECT_EQ(f.read(12), 0xBFF);
  EXPECT_EQ(f.read(8), 0xCD);
  // Four FF data bytes take eight stream bytes: more than the six available.
  Fixture<TypeParam> g({0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x11});
  EXPECT_FALSE(g.r.resume(g.window, 8, 32, 0));
  ASSERT_TRUE(g.r.resume(g.window, 8, 24, 0));
  EXPECT_EQ(g.read(24), 0xFFFFFF);
  EXPECT_EQ(g.read(8), 0x11);
  EXPECT_FALSE(g.r.resume(g.window, 9, 33, 0));
  EXPECT_FALSE(g.r.resume(g.window, 10, 0, 0));  // outside the window
}

TYPED_TEST(JpegBitReader, ResumedPositionIsCanonical) {
  Fixture<TypeParam> f({0x10, 0xFF, 0x00, 0x20, 0x30});
  ASSERT_TRUE(f.r.resume(f.window, 3, 5, 0));
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{3, 5}));
  EXPECT_EQ(f.read(5), 0x1F);
  EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{3, 0}));
}

TYPED_TEST(JpegBitReader, RestartTakesTheExpectedMarker) {
  Fixture<TypeParam> f({0x12, 0xFF, 0xD0, 0x34, 0x56});
  ASSERT_TRUE(f.r.start(f.window, 0));
  f.read(3);
  uint8_t next = 0;
  f.r.restart(next);
  EXPECT_EQ(next, 1);
  EXPECT_FALSE(f.r.exhausted());
  EXPECT_EQ(f.read(8), 0x34);
}

TYPED_TEST(JpegBitReader, RestartResynchronisesLikeLibjpeg) {
  // Garbage before the marker is skipped; an earlier restart number is
  // skipped to the next marker.
  {
    Fixture<TypeParam> f({0x12, 0x99, 0xFF, 0x00, 0xFF, 0xD6, 0x01, 0xFF, 0xD7, 0x42});
    ASSERT_TRUE(f.r.start(f.window, 0));
    uint8_t next = 7;
    f.r.restart(next);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(f.read(8), 0x42);
  }
  // One of the next two numbers stays pending: this interval has no data.
  {
    Fixture<TypeParam> f({0x12, 0xFF, 0xD2, 0x42});
    ASSERT_TRUE(f.r.start(f.window, 0));
    uint8_t next = 1;
    f.r.restart(next);
    EXPECT_EQ(next, 2);
    EXPECT_TRUE(f.r.exhausted());
    EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{1, 0}));
    f.r.restart(next);  // now it is the expected one
    EXPECT_EQ(next, 3);
    EXPECT_EQ(f.read(8), 0x42);
  }
  // A number far off is taken as if it were right.
  {
    Fixture<TypeParam> f({0xFF, 0xD5, 0x42});
    ASSERT_TRUE(f.r.start(f.window, 0));
    uint8_t next = 1;
    f.r.restart(next);
    EXPECT_EQ(f.read(8), 0x42);
  }
  // The end of the data, or another marker, stays.
  {
    Fixture<TypeParam> f({0x12, 0x34});
    ASSERT_TRUE(f.r.start(f.window, 0));
    uint8_t next = 0;
    f.r.restart(next);
    EXPECT_TRUE(f.r.exhausted());
    EXPECT_EQ(f.position(), (std::pair<uint64_t, int>{2, 0}));
  }
}

TYPED_TEST(JpegBitReader, PendingMarkerOfAnEntryIsProcessedAtTheRestart) {
  Fixture<TypeParam> f({0x00, 0x77, 0x42});
  ASSERT_TRUE(f.r.resume(f.window, 2, 8, 0xD4));
  EXPECT_EQ(f.read(8), 0x77);
  EXPECT_TRUE(f.r.exhausted());
  uint8_t next = 4;
  f.r.restart(next);
  EXPECT_EQ(f.read(8), 0x42);
}

TEST(JpegBitReaderWindow, NeverReadsPastTheWindow) {
  // The window ends inside an FF 00 pair: the FF is the end of the data.
  const uint8_t bytes[] = {0x81, 0xFF, 0x00, 0x00};
  ByteSource window(bytes, 2);
  FastBitReader r;
  ASSERT_TRUE(r.start(window, 0));
  r.ensure();
  EXPECT_EQ(r.receive(8), 0x81);
  EXPECT_TRUE(r.exhausted());
  uint64_t offset = 0;
  uint8_t bits = 0;
  r.canonical_position(offset, bits);
  EXPECT_EQ(offset, 1u);
}

}  // namespace
}  // namespace lv::jpeg
