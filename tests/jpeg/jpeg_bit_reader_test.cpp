#include "jpeg/jpeg_bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "jpeg/jpeg_state.h"

namespace lv::jpeg {
namespace {

using Position = std::pair<uint64_t, int>;

template <class Reader>
struct Fixture {
  std::vector<uint8_t> bytes;
  ByteSource window;
  Reader r;
  // A window of exactly the bytes, or of the first `size` of them.
  explicit Fixture(std::vector<uint8_t> b, size_t size = SIZE_MAX) : bytes(std::move(b)) {
    window = ByteSource(bytes.data(), std::min(size, bytes.size()));
  }
  int read(int n) {
    r.ensure();
    // receive() gives the signed form; undo it to see the raw bits.
    const int v = r.receive(n);
    return v < 0 ? v + (1 << n) - 1 : v;
  }
  Position position() const {
    uint64_t offset = 0;
    uint8_t bits = 0;
    r.canonical_position(offset, bits);
    return {offset, bits};
  }
};

// Both readers must agree on everything: the index they give is the same.
template <class Reader>
class JpegBitReader : public testing::Test {};
using Readers = testing::Types<FastBitReader, SerialBitReader>;
TYPED_TEST_SUITE(JpegBitReader, Readers);

TYPED_TEST(JpegBitReader, UnstuffsAndPadsZerosAfterTheMarkerOrTheWindowsEnd) {
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
  EXPECT_EQ(f.position(), (Position{4, 0}));  // the fill FF before D9
  // A window that ends inside an FF 00 pair: the FF is the end of the data.
  Fixture<TypeParam> w({0x81, 0xFF, 0x00, 0x00}, 2);
  ASSERT_TRUE(w.r.start(w.window, 0));
  EXPECT_EQ(w.read(8), 0x81);
  EXPECT_TRUE(w.r.exhausted());
  EXPECT_EQ(w.position(), (Position{1, 0}));
}

TYPED_TEST(JpegBitReader, CanonicalPositionHandsBackWholeBytesStuffingAndFillBytes) {
  Fixture<TypeParam> f({0xAB, 0xCD, 0xEF, 0x01});
  ASSERT_TRUE(f.r.start(f.window, 0));
  EXPECT_EQ(f.position(), (Position{0, 0}));
  for (auto [bits, expected] : {std::pair{4, Position{1, 4}}, {4, {1, 0}}, {9, {3, 7}}}) {
    f.read(bits);
    EXPECT_EQ(f.position(), expected);
  }
  // Data bytes: FF, FF (after two fill FF), 12.
  Fixture<TypeParam> g({0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x12, 0x34});
  ASSERT_TRUE(g.r.start(g.window, 0));
  for (auto [bits, expected] :
       {std::pair{4, Position{2, 4}}, {4, {2, 0}}, {3, {6, 5}}, {5, {6, 0}}}) {
    g.read(bits);
    EXPECT_EQ(g.position(), expected);
  }
  // A marker already read is put back.
  Fixture<TypeParam> h({0xAB, 0xFF, 0xFF, 0xD0, 0x55});
  ASSERT_TRUE(h.r.start(h.window, 0));
  h.read(5);
  EXPECT_EQ(h.position(), (Position{1, 3}));
  h.read(3);
  EXPECT_TRUE(h.r.exhausted());  // the fast reader has latched D0 by now
  EXPECT_EQ(h.position(), (Position{1, 0}));
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
  // The resumed position is canonical.
  Fixture<TypeParam> h({0x10, 0xFF, 0x00, 0x20, 0x30});
  ASSERT_TRUE(h.r.resume(h.window, 3, 5, 0));
  EXPECT_EQ(h.position(), (Position{3, 5}));
  EXPECT_EQ(h.read(5), 0x1F);
  EXPECT_EQ(h.position(), (Position{3, 0}));
  // A marker pending in an entry is taken at the next restart.
  Fixture<TypeParam> m({0x00, 0x77, 0x42});
  ASSERT_TRUE(m.r.resume(m.window, 2, 8, 0xD4));
  EXPECT_EQ(m.read(8), 0x77);
  EXPECT_TRUE(m.r.exhausted());
  uint8_t next = 4;
  m.r.restart(next);
  EXPECT_EQ(m.read(8), 0x42);
}

TYPED_TEST(JpegBitReader, RestartTakesTheMarkerAndResynchronisesLikeLibjpeg) {
  auto restarted = [](std::vector<uint8_t> bytes, int skip_bits, uint8_t next) {
    auto f = std::make_unique<Fixture<TypeParam>>(std::move(bytes));
    EXPECT_TRUE(f->r.start(f->window, 0));
    if (skip_bits) f->read(skip_bits);
    f->r.restart(next);
    return std::pair{std::move(f), next};
  };
  // The expected marker.
  auto [a, a_next] = restarted({0x12, 0xFF, 0xD0, 0x34, 0x56}, 3, 0);
  EXPECT_EQ(a_next, 1);
  EXPECT_FALSE(a->r.exhausted());
  EXPECT_EQ(a->read(8), 0x34);
  // Garbage before the marker is skipped; an earlier number is skipped to
  // the next marker.
  auto [b, b_next] = restarted({0x12, 0x99, 0xFF, 0x00, 0xFF, 0xD6, 0x01, 0xFF, 0xD7, 0x42}, 0, 7);
  EXPECT_EQ(b_next, 0);
  EXPECT_EQ(b->read(8), 0x42);
  // One of the next two numbers stays pending: this interval has no data.
  auto [c, c_next] = restarted({0x12, 0xFF, 0xD2, 0x42}, 0, 1);
  EXPECT_EQ(c_next, 2);
  EXPECT_TRUE(c->r.exhausted());
  EXPECT_EQ(c->position(), (Position{1, 0}));
  c->r.restart(c_next);  // now it is the expected one
  EXPECT_EQ(c_next, 3);
  EXPECT_EQ(c->read(8), 0x42);
  // A number far off is taken as if it were right.
  auto [d, d_next] = restarted({0xFF, 0xD5, 0x42}, 0, 1);
  EXPECT_EQ(d->read(8), 0x42);
  // The end of the data stays.
  auto [e, e_next] = restarted({0x12, 0x34}, 0, 0);
  EXPECT_TRUE(e->r.exhausted());
  EXPECT_EQ(e->position(), (Position{2, 0}));
}

}  // namespace
}  // namespace lv::jpeg
