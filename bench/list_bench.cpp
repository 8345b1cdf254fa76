// Scrolling a list of 100 rows and one of 100,000 rows at the same speed
// (a drag of 8 pixels per 20 ms frame, 400 px/s): the time of one whole
// frame (pointer move, timer step, layout and drawing of a 480 x 800 screen)
// for each, and their ratio. Only the rows in the band exist, so the two
// should cost the same. Prints "figure:" lines.
//
// The short list is dragged back and forth over its length; the long one
// is first moved to its middle and then dragged on in one direction, so
// that it keeps making new rows. The two are measured in turns, each the
// median of nine samples of 1,000 frames.

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "bench_figures.h"
#include "platform/text.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "skin/screen_info.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "widgets/list_element.h"
#include "widgets/screen_root.h"
#include "widgets/text_element.h"
#include "widgets/widget_types.h"

namespace {

using bench::figure;
using bench::median;
using bench::now_ms;

namespace fs = std::filesystem;

constexpr int kFramesPerSample = 1000;
constexpr int kSamples = 9;
constexpr int kStep = 8;  // pixels per frame
constexpr double kFrameSeconds = 0.02;

// A screen with a list under a title bar, and a row like the album's: a
// background, a pressed look, a picture-sized box and two lines of text.
constexpr const char* kSkin = R"({"nodes": {
 "Main": {"children": [
   {"string": {"type": "color", "id": "title", "anchor_y": "MIN_SIDE"},
    "point": {"design_size": [0, 60]}, "color": {"color": "#203040"}},
   {"string": {"type": "vlist", "id": "list"}, "point": {"border_min": [0, 60]},
    "children": [{"string": {"type": "color"}, "color": {"color": "#101010"}}]}]},
 "Row": {"point": {"design_size": [0, 72]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#f0f0f0"}},
   {"string": {"type": "color", "id": "#vlist_pressed"}, "color": {"color": "#4080ff"}},
   {"string": {"type": "color", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [4, 4], "design_size": [64, 64]}, "color": {"color": "#806040"}},
   {"string": {"type": "text", "id": "#text", "anchor_y": "MIN_SIDE", "halign": "LEFT"},
    "point": {"border_min": [76, 8], "design_size": [0, 28]},
    "font": {"font": "12 0 0 0 DejaVu Sans"}, "color": {"color": "#000000"}},
   {"string": {"type": "text", "id": "#count", "anchor_y": "MIN_SIDE", "halign": "LEFT"},
    "point": {"border_min": [76, 40], "design_size": [0, 24]},
    "font": {"font": "10 0 0 0 DejaVu Sans"}, "color": {"color": "#606060"}}]}
}})";

class BenchRow : public lv::ListRow {
 public:
  explicit BenchRow(const lv::Properties& properties) : m_properties(properties) {}
  void bind_row(lv::ListElement& list, bool created) override {
    if (created) build_from_node(list, m_properties, u"Row");
    set_text_by_id(u"#text", u"Folder " + lv::from_utf8(std::to_string(index())));
    set_text_by_id(u"#count", lv::from_utf8(std::to_string(index() % 97 + 1)) + u" pictures");
  }

 private:
  const lv::Properties& m_properties;
};

class Provider : public lv::ListProvider {
 public:
  explicit Provider(const lv::Properties& properties) : m_properties(properties) {}
  std::unique_ptr<lv::ListRow> create_row(lv::ListElement&, int32_t) override {
    ++created;
    return std::make_unique<BenchRow>(m_properties);
  }
  void row_clicked(lv::ListElement&, int32_t) override {}
  long created = 0;

 private:
  const lv::Properties& m_properties;
};

// One screen with its list, dragged by a held stylus.
class Scroller {
 public:
  Scroller(const lv::Properties& properties, int32_t count, bool ping_pong)
      : m_provider(properties), m_ping_pong(ping_pong) {
    m_root.build(properties, u"Main");
    m_list = dynamic_cast<lv::ListElement*>(m_root.find_by_id(u"list"));
    if (!m_list) std::abort();
    m_list->set_provider(&m_provider);
    m_list->reset(count);
    m_surface.recreate(480, 800);
    m_root.mark_redraw();
    m_root.repaint(m_surface, {480, 800});
    event(true, 700);
    m_y = 700;
    if (!ping_pong) {  // to the middle of the list in one move
      m_y -= count / 2 * 72;
      event(true, m_y, /*move=*/true);
      m_root.repaint(m_surface, {480, 800});
    }
  }

