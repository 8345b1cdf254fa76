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
    using B = KeyedAccumulateBlitter;
    return s + (flags & B::kAddWhole ? d : 0) + (flags & B::kAddHalf ? halve(d) : 0) +
           (flags & B::kAddQuarter ? halve(halve(d)) : 0);
  };
}
const Rule kKeyRule = [](uint16_t s, uint16_t d) { return s == kKey ? d : s; };
const Rule kQuarterRule = see_through([](uint16_t d) { return halve(halve(d)); });
const Rule kHalfRule = see_through(halve);
const Rule kThreeQuarterRule = see_through([](uint16_t d) { return halve(d) + halve(halve(d)); });
const Rule kOpaqueOnlyRule = [](uint16_t s, uint16_t d) { return s != kKey && (s & 0x20) ? s : d; };
const Rule kChangedRule = [](uint16_t s, uint16_t d) { return s == d ? s : uint16_t(s | 0x20); };

// Every (source, destination) pair of a spread of pixels (key, key with bit
// 5, bit 5 set and clear, channel extremes, sums that carry between
// channels, and random pixels) in one row: long enough for every vector
// body, with an odd tail.
struct Pairs {
  Pairs() {
    Row v = {0x0000, 0xFFFF, kKey,   0xF83F, 0xF81E, 0x0020, 0xFFDF, 0x07E0, 0x07C0, 0x001F,
             0xF800, 0x7BEF, 0x8410, 0x0841, 0x1082, 0xA534, 0x5ACB, 0x0001, 0x0800, 0x39E7};
    std::mt19937 rng(565);
    for (int i = 0; i < 44; ++i) v.push_back(uint16_t(rng()));
    for (uint16_t s : v)
      for (uint16_t d : v) src.push_back(s), dst.push_back(d);
    src.push_back(kKey), dst.push_back(0x1234);
  }
  // Runs `blend(dst + offset, n)` over a copy of dst: only the span changes, by the rule.
  ::testing::AssertionResult follow(const Rule& rule, int offset, size_t n,
                                    const std::function<void(uint16_t*, size_t)>& blend) const {
    Row out = dst;
    blend(out.data() + offset, n);
    for (size_t i = 0; i < out.size(); ++i) {
      const bool inside = i >= size_t(offset) && i < offset + n;
      if (out[i] != (inside ? rule(src[i - offset], dst[i]) : dst[i]))
        return ::testing::AssertionFailure() << std::hex << "at " << i << " s=" << src[i - offset]
                                             << " d=" << dst[i] << " got " << out[i];
    }
    return ::testing::AssertionSuccess();
  }
  Row src, dst;
};

struct Kind {
  std::string name;
  std::function<std::unique_ptr<RowBlitter>()> make;
  Rule rule;
};

template <typename B, typename... Args>
Kind kind(std::string name, Rule rule, Args... args) {
  return {std::move(name), [=] { return std::unique_ptr<RowBlitter>(new B(args...)); }, rule};
}

std::vector<Kind> all_kinds() {
  std::vector<Kind> kinds = {kind<CopyBlitter>("copy", [](uint16_t s, uint16_t) { return s; }),
                             kind<KeyBlitter>("key", kKeyRule),
                             kind<KeyQuarterBlitter>("key_quarter", kQuarterRule),
                             kind<KeyHalfBlitter>("key_half", kHalfRule),
                             kind<KeyThreeQuarterBlitter>("key_three_quarter", kThreeQuarterRule),
                             kind<OpaqueOnlyBlitter>("opaque_only", kOpaqueOnlyRule),
                             kind<ChangedPixelBlitter>("changed_pixel", kChangedRule)};
  for (uint32_t f = 0; f < 8; ++f)
    kinds.push_back(kind<KeyedAccumulateBlitter>("accumulate_" + std::to_string(f << 6),
                                                 accumulate(f << 6), f << 6));
  // The shared instances, in table order.
  for (int i = 0; i < kSharedKindCount; ++i)
    kinds.push_back(kind<SharedBlitter>("shared_" + kinds[1 + i].name, kinds[1 + i].rule,
                                        static_cast<SharedKind>(i)));
  return kinds;
}

