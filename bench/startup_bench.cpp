// The program as a user meets it, on a device with 1,000 picture folders
// whose thumbnails are already made (folders.ini lists them all):
// - start-up of the real program (headless display) to the first frame of
//   its album screen, the splash's 500 ms minimum included, and the time
//   beyond that minimum, with the album screen's own construction apart;
// - the processor time a still album screen takes over 10 s;
// - the time of one frame (pointer events, timer step with the library's
//   poll, layout and drawing at 480 x 800) while the 1,000-row album list is
//   flung down and up, built in this process from the same skin.
// Prints "figure:" lines.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/element_types.h"
#include "base/settings.h"
#include "bench_util.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/folder_list.h"
#include "library/libjpeg_codec.h"
#include "library/photo_library.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "screen_bench_util.h"
#include "screens/album_screen.h"
#include "screens/app_services.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "widgets/list_element.h"
#include "widgets/screen_host.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kWidth = 480;
constexpr int kHeight = 800;
constexpr int kStartRuns = 5;
constexpr int kStillSeconds = 10;
constexpr uint32_t kFrameMs = 16;
constexpr int kFlingFrames = 3000;

uint32_t g_clock_ms = 1000;

void write_settings(const fs::path& home, bool log) {
  fs::create_directories(home / ".config/lumiview");
  std::ofstream(home / ".config/lumiview/registry.reg")
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:0000000" << (log ? 1 : 0)
      << "\n";
}

