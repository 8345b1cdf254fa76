// lumiview-cache scan: the library's search over the configured drives and
// every missing cache file made, without a window, with a progress bar.

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_search.h"
#include "base/log.h"
#include "base/settings.h"
#include "commands.h"
#include "library/drives.h"
#include "library/folder_list.h"
#include "library/photo_library.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "platform/text.h"

namespace lv::cache_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int) {
  g_interrupted = 1;
}

// The first Ctrl-C stops the scan cleanly; the handler is then gone, so a
// second one ends the program at once.
void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

class ScanListener : public LibraryListener {
 public:
  explicit ScanListener(PhotoLibrary& library) : m_library(library) {}
  void on_event(const LibraryEvent& event) override {
    if (event.has(LibraryEvent::search_complete)) searched = true;
    if (event.has(LibraryEvent::picture_complete)) {
      ++finished;
      if (m_library.picture_failed(event.picture)) failed.push_back(event.picture);
    }
  }
  bool searched = false;
  int finished = 0;
  std::vector<std::u16string> failed;

 private:
  PhotoLibrary& m_library;
};

std::string clock_text(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "--:--";
  const long total = std::lround(seconds);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

class ProgressBar {
 public:
  ProgressBar() : m_terminal(::isatty(STDERR_FILENO) == 1) {}

  void searching(double seconds) {
    if (!m_terminal) return;
    static const char spinner[] = "|/-\\";
    draw(std::string("searching ") + spinner[static_cast<int>(seconds * 8) % 4] + "  " +
         clock_text(seconds));
  }

  void building(int done, int total, double seconds) {
    const double rate = seconds > 0 ? done / seconds : 0;
    const double left = rate > 0 ? (total - done) / rate : NAN;
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, " %d/%d  %.1f pictures/s  %s left", done, total, rate,
                  clock_text(left).c_str());
    if (!m_terminal) {
      // A line per tenth, for logs.
      const int tenth = total > 0 ? done * 10 / total : 10;
      if (tenth > m_last_tenth) {
        m_last_tenth = tenth;
        std::fprintf(stderr, "made%s\n", numbers);
      }
      return;
    }
    const int width = bar_width();
    const int filled =
        total > 0 ? static_cast<int>(static_cast<long long>(width) * done / total) : width;
    draw("[" + std::string(filled, '#') + std::string(width - filled, '.') + "]" + numbers);
  }

  void clear() {
    if (m_terminal && m_shown > 0) std::fprintf(stderr, "\r%*s\r", m_shown, "");
    m_shown = 0;
  }

 private:
  static int bar_width() {
    winsize size{};
    const int columns =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    return std::clamp(columns - 50, 10, 50);
  }
  void draw(const std::string& text) {
    std::fprintf(stderr, "\r%s", text.c_str());
    if (static_cast<int>(text.size()) < m_shown)
      std::fprintf(stderr, "%*s", m_shown - static_cast<int>(text.size()), "");
    m_shown = std::max(m_shown, static_cast<int>(text.size()));
    std::fflush(stderr);
  }

  bool m_terminal;
  int m_shown = 0;
  int m_last_tenth = -1;
};

void print_drives() {
  CollectingVisitor cards;
  find_drives(cards);
  std::printf("drives:");
  for (const std::u16string& card : cards.folders) std::printf(" %s/", to_utf8(card).c_str());
  std::printf(" %s/ (the pictures folder)\n", to_utf8(expand_path(u"%my_documents%")).c_str());
  std::fflush(stdout);
}

bool parse_jobs(const std::string& text, int& jobs) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  return ec == std::errc() && end == text.data() + text.size() && jobs >= 1 && jobs <= 256;
}

// The command line of scan: "-j N" (or "-jN", "--jobs N") and the cards.
bool parse_scan_arguments(const std::vector<std::string>& args, int& jobs,
                          std::vector<std::string>& cards) {
  jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-j" || arg == "--jobs") {
      if (i + 1 == args.size() || !parse_jobs(args[++i], jobs)) return false;
    } else if (arg.starts_with("-j")) {
      if (!parse_jobs(arg.substr(2), jobs)) return false;
    } else if (arg.starts_with("-")) {
      return false;
    } else {
      cards.push_back(arg);
    }
  }
  return true;
}

// The program's single-instance lock, held for the whole scan: a second
// library on the same cards would delete the other's temporary files and
// both would rewrite the folder list. A program started meanwhile waits at
// the lock until the scan ends.
enum class LockState { taken, program_running, no_lock };

LockState take_program_lock(platform::SingleInstance& instance) {
  if (platform::runtime_folder().empty() || !instance.acquire_startup_lock())
    return LockState::no_lock;
  if (instance.running_instance_listens()) {
    instance.release_startup_lock();
    return LockState::program_running;
  }
  return LockState::taken;
}

}  // namespace