  void frame() {
    if (m_ping_pong) {
      // 100 rows of 72 pixels: turn before either end.
      if (m_travelled >= 6000) m_direction = -m_direction, m_travelled = 0;
      m_travelled += kStep;
    }
    m_y -= m_direction * kStep;
    m_time += 20;
    event(true, m_y, true);
    m_root.on_timer(kFrameSeconds);
    m_root.repaint(m_surface, {480, 800});
  }

  long rows_created() const { return m_provider.created; }
  size_t realised() const { return m_list->realised_count(); }

 private:
  void event(bool pressed, int32_t y, bool move = false) {
    lv::PointerEvent e;
    e.x = 240;
    e.y = y;
    e.time = m_time;
    e.pressed = pressed ? 1 : 0;
    if (move)
      m_root.on_pointer_move(e);
    else
      m_root.on_pointer_button(e);
  }

  Provider m_provider;
  lv::ScreenRoot m_root;
  lv::ListElement* m_list = nullptr;
  lv::RenderSurface m_surface;
  bool m_ping_pong;
  int m_direction = 1;
  int m_travelled = 0;
  int32_t m_y = 0;
  uint32_t m_time = 1000;
};

double sample_us(Scroller& scroller) {
  const double start = now_ms();
  for (int i = 0; i < kFramesPerSample; ++i) scroller.frame();
  return (now_ms() - start) * 1000.0 / kFramesPerSample;
}

}  // namespace

int main() {
  char folder_template[] = "/tmp/list_bench.XXXXXX";
  const char* folder = mkdtemp(folder_template);
  if (!folder) return 1;
  const fs::path root(folder);
  fs::create_directories(root / "src");
  {
    std::FILE* f = std::fopen((root / "src" / "skin.json").c_str(), "w");
    if (!f) return 1;
    std::fputs(kSkin, f);
    std::fclose(f);
  }
  lv::skinc::CompiledSkin compiled;
  std::string error;
  if (!lv::skinc::compile_skin(root / "src" / "skin.json", "bench", compiled, error) ||
      !lv::skinc::write_compiled_skin(compiled, root / "bin", error)) {
    std::fprintf(stderr, "list_bench: %s\n", error.c_str());
    return 1;
  }
  lv::register_widget_types();
  lv::Properties properties;
  lv::ScreenInfo screen;
  screen.width = 480;
  screen.height = 800;
  screen.dpi = 96;
  if (!properties.load_skin(lv::from_utf8((root / "bin" / "bench.skin").string()), screen)) {
    std::fprintf(stderr, "list_bench: the skin does not load\n");
    return 1;
  }

  Scroller short_list(properties, 100, true);
  Scroller long_list(properties, 100000, false);
  for (int i = 0; i < 100; ++i) {  // warm up both
    short_list.frame();
    long_list.frame();
  }
  std::vector<double> short_samples;
  std::vector<double> long_samples;
  size_t most_realised = 0;
  for (int s = 0; s < kSamples; ++s) {
    short_samples.push_back(sample_us(short_list));
    long_samples.push_back(sample_us(long_list));
    most_realised = std::max({most_realised, short_list.realised(), long_list.realised()});
  }
  const double short_us = median(short_samples);
  const double long_us = median(long_samples);
  figure("list_frame_100_rows_us", short_us, "us", "report");
  figure("list_frame_100000_rows_us", long_us, "us", "report");
  figure("list_frame_ratio", long_us / short_us, "x", "0.8 to 1.2");
  figure("list_rows_created_100000", double(long_list.rows_created()), "rows", "report");
  figure("list_rows_realised_max", double(most_realised), "rows", "report");

  lv::unregister_widget_types();
  fs::remove_all(root);
  return 0;
}
