#include "skin/row_blitter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "skin/blend_rules.h"
#include "skin/rgb565.h"

namespace lv {
namespace {

using rgb565::kKey;
using Rule = std::function<uint16_t(uint16_t s, uint16_t d)>;

// The table's rules written per channel, without the blitters' masks.
uint16_t u16(uint32_t v) {
  return static_cast<uint16_t>(v);
}
uint16_t halve(uint16_t d) {
  return rgb565::pack(rgb565::red(d) >> 1, rgb565::green(d) >> 1, rgb565::blue(d) >> 1);
}
Rule see_through(std::function<uint16_t(uint16_t)> share) {
  return [share](uint16_t s, uint16_t d) {
    return s == kKey ? d : (s & 0x20) ? s : u16(s + share(d));
  };
}
Rule accumulate(uint32_t flags) {
  return [flags](uint16_t s, uint16_t d) {
    if (s == kKey) return kKey;
    if (s & 0x20) return u16(d | 0x20);
    uint32_t r = s;
    if (flags & KeyedAccumulateBlitter::kAddWhole) r += d;
    if (flags & KeyedAccumulateBlitter::kAddHalf) r += halve(d);
    if (flags & KeyedAccumulateBlitter::kAddQuarter) r += halve(halve(d));
    return u16(r);
  };
}
const Rule kKeyRule = [](uint16_t s, uint16_t d) { return s == kKey ? d : s; };
const Rule kQuarterRule = see_through([](uint16_t d) { return halve(halve(d)); });
const Rule kHalfRule = see_through(halve);
const Rule kThreeQuarterRule =
    see_through([](uint16_t d) { return u16(halve(d) + halve(halve(d))); });
const Rule kOpaqueOnlyRule = [](uint16_t s, uint16_t d) { return s != kKey && (s & 0x20) ? s : d; };

// Key, key with bit 5, bit 5 set and clear, channel extremes, sums that
// carry between channels, and random pixels.
std::vector<uint16_t> pixel_spread() {
  std::vector<uint16_t> v = {0x0000, 0xFFFF, kKey,   0xF83F, 0xF81E, 0x0020, 0xFFDF,
                             0x07E0, 0x07C0, 0x001F, 0xF800, 0x7BEF, 0x8410, 0x0841,
                             0x1082, 0xA534, 0x5ACB, 0x0001, 0x0800, 0x39E7};
  std::mt19937 rng(565);
  for (int i = 0; i < 44; ++i) v.push_back(u16(rng()));
  return v;
}

struct Kind {
  std::string name;
  std::function<std::unique_ptr<RowBlitter>()> make;
  Rule rule;
};

template <typename B>
std::function<std::unique_ptr<RowBlitter>()> maker() {
  return [] { return std::make_unique<B>(); };
}

std::vector<Kind> all_kinds() {
  std::vector<Kind> kinds = {
      {"copy", maker<CopyBlitter>(), [](uint16_t s, uint16_t) { return s; }},
      {"key", maker<KeyBlitter>(), kKeyRule},
      {"key_quarter", maker<KeyQuarterBlitter>(), kQuarterRule},
      {"key_half", maker<KeyHalfBlitter>(), kHalfRule},
      {"key_three_quarter", maker<KeyThreeQuarterBlitter>(), kThreeQuarterRule},
      {"opaque_only", maker<OpaqueOnlyBlitter>(), kOpaqueOnlyRule},
      {"changed_pixel", maker<ChangedPixelBlitter>(),
       [](uint16_t s, uint16_t d) { return s == d ? s : u16(s | 0x20); }},
  };
  for (uint32_t f = 0; f < 8; ++f)
    kinds.push_back({"accumulate_" + std::to_string(f << 6),
                     [f] { return std::make_unique<KeyedAccumulateBlitter>(f << 6); },
                     accumulate(f << 6)});
  // The shared instances, in table order.
  for (int i = 0; i < kSharedKindCount; ++i)
    kinds.push_back({"shared_" + kinds[1 + i].name,
                     [i] { return std::make_unique<SharedBlitter>(static_cast<SharedKind>(i)); },
                     kinds[1 + i].rule});
  return kinds;
}

class RowBlitterKinds : public ::testing::TestWithParam<Kind> {
 protected:
  // Every (source, destination) pair of the spread in one row: long enough
  // for the vector body, with an odd tail.
  void SetUp() override {
    for (uint16_t s : pixel_spread())
      for (uint16_t d : pixel_spread()) {
        m_src.push_back(s);
        m_dst.push_back(d);
      }
    m_src.push_back(kKey);
    m_dst.push_back(0x1234);
  }
  std::vector<uint16_t> m_src, m_dst;
};

TEST_P(RowBlitterKinds, CopyRowFollowsTheRuleForEveryPairAndAClone) {
  const Kind& kind = GetParam();
  // Offsets take the row off the 16-byte and the 4-byte grid; the last pass
  // goes through a clone of a blitter that is gone by then.
  for (int offset : {0, 1, 3}) {
    auto blitter = kind.make();
    if (offset == 3) blitter = kind.make()->clone();
    std::vector<uint16_t> dst = m_dst;
    blitter->copy_row(dst.data() + offset, dst.data() + dst.size(), m_src.data(), 0, 0);
    for (int i = 0; i < offset; ++i) ASSERT_EQ(dst[i], m_dst[i]) << "written before the span";
    for (size_t i = 0; i + offset < dst.size(); ++i)
      ASSERT_EQ(dst[offset + i], kind.rule(m_src[i], m_dst[offset + i]))
          << std::hex << "s=" << m_src[i] << " d=" << m_dst[offset + i];
  }
}

TEST_P(RowBlitterKinds, ScaledMagnifiedAndTiledRowsSampleTheSource) {
  const Kind& kind = GetParam();
  auto blitter = kind.make();
  // Scaled: pixel i samples (start + i * step) >> 10.
  for (int32_t step : {1024, 3 * 1024 / 7, 2500, 0}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + 37);
    const int32_t start = 5 * 1024 + 300;
    blitter->scaled_row(dst.data(), dst.data() + dst.size(), m_src.data(), start, step, 0);
    for (size_t i = 0; i < dst.size(); ++i)
      ASSERT_EQ(dst[i], kind.rule(m_src[(start + int32_t(i) * step) >> 10], m_dst[i])) << step;
  }
  // Magnified: x counts up from start, pixel i samples x >> shift.
  for (int32_t shift : {0, 1, 2}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + 45);
    blitter->magnified_row(dst.data() + 1, m_src.data(), 7, 43, shift, 0);
    EXPECT_EQ(dst[0], m_dst[0]);
    EXPECT_EQ(dst[44], m_dst[44]) << "written past count";
    for (int32_t i = 0; i < 43; ++i)
      ASSERT_EQ(dst[1 + i], kind.rule(m_src[(7 + i) >> shift], m_dst[1 + i])) << shift;
  }
  // Tiled: x goes back to `from` on reaching `at`, also from a start past it.
  struct Case {
    int32_t start, count, shift, from, at;
  };
  for (const Case& c : {Case{12, 50, 0, 10, 15}, Case{3, 40, 1, 2, 9}, Case{20, 33, 2, 16, 24},
                        Case{14, 9, 0, 14, 15}, Case{30, 6, 0, 4, 6}}) {
    std::vector<uint16_t> dst(m_dst.begin(), m_dst.begin() + c.count);
    blitter->tiled_magnified_row(dst.data(), m_src.data(), c.start, c.count, c.shift, c.from, c.at,
                                 0);
    for (int32_t i = 0, x = c.start; i < c.count; ++i, x = x + 1 >= c.at ? c.from : x + 1)
      ASSERT_EQ(dst[i], kind.rule(m_src[x >> c.shift], m_dst[i])) << "start " << c.start;
  }
  // Empty rows write nothing.
  std::vector<uint16_t> dst = {1, 2, 3};
  blitter->copy_row(dst.data(), dst.data(), m_src.data(), 0, 0);
  blitter->scaled_row(dst.data(), dst.data(), m_src.data(), 0, 1024, 0);
  blitter->magnified_row(dst.data(), m_src.data(), 0, -4, 1, 0);
  blitter->tiled_magnified_row(dst.data(), m_src.data(), 0, 0, 0, 0, 2, 0);
  EXPECT_EQ(dst, (std::vector<uint16_t>{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RowBlitterKinds, ::testing::ValuesIn(all_kinds()),
                         [](const auto& info) { return info.param.name; });

// The vector bodies come in several widths, one chosen at run time: each the
// processor has must follow the rule, with the narrower steps and single
// pixels that finish a row.
template <typename R>
void expect_every_width(const R& rule, const Rule& reference) {
  std::vector<blend::SpanRoutine<R>> routines = {&blend::span_generic<R>};
#ifdef LV_BLEND_X86_DISPATCH
  if (__builtin_cpu_supports("avx2")) routines.push_back(&blend::span_avx2<R>);
  if (__builtin_cpu_supports("avx512bw")) routines.push_back(&blend::span_avx512<R>);
#endif
  const auto spread = pixel_spread();
  std::mt19937 rng(7);
  std::vector<uint16_t> src(4200), dst0(4200);
  for (size_t i = 0; i < src.size(); ++i) {
    src[i] = spread[rng() % spread.size()];
    dst0[i] = spread[rng() % spread.size()];
  }
  std::vector<int32_t> lengths(101);
  for (int32_t n = 0; n <= 100; ++n) lengths[n] = n;
  lengths.push_back(4099);
  for (size_t r = 0; r < routines.size(); ++r)
    for (int32_t offset : {0, 1, 3})
      for (int32_t n : lengths) {
        std::vector<uint16_t> dst = dst0;
        routines[r](rule, dst.data() + offset, n, src.data() + 2 * offset);
        for (int32_t i = 0; i < int32_t(dst.size()); ++i) {
          const bool inside = i >= offset && i < offset + n;
          ASSERT_EQ(dst[i], inside ? reference(src[i + offset], dst0[i]) : dst0[i])
              << "routine " << r << " length " << n << " offset " << offset << " at " << i;
        }
      }
}

TEST(BlendLanes, EveryVectorWidthFollowsTheRules) {
  expect_every_width(blend::Key{}, kKeyRule);
  expect_every_width(blend::KeyQuarter{}, kQuarterRule);
  expect_every_width(blend::KeyHalf{}, kHalfRule);
  expect_every_width(blend::KeyThreeQuarter{}, kThreeQuarterRule);
  expect_every_width(blend::OpaqueOnly{}, kOpaqueOnlyRule);
  expect_every_width(blend::ChangedPixel{}, all_kinds()[6].rule);
  for (uint32_t f : {0x40u, 0x80u, 0x100u, 0x1C0u}) {
    auto mask = [f](uint32_t bit) { return uint16_t(f & bit ? 0xFFFF : 0); };
    expect_every_width(blend::Accumulate{mask(0x100), mask(0x80), mask(0x40)}, accumulate(f));
  }
}

uint16_t one(const RowBlitter& b, uint16_t s, uint16_t d) {
  b.copy_row(&d, &d + 1, &s, 0, 0);
  return d;
}

TEST(RowBlitter, CacheAlphaChoosesTheBlitter) {
  EXPECT_EQ(one(*blitter_for_cache_alpha(-1), kKey, 7), kKey) << "-1 copies, keys and all";
  // alpha / 64 picks key, quarter, half, three-quarter or opaque only.
  const int32_t alphas[] = {0, 63, 64, 127, 128, 192, 255, 256, 100000, -2, INT32_MIN};
  const int32_t kinds[] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 0, 0};
  for (int i = 0; i < 11; ++i) {
    auto b = blitter_for_cache_alpha(alphas[i]);
    auto* shared = dynamic_cast<SharedBlitter*>(b.get());
    ASSERT_NE(shared, nullptr) << alphas[i];
    EXPECT_EQ(shared->kind(), static_cast<SharedKind>(kinds[i])) << alphas[i];
  }
}

}  // namespace
}  // namespace lv