class RowBlitterKinds : public ::testing::TestWithParam<Kind> {};

// The row walks of the scaled, magnified and tiled rows are shared by every
// kind and checked through the blits.
TEST_P(RowBlitterKinds, CopyRowFollowsTheRuleForEveryPairAndAClone) {
  // Offsets take the row off the 16-byte and the 4-byte grid; the last pass
  // goes through a clone of a blitter that is gone by then.
  const Pairs pairs;
  for (int offset : {0, 1, 3}) {
    auto blitter = offset == 3 ? GetParam().make()->clone() : GetParam().make();
    EXPECT_TRUE(pairs.follow(
        GetParam().rule, offset, pairs.dst.size() - offset,
        [&](uint16_t* at, size_t n) { blitter->copy_row(at, at + n, pairs.src.data(), 0, 0); }))
        << offset;
  }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RowBlitterKinds, ::testing::ValuesIn(all_kinds()),
                         [](const auto& info) { return info.param.name; });

// The vector bodies come in several widths, one chosen at run time: the
// generic one and AVX2's (where the processor has it) follow the rule on
// each side of every width's boundary, off the word grid.
template <typename R>
void expect_every_width(const R& rule, const Rule& reference) {
  std::vector<blend::SpanRoutine<R>> routines = {&blend::span_generic<R>};
#ifdef LV_BLEND_X86_DISPATCH
  if (__builtin_cpu_supports("avx2")) routines.push_back(&blend::span_avx2<R>);
#endif
  static const Pairs pairs;
  for (const auto routine : routines)
    for (size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 25, 4093})
      ASSERT_TRUE(pairs.follow(reference, 3, n, [&](uint16_t* at, size_t) {
        routine(rule, at, int32_t(n), pairs.src.data());
      })) << n;
}

TEST(BlendLanes, EveryVectorWidthFollowsTheRules) {
  expect_every_width(blend::Key{}, kKeyRule);
  expect_every_width(blend::KeyQuarter{}, kQuarterRule);
  expect_every_width(blend::KeyHalf{}, kHalfRule);
  expect_every_width(blend::KeyThreeQuarter{}, kThreeQuarterRule);
  expect_every_width(blend::OpaqueOnly{}, kOpaqueOnlyRule);
  expect_every_width(blend::ChangedPixel{}, kChangedRule);
  for (uint16_t f : {0x40u, 0x80u, 0x100u, 0x1C0u})
    expect_every_width(
        blend::Accumulate{uint16_t(f & 0x100 ? 0xFFFF : 0), uint16_t(f & 0x80 ? 0xFFFF : 0),
                          uint16_t(f & 0x40 ? 0xFFFF : 0)},
        accumulate(f));
}

TEST(RowBlitter, CacheAlphaChoosesTheBlitter) {
  uint16_t key = kKey, seven = 7;
  blitter_for_cache_alpha(-1)->copy_row(&seven, &seven + 1, &key, 0, 0);
  EXPECT_EQ(seven, kKey) << "-1 copies, keys and all";
  // alpha / 64 picks key, quarter, half, three-quarter or opaque only.
  const int32_t cases[][2] = {{0, 0},   {63, 0},  {64, 1},     {127, 1}, {128, 2},      {192, 3},
                              {255, 3}, {256, 4}, {100000, 4}, {-2, 0},  {INT32_MIN, 0}};
  for (const auto [alpha, kind] : cases) {
    const auto blitter = blitter_for_cache_alpha(alpha);
    auto* shared = dynamic_cast<SharedBlitter*>(blitter.get());
    EXPECT_TRUE(shared && shared->kind() == static_cast<SharedKind>(kind)) << alpha;
  }
}

}  // namespace
}  // namespace lv
