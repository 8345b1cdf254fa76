// The folder screen of the default skin on a 480 x 800 screen, over a folder
// of 2,000 small pictures whose cache files are made before timing: flung
// up and down while the timer loads one thumbnail per tick, as a user
// scrolls a large folder that is still filling. The time of one whole frame
// (pointer events, the timer step with the library's poll and the
// thumbnail load, layout and drawing), its median and 95th percentile over
// the frames that load the whole folder, and the same once every thumbnail
// is loaded, for reference. Prints "figure:" lines.

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/libjpeg_codec.h"
#include "library/photo_library.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "screen_bench_util.h"
#include "screens/app_services.h"
#include "screens/folder_screen.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "skin/screen_info.h"
#include "widgets/list_element.h"
#include "widgets/screen_host.h"
#include "widgets/widget_types.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPictures = 2000;
constexpr int kWidth = 480;
constexpr int kHeight = 800;
constexpr uint32_t kFrameMs = 16;
constexpr int kReferenceFrames = 600;

uint32_t g_clock_ms = 1000;

// The stylus and the clock: flings that turn at either end of the grid.
class Flinger {
 public:
  explicit Flinger(lv::FolderScreen& screen) : m_screen(screen) {}

  // One frame: a new fling when the last has died down, the timer step and
  // the drawing. Answers its time in milliseconds.
  double frame(lv::RenderSurface& target) {
    const double start = bench::now_ms();
    lv::ListElement& list = m_screen.list();
    if (std::abs(list.velocity()) < 50) fling(list);
    g_clock_ms += kFrameMs;
    m_screen.on_timer(kFrameMs / 1000.0);
    m_screen.repaint(target, {kWidth, kHeight});
    return bench::now_ms() - start;
  }

 private:
  void fling(lv::ListElement& list) {
    // Towards the end of the grid until the last row shows, then back.
    if (list.next_index() == list.count()) m_up = false;
    if (list.above_index() == -1 && list.scroll_position() >= 0) m_up = true;
    const int32_t step = m_up ? -40 : 40;
    int32_t y = m_up ? 700 : 200;
    pointer(y, true, false);
    for (int i = 0; i < 5; ++i) {
      g_clock_ms += kFrameMs;
      y += step;
      pointer(y, true, true);
    }
    pointer(y, false, false);
  }
  void pointer(int32_t y, bool pressed, bool move) {
    lv::PointerEvent event;
    event.x = kWidth / 2;
    event.y = y;
    event.time = g_clock_ms;
    event.pressed = pressed ? 1 : 0;
    if (move)
      m_screen.on_pointer_move(event);
    else
      m_screen.on_pointer_button(event);
  }

  lv::FolderScreen& m_screen;
  bool m_up = true;
};

}  // namespace

int main() {
  const fs::path root =
      fs::temp_directory_path() / ("lumiview_folder_bench." + std::to_string(getpid()));
  const fs::path folder = root / "card" / "DCIM";
  fs::create_directories(folder);
  bench::use_device(root);

  const std::u16string drive = lv::from_utf8((root / "card").string() + "/");
  char name[32];
  for (int i = 0; i < kPictures; ++i) {
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
    const fs::path path = folder / name;
    if (!bench::make_cached_picture(path, drive, i + 1, 96, 72)) {
      std::fprintf(stderr, "folder_bench: cannot make %s\n", path.c_str());
      return 1;
    }
  }

  lv::register_widget_types();
  lv::Properties skin;
  lv::ScreenInfo info = bench::BenchApp({kWidth, kHeight}).screen_info();
  if (!skin.load_skin(lv::from_utf8(LUMIVIEW_BINARY_DIR "/skins/bin/default.skin"), info)) {
    std::fprintf(stderr, "folder_bench: the default skin does not load\n");
    return 1;
  }
  g_clock_ms = 1000;
  lv::platform::set_tick_source([] { return g_clock_ms; });
  bench::BenchHost host({kWidth, kHeight}, g_clock_ms);
  lv::set_screen_host(&host);

  int status = 0;
  {
    lv::PhotoLibrary::Options options;
    options.worker = lv::PhotoLibrary::Worker::manual;
    lv::PhotoLibrary library(std::move(options));
    bench::BenchApp app({kWidth, kHeight});
    lv::FolderScreen screen(skin, library, app);
    const std::u16string folder_path = lv::from_utf8(folder.string() + "/");
    screen.open({drive, folder_path, folder_path + u"IMG_0000.JPG", kPictures});
    lv::RenderSurface target(kWidth, kHeight);
    screen.mark_redraw();
    screen.repaint(target, {kWidth, kHeight});

    Flinger flinger(screen);
    std::vector<double> loading;
    while (screen.next_index() < screen.pictures().size()) loading.push_back(flinger.frame(target));
    std::vector<double> loaded;
    for (int i = 0; i < kReferenceFrames; ++i) loaded.push_back(flinger.frame(target));

    int shown = 0;
    for (size_t i = 0; i < screen.pictures().size(); ++i) shown += screen.thumbnail(i) ? 1 : 0;
    if (shown != kPictures) {
      std::fprintf(stderr, "folder_bench: %d of %d thumbnails loaded\n", shown, kPictures);
      status = 1;
    }
    bench::figure("folder_fling_loading_frame_median", bench::percentile(loading, 0.5), "ms",
                  "< 16.7 ms, one 60 Hz frame");
    bench::figure("folder_fling_loading_frame_p95", bench::percentile(loading, 0.95), "ms",
                  "< 16.7 ms, one 60 Hz frame");
    bench::figure("folder_fling_loaded_frame_median", bench::percentile(loaded, 0.5), "ms",
                  "reference: nothing left to load");
    bench::figure("folder_fling_loaded_frame_p95", bench::percentile(loaded, 0.95), "ms",
                  "reference: nothing left to load");
  }
  lv::set_screen_host(nullptr);
  lv::platform::set_tick_source({});
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
