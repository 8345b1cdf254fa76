// The image screen of the default skin on a 480 x 800 screen with its real
// tile worker: from the tap on a 48 MP picture (its cache file made before
// timing) to the first frame, and to the first frame in which the whole
// screen is sharp; and from a step to the next picture (prepared while the
// first was looked at) to its first sharp frame. Frames run as the main
// loop runs them (the timer step, then drawing what changed), with a short
// pause between them. Medians of several runs; prints "figure:" lines.

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "library/cache_build.h"
#include "library/photo_library.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "screen_bench_util.h"
#include "screens/big_picture.h"
#include "screens/image_screen.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "widgets/screen_host.h"
#include "widgets/widget_types.h"

namespace {

using bench::median;

namespace fs = std::filesystem;

constexpr int kWidth = 480;
constexpr int kHeight = 800;
uint32_t g_clock_ms = 1000;

class Frames {
 public:
  explicit Frames(lv::ImageScreen& screen) : m_screen(screen), m_target(kWidth, kHeight) {}

  void frame() {
    const double now = bench::now_ms();
    const double dt = std::clamp((now - m_last) / 1000.0, 0.001, 0.1);
    m_last = now;
    g_clock_ms = static_cast<uint32_t>(now);
    m_screen.on_timer(dt);
    m_screen.repaint(m_target, {kWidth, kHeight});
  }
  bool sharp() { return m_screen.viewer().element(lv::PictureViewer::current).sharp(); }
  // Frames until the current picture is sharp; how many, or -1.
  int until_sharp(double limit_ms) {
    const double start = bench::now_ms();
    for (int n = 1;; ++n) {
      frame();
      if (sharp()) return n;
      if (bench::now_ms() - start > limit_ms) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  lv::ImageScreen& m_screen;
  lv::RenderSurface m_target;
  double m_last = bench::now_ms();
};

}  // namespace

int main() {
  const fs::path root =
      fs::temp_directory_path() / ("lumiview_image_bench." + std::to_string(getpid()));
  const fs::path folder = root / "card" / "DCIM";
  fs::create_directories(folder);
  bench::use_device(root);
  const std::u16string drive = lv::from_utf8((root / "card").string() + "/");

  std::vector<std::u16string> pictures;
  for (int i = 0; i < 3; ++i) {
    const fs::path path = folder / ("IMG_000" + std::to_string(i) + ".JPG");
    const std::vector<uint8_t> jpeg = bench::photo_like(8000, 6000, 48 + i);
    if (!bench::write_bytes(path, jpeg.data(), jpeg.size()) ||
        lv::make_cache_file(lv::from_utf8(path.string()), drive) != lv::CacheBuildResult::built) {
      std::fprintf(stderr, "image_bench: cannot make %s\n", path.c_str());
      return 1;
    }
    pictures.push_back(lv::from_utf8(path.string()));
  }

  lv::register_widget_types();
  const lv::BigPictureType big_picture;
  lv::Properties skin;
  lv::ScreenInfo info = bench::BenchApp({kWidth, kHeight}).screen_info();
  if (!skin.load_skin(lv::from_utf8(LUMIVIEW_BINARY_DIR "/skins/bin/default.skin"), info) ||
      !skin.language().load(lv::from_utf8(LUMIVIEW_BINARY_DIR "/english.lng"))) {
    std::fprintf(stderr, "image_bench: the default skin does not load\n");
    return 1;
  }
  lv::platform::set_tick_source([] { return g_clock_ms; });
  bench::BenchHost host({kWidth, kHeight}, g_clock_ms);
  lv::set_screen_host(&host);

  int status = 0;
  {
    lv::PhotoLibrary::Options options;
    options.worker = lv::PhotoLibrary::Worker::manual;
    lv::PhotoLibrary library(std::move(options));
    bench::BenchApp app({kWidth, kHeight});
    lv::ImageScreen screen(skin, library, app);
    std::vector<double> first_frame, sharp, step;
    for (int run = 0; run < 7; ++run) {
      Frames frames(screen);
      const double tap = bench::now_ms();
      screen.open(pictures, 0, drive);
      frames.frame();
      first_frame.push_back(bench::now_ms() - tap);
      if (frames.until_sharp(30000) < 0) {
        std::fprintf(stderr, "image_bench: never sharp\n");
        status = 1;
        break;
      }
      sharp.push_back(bench::now_ms() - tap);
      // Let the neighbour be made, as while the user looks at the picture.
      for (int i = 0; i < 200 && !screen.viewer().element(lv::PictureViewer::next).sharp(); ++i) {
        frames.frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      screen.viewer().set_right();
      step.push_back(frames.until_sharp(30000));
      screen.leave();
    }
    if (status == 0) {
      bench::figure("image_open_to_first_frame_48mp", median(first_frame), "ms", "<= 16");
      bench::figure("image_open_to_sharp_48mp", median(sharp), "ms", "<= 100");
      bench::figure("image_step_to_sharp", median(step), "frames", "<= 1");
    }
  }
  lv::set_screen_host(nullptr);
  lv::platform::set_tick_source({});
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
