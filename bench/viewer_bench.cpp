// The picture viewer on a 480 x 800 view with its real tile worker: how
// soon a picture is sharp after it is opened, after a jump to its corner at
// full size, the frame time while flinging, and the memory a pan over a
// 100 MP picture costs. Pictures are made at run time (a photo-like 48 MP
// picture, a 100 MP one through cjpeg, a progressive 24 MP one through
// jpegtran) with their cache files. Each time is the median of several
// runs; where a reference exists (one libjpeg-turbo decode of the same
// picture) the ratio is printed too.

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "screens/big_picture.h"
#include "screens/picture_viewer.h"
#include "skin/render_surface.h"
#include "skin/surface.h"
#include "widgets/screen_root.h"

namespace {

using bench::median;

namespace fs = std::filesystem;
using bench::figure;
using bench::now_ms;

constexpr lv::Size kView{480, 800};

// Resident memory of the process, in MB.
double resident_mb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

bool write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  return bench::write_bytes(path, bytes.data(), bytes.size());
}

// The picture's cache file, made in a child process so that the memory the
// build takes is not counted against the viewer.
bool build_cache(const fs::path& picture, const fs::path& drive) {
  const pid_t child = fork();
  if (child == 0) {
    const bool ok =
        lv::make_cache_file(lv::from_utf8(picture.string()), lv::from_utf8(drive.string())) ==
        lv::CacheBuildResult::built;
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

double libjpeg_decode_ms(const fs::path& picture) {
  std::vector<double> times;
  for (int i = 0; i < 3; ++i) {
    const double t0 = now_ms();
    lv::JpegDecoder decoder;
    if (!decoder.open(lv::from_utf8(picture.string())) || !decoder.start()) return -1;
    std::vector<uint8_t> rgb(static_cast<size_t>(decoder.output_width()) * decoder.output_height() *
                             3);
    if (!decoder.read_rgb888(rgb.data(), static_cast<size_t>(decoder.output_width()) * 3))
      return -1;
    times.push_back(now_ms() - t0);
  }
  return median(times);
}

// Three viewer elements over the view, as the image screen has them.
class Rig {
 public:
  Rig() {
    for (auto* e : {&m_left, &m_centre, &m_right}) {
      auto element = std::make_unique<lv::BigPictureElement>();
      *e = element.get();
      m_root.add_child(std::move(element));
    }
    m_root.layout(kView);
    lv::PictureViewer::Options options;
    options.placeholder_folder = u"/nonexistent/";
    viewer = std::make_unique<lv::PictureViewer>(*m_left, *m_centre, *m_right, options);
    viewer->set_view({0, 0, kView.width, kView.height});
    m_surface.recreate(kView.width, kView.height);
  }

  lv::BigPictureElement& current() { return viewer->element(lv::PictureViewer::current); }

  void frame(double seconds) {
    m_root.on_timer(seconds);
    viewer->update(seconds);
  }
  void draw() { m_root.draw_element(m_surface, {0, 0}); }

  // Frames every 0.2 ms until the current picture is sharp; milliseconds.
  double until_sharp(double limit_ms = 60000) {
    const double t0 = now_ms();
    for (;;) {
      frame(0.0002);
      if (current().sharp()) return now_ms() - t0;
      if (now_ms() - t0 > limit_ms) return -1;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  std::unique_ptr<lv::PictureViewer> viewer;

 private:
  lv::ScreenRoot m_root;
  lv::BigPictureElement* m_left = nullptr;
  lv::BigPictureElement* m_centre = nullptr;
  lv::BigPictureElement* m_right = nullptr;
  lv::RenderSurface m_surface;
};

void open(Rig& rig, const fs::path& picture, const fs::path& drive) {
  rig.viewer->open({lv::from_utf8(picture.string())}, 0, lv::from_utf8(drive.string()));
}

void first_sharp(const char* name, const fs::path& picture, const fs::path& drive, const char* goal,
                 bool ratio_only) {
  std::vector<double> times;
  for (int i = 0; i < 7; ++i) {
    Rig rig;
    const double t0 = now_ms();
    open(rig, picture, drive);
    const double opened = now_ms() - t0;
    const double rest = rig.until_sharp();
    if (std::getenv("VIEWER_BENCH_DETAIL"))
      std::printf("detail: open %.2f ms, then %.2f ms, %zu tiles wanted at level %d\n", opened,
                  rest, rig.current().wanted().size(), rig.current().level_in_use());
    if (rest < 0) {
      std::printf("%s: never sharp\n", name);
      return;
    }
    times.push_back(now_ms() - t0);
  }
  const double reference = libjpeg_decode_ms(picture);
  if (!ratio_only) figure(name, median(times), "ms", goal);
  figure((std::string(name) + " / libjpeg-turbo decode").c_str(), median(times) / reference, "x",
         ratio_only ? goal : "report");
}

void corner_zoom(const fs::path& picture, const fs::path& drive) {
  std::vector<double> times;
  for (int i = 0; i < 7; ++i) {
    Rig rig;
    open(rig, picture, drive);
    if (rig.until_sharp() < 0) return;
    lv::BigPictureElement& e = rig.current();
    const lv::Size size = e.description().size;
    const double t0 = now_ms();
    e.set_zoom(e.top_level());
    e.set_centre({size.width - kView.width / 2.0, size.height - kView.height / 2.0});
    if (rig.until_sharp() < 0) return;
    times.push_back(now_ms() - t0);
  }
  figure("viewer_corner_zoom_48mp", median(times), "ms", "<= 10");
}

void fling_frames(const fs::path& picture, const fs::path& drive) {
  Rig rig;
  open(rig, picture, drive);
  if (rig.until_sharp() < 0) return;
  lv::BigPictureElement& e = rig.current();
  e.set_zoom(e.top_level());
  e.set_centre({kView.width / 2.0, e.description().size.height / 2.0});
  rig.until_sharp();
  std::vector<double> frames;
  for (int stroke = 0; stroke < 6; ++stroke) {
    // A fast stroke to the left, let go: the picture flies right to left.
    uint32_t t = 1000 + stroke * 10000;
    lv::PointerEvent p;
    p.x = 400;
    p.y = 400;
    p.time = t;
    p.pressed = 1;
    e.on_pointer_button(p);
    for (int i = 0; i < 6; ++i) {
      p.x -= 60;
      p.time += 10;
      e.on_pointer_move(p);
    }
    p.pressed = 0;
    e.on_pointer_button(p);
    for (int i = 0; i < 60; ++i) {
      const double t0 = now_ms();
      rig.frame(1.0 / 60);
      rig.draw();
      frames.push_back(now_ms() - t0);
      std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
  }
  figure("viewer_fling_frame_p50", bench::percentile(frames, 0.5), "ms", "report");
  figure("viewer_fling_frame_p95", bench::percentile(frames, 0.95), "ms", "< 8");
}

// A baseline picture through cjpeg, fed as a PPM through a pipe.
bool make_with_cjpeg(const fs::path& out, int width, int height) {
  const std::string command = "cjpeg -quality 85 -outfile '" + out.string() + "'";
  FILE* pipe = popen(command.c_str(), "w");
  if (!pipe) return false;
  std::fprintf(pipe, "P6\n%d %d\n255\n", width, height);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.003) * std::cos(y * 0.002));
      row[x * 3 + 1] = static_cast<uint8_t>((x ^ y) & 0xFF);
      row[x * 3 + 2] = static_cast<uint8_t>(((x / 97) + (y / 61)) % 2 ? 200 : 40);
    }
    if (std::fwrite(row.data(), 1, row.size(), pipe) != row.size()) {
      pclose(pipe);
      return false;
    }
  }
  return pclose(pipe) == 0;
}

void pan_memory(const fs::path& picture, const fs::path& drive) {
  setenv("XDG_CACHE_HOME", (drive / "xdg-cache").c_str(), 1);
  Rig rig;
  const double before = resident_mb();
  double peak = before;
  open(rig, picture, drive);
  lv::BigPictureElement& e = rig.current();
  const lv::Size size = e.description().size;
  for (int level = 0; level <= e.top_level(); ++level) {
    e.set_zoom(level);
    const double s = e.scale();
    const double step_x = kView.width / s, step_y = kView.height / s;
    for (double y = step_y / 2; y < size.height + step_y / 2; y += step_y) {
      for (double x = step_x / 2; x < size.width + step_x / 2; x += step_x) {
        e.set_centre({x, y});
        if (rig.until_sharp(20000) < 0) {
          std::printf("viewer_rss_100mp: level %d never sharp\n", level);
          return;
        }
        peak = std::max(peak, resident_mb());
      }
    }
  }
  figure("viewer_rss_100mp", peak - before, "MB", "< 64");
}

}  // namespace