pid_t start_program(const fs::path& root, const std::string& script) {
  const fs::path script_path = root / "script.txt";
  std::ofstream(script_path) << script;
  setenv("LUMIVIEW_SCRIPT", script_path.c_str(), 1);
  std::string program = LUMIVIEW_BINARY_DIR "/lumiview";
  char* argv[] = {program.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool wait_program(pid_t pid, rusage* usage = nullptr) {
  int status = 0;
  rusage ignored{};
  if (wait4(pid, &status, 0, usage ? usage : &ignored) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The tick in front of the log line that is the tick count and `text`.
bool log_tick(const fs::path& log, const std::u16string& text, uint32_t& tick) {
  std::ifstream in(log, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::u16string all;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    all += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
  std::u16string line;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find(u'\n', start);
    if (end == std::u16string::npos) end = all.size();
    line = all.substr(start, end - start);
    start = end + 1;
    const size_t digits = line.find_first_not_of(u"0123456789");
    if (digits == 0 || digits == std::u16string::npos || line.substr(digits) != text) continue;
    tick = uint32_t(std::stoul(lv::to_utf8(line.substr(0, digits))));
    return true;
  }
  return false;
}

// utime + stime of a running process, in seconds.
double process_cpu_seconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t paren = stat.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream fields(stat.substr(paren + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // After the name: state is field 3; utime and stime are 14 and 15.
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) utime = std::stoull(field);
    if (index == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

void pointer(lv::AlbumScreen& album, int32_t y, bool pressed, bool move) {
  lv::PointerEvent event;
  event.x = kWidth / 2;
  event.y = y;
  event.time = g_clock_ms;
  event.pressed = pressed ? 1 : 0;
  if (move)
    album.on_pointer_move(event);
  else
    album.on_pointer_button(event);
}

// A flick of five quick moves, towards the end of the list until its last
// row shows, then back.
void fling(lv::AlbumScreen& album, bool& down) {
  lv::ListElement& list = album.list();
  if (list.next_index() == list.count()) down = false;
  if (list.above_index() == -1 && list.scroll_position() >= 0) down = true;
  const int32_t step = down ? -110 : 110;
  int32_t y = down ? 700 : 200;
  pointer(album, y, true, false);
  for (int i = 0; i < 5; ++i) {
    g_clock_ms += kFrameMs;
    y += step;
    pointer(album, y, true, true);
  }
  pointer(album, y, false, false);
}

std::vector<double> fling_frames(const fs::path& folder_list) {
  std::vector<double> frames;
  lv::register_element_types();
  lv::Properties skin;
  if (!skin.load_skin(lv::from_utf8(LUMIVIEW_BINARY_DIR "/skins/bin/default.skin"),
                      bench::BenchApp({kWidth, kHeight}).screen_info()) ||
      !skin.language().load(lv::from_utf8(LUMIVIEW_BINARY_DIR "/english.lng"))) {
    std::fprintf(stderr, "startup_bench: the default skin or language does not load\n");
    return frames;
  }
  lv::platform::set_tick_source([] { return g_clock_ms; });
  bench::BenchHost host({kWidth, kHeight}, g_clock_ms);
  lv::set_screen_host(&host);
  {
    lv::PhotoLibrary::Options options;
    options.folder_list_path = lv::from_utf8(folder_list.string());
    options.worker = lv::PhotoLibrary::Worker::manual;
    lv::PhotoLibrary library(std::move(options));
    bench::BenchApp app({kWidth, kHeight});
    lv::AlbumScreen album(skin, library, app);
    lv::RenderSurface target(kWidth, kHeight);
    album.on_timer(kFrameMs / 1000.0);  // the folder list arrives
    album.repaint(target, {kWidth, kHeight});
    if (album.folder_count() != kFolders)
      std::fprintf(stderr, "startup_bench: the album shows %d folders\n", album.folder_count());
    bool down = true;
    for (int i = 0; i < kFlingFrames; ++i) {
      const double start = bench::now_ms();
      if (std::abs(album.list().velocity()) < 50) fling(album, down);
      g_clock_ms += kFrameMs;
      album.on_timer(kFrameMs / 1000.0);
      album.repaint(target, {kWidth, kHeight});
      frames.push_back(bench::now_ms() - start);
    }
  }
  lv::set_screen_host(nullptr);
  lv::platform::set_tick_source({});
  lv::unregister_element_types();
  return frames;
}

}  // namespace

int main() {
  const fs::path root =
      fs::temp_directory_path() / ("lumiview_startup_bench." + std::to_string(getpid()));
  const fs::path home = root / "home";
  const fs::path pictures = home / "Pictures";
  const fs::path runtime = root / "run";
  const fs::path tmp = root / "tmp";
  for (const fs::path& folder : {pictures, runtime, tmp, home / ".state"})
    fs::create_directories(folder);
  fs::permissions(runtime, fs::perms::owner_all);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("XDG_STATE_HOME", (home / ".state").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("LUMIVIEW_PICTURES", pictures.c_str(), 1);
  setenv("LUMIVIEW_CARDS", "", 1);
  setenv("LUMIVIEW_DISPLAY", "offscreen", 1);
  setenv("SDL_VIDEODRIVER", "dummy", 1);

  std::vector<lv::FolderRecord> records;
  char name[32];
  for (int i = 0; i < kFolders; ++i) {
    std::snprintf(name, sizeof name, "Folder %04d", i);
    const fs::path folder = pictures / name;
    fs::create_directories(folder);
    const fs::path picture = folder / "IMG_0001.JPG";
    if (!bench::make_cached_picture(picture, lv::kMyDocumentsDrive, i + 1, 120, 90)) {
      std::fprintf(stderr, "startup_bench: cannot make %s\n", picture.c_str());
      return 1;
    }
    lv::FolderRecord record;
    record.drive = std::u16string(lv::kMyDocumentsDrive);
    record.folder = lv::from_utf8(folder.string() + "/");
    record.key_picture = lv::from_utf8(picture.string());
    record.size = 1;
    records.push_back(std::move(record));
  }
  const fs::path folder_list = home / ".state/lumiview/folders.ini";
  if (!lv::write_folder_list(lv::from_utf8(folder_list.string()), records)) {
    std::fprintf(stderr, "startup_bench: cannot write %s\n", folder_list.c_str());
    return 1;
  }

  int status = 0;
  // Start-up, with the log on for its ticks (on the same clock as ours).
  write_settings(home, true);
  std::vector<double> to_album, to_loop, album_build, to_swap;
  for (int run = 0; run < kStartRuns; ++run) {
    const uint32_t spawned = uint32_t(uint64_t(bench::now_ms()));
    const pid_t pid = start_program(root, "wait 1500\n");
    const fs::path log = tmp / "lumiview.txt";
    uint32_t loop = 0, built_start = 0, built_end = 0, swapped = 0;
    if (pid < 0 || !wait_program(pid) || !log_tick(log, u"WinMain 7", loop) ||
        !log_tick(log, u"WinMain 9", built_start) || !log_tick(log, u"WinMain 10", built_end) ||
        !log_tick(log, u"WinMain 14", swapped)) {
      std::fprintf(stderr, "startup_bench: the program did not reach its album screen\n");
      return 1;
    }
    to_album.push_back(double(swapped - spawned));
    to_loop.push_back(double(loop - spawned));
    album_build.push_back(double(built_end - built_start));
    to_swap.push_back(double(swapped - built_end));
  }
  const double startup = bench::percentile(to_album, 0.5);
  bench::figure("startup_to_album_frame", startup, "ms", "the splash's 500 ms + < 300 ms");
  bench::figure("startup_beyond_splash", startup - 500.0, "ms", "< 300 ms on the desktop");
  bench::figure("startup_to_message_loop", bench::percentile(to_loop, 0.5), "ms",
                "part of the above: process, skin, library, splash");
  bench::figure("startup_album_screen_build", bench::percentile(album_build, 0.5), "ms",
                "part of the above; < 100 ms with 1,000 folders");
  bench::figure("startup_album_built_to_shown", bench::percentile(to_swap, 0.5), "ms",
                "part of the above: the next frame takes it over");

  // A still album screen, as users run it: no log.
  write_settings(home, false);
  {
    const pid_t pid =
        start_program(root, "wait " + std::to_string((kStillSeconds + 3) * 1000) + "\n");
    if (pid < 0) return 1;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = process_cpu_seconds(pid);
    const double wall_start = bench::now_ms();
    std::this_thread::sleep_for(std::chrono::seconds(kStillSeconds));
    const double used = process_cpu_seconds(pid) - before;
    const double wall = (bench::now_ms() - wall_start) / 1000.0;
    rusage usage{};
    if (!wait_program(pid, &usage)) status = 1;
    bench::figure("still_album_cpu", 100.0 * used / wall, "% of a core", "< 2 %");
    const double total = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    bench::figure("still_album_run_cpu_total", total, "s",
                  "reference: start-up and 13 s of the still screen");
  }

  const std::vector<double> frames = fling_frames(folder_list);
  if (frames.empty()) {
    status = 1;
  } else {
    bench::figure("album_fling_frame_median", bench::percentile(frames, 0.5), "ms",
                  "< 8 ms on the desktop");
    bench::figure("album_fling_frame_p95", bench::percentile(frames, 0.95), "ms",
                  "< 16.7 ms, one 60 Hz frame");
  }

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
