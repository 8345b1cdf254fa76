#include "skin/row_blitter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "blend_reference.h"

namespace lv {
namespace {

using namespace lv::test;

using Rule = std::function<uint16_t(uint16_t s, uint16_t d)>;

struct Kind {
  std::string name;
  std::function<std::unique_ptr<RowBlitter>()> make;
  Rule rule;
};

std::vector<Kind> all_kinds() {
  std::vector<Kind> kinds = {
      {"copy", [] { return std::make_unique<CopyBlitter>(); }, copy_rule},
      {"key", [] { return std::make_unique<KeyBlitter>(); }, key_rule},
      {"key_quarter", [] { return std::make_unique<KeyQuarterBlitter>(); }, key_quarter_rule},
      {"key_half", [] { return std::make_unique<KeyHalfBlitter>(); }, key_half_rule},
      {"key_three_quarter", [] { return std::make_unique<KeyThreeQuarterBlitter>(); },
       key_three_quarter_rule},
      {"opaque_only", [] { return std::make_unique<OpaqueOnlyBlitter>(); }, opaque_only_rule},
      {"changed_pixel", [] { return std::make_unique<ChangedPixelBlitter>(); }, changed_pixel_rule},
  };
  for (uint32_t flags = 0; flags < 8; ++flags) {
    const uint32_t f = flags << 6;
    kinds.push_back({"accumulate_" + std::to_string(f),
                     [f] { return std::make_unique<KeyedAccumulateBlitter>(f); },
                     [f](uint16_t s, uint16_t d) { return accumulate_rule(f, s, d); }});
  }
  const char* shared_names[] = {"shared_key", "shared_quarter", "shared_half",
                                "shared_three_quarter", "shared_opaque_only"};
  for (int i = 0; i < kSharedKindCount; ++i) {
    Kind base = kinds[1 + i];
    kinds.push_back({shared_names[i],
                     [i] { return std::make_unique<SharedBlitter>(static_cast<SharedKind>(i)); },
                     base.rule});
  }
  return kinds;
}

class RowBlitterKinds : public ::testing::TestWithParam<Kind> {
 protected:
  // Every (source, destination) pair of the spread, in a row long enough for
  // the vector body and with an odd tail.
  void SetUp() override {
    const auto v = pixel_spread();
    for (uint16_t s : v)
      for (uint16_t d : v) {
        m_src.push_back(s);
        m_dst.push_back(d);
      }
    m_src.push_back(kKey);
    m_dst.push_back(0x1234);
  }
  std::vector<uint16_t> m_src, m_dst;
};

TEST_P(RowBlitterKinds, CopyRowFollowsTheRuleForEveryPair) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  // Offsets shift the row off the 16-byte grid and off the 4-byte grid.
  for (int offset : {0, 1, 3}) {
    std::vector<uint16_t> dst = m_dst;
    const size_t n = dst.size() - offset;
    blitter->copy_row(dst.data() + offset, dst.data() + dst.size(), m_src.data(), 0, 0);
    for (int i = 0; i < offset; ++i) ASSERT_EQ(dst[i], m_dst[i]) << "written before the span";
    for (size_t i = 0; i < n; ++i)
      ASSERT_EQ(dst[offset + i], kind.rule(m_src[i], m_dst[offset + i]))
          << std::hex << "s=" << m_src[i] << " d=" << m_dst[offset + i];
  }
}

TEST_P(RowBlitterKinds, ScaledRowSamplesWithTenFractionBits) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  const std::vector<uint16_t> row(m_src.begin(), m_src.begin() + 100);
  for (int32_t step : {1024, 3 * 1024 / 7, 2500, 0}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + 37);
    const int32_t start = 5 * 1024 + 300;
    blitter->scaled_row(dst.data(), dst.data() + dst.size(), row.data(), start, step, 0);
    for (size_t i = 0; i < dst.size(); ++i) {
      const uint16_t s = row[(start + int32_t(i) * step) >> 10];
      ASSERT_EQ(dst[i], kind.rule(s, m_dst[i])) << "step " << step << " pixel " << i;
    }
  }
}

TEST_P(RowBlitterKinds, MagnifiedRowRepeatsEachSourcePixel) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  for (int32_t shift : {0, 1, 2}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + 45);
    const int32_t start = 7;
    blitter->magnified_row(dst.data() + 1, m_src.data(), start, 43, shift, 0);
    EXPECT_EQ(dst[0], m_dst[0]);
    EXPECT_EQ(dst[44], m_dst[44]) << "written past count";
    for (int32_t i = 0; i < 43; ++i)
      ASSERT_EQ(dst[1 + i], kind.rule(m_src[(start + i) >> shift], m_dst[1 + i]))
          << "shift " << shift << " pixel " << i;
  }
}

