#pragma once

// The per-pixel rules of the row blitters and the row loops that apply them.
// Internal to the blitter implementation files.
//
// Every rule is written once as mask arithmetic over a word type V: either a
// single pixel (uint16_t) or a vector of pixels. Decisions are
// all-ones/all-zeros masks, so the same expression serves both and the body
// of a row runs a vector of pixels per step without branches,
// multiplications or unpacking. On x86-64 the widest vectors the processor
// offers are chosen once at run time.

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "skin/rgb565.h"

// The helpers must inline into the wider-vector variants, which are compiled
// for another instruction set than their callers.
#define LV_BLEND_INLINE inline __attribute__((always_inline))

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LV_BLEND_X86_DISPATCH 1
#endif

// The wide-vector helpers are always inlined, so the calling convention for
// vector arguments that GCC warns about never comes into play. (Left off for
// the rest of the including file: the templates are instantiated at its end.)
#pragma GCC diagnostic ignored "-Wpsabi"

namespace lv::blend {

using Lanes = uint16_t __attribute__((vector_size(16)));
using Lanes32 = uint16_t __attribute__((vector_size(32)));
using Lanes64 = uint16_t __attribute__((vector_size(64)));
inline constexpr int32_t kLaneCount = 8;

template <typename V>
LV_BLEND_INLINE V splat(uint16_t x) {
  if constexpr (std::is_same_v<V, uint16_t>)
    return x;
  else
    return V{} + x;
}

// All ones where a == b.
template <typename V>
LV_BLEND_INLINE V equal_mask(const V& a, const V& b) {
  if constexpr (std::is_same_v<V, uint16_t>)
    return a == b ? 0xFFFF : 0;
  else
    return (V)(a == b);
}

// a where mask is set, else b.
template <typename V>
LV_BLEND_INLINE V select(const V& mask, const V& a, const V& b) {
  return static_cast<V>((a & mask) | (b & static_cast<V>(~mask)));
}

template <typename V>
LV_BLEND_INLINE V halved(const V& d) {
  return static_cast<V>((d & splat<V>(rgb565::kHalfMask)) >> 1);
}
template <typename V>
LV_BLEND_INLINE V quartered(const V& d) {
  return static_cast<V>((d & splat<V>(rgb565::kQuarterMask)) >> 2);
}
template <typename V>
LV_BLEND_INLINE V key_mask(const V& s) {
  return equal_mask(s, splat<V>(rgb565::kKey));
}
template <typename V>
LV_BLEND_INLINE V opaque_mask(const V& s) {
  const V bit = splat<V>(rgb565::kOpaqueBit);
  return equal_mask(static_cast<V>(s & bit), bit);
}

// Key -> d, opaque -> s, see-through -> the blend.
template <typename V>
LV_BLEND_INLINE V see_through(const V& s, const V& d, const V& blended) {
  return select(key_mask(s), d, select(opaque_mask(s), s, blended));
}

struct Copy {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V&) const {
    return s;
  }
};

struct Key {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    return select(key_mask(s), d, s);
  }
};

struct KeyQuarter {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    return see_through(s, d, static_cast<V>(s + quartered(d)));
  }
};

struct KeyHalf {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    return see_through(s, d, static_cast<V>(s + halved(d)));
  }
};

struct KeyThreeQuarter {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    const V h = halved(d);
    return see_through(s, d, static_cast<V>(s + h + halved(h)));
  }
};

// The key has bit 5 clear, so "opaque" already excludes it.
static_assert(!rgb565::is_opaque(rgb565::kKey));
struct OpaqueOnly {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    return select(opaque_mask(s), s, d);
  }
};

struct ChangedPixel {
  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    return static_cast<V>(s | (splat<V>(rgb565::kOpaqueBit) & static_cast<V>(~equal_mask(s, d))));
  }
};

// Keyed accumulate; the flags become masks once per row.
struct Accumulate {
  uint16_t whole;
  uint16_t half;
  uint16_t quarter;

  template <typename V>
  LV_BLEND_INLINE V operator()(const V& s, const V& d) const {
    const V h = halved(d);
    const V sum = static_cast<V>(s + (d & splat<V>(whole)) + (h & splat<V>(half)) +
                                 (halved(h) & splat<V>(quarter)));
    const V opaque = static_cast<V>(d | splat<V>(rgb565::kOpaqueBit));
    return select(key_mask(s), splat<V>(rgb565::kKey), select(opaque_mask(s), opaque, sum));
  }
};

