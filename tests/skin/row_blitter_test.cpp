#include "skin/row_blitter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "skin/blend_rules.h"
#include "skin/rgb565.h"

namespace lv {
namespace {

using rgb565::kKey;
using Rule = std::function<uint16_t(uint16_t s, uint16_t d)>;
using Row = std::vector<uint16_t>;

// The table's rules written per channel, without the blitters' masks.
uint16_t halve(uint16_t d) {
  return rgb565::pack(rgb565::red(d) >> 1, rgb565::green(d) >> 1, rgb565::blue(d) >> 1);
}
Rule see_through(std::function<uint32_t(uint16_t)> share) {
  return [share](uint16_t s, uint16_t d) { return s == kKey ? d : (s & 0x20) ? s : s + share(d); };
}
Rule accumulate(uint32_t flags) {
  return [flags](uint16_t s, uint16_t d) -> uint16_t {
    if (s == kKey || (s & 0x20)) return s == kKey ? kKey : d | 0x20;
    return s + (flags & KeyedAccumulateBlitter::kAddWhole ? d : 0) +
           (flags & KeyedAccumulateBlitter::kAddHalf ? halve(d) : 0) +
           (flags & KeyedAccumulateBlitter::kAddQuarter ? halve(halve(d)) : 0);
  };
}
const Rule kKeyRule = [](uint16_t s, uint16_t d) { return s == kKey ? d : s; };
const Rule kQuarterRule = see_through([](uint16_t d) { return halve(halve(d)); });
const Rule kHalfRule = see_through(halve);
const Rule kThreeQuarterRule = see_through([](uint16_t d) { return halve(d) + halve(halve(d)); });
const Rule kOpaqueOnlyRule = [](uint16_t s, uint16_t d) { return s != kKey && (s & 0x20) ? s : d; };
const Rule kChangedRule = [](uint16_t s, uint16_t d) { return s == d ? s : uint16_t(s | 0x20); };

// Key, key with bit 5, bit 5 set and clear, channel extremes, sums that
// carry between channels, and random pixels.
Row pixel_spread() {
  Row v = {0x0000, 0xFFFF, kKey,   0xF83F, 0xF81E, 0x0020, 0xFFDF, 0x07E0, 0x07C0, 0x001F,
           0xF800, 0x7BEF, 0x8410, 0x0841, 0x1082, 0xA534, 0x5ACB, 0x0001, 0x0800, 0x39E7};
  std::mt19937 rng(565);
  for (int i = 0; i < 44; ++i) v.push_back(uint16_t(rng()));
  return v;
}

struct Kind {
  std::string name;
  std::function<std::unique_ptr<RowBlitter>()> make;
  Rule rule;
};

std::vector<Kind> all_kinds() {
  std::vector<Kind> kinds = {
      {"copy", [] { return std::make_unique<CopyBlitter>(); },
       [](uint16_t s, uint16_t) { return s; }},
      {"key", [] { return std::make_unique<KeyBlitter>(); }, kKeyRule},
      {"key_quarter", [] { return std::make_unique<KeyQuarterBlitter>(); }, kQuarterRule},
      {"key_half", [] { return std::make_unique<KeyHalfBlitter>(); }, kHalfRule},
      {"key_three_quarter", [] { return std::make_unique<KeyThreeQuarterBlitter>(); },
       kThreeQuarterRule},
      {"opaque_only", [] { return std::make_unique<OpaqueOnlyBlitter>(); }, kOpaqueOnlyRule},
      {"changed_pixel", [] { return std::make_unique<ChangedPixelBlitter>(); }, kChangedRule}};
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

// Every (source, destination) pair of the spread in one row: long enough for
// the vector body, with an odd tail.
class RowBlitterKinds : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    for (uint16_t s : pixel_spread())
      for (uint16_t d : pixel_spread()) m_src.push_back(s), m_dst.push_back(d);
    m_src.push_back(kKey);
    m_dst.push_back(0x1234);
  }
  // Pixel i of `dst` (a row drawn over the start of m_dst, `first` pixels in)
  // follows the rule for the source pixel source_x(i); the rest is untouched.
  void expect_row(const Row& dst, int32_t first, int32_t count,
                  const std::function<int32_t(int32_t)>& source_x) {
    for (int32_t i = 0; i < int32_t(dst.size()); ++i) {
      const bool inside = i >= first && i < first + count;
      ASSERT_EQ(dst[i], inside ? GetParam().rule(m_src[source_x(i - first)], m_dst[i]) : m_dst[i])
          << std::hex << "at " << i << " s=" << m_src[inside ? source_x(i - first) : 0];
    }
  }
  Row m_src, m_dst;
};

TEST_P(RowBlitterKinds, CopyRowFollowsTheRuleForEveryPairAndAClone) {
  // Offsets take the row off the 16-byte and the 4-byte grid; the last pass
  // goes through a clone of a blitter that is gone by then.
  for (int offset : {0, 1, 3}) {
    auto blitter = offset == 3 ? GetParam().make()->clone() : GetParam().make();
    Row dst = m_dst;
    blitter->copy_row(dst.data() + offset, dst.data() + dst.size(), m_src.data(), 0, 0);
    expect_row(dst, offset, int32_t(dst.size()) - offset, [](int32_t i) { return i; });
  }
}

// The walks themselves are swept through the blits; here each kind takes one
// row of each walk, and empty rows write nothing.
TEST_P(RowBlitterKinds, ScaledMagnifiedAndTiledRowsSampleTheSource) {
  auto blitter = GetParam().make();
  // Scaled: pixel i samples (start + i * step) >> 10.
  Row dst(m_dst.begin(), m_dst.begin() + 45);
  blitter->scaled_row(dst.data(), dst.data() + 37, m_src.data(), 5 * 1024 + 300, 2500, 0);
  expect_row(dst, 0, 37, [](int32_t i) { return (5 * 1024 + 300 + i * 2500) >> 10; });
  // Magnified: x counts up from start, pixel i samples x >> shift.
  dst.assign(m_dst.begin(), m_dst.begin() + 45);
  blitter->magnified_row(dst.data() + 1, m_src.data(), 7, 43, 1, 0);
  expect_row(dst, 1, 43, [](int32_t i) { return (7 + i) >> 1; });
  // Tiled: x goes back to `from` on reaching `at`, also from a start past it.
  for (const auto [start, count, shift, from, at] :
       {std::array{3, 40, 1, 2, 9}, {30, 6, 0, 4, 6}}) {
    dst.assign(m_dst.begin(), m_dst.begin() + count + 1);
    blitter->tiled_magnified_row(dst.data(), m_src.data(), start, count, shift, from, at, 0);
    expect_row(dst, 0, count, [&](int32_t i) {
      int32_t x = start;
      while (i-- > 0) x = x + 1 >= at ? from : x + 1;
      return x >> shift;
    });
  }
  dst = {1, 2, 3};
  blitter->copy_row(dst.data(), dst.data(), m_src.data(), 0, 0);
  blitter->scaled_row(dst.data(), dst.data(), m_src.data(), 0, 1024, 0);
  blitter->magnified_row(dst.data(), m_src.data(), 0, -4, 1, 0);
  blitter->tiled_magnified_row(dst.data(), m_src.data(), 0, 0, 0, 0, 2, 0);
  EXPECT_EQ(dst, (Row{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RowBlitterKinds, ::testing::ValuesIn(all_kinds()),
                         [](const auto& info) { return info.param.name; });

// The vector bodies come in several widths, one chosen at run time: each the
// processor has must follow the rule, with the narrower steps and single
// pixels that finish a row (every length to 100, and a long one).
template <typename R>
void expect_every_width(const R& rule, const Rule& reference) {
  std::vector<blend::SpanRoutine<R>> routines = {&blend::span_generic<R>};
#ifdef LV_BLEND_X86_DISPATCH
  if (__builtin_cpu_supports("avx2")) routines.push_back(&blend::span_avx2<R>);
  if (__builtin_cpu_supports("avx512bw")) routines.push_back(&blend::span_avx512<R>);
#endif
  const Row spread = pixel_spread();
  std::mt19937 rng(7);
  Row src(4200), dst0(4200);
  for (size_t i = 0; i < src.size(); ++i)
    src[i] = spread[rng() % spread.size()], dst0[i] = spread[rng() % spread.size()];
  for (size_t r = 0; r < routines.size(); ++r)
    for (int32_t offset : {0, 1, 3})
      for (int32_t n = 0; n <= 101; ++n) {
        if (n == 101) n = 4099;
        Row dst = dst0;
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
  expect_every_width(blend::ChangedPixel{}, kChangedRule);
  for (uint32_t f : {0x40u, 0x80u, 0x100u, 0x1C0u}) {
    auto mask = [f](uint32_t bit) { return uint16_t(f & bit ? 0xFFFF : 0); };
    expect_every_width(blend::Accumulate{mask(0x100), mask(0x80), mask(0x40)}, accumulate(f));
  }
}

TEST(RowBlitter, CacheAlphaChoosesTheBlitter) {
  uint16_t key = kKey, seven = 7;
  blitter_for_cache_alpha(-1)->copy_row(&seven, &seven + 1, &key, 0, 0);
  EXPECT_EQ(seven, kKey) << "-1 copies, keys and all";
  // alpha / 64 picks key, quarter, half, three-quarter or opaque only.
  for (const auto [alpha, kind] : {std::pair{0, 0},
                                   {63, 0},
                                   {64, 1},
                                   {127, 1},
                                   {128, 2},
                                   {192, 3},
                                   {255, 3},
                                   {256, 4},
                                   {100000, 4},
                                   {-2, 0},
                                   {INT32_MIN, 0}}) {
    auto b = blitter_for_cache_alpha(alpha);
    auto* shared = dynamic_cast<SharedBlitter*>(b.get());
    ASSERT_NE(shared, nullptr) << alpha;
    EXPECT_EQ(shared->kind(), static_cast<SharedKind>(kind)) << alpha;
  }
}

}  // namespace
}  // namespace lv
