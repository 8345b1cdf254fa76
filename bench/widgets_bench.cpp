// A screen of 200 elements (texts, images, tables, colours) at 480 x 800,
// built from a generated skin: the first layout and drawing, a repaint with
// nothing changed, and a repaint after one text changed. Prints one
// "figure:" line per measurement.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "platform/text.h"
#include "skin/font.h"
#include "skin/png_writer.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "widgets/screen_root.h"
#include "widgets/text_element.h"
#include "widgets/widget_types.h"

namespace {

using bench::figure;
using bench::median;

using Clock = std::chrono::steady_clock;

constexpr int kRows = 28;  // 7 elements each, plus 4 around them: 200
constexpr int kSamples = 9;
constexpr int kRepaints = 2000;

double micros_since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::string row_node(int i) {
  const std::string n = std::to_string(i);
  return R"({"string": {"type": "htable", "id": "row)" + n + R"("}, "integer": {"cache": 1},
    "point": {"design_size": [0, 28]}, "children": [
    {"string": {"type": "image", "anchor_y": "CENTER"}, "integer": {"grow": 1},
     "picture": {"src": "art/thumb"}, "point": {"border_min": [4, 0], "border_max": [4, 0]}},
    {"string": {"type": "vtable"}, "integer": {"table_ratio": 1}, "children": [
      {"string": {"type": "text", "id": "title)" +
         n + R"(", "text": "Holiday folder )" + n + R"(", "halign": "LEFT"},
       "integer": {"grow": 1, "ellipsis": 1}, "font": {"font": "10 1 0 0 DejaVu Sans"}},
      {"string": {"type": "text", "text": "/media/card/DCIM/10)" +
         n + R"(CANON", "halign": "LEFT"},
       "integer": {"grow": 1, "ellipsis": 1}, "font": {"font": "8 0 0 0 DejaVu Sans"},
       "color": {"color": "#606060"}}]},
    {"string": {"type": "color", "anchor_y": "CENTER"}, "color": {"color": "#3070c0"},
     "point": {"design_size": [6, 16], "border_max": [4, 0]}},
    {"string": {"type": "text", "text": ")" +
         std::to_string(i * 37 % 500) + R"( pictures"},
     "integer": {"grow": 1}, "font": {"font": "8 0 0 0 DejaVu Sans"},
     "point": {"border_max": [6, 0]}}]})";
}

std::string skin_source() {
  std::string rows;
  for (int i = 0; i < kRows; ++i) rows += (i ? ",\n" : "") + row_node(i);
  return R"({"nodes": {"Main": {"children": [
    {"string": {"type": "color"}, "color": {"color": "#f4f4f0"}},
    {"string": {"type": "vtable", "anchor_y": "MIN_SIDE"}, "children": [
      {"string": {"type": "text", "text": "Albums", "halign": "LEFT"}, "integer": {"grow": 1},
       "font": {"font": "12 1 0 0 DejaVu Sans"}, "point": {"border_min": [6, 2]}},
      )" +
         rows + "]}]}}}";
}

bool build_skin(const std::filesystem::path& folder, lv::Properties& properties) {
  std::filesystem::create_directories(folder / "src" / "art");
  auto thumb = lv::Surface::create(24, 24);
  for (uint32_t y = 0; y < 24; ++y)
    for (uint32_t x = 0; x < 24; ++x) thumb->set_pixel(x, y, uint16_t((x * 2048 + y * 64) | 0x20));
  if (!lv::write_png(lv::from_utf8((folder / "src" / "art" / "thumb.png").string()), *thumb))
    return false;
  std::ofstream(folder / "src" / "skin.json") << skin_source();
  lv::skinc::CompiledSkin compiled;
  std::string error;
  if (!lv::skinc::compile_skin(folder / "src" / "skin.json", "bench", compiled, error) ||
      !lv::skinc::write_compiled_skin(compiled, folder / "bin", error)) {
    std::fprintf(stderr, "widgets_bench: %s\n", error.c_str());
    return false;
  }
  lv::ScreenInfo screen;
  screen.width = 480;
  screen.height = 800;
  return properties.load_skin(lv::from_utf8((folder / "bin" / "bench.skin").string()), screen);
}

int count_elements(const lv::Element& e) {
  int n = 1;
  for (size_t i = 0; i < e.child_count(); ++i) n += count_elements(e.child(i));
  return n;
}

}  // namespace

int main() {
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/widgets-bench-XXXXXX";
  if (!mkdtemp(templ.data())) return 1;
  const std::filesystem::path folder = templ;
  lv::Properties properties;
  lv::register_widget_types();
  if (!build_skin(folder, properties)) {
    std::fprintf(stderr, "widgets_bench: the generated skin does not load\n");
    return 1;
  }
  const lv::Size size{480, 800};
  lv::RenderSurface target(size.width, size.height);

  // The first layout and drawing of a freshly built screen. The glyph
  // caches are warm after the first sample, as on a screen shown again.
  std::vector<double> first;
  int elements = 0;
  for (int s = 0; s < kSamples; ++s) {
    lv::ScreenRoot root;
    root.build(properties, u"Main");
    elements = count_elements(root);
    const auto start = Clock::now();
    root.repaint(target, size);
    first.push_back(micros_since(start));
  }

  lv::ScreenRoot root;
  root.build(properties, u"Main");
  root.repaint(target, size);
  std::vector<double> still, changed, forced;
  for (int s = 0; s < kSamples; ++s) {
    auto start = Clock::now();
    int drawn = 0;
    for (int i = 0; i < kRepaints; ++i) drawn += root.repaint(target, size);
    still.push_back(micros_since(start) / kRepaints);
    if (drawn != 0) std::fprintf(stderr, "widgets_bench: a still screen was drawn again\n");

    // Drawn anyway (a target that keeps no pixels): no layout work, and the
    // cached rows are blits.
    start = Clock::now();
    for (int i = 0; i < kRepaints / 20; ++i) {
      root.layout(size);
      root.draw_element(target, {0, 0});
    }
    forced.push_back(micros_since(start) / (kRepaints / 20));

    const int changes = kRepaints / 20;
    double total = 0;
    for (int i = 0; i < changes; ++i) {
      auto& title = dynamic_cast<lv::TextElement&>(
          root.find_required(u"title" + lv::from_utf8(std::to_string(i % kRows))));
      title.set_text(u"Renamed folder " + lv::from_utf8(std::to_string(s * changes + i)));
      start = Clock::now();
      root.repaint(target, size);
      total += micros_since(start);
    }
    changed.push_back(total / changes);
  }

  std::filesystem::remove_all(folder);
  const double first_us = median(first);
  const double still_us = median(still);
  figure("widgets elements on the screen", elements, "", "200");
  figure("widgets first layout and draw", first_us / 1000.0, "ms", "report");
  figure("widgets repaint, nothing changed", still_us * 1000.0, "ns", "report");
  figure("widgets repaint, nothing changed / first", 100.0 * still_us / first_us, "%", "< 5");
  figure("widgets full redraw, nothing changed / first", 100.0 * median(forced) / first_us, "%",
         "report");
  figure("widgets repaint after one text changed", median(changed) / 1000.0, "ms", "report");
  figure("widgets repaint after one text changed / first", 100.0 * median(changed) / first_us, "%",
         "report");
  lv::unregister_widget_types();
  return 0;
}
