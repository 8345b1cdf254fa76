// The photo library's search against find(1) on the same tree in the same
// run, and its cache build throughput. Prints "figure:" lines.
//
// Search: a generated card of 20,000 small JPEG files in 500 folders, no
// cache files yet; the library's whole search step (drives, walk, cache
// names, queue, folder list, the saved folders.ini) against
// `find DIR -iname '*.jpg'`, both with a warm file-system cache, each the
// median of five runs.
//
// Build: 640 x 480 photo-like pictures made one at a time by the library
// (one worker core busy), and by two builders at once (two cores), in
// pictures per second, the median of three runs. LUMIVIEW_BENCH_SEARCH_ONLY
// set leaves the build out.

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "bench_figures.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/libjpeg_codec.h"
#include "library/photo_library.h"
#include "platform/text.h"

extern char** environ;

namespace {

using bench::figure;
using bench::median;
using bench::now_ms;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kFolders = 500;
constexpr int kPicturesPerFolder = 40;
constexpr int kBuildPictures = 40;

double time_ms(const std::function<void()>& op) {
  const double start = now_ms();
  op();
  return now_ms() - start;
}

// Plain writes: the tree need not survive a crash, and 20,000 fsyncs would
// take longer than everything measured.
void write(const fs::path& path, const Bytes& bytes) {
  lv::FileStream file(lv::from_utf8(path.string()), lv::OpenMode::write);
  if (!file.write(bytes.data(), bytes.size())) std::abort();
}

Bytes encode(const std::vector<uint8_t>& rgb, int width, int height, int quality) {
  Bytes jpeg;
  if (!lv::encode_jpeg(rgb.data(), width, height, static_cast<size_t>(width) * 3, quality, jpeg))
    std::abort();
  return jpeg;
}

// Shading, edges and noise, about what a camera picture costs to code.
Bytes photo_like(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        const bool edge = ((x / 41) + (y / 29) + static_cast<int>(seed)) % 3 == 0;
        const int v = static_cast<int>(128 + 90 * std::sin((x + 37 * c + seed) * 0.021) *
                                                 std::cos(y * 0.017)) +
                      (edge ? 60 : 0) + static_cast<int>(rng() % 17) - 8;
        rgb[(static_cast<size_t>(y) * width + x) * 3 + c] =
            static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
  return encode(rgb, width, height, 90);
}

double run_find(const std::string& folder) {
  const char* argv[] = {"find", folder.c_str(), "-iname", "*.jpg", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const double start = now_ms();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "find", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
    std::abort();
  int status = 0;
  waitpid(pid, &status, 0);
  const double ms = now_ms() - start;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  return ms;
}

lv::PhotoLibrary::Options manual(const fs::path& state) {
  lv::PhotoLibrary::Options options;
  options.folder_list_path = lv::from_utf8((state / "folders.ini").string());
  options.worker = lv::PhotoLibrary::Worker::manual;
  return options;
}

void bench_search(const fs::path& root) {
  const fs::path card = root / "card";
  std::printf("making %d pictures in %d folders...\n", kFolders * kPicturesPerFolder, kFolders);
  std::vector<uint8_t> rgb(8 * 8 * 3, 128);
  const Bytes tiny = encode(rgb, 8, 8, 75);
  for (int f = 0; f < kFolders; ++f) {
    const fs::path folder =
        card / ("DCIM" + std::to_string(f / 100)) / (std::to_string(100 + f) + "CAMERA");
    fs::create_directories(folder);
    for (int i = 0; i < kPicturesPerFolder; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, i % 2 ? "IMG_%04d.JPG" : "img_%04d.jpg", i);
      write(folder / name, tiny);
    }
  }
  setenv("LUMIVIEW_CARDS", card.c_str(), 1);

  // Warm the file-system cache for both.
  run_find(card.string());
  {
    lv::PhotoLibrary library(manual(root));
    library.search();
    if (library.last_search().pictures != kFolders * kPicturesPerFolder) {
      std::printf("the search found %d pictures\n", library.last_search().pictures);
      std::abort();
    }
  }
  std::vector<double> search_ms, find_ms;
  for (int run = 0; run < 5; ++run) {
    find_ms.push_back(run_find(card.string()));
    lv::PhotoLibrary library(manual(root));
    search_ms.push_back(time_ms([&] { library.search(); }));
  }
  std::printf("   first search %.1f ms, find -iname %.1f ms\n", median(search_ms), median(find_ms));
  figure("library search time / find -iname time (20000 pictures, 500 folders, no cache files)",
         median(search_ms) / median(find_ms), "x", "<= 2");

  // Again with a valid cache file for every picture: each picture is now
  // looked at (its size and creation time name its cache file), and the
  // cache folder is read once.
  Bytes cache;
  if (lv::build_cache_bytes(tiny.data(), tiny.size(), {}, cache) != lv::CacheBuildResult::built)
    std::abort();
  const std::u16string drive = lv::from_utf8(card.string() + "/");
  fs::create_directories(card / "!lumiviewcache");
  for (const auto& entry : fs::recursive_directory_iterator(card)) {
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || (extension != ".jpg" && extension != ".JPG")) continue;
    const std::u16string name = lv::cache_name(lv::from_utf8(entry.path().string()), drive);
    if (!fs::exists(lv::to_utf8(name))) write(lv::to_utf8(name), cache);
  }
  search_ms.clear();
  find_ms.clear();
  for (int run = 0; run < 5; ++run) {
    find_ms.push_back(run_find(card.string()));
    lv::PhotoLibrary library(manual(root));
    search_ms.push_back(time_ms([&] { library.search(); }));
    if (library.last_search().cached != kFolders * kPicturesPerFolder) std::abort();
  }
  std::printf("   repeat search %.1f ms, find -iname %.1f ms\n", median(search_ms),
              median(find_ms));
  figure("library search time / find -iname time (20000 pictures, 500 folders, all cached)",
         median(search_ms) / median(find_ms), "x", "<= 2");
  fs::remove_all(card);
}

