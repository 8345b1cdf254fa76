// Blitter throughput against memcpy of the same bytes, measured in the same
// run so that the ratios hold on any machine. Prints one "figure:" line per
// measurement.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "bench_figures.h"
#include "skin/blit.h"
#include "skin/dim.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace {

using bench::figure;

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 800;
constexpr int kRepsPerSample = 20;
constexpr int kSamples = 31;

using Clock = std::chrono::steady_clock;

// Median microseconds of one call of `op`, over kSamples batches.
double median_us(const std::function<void()>& op) {
  op();  // warm the caches and the branch predictors
  std::vector<double> samples;
  for (int s = 0; s < kSamples; ++s) {
    const auto start = Clock::now();
    for (int r = 0; r < kRepsPerSample; ++r) op();
    const std::chrono::duration<double, std::micro> took = Clock::now() - start;
    samples.push_back(took.count() / kRepsPerSample);
  }
  std::nth_element(samples.begin(), samples.begin() + kSamples / 2, samples.end());
  return samples[kSamples / 2];
}

// A picture as skins draw them: a third key, the rest split between opaque
// and see-through pixels in runs, as anti-aliased edges and shadows are.
std::unique_ptr<lv::Surface> skin_like_picture() {
  auto s = lv::Surface::create(kWidth, kHeight);
  std::mt19937 rng(2024);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint16_t* row = s->row(y);
    int32_t x = 0;
    while (x < kWidth) {
      const int32_t run = 1 + int32_t(rng() % 24);
      const uint32_t what = rng() % 3;
      for (int32_t i = 0; i < run && x < kWidth; ++i, ++x) {
        const uint16_t p = uint16_t(rng());
        row[x] = what == 0 ? 0xF81F : what == 1 ? uint16_t(p | 0x20) : uint16_t(p & 0x39C7);
      }
    }
  }
  return s;
}

}  // namespace

int main() {
  auto src = skin_like_picture();
  auto dst = lv::Surface::create(kWidth, kHeight);
  const size_t bytes = size_t(src->pitch()) * kHeight;
  const lv::Rect clip{0, 0, kWidth, kHeight};

  const lv::CopyBlitter copy;
  const lv::KeyBlitter key;
  const lv::KeyHalfBlitter half;
  const lv::Dimming dim8(8);

  auto run_blit = [&](const lv::RowBlitter& b) {
    return [&] { lv::blit(*dst, {0, 0}, {kWidth, kHeight}, *src, {0, 0}, clip, b); };
  };
  auto whole_memcpy = [&] { std::memcpy(dst->bytes(), src->bytes(), bytes); };
  // A rectangle inside the surface goes row by row.
  constexpr int32_t kInner = kWidth - 2;
  auto rows_memcpy = [&] { std::memcpy(dst->bytes(), src->bytes(), size_t(kInner) * 2 * kHeight); };
  // The reference is timed right before each operation: wide vector code
  // can lower the clock for a while, and an early reference would then make
  // every later ratio look worse than it is.
  auto ratio = [&](const std::function<void()>& reference, const std::function<void()>& op) {
    const double ref_us = median_us(reference);
    return median_us(op) / ref_us;
  };

  figure("memcpy_480x800_us", median_us(whole_memcpy), "us", "reference");
  figure("copy_blit_480x800", ratio(whole_memcpy, run_blit(copy)), "x memcpy", "<= 1.2");
  figure("copy_blit_478x800_by_rows",
         ratio(rows_memcpy,
               [&] {
                 lv::blit(*dst, {1, 0}, {kInner, kHeight}, *src, {1, 0}, clip, copy);
               }),
         "x memcpy", "report: one call per row against one call in all");
  figure("key_blit_478x800_by_rows",
         ratio(rows_memcpy,
               [&] {
                 lv::blit(*dst, {1, 0}, {kInner, kHeight}, *src, {1, 0}, clip, key);
               }),
         "x memcpy", "<= 2.5");
  figure("key_blit_480x800", ratio(whole_memcpy, run_blit(key)), "x memcpy", "<= 2.5");
  figure("key_half_blit_480x800", ratio(whole_memcpy, run_blit(half)), "x memcpy", "<= 2.5");
  figure("dim_level8_480x800",
         ratio(whole_memcpy,
               [&] {
                 lv::apply_to_rect(*dst, {0, 0}, {kWidth, kHeight}, clip, dim8);
               }),
         "x memcpy", "<= 2");
  return 0;
}
