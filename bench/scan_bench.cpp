// lumiview-cache scan on a card of real-size pictures: 12 MP (4000 x 3000)
// photo-like 4:2:0 pictures at quality 90, each of a size of its own (a
// comment segment after SOI), so that every one gets its own cache file.
//
// Figures: the building throughput of the tool on every core against the
// same tool on one core (-j 1), on the same 100 pictures in the same run,
// the median of five rounds each; and the pictures per second of a whole card
// of 2,000 such pictures on every core (LUMIVIEW_SCAN_BENCH_PICTURES sets
// another count; the card takes about 4 GB while the benchmark runs).

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "library/libjpeg_codec.h"

extern char** environ;

namespace {

using bench::median;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kSources = 6;
constexpr int kRatioPictures = 100;
constexpr int kRounds = 5;

// Shading, edges and a little noise: about what a camera picture costs.
Bytes photo_like(unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    const double cy = std::cos(y * 0.0041 + seed);
    for (int x = 0; x < kWidth; ++x) {
      const bool edge = ((x / 97) + (y / 61) + static_cast<int>(seed)) % 3 == 0;
      for (int c = 0; c < 3; ++c) {
        const int v = static_cast<int>(128 + 90 * std::sin((x + 37 * c + seed) * 0.0053) * cy) +
                      (edge ? 40 : 0) + static_cast<int>(rng() % 7) - 3;
        rgb[(static_cast<size_t>(y) * kWidth + x) * 3 + c] =
            static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
  Bytes jpeg;
  if (!lv::encode_jpeg(rgb.data(), kWidth, kHeight, static_cast<size_t>(kWidth) * 3, 90, jpeg))
    std::abort();
  return jpeg;
}

// The source with a comment of `serial` bytes after SOI.
Bytes with_comment(const Bytes& jpeg, int serial) {
  Bytes out;
  out.reserve(jpeg.size() + static_cast<size_t>(serial) + 4);
  for (const uint8_t byte : {jpeg[0], jpeg[1], uint8_t{0xFF}, uint8_t{0xFE},
                             uint8_t((serial + 2) >> 8), uint8_t((serial + 2) & 0xFF)})
    out.push_back(byte);
  out.resize(out.size() + static_cast<size_t>(serial), uint8_t{'c'});
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// Runs the tool and answers the pictures per second it reports for its
// building, or a negative value when it failed.
double scan(const fs::path& card, int jobs, const fs::path& log) {
  const std::string tool = LUMIVIEW_CACHE_TOOL;
  const std::string j = std::to_string(jobs);
  const char* argv[] = {tool.c_str(), "scan", "-j", j.c_str(), card.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const bool started =
      posix_spawn(&pid, tool.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  std::FILE* f = std::fopen(log.c_str(), "r");
  if (!f) return -1;
  char line[512];
  double rate = -1;
  while (std::fgets(line, sizeof line, f)) {
    const char* at = std::strstr(line, "s (");
    if (std::strncmp(line, "scan: ", 6) == 0 && at) rate = std::atof(at + 3);
  }
  std::fclose(f);
  return rate;
}

}  // namespace

int main() {
  const int pictures = [] {
    const char* text = std::getenv("LUMIVIEW_SCAN_BENCH_PICTURES");
    const int n = text ? std::atoi(text) : 2000;
    return std::max(n, kRatioPictures);
  }();
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const fs::path root =
      fs::temp_directory_path() / ("lumiview_scan_bench." + std::to_string(getpid()));
  for (const char* folder : {"card/DCIM", "ratio/DCIM", "pictures", "home", "run"})
    fs::create_directories(root / folder);
  fs::permissions(root / "run", fs::perms::owner_all);
  setenv("LUMIVIEW_PICTURES", (root / "pictures").c_str(), 1);
  setenv("HOME", (root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
  setenv("XDG_STATE_HOME", (root / "home/.state").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root / "home/.cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
  unsetenv("LUMIVIEW_CARDS");

  std::printf("making %d pictures of %d x %d...\n", pictures, kWidth, kHeight);
  std::fflush(stdout);
  std::vector<Bytes> sources;
  for (int i = 0; i < kSources; ++i) sources.push_back(photo_like(static_cast<unsigned>(i)));
  for (int i = 0; i < pictures; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
    const Bytes bytes = with_comment(sources[i % kSources], i + 1);
    const fs::path path = root / "card/DCIM" / name;
    if (!bench::write_bytes(path, bytes.data(), bytes.size())) std::abort();
    // The same files on a card of their own for the comparison.
    if (i < kRatioPictures) fs::create_hard_link(path, root / "ratio/DCIM" / name);
  }

  const fs::path log = root / "scan.txt";
  std::vector<double> one, all;
  for (int round = 0; round < kRounds; ++round) {
    fs::remove_all(root / "ratio/!lumiviewcache");
    one.push_back(scan(root / "ratio", 1, log));
    fs::remove_all(root / "ratio/!lumiviewcache");
    all.push_back(scan(root / "ratio", static_cast<int>(cores), log));
    if (one.back() <= 0 || all.back() <= 0) {
      std::printf("lumiview-cache scan failed; see %s\n", log.c_str());
      return 1;
    }
  }
  std::printf("   %d pictures: %.2f pictures/s on one core, %.2f on %u\n", kRatioPictures,
              median(one), median(all), cores);
  const std::string ratio_name =
      "lumiview-cache scan throughput, 12 MP, " + std::to_string(cores) + " cores / one core";
  bench::figure(ratio_name.c_str(), median(all) / median(one), "x", ">= 1.7 on two cores");

  const double card = scan(root / "card", static_cast<int>(cores), log);
  if (card <= 0) {
    std::printf("lumiview-cache scan of the card failed; see %s\n", log.c_str());
    return 1;
  }
  const std::string card_name = "lumiview-cache scan of a card of " + std::to_string(pictures) +
                                " pictures of 12 MP, " + std::to_string(cores) + " cores";
  bench::figure(card_name.c_str(), card, "pictures/s", "reported");

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