TEST_P(RowBlitterKinds, TiledMagnifiedRowWraps) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  struct Case {
    int32_t start, count, shift, from, at;
  };
  for (const Case& c : {Case{12, 50, 0, 10, 15}, Case{3, 40, 1, 2, 9}, Case{20, 33, 2, 16, 24},
                        Case{14, 9, 0, 14, 15}}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + c.count);
    blitter->tiled_magnified_row(dst.data(), m_src.data(), c.start, c.count, c.shift, c.from, c.at,
                                 0);
    int32_t x = c.start;
    for (int32_t i = 0; i < c.count; ++i) {
      ASSERT_EQ(dst[i], kind.rule(m_src[x >> c.shift], m_dst[i]))
          << "case start " << c.start << " pixel " << i;
      if (++x == c.at) x = c.from;
    }
  }
}

TEST_P(RowBlitterKinds, CloneBehavesTheSame) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  auto copy = blitter->clone();
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), blitter.get());
  blitter.reset();
  std::vector<uint16_t> dst = m_dst;
  copy->copy_row(dst.data(), dst.data() + dst.size(), m_src.data(), 0, 0);
  for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst[i], kind.rule(m_src[i], m_dst[i]));
}

TEST_P(RowBlitterKinds, EmptyRowsWriteNothing) {
  auto blitter = GetParam().make();
  std::vector<uint16_t> dst = {1, 2, 3};
  blitter->copy_row(dst.data(), dst.data(), m_src.data(), 0, 0);
  blitter->scaled_row(dst.data(), dst.data(), m_src.data(), 0, 1024, 0);
  blitter->magnified_row(dst.data(), m_src.data(), 0, 0, 1, 0);
  blitter->tiled_magnified_row(dst.data(), m_src.data(), 0, 0, 0, 0, 2, 0);
  blitter->magnified_row(dst.data(), m_src.data(), 0, -4, 0, 0);
  EXPECT_EQ(dst, (std::vector<uint16_t>{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RowBlitterKinds, ::testing::ValuesIn(all_kinds()),
                         [](const auto& info) { return info.param.name; });

uint16_t one(const RowBlitter& b, uint16_t s, uint16_t d) {
  b.copy_row(&d, &d + 1, &s, 0, 0);
  return d;
}

TEST(RowBlitter, SeeThroughKindsAddTheirFractionOfTheBackground) {
  KeyQuarterBlitter quarter;
  KeyHalfBlitter half;
  KeyThreeQuarterBlitter three;
  EXPECT_EQ(one(half, 0x0000, 0xFFFF), 0x7BEF);
  EXPECT_EQ(one(quarter, 0x0000, 0xFFFF), 0x39E7);
  // 3/4 of white: red and blue 15 + 7 = 22, green 31 + 15 = 46.
  EXPECT_EQ(one(three, 0x0000, 0xFFFF), (22 << 11) | (46 << 5) | 22);
  // A dark see-through source (red 4, green 2, blue 6) over grey.
  const uint16_t s = (4 << 11) | (2 << 5) | 6;
  const uint16_t d = (20 << 11) | (40 << 5) | 12;
  EXPECT_EQ(one(half, s, d), ((4 + 10) << 11) | ((2 + 20) << 5) | (6 + 6));
  EXPECT_EQ(one(quarter, s, d), ((4 + 5) << 11) | ((2 + 10) << 5) | (6 + 3));
  EXPECT_EQ(one(three, s, d), ((4 + 15) << 11) | ((2 + 30) << 5) | (6 + 9));
  // Bit 5 set: the source is opaque and replaces the background.
  EXPECT_EQ(one(half, s | 0x20, d), s | 0x20);
  for (const RowBlitter* b :
       {static_cast<const RowBlitter*>(&quarter), static_cast<const RowBlitter*>(&half),
        static_cast<const RowBlitter*>(&three)})
    EXPECT_EQ(one(*b, kKey, 0x1234), 0x1234);
}

TEST(RowBlitter, KeyBlitterNeverWritesTheKey) {
  KeyBlitter key;
  std::vector<uint16_t> src(64), dst(64);
  for (int i = 0; i < 64; ++i) {
    src[i] = (i % 3 == 0) ? kKey : uint16_t(i * 997);
    dst[i] = uint16_t(0x4000 + i);
  }
  key.copy_row(dst.data(), dst.data() + dst.size(), src.data(), 0, 0);
  for (int i = 0; i < 64; ++i) {
    EXPECT_NE(dst[i], kKey);
    EXPECT_EQ(dst[i], (i % 3 == 0) ? uint16_t(0x4000 + i) : src[i]);
  }
}

TEST(RowBlitter, KeyedAccumulateWithoutFlagsCutsToTheShape) {
  KeyedAccumulateBlitter cut;
  EXPECT_EQ(cut.flags(), 0u);
  const uint16_t thumb = 0x5555;
  EXPECT_EQ(one(cut, kKey, thumb), kKey) << "outside the shape becomes transparent";
  EXPECT_EQ(one(cut, 0x0020, thumb), thumb | 0x20) << "inside keeps the thumbnail, opaque";
  EXPECT_EQ(one(cut, 0x0841, thumb), 0x0841) << "the see-through frame replaces it";
  KeyedAccumulateBlitter all(KeyedAccumulateBlitter::kAddWhole | KeyedAccumulateBlitter::kAddHalf |
                             KeyedAccumulateBlitter::kAddQuarter);
  const uint16_t d = (8 << 11) | (16 << 5) | 8;
  EXPECT_EQ(one(all, 0x0000, d), ((8 + 4 + 2) << 11) | ((16 + 8 + 4) << 5) | (8 + 4 + 2));
  auto clone = all.clone();
  EXPECT_EQ(one(*clone, 0x0000, d), one(all, 0x0000, d));
}

TEST(RowBlitter, ChangedPixelMarksOnlyChanges) {
  ChangedPixelBlitter changed;
  EXPECT_EQ(one(changed, 0x1234, 0x1234), 0x1234);
  EXPECT_EQ(one(changed, 0x1234, 0x1235), 0x1234 | 0x20);
  EXPECT_EQ(one(changed, 0x0000, 0xFFFF), 0x0020);
}

TEST(RowBlitter, SharedInstancesAreProcessWide) {
  for (int i = 0; i < kSharedKindCount; ++i) {
    const auto kind = static_cast<SharedKind>(i);
    EXPECT_EQ(&shared_instance(kind), &shared_instance(kind));
  }
  EXPECT_NE(&shared_instance(SharedKind::key), &shared_instance(SharedKind::key_half));
  EXPECT_NE(dynamic_cast<const KeyBlitter*>(&shared_instance(SharedKind::key)), nullptr);
  EXPECT_NE(dynamic_cast<const KeyQuarterBlitter*>(&shared_instance(SharedKind::key_quarter)),
            nullptr);
  EXPECT_NE(dynamic_cast<const KeyHalfBlitter*>(&shared_instance(SharedKind::key_half)), nullptr);
  EXPECT_NE(
      dynamic_cast<const KeyThreeQuarterBlitter*>(&shared_instance(SharedKind::key_three_quarter)),
      nullptr);
  EXPECT_NE(dynamic_cast<const OpaqueOnlyBlitter*>(&shared_instance(SharedKind::opaque_only)),
            nullptr);
}

TEST(RowBlitter, CacheAlphaChoosesTheBlitter) {
  EXPECT_NE(dynamic_cast<CopyBlitter*>(blitter_for_cache_alpha(-1).get()), nullptr);
  struct Case {
    int32_t alpha;
    SharedKind kind;
  };
  for (const Case& c :
       {Case{0, SharedKind::key}, Case{63, SharedKind::key}, Case{64, SharedKind::key_quarter},
        Case{127, SharedKind::key_quarter}, Case{128, SharedKind::key_half},
        Case{191, SharedKind::key_half}, Case{192, SharedKind::key_three_quarter},
        Case{255, SharedKind::key_three_quarter}, Case{256, SharedKind::opaque_only},
        Case{100000, SharedKind::opaque_only}, Case{-2, SharedKind::key},
        Case{-200, SharedKind::key}, Case{INT32_MIN, SharedKind::key}}) {
    auto b = blitter_for_cache_alpha(c.alpha);
    auto* shared = dynamic_cast<SharedBlitter*>(b.get());
    ASSERT_NE(shared, nullptr) << c.alpha;
    EXPECT_EQ(shared->kind(), c.kind) << c.alpha;
  }
  // The copy blitter writes keys through; the shared key blitter does not.
  EXPECT_EQ(one(*blitter_for_cache_alpha(-1), kKey, 7), kKey);
  EXPECT_EQ(one(*blitter_for_cache_alpha(0), kKey, 7), 7);
}

}  // namespace
}  // namespace lv
