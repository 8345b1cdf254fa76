// Cache files and tiles against libjpeg-turbo on the same pictures, measured
// in the same run so that the ratios hold on any machine: a 12 MP and a
// 48 MP photo-like 4:2:0 picture at quality 90 (made at run time) and the
// 20 MP photo of the shared test data. Prints one "figure:" line per
// measurement; every time is the median of several runs.
//
// The reference is libjpeg-turbo's full decode of the file held in memory
// with its default settings (integer DCT, fancy upsampling, RGB output).

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

#include "base/file_util.h"
#include "bench_util.h"
#include "jpeg/jpeg_decoder.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_tile_source.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "skin/render_surface.h"

namespace {

using bench::figure;
using bench::median;
using bench::now_ms;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Times {
  double wall_ms = 0;
  double cpu_ms = 0;     // every thread of the process
  double thread_ms = 0;  // the calling thread only
};

Times measure(int runs, const std::function<void()>& op) {
  std::vector<double> wall, cpu, thread;
  for (int i = 0; i < runs; ++i) {
    const double w = now_ms(CLOCK_MONOTONIC), c = now_ms(CLOCK_PROCESS_CPUTIME_ID),
                 t = now_ms(CLOCK_THREAD_CPUTIME_ID);
    op();
    wall.push_back(now_ms(CLOCK_MONOTONIC) - w);
    cpu.push_back(now_ms(CLOCK_PROCESS_CPUTIME_ID) - c);
    thread.push_back(now_ms(CLOCK_THREAD_CPUTIME_ID) - t);
  }
  return {median(wall), median(cpu), median(thread)};
}

// ---- libjpeg-turbo reference operations ----

struct Quiet {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};
void quiet_exit(j_common_ptr c) {
  longjmp(reinterpret_cast<Quiet*>(c->err)->jump, 1);
}
void quiet_output(j_common_ptr) {}

enum class Reference { full_decode, build_decode, huffman_only, tile };

// One libjpeg-turbo operation on a picture in memory. For a tile: crop to
// the tile's columns, skip the rows above it, read its rows.
bool libjpeg_run(const Bytes& jpeg, Reference what, int tile_x = 0, int tile_y = 0) {
  jpeg_decompress_struct ci;
  Quiet err;
  ci.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = quiet_exit;
  err.mgr.output_message = quiet_output;
  static thread_local std::vector<uint8_t> rows;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&ci);
    return false;
  }
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&ci, TRUE);
  ci.out_color_space = JCS_RGB;
  if (what == Reference::build_decode) {
    ci.dct_method = JDCT_IFAST;
    ci.do_fancy_upsampling = FALSE;
  }
  jpeg_start_decompress(&ci);
  rows.resize(static_cast<size_t>(ci.output_width) * 3);
  JSAMPROW row = rows.data();
  switch (what) {
    case Reference::full_decode:
    case Reference::build_decode:
      while (ci.output_scanline < ci.output_height) jpeg_read_scanlines(&ci, &row, 1);
      break;
    case Reference::huffman_only:
      // Skipping to the very end returns at once; the last row makes the
      // library go through the whole scan.
      jpeg_skip_scanlines(&ci, ci.output_height - 1);
      jpeg_read_scanlines(&ci, &row, 1);
      break;
    case Reference::tile: {
      JDIMENSION x = static_cast<JDIMENSION>(tile_x), width = 256;
      jpeg_crop_scanline(&ci, &x, &width);
      jpeg_skip_scanlines(&ci, static_cast<JDIMENSION>(tile_y));
      for (int i = 0; i < 256 && ci.output_scanline < ci.output_height; ++i)
        jpeg_read_scanlines(&ci, &row, 1);
      break;
    }
  }
  jpeg_abort_decompress(&ci);
  jpeg_destroy_decompress(&ci);
  return true;
}

// ---- test pictures ----

struct Picture {
  std::string name;
  std::string path;
  Bytes bytes;
  int width = 0;
  int height = 0;
};