// What a cache file's write costs with and without forcing it to disk: the
// files of the pictures just built, written again under other names.
void bench_write(const fs::path& card, const std::vector<std::u16string>& pictures) {
  std::vector<std::string> caches;
  for (const auto& entry : fs::directory_iterator(card / "!lumiviewcache")) {
    std::string bytes;
    if (lv::read_whole_file(lv::from_utf8(entry.path().string()), bytes)) caches.push_back(bytes);
  }
  if (caches.empty() || caches.size() > pictures.size()) std::abort();
  const fs::path folder = card / "written";
  std::vector<double> synced, unsynced;
  for (int run = 0; run < 3; ++run) {
    for (const lv::Durability durability : {lv::Durability::synced, lv::Durability::unsynced}) {
      fs::remove_all(folder);
      fs::create_directories(folder);
      const double ms = time_ms([&] {
        for (size_t i = 0; i < caches.size(); ++i)
          if (!lv::write_file_atomic(lv::from_utf8((folder / std::to_string(i)).string()),
                                     caches[i], durability))
            std::abort();
      });
      (durability == lv::Durability::synced ? synced : unsynced)
          .push_back(ms / static_cast<double>(caches.size()));
    }
  }
  fs::remove_all(folder);
  std::printf("   a cache file written in %.3f ms with fsync, %.3f ms without\n", median(synced),
              median(unsynced));
  figure("cache file write with fsync / without (as now)", median(synced) / median(unsynced), "x",
         "reported: what each build no longer waits for");
}

void bench_build(const fs::path& root) {
  const fs::path card = root / "build";
  fs::create_directories(card / "DCIM");
  std::printf("making %d pictures of 640 x 480...\n", kBuildPictures);
  std::vector<std::u16string> pictures;
  for (int i = 0; i < kBuildPictures; ++i) {
    const fs::path path = card / "DCIM" / ("P" + std::to_string(i) + ".jpg");
    write(path, photo_like(640, 480, static_cast<unsigned>(i)));
    pictures.push_back(lv::from_utf8(path.string()));
  }
  setenv("LUMIVIEW_CARDS", card.c_str(), 1);
  const std::u16string drive = lv::from_utf8(card.string() + "/");
  const fs::path caches = card / "!lumiviewcache";

  std::vector<double> one, two;
  for (int run = 0; run < 3; ++run) {
    fs::remove_all(caches);
    {
      lv::PhotoLibrary library(manual(root));
      library.search();
      int made = 0;
      const double ms = time_ms([&] {
        while (library.create_cache()) ++made;
      });
      if (made != kBuildPictures) std::abort();
      one.push_back(made * 1000.0 / ms);
    }
    for (const auto& p : pictures)
      if (!lv::cache_valid(p, drive)) std::abort();

    fs::remove_all(caches);
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    const double ms = time_ms([&] {
      auto builder = [&] {
        for (int i; (i = next++) < kBuildPictures;)
          if (lv::make_cache_file(pictures[i], drive) != lv::CacheBuildResult::built) failed = true;
      };
      std::thread a(builder), b(builder);
      a.join();
      b.join();
    });
    if (failed) std::abort();
    two.push_back(kBuildPictures * 1000.0 / ms);
  }
  figure("cache build throughput, 640 x 480, one worker core", median(one), "pictures/s", ">= 20");
  bench_write(card, pictures);
  figure("cache build throughput, 640 x 480, two worker cores", median(two), "pictures/s",
         ">= 1.6 x one core");
}

}  // namespace

int main() {
  const fs::path root =
      fs::temp_directory_path() / ("lumiview_library_bench." + std::to_string(getpid()));
  fs::create_directories(root / "pictures");
  fs::create_directories(root / "home");
  // The library reads its pictures folder and settings from the environment:
  // keep them inside the benchmark's folder.
  setenv("LUMIVIEW_PICTURES", (root / "pictures").c_str(), 1);
  setenv("HOME", (root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
  setenv("XDG_STATE_HOME", (root / "home/.state").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root / "home/.cache").c_str(), 1);

  bench_search(root);
  if (!std::getenv("LUMIVIEW_BENCH_SEARCH_ONLY")) bench_build(root);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