int main(int argc, char** argv) {
  // The memory figure is taken in a process of its own, so that what the
  // other measurements freed (and the heap kept) does not hide its growth.
  if (argc == 4 && std::string(argv[1]) == "--pan") {
    pan_memory(argv[2], argv[3]);
    return 0;
  }
  const fs::path root =
      fs::temp_directory_path() / ("lumiview-viewer-bench-" + std::to_string(getpid()));
  const fs::path drive = root / "";
  fs::create_directories(root);
  setenv("XDG_CACHE_HOME", (root / "xdg-cache").c_str(), 1);

  const fs::path big = root / "photo48.jpg";
  if (!write_file(big, bench::photo_like(8000, 6000, 48)) || !build_cache(big, drive)) {
    std::printf("cannot make the 48 MP picture\n");
    return 1;
  }
  first_sharp("viewer_first_sharp_48mp", big, drive, "<= 16", false);
  corner_zoom(big, drive);
  fling_frames(big, drive);

  const fs::path baseline24 = root / "photo24.jpg";
  const fs::path progressive = root / "progressive24.jpg";
  if (write_file(baseline24, bench::photo_like(6000, 4000, 24)) &&
      std::system(("jpegtran -progressive -outfile '" + progressive.string() + "' '" +
                   baseline24.string() + "'")
                      .c_str()) == 0 &&
      build_cache(progressive, drive))
    first_sharp("viewer_first_sharp_progressive_24mp", progressive, drive, "report", true);
  else
    std::printf("cannot make the progressive picture (jpegtran)\n");

  const fs::path huge = root / "picture100.jpg";
  if (make_with_cjpeg(huge, 12240, 8160) && build_cache(huge, drive)) {
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --pan '" +
                                huge.string() + "' '" + drive.string() + "'";
    if (std::system(command.c_str()) != 0) std::printf("viewer_rss_100mp: the pan failed\n");
  } else
    std::printf("cannot make the 100 MP picture (cjpeg)\n");

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