// Applies `rule` to n destination pixels, the source pixels coming one by
// one from `next` in order.
template <typename Rule, typename Next>
inline void combine(const Rule& rule, uint16_t* dst, int32_t n, Next&& next) {
  int32_t i = 0;
  for (; i + kLaneCount <= n; i += kLaneCount) {
    uint16_t gathered[kLaneCount];
    for (auto& p : gathered) p = next();
    if constexpr (std::is_same_v<Rule, Copy>) {
      std::memcpy(dst + i, gathered, sizeof gathered);
    } else {
      Lanes s, d;
      std::memcpy(&s, gathered, sizeof s);
      std::memcpy(&d, dst + i, sizeof d);
      const Lanes r = rule(s, d);
      std::memcpy(dst + i, &r, sizeof r);
    }
  }
  for (; i < n; ++i) dst[i] = rule(next(), dst[i]);
}

// The same for a contiguous source, loaded a vector at a time: the widest
// vector L first, then the narrower ones on what is left, then one by one.
template <typename L, typename... Narrower, typename Rule>
LV_BLEND_INLINE void combine_lanes(const Rule& rule, uint16_t* dst, int32_t n,
                                   const uint16_t* src) {
  constexpr int32_t lanes = sizeof(L) / 2;
  int32_t i = 0;
  for (; i + lanes <= n; i += lanes) {
    L s, d;
    std::memcpy(&s, src + i, sizeof s);
    std::memcpy(&d, dst + i, sizeof d);
    const L r = rule(s, d);
    std::memcpy(dst + i, &r, sizeof r);
  }
  if constexpr (sizeof...(Narrower) > 0) {
    combine_lanes<Narrower...>(rule, dst + i, n - i, src + i);
  } else {
    for (; i < n; ++i) dst[i] = rule(src[i], dst[i]);
  }
}

template <typename Rule>
using SpanRoutine = void (*)(const Rule&, uint16_t*, int32_t, const uint16_t*);

template <typename Rule>
void span_generic(const Rule& rule, uint16_t* dst, int32_t n, const uint16_t* src) {
  combine_lanes<Lanes>(rule, dst, n, src);
}

#ifdef LV_BLEND_X86_DISPATCH
template <typename Rule>
__attribute__((target("avx2"))) void span_avx2(const Rule& rule, uint16_t* dst, int32_t n,
                                               const uint16_t* src) {
  combine_lanes<Lanes32, Lanes>(rule, dst, n, src);
}

template <typename Rule>
__attribute__((target("avx512f,avx512bw"))) void span_avx512(const Rule& rule, uint16_t* dst,
                                                             int32_t n, const uint16_t* src) {
  combine_lanes<Lanes64, Lanes32, Lanes>(rule, dst, n, src);
}
#endif

template <typename Rule>
SpanRoutine<Rule> pick_span_routine() {
#ifdef LV_BLEND_X86_DISPATCH
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return &span_avx512<Rule>;
  if (__builtin_cpu_supports("avx2")) return &span_avx2<Rule>;
#endif
  return &span_generic<Rule>;
}

template <typename Rule>
inline void combine_span(const Rule& rule, uint16_t* dst, int32_t n, const uint16_t* src) {
  if (n <= 0) return;
  if constexpr (std::is_same_v<Rule, Copy>) {
    // Rows of one surface may overlap when it is blitted onto itself.
    const bool apart = dst + n <= src || src + n <= dst;
    if (apart)
      std::memcpy(dst, src, size_t(n) * 2);
    else
      std::memmove(dst, src, size_t(n) * 2);
  } else {
    static const SpanRoutine<Rule> routine = pick_span_routine<Rule>();
    routine(rule, dst, n, src);
  }
}

template <typename Rule>
inline void scaled_span(const Rule& rule, uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                        int32_t start, int32_t step) {
  int64_t pos = start;
  combine(rule, dst, static_cast<int32_t>(dst_end - dst), [&] {
    const uint16_t p = src_row[pos >> 10];
    pos += step;
    return p;
  });
}

template <typename Rule>
inline void magnified_span(const Rule& rule, uint16_t* dst, const uint16_t* src_row,
                           int32_t start_x, int32_t count, int32_t shift) {
  if (count <= 0) return;
  if (shift == 0) return combine_span(rule, dst, count, src_row + start_x);
  int32_t x = start_x;
  combine(rule, dst, count, [&] { return src_row[x++ >> shift]; });
}

// Runs up to the wrap point, then again from wrap_from. A start at or past
// wrap_at wraps after its first pixel rather than running off the row.
template <typename Rule>
inline void tiled_span(const Rule& rule, uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                       int32_t count, int32_t shift, int32_t wrap_from, int32_t wrap_at) {
  int32_t x = start_x;
  while (count > 0) {
    int32_t run = wrap_at - x;
    if (run < 1) run = 1;
    if (run > count) run = count;
    magnified_span(rule, dst, src_row, x, run, shift);
    dst += run;
    count -= run;
    x = wrap_from;
  }
}

}  // namespace lv::blend
