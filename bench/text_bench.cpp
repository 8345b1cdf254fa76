// Drawing one line of text: microseconds per line and how often the glyphs
// come from the font's cache. Prints one "figure:" line per measurement.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench_figures.h"
#include "skin/canvas.h"
#include "skin/font.h"
#include "skin/surface.h"
#include "skin/text.h"

namespace {

using bench::figure;

constexpr int kLines = 1000;
constexpr int kSamples = 9;

using Clock = std::chrono::steady_clock;

}  // namespace

int main() {
  lv::FontDesc desc;  // the skins' usual font: Tahoma 12 points, as matched here
  const lv::FontRef font = lv::create_font(desc);
  if (!font->has_glyphs()) {
    std::fprintf(stderr, "text_bench: fontconfig finds no usable font\n");
    return 1;
  }
  auto surface = lv::Surface::create(480, 32);
  surface->fill(0xFFDF);
  lv::Canvas canvas(surface.get());
  const std::u16string line = u"IMG_2041.JPG, Sunday";  // 20 characters
  const lv::Color ink{16, 16, 16, 255};

  // Each sample draws the line kLines times, as a list redrawn while it
  // scrolls; the first sample also fills the cache.
  std::vector<double> samples;
  for (int s = 0; s < kSamples; ++s) {
    const auto start = Clock::now();
    for (int i = 0; i < kLines; ++i)
      lv::draw_text(font, canvas, ink, line, {4, 4}, {472, 24}, lv::HAlign::left,
                    lv::VAlign::vcenter, lv::Ellipsis::end);
    const std::chrono::duration<double, std::micro> took = Clock::now() - start;
    samples.push_back(took.count() / kLines);
  }
  std::nth_element(samples.begin(), samples.begin() + kSamples / 2, samples.end());
  const lv::GlyphCacheStats stats = font->cache_stats();
  const double lookups = double(stats.hits + stats.misses);

  figure("text_line_us", samples[kSamples / 2], "us", "report");
  figure("glyph_cache_hit_rate", lookups > 0 ? 100.0 * double(stats.hits) / lookups : 0.0, "%",
         "report");
  return 0;
}
