#include "skin/dim.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <utility>

#include "skin/blend_rules.h"
#include "skin/rgb565.h"

namespace lv {

namespace {

// Words of two pixels each, four to an SSE2 register and eight to an AVX2
// one.
using Words16 = uint32_t __attribute__((vector_size(16)));
using Words32 = uint32_t __attribute__((vector_size(32)));

using rgb565::div16;
using rgb565::div16_unit;
using rgb565::div2;
using rgb565::div4;
using rgb565::div8;

// p * K / 16 per channel, as sums and differences of the halving terms; no
// term borrows or carries across a channel. The purely additive levels add
// the ÷16 unit (0x0861) to make up for the truncated terms.
template <int K, typename W>
LV_BLEND_INLINE constexpr W dim(W p) {
  const W unit = div16_unit<W>();
  if constexpr (K == 0) return rgb565::word_mask<W>(0);
  if constexpr (K == 1) return div16(p);
  if constexpr (K == 2) return div8(p);
  if constexpr (K == 3) return W(div4(p) - div16(p));
  if constexpr (K == 4) return div4(p);
  if constexpr (K == 5) return W(div16(p) + div4(p) + unit);
  if constexpr (K == 6) return W(div2(p) - div8(p));
  if constexpr (K == 7) return W(div2(p) - div16(p));
  if constexpr (K == 8) return div2(p);
  if constexpr (K == 9) return W(div16(p) + div2(p) + unit);
  if constexpr (K == 10) return W(div8(p) + div2(p) + unit);
  if constexpr (K == 11) return W(div16(p) + div8(p) + div2(p) + unit);
  if constexpr (K == 12) return W(p - div4(p));
  if constexpr (K == 13) return W(p - div4(p) + div16(p));
  if constexpr (K == 14) return W(p - div8(p));
  if constexpr (K == 15) return W(p - div16(p));
  if constexpr (K == 16) return p;
}

// A leading pixel off the 4-byte grid and a trailing odd pixel go alone with
// the 16-bit form; the body goes two pixels per 32-bit word, a vector of
// words at a time while they last.
template <int K, typename Vector>
LV_BLEND_INLINE void dim_words(uint16_t* begin, uint16_t* end) {
  if constexpr (K == 16) return;
  if (begin >= end) return;
  if (reinterpret_cast<uintptr_t>(begin) & 3) {
    *begin = dim<K, uint16_t>(*begin);
    ++begin;
  }
  constexpr std::ptrdiff_t lanes = sizeof(Vector) / 2;
  for (; end - begin >= lanes; begin += lanes) {
    Vector words;
    std::memcpy(&words, begin, sizeof words);
    words = dim<K, Vector>(words);
    std::memcpy(begin, &words, sizeof words);
  }
  for (; end - begin >= 2; begin += 2) {
    uint32_t pair;
    std::memcpy(&pair, begin, 4);
    pair = dim<K, uint32_t>(pair);
    std::memcpy(begin, &pair, 4);
  }
  if (begin < end) *begin = dim<K, uint16_t>(*begin);
}

using Routine = void (*)(uint16_t*, uint16_t*);

template <int K>
void dim_span(uint16_t* begin, uint16_t* end) {
  dim_words<K, Words16>(begin, end);
}

#ifdef LV_BLEND_X86_DISPATCH
template <int K>
__attribute__((target("avx2"))) void dim_span_avx2(uint16_t* begin, uint16_t* end) {
  dim_words<K, Words32>(begin, end);
}
#endif

template <int... K>
std::array<Routine, sizeof...(K)> make_table(std::integer_sequence<int, K...>) {
#ifdef LV_BLEND_X86_DISPATCH
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return {&dim_span_avx2<K>...};
#endif
  return {&dim_span<K>...};
}

const std::array<Routine, Dimming::kLevels>& routines() {
  static const auto table = make_table(std::make_integer_sequence<int, Dimming::kLevels>{});
  return table;
}

template <int... K>
constexpr auto make_pixel_table(std::integer_sequence<int, K...>) {
  return std::array<uint16_t (*)(uint16_t), sizeof...(K)>{&dim<K, uint16_t>...};
}
constexpr auto kPixelRules = make_pixel_table(std::make_integer_sequence<int, Dimming::kLevels>{});

}  // namespace

Dimming::Dimming(int32_t level)
    : m_level(std::clamp<int32_t>(level, 0, kLevels - 1)), m_routine(routines()[m_level]) {}

Dimming Dimming::from_alpha(int32_t alpha) {
  return Dimming(std::clamp<int64_t>((int64_t{alpha} + 8) / 16, 0, kLevels - 1));
}

uint16_t Dimming::dim_pixel(int32_t level, uint16_t p) {
  return kPixelRules[std::clamp<int32_t>(level, 0, kLevels - 1)](p);
}

}  // namespace lv