int scan(const std::vector<std::string>& args) {
  int jobs = 1;
  std::vector<std::string> cards;
  if (!parse_scan_arguments(args, jobs, cards)) {
    std::fprintf(stderr, "lumiview-cache: scan takes [-j N] [CARD...], N from 1 to 256\n");
    return kUsage;
  }
  platform::SingleInstance instance(platform::runtime_folder());
  switch (take_program_lock(instance)) {
    case LockState::program_running:
      std::fprintf(stderr,
                   "lumiview-cache: Lumiview is running and keeps the library itself; close it "
                   "and scan again (nothing was changed)\n");
      return kProgramRunning;
    case LockState::no_lock:
      std::fprintf(stderr,
                   "lumiview-cache: no private runtime folder for the lock; scanning "
                   "without it\n");
      break;
    case LockState::taken:
      break;
  }
  if (!cards.empty()) {
    std::string list;
    for (const std::string& card : cards) list += (list.empty() ? "" : ":") + card;
    ::setenv("LUMIVIEW_CARDS", list.c_str(), 1);
  }
  print_drives();
  catch_interrupts();

  const uint32_t start_ticks = platform::tick_count();
  const auto seconds_since = [](uint32_t tick) {
    return static_cast<uint32_t>(platform::tick_count() - tick) / 1000.0;
  };
  ProgressBar bar;
  SearchSummary search;
  int finished = 0, total = 0;
  std::vector<std::u16string> failed;
  bool stopped = false;
  double build_seconds = 0;
  {
    PhotoLibrary::Options options = PhotoLibrary::default_options();
    options.worker = PhotoLibrary::Worker::manual;
    PhotoLibrary library(options);
    ScanListener listener(library);
    library.add_listener(&listener);
    // Polls and draws until `done`; Ctrl-C stops the library's work.
    auto wait_for = [&](const std::atomic<int>& running, const std::function<void()>& draw) {
      while (running.load() > 0) {
        platform::sleep_ms(100);
        library.poll();
        if (g_interrupted && !stopped) {
          stopped = true;
          library.request_stop();
        }
        draw();
      }
      library.poll();
    };

    std::atomic<int> running{1};
    bool complete = false;
    std::thread searcher([&] {
      complete = library.search();
      running = 0;
    });
    wait_for(running, [&] { bar.searching(seconds_since(start_ticks)); });
    searcher.join();
    bar.clear();
    search = library.last_search();
    if (complete && !stopped) {
      total = search.queued;
      const int folders = library.get_folders_size();
      std::printf("found %d pictures in %d folder%s: %d have a cache file, %d need one\n",
                  search.pictures, folders, folders == 1 ? "" : "s", search.cached, total);
      std::fflush(stdout);

      // Each builder makes one picture after another until none is left.
      const uint32_t build_start = platform::tick_count();
      running = jobs;
      std::vector<std::thread> builders;
      for (int i = 0; i < jobs; ++i) {
        try {
          builders.emplace_back([&] {
            while (library.create_cache()) {
            }
            --running;
          });
        } catch (const std::system_error&) {
          running -= jobs - i;  // fewer builders
          break;
        }
      }
      if (builders.empty()) running = 0;
      wait_for(running, [&] {
        build_seconds = seconds_since(build_start);
        bar.building(listener.finished, total, build_seconds);
      });
      for (std::thread& builder : builders) builder.join();
      build_seconds = seconds_since(build_start);
      bar.clear();
    }
    if (stopped) std::fprintf(stderr, "stopping...\n");
    library.remove_listener(&listener);
    finished = listener.finished;
    failed = listener.failed;
  }

  for (size_t i = 0; i < failed.size() && i < 20; ++i)
    std::printf("could not make the cache file of %s\n", to_utf8(failed[i]).c_str());
  if (failed.size() > 20) std::printf("... and %zu more\n", failed.size() - 20);
  const double seconds = seconds_since(start_ticks);
  if (stopped) {
    if (total == 0 && finished == 0)
      std::printf("scan: stopped during the search after %.1f s; the folder list is unchanged\n",
                  seconds);
    else
      std::printf("scan: stopped after %d of %d cache files in %.1f s; run it again to finish\n",
                  finished, total, seconds);
    return 130;
  }
  const int made = finished - static_cast<int>(failed.size());
  std::printf(
      "scan: %d pictures, %d with a cache file already, %d made, %zu failed, in %.1f s (%.1f "
      "pictures/s on %d thread%s)\n",
      search.pictures, search.cached, made, failed.size(), seconds,
      build_seconds > 0 ? finished / build_seconds : 0.0, jobs, jobs == 1 ? "" : "s");
  std::printf("folder list: %s\n", to_utf8(default_folder_list_path()).c_str());
  return kOk;
}

}  // namespace lv::cache_tool
