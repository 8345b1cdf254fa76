// The vector bodies of the blitters come in several widths, one chosen at run
// time; each available width must give exactly the table's rule, including
// the narrower steps and single pixels that finish a row.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "blend_reference.h"
#include "skin/blend_rules.h"

namespace lv {
namespace {

using namespace lv::test;

template <typename Rule>
struct Variant {
  const char* name;
  bool available;
  blend::SpanRoutine<Rule> routine;
};

template <typename Rule>
std::vector<Variant<Rule>> variants() {
  std::vector<Variant<Rule>> v = {{"generic", true, &blend::span_generic<Rule>}};
#ifdef LV_BLEND_X86_DISPATCH
  v.push_back({"avx2", __builtin_cpu_supports("avx2") != 0, &blend::span_avx2<Rule>});
  v.push_back({"avx512", __builtin_cpu_supports("avx512bw") != 0, &blend::span_avx512<Rule>});
#endif
  return v;
}

template <typename Rule>
void check_every_width(const Rule& rule, const std::function<uint16_t(uint16_t, uint16_t)>& ref) {
  const auto spread = pixel_spread();
  std::mt19937 rng(7);
  std::vector<uint16_t> src(4200), dst0(4200);
  for (size_t i = 0; i < src.size(); ++i) {
    src[i] = spread[rng() % spread.size()];
    dst0[i] = spread[rng() % spread.size()];
  }
  std::vector<int32_t> lengths;
  for (int32_t n = 0; n <= 100; ++n) lengths.push_back(n);
  lengths.push_back(4099);
  for (const auto& variant : variants<Rule>()) {
    if (!variant.available) continue;
    for (int32_t offset : {0, 1, 3})
      for (int32_t n : lengths) {
        std::vector<uint16_t> dst = dst0;
        variant.routine(rule, dst.data() + offset, n, src.data() + 2 * offset);
        for (int32_t i = 0; i < int32_t(dst.size()); ++i) {
          const bool inside = i >= offset && i < offset + n;
          const uint16_t expected = inside ? ref(src[i + offset], dst0[i]) : dst0[i];
          ASSERT_EQ(dst[i], expected)
              << variant.name << " length " << n << " offset " << offset << " at " << i;
        }
      }
  }
}

TEST(BlendLanes, EveryVectorWidthFollowsTheRules) {
  check_every_width(blend::Key{}, key_rule);
  check_every_width(blend::KeyQuarter{}, key_quarter_rule);
  check_every_width(blend::KeyHalf{}, key_half_rule);
  check_every_width(blend::KeyThreeQuarter{}, key_three_quarter_rule);
  check_every_width(blend::OpaqueOnly{}, opaque_only_rule);
  check_every_width(blend::ChangedPixel{}, changed_pixel_rule);
  for (uint32_t flags : {0u, 0x40u, 0x80u, 0x100u, 0x1C0u}) {
    const blend::Accumulate rule{uint16_t((flags & 0x100) ? 0xFFFF : 0),
                                 uint16_t((flags & 0x80) ? 0xFFFF : 0),
                                 uint16_t((flags & 0x40) ? 0xFFFF : 0)};
    check_every_width(rule,
                      [flags](uint16_t s, uint16_t d) { return accumulate_rule(flags, s, d); });
  }
}

}  // namespace
}  // namespace lv