struct TileTimes {
  double cache_ms = 0;
  double libjpeg_ms = 0;
};

void bench_picture(const Picture& p, const std::string& drive) {
  const int runs = p.width * p.height > 30'000'000 ? 5 : 7;
  std::printf("-- %s: %d x %d, %.1f MB\n", p.name.c_str(), p.width, p.height, p.bytes.size() / 1e6);

  const Times full = measure(runs, [&] { libjpeg_run(p.bytes, Reference::full_decode); });
  const Times huffman = measure(runs, [&] { libjpeg_run(p.bytes, Reference::huffman_only); });
  const Times fast = measure(runs, [&] { libjpeg_run(p.bytes, Reference::build_decode); });
  std::printf(
      "   libjpeg-turbo full decode %.1f ms (%.2f x with JDCT_IFAST and box upsampling, as the "
      "build decodes), Huffman-only pass %.1f ms (%.0f MB/s)\n",
      full.wall_ms, fast.cpu_ms / full.cpu_ms, huffman.wall_ms,
      p.bytes.size() / 1e3 / huffman.wall_ms);

  const Times scan = measure(runs, [&] {
    lv::jpeg::Decoder d;
    Bytes index;
    if (!d.open(lv::jpeg::ByteSource(p.bytes.data(), p.bytes.size())) || !d.scan_index(index))
      std::abort();
  });
  figure(p.name + " index scan speed vs libjpeg-turbo Huffman-only", huffman.wall_ms / scan.wall_ms,
         "x", ">= 0.6, 0.8");

  Bytes cache;
  const Times build = measure(3, [&] {
    if (lv::build_cache_bytes(p.bytes.data(), p.bytes.size(), {}, cache) !=
        lv::CacheBuildResult::built)
      std::abort();
  });
  std::printf(
      "   cache build %.1f ms wall, %.1f ms CPU of which %.1f ms on the building thread "
      "(reference decode %.1f ms wall, %.1f ms CPU)\n",
      build.wall_ms, build.cpu_ms, build.thread_ms, full.wall_ms, full.cpu_ms);
  figure(p.name + " cache build CPU time, both threads, vs full decode", build.cpu_ms / full.cpu_ms,
         "x", "<= 2.0, 1.5");
  // The own decoder does libjpeg's Huffman decoding while libjpeg makes the
  // pixels, so the build needs no second thread; with one this differs.
  figure(p.name + " cache build CPU time, building thread, vs full decode",
         build.thread_ms / full.cpu_ms, "x", "<= 2.0, 1.5");
  figure(p.name + " cache build wall time vs full decode", build.wall_ms / full.wall_ms, "x",
         "<= 2.0, 1.5");

  lv::CacheHeader header;
  if (!lv::parse_cache_header(cache.data(), cache.size(), cache.size(), header)) std::abort();
  uint64_t levels = 0, index = 0;
  for (const auto& r : header.records) {
    levels += r.image_size;
    index += r.index_size;
  }
  figure(p.name + " cache size / picture size", double(cache.size()) / p.bytes.size(), "",
         "about 0.15 + under 0.02");
  figure(p.name + " levels / picture size", double(levels) / p.bytes.size(), "", "about 0.15");
  figure(p.name + " indexes / picture size", double(index) / p.bytes.size(), "", "< 0.02");

  // On disk, as the program has it.
  const std::u16string picture = lv::from_utf8(p.path);
  if (lv::make_cache_file(picture, lv::from_utf8(drive)) != lv::CacheBuildResult::built)
    std::abort();
  const std::u16string cache_path = lv::cache_name(picture, lv::from_utf8(drive));
  const Times thumb = measure(31, [&] {
    if (!lv::load_thumbnail_file(cache_path)) std::abort();
  });
  figure(p.name + " thumbnail loading from the cache file", thumb.wall_ms, "ms",
         "a few ms: dozens per second on a slow device");

  // The last full tile, bottom right, at full size.
  const int column = p.width / 256 - 1, row = p.height / 256 - 1;
  TileTimes tiles;
  Times first;
  {
    const double w = now_ms(CLOCK_MONOTONIC);
    lv::CacheTileSource source(picture, lv::from_utf8(drive));
    if (!source.ready() || !source.make_tile(column, row, source.top_level())) std::abort();
    first.wall_ms = now_ms(CLOCK_MONOTONIC) - w;
    const Times tile = measure(51, [&] {
      if (!source.make_tile(column, row, source.top_level())) std::abort();
    });
    tiles.cache_ms = tile.wall_ms;
  }
  tiles.libjpeg_ms = measure(runs, [&] {
                       libjpeg_run(p.bytes, Reference::tile, column * 256, row * 256);
                     }).wall_ms;
  std::printf(
      "   bottom-right tile (%d, %d): cache source %.3f ms (open + first tile %.2f ms), "
      "libjpeg-turbo crop + skip %.1f ms\n",
      column, row, tiles.cache_ms, first.wall_ms, tiles.libjpeg_ms);
  figure(p.name + " bottom-right tile through the cache source", tiles.cache_ms, "ms", "<= 1");
  figure(p.name + " bottom-right tile speed-up over libjpeg-turbo crop + skip",
         tiles.libjpeg_ms / tiles.cache_ms, "x", ">= 100 for 48 MP");
}

}  // namespace

int main() {
  const fs::path folder =
      fs::temp_directory_path() / ("lumiview_cache_bench." + std::to_string(getpid()));
  fs::create_directories(folder / "pictures");
  const std::string drive = folder.string() + "/";

  std::vector<Picture> pictures;
  auto add = [&](const std::string& name, const std::string& path, Bytes bytes) {
    lv::JpegHeader h;
    if (!lv::read_jpeg_header(bytes.data(), bytes.size(), h)) std::abort();
    pictures.push_back({name, path, std::move(bytes), h.width, h.height});
  };
  for (auto [name, w, h] : {std::tuple{"12MP", 4000, 3000}, {"48MP", 8000, 6000}}) {
    std::printf("making the %s picture...\n", name);
    Bytes jpeg = bench::photo_like(w, h, static_cast<unsigned>(w));
    const std::string path = (folder / "pictures" / (std::string(name) + ".jpg")).string();
    lv::write_file_atomic(
        lv::from_utf8(path),
        std::string_view(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()));
    add(name, path, std::move(jpeg));
  }
  const std::string photo =
      std::string(LUMIVIEW_TESTDATA_DIR) + "/jpeg/large/Kleiber_by_Lukas_Baubkus.jpg";
  std::string bytes;
  if (lv::read_whole_file(lv::from_utf8(photo), bytes))
    add("20MP photo", photo, Bytes(bytes.begin(), bytes.end()));
  else
    std::printf("(the 20 MP photo of the test data is not there: %s)\n", photo.c_str());

  for (const Picture& p : pictures) bench_picture(p, drive);

  // The two synthetic pictures' tiles taken in turns, so that a change of
  // the machine's load falls on both alike.
  std::vector<std::unique_ptr<lv::CacheTileSource>> sources;
  std::vector<std::vector<double>> samples(2);
  for (int i = 0; i < 2; ++i)
    sources.push_back(std::make_unique<lv::CacheTileSource>(lv::from_utf8(pictures[i].path),
                                                            lv::from_utf8(drive)));
  for (int round = 0; round < 101; ++round)
    for (int i = 0; i < 2; ++i) {
      const Picture& p = pictures[i];
      const double w = now_ms(CLOCK_MONOTONIC);
      if (!sources[i]->make_tile(p.width / 256 - 1, p.height / 256 - 1, sources[i]->top_level()))
        std::abort();
      samples[i].push_back(now_ms(CLOCK_MONOTONIC) - w);
    }
  figure("48MP tile time / 12MP tile time", median(samples[1]) / median(samples[0]), "x", "<= 1.2");

  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
