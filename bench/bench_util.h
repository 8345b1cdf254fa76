#pragma once

// What the benchmarks of the photo library share (with bench_figures.h):
// small photograph-like pictures with their cache files.

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>
#include <vector>

#include "base/settings.h"
#include "bench_figures.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"

namespace bench {

inline bool write_bytes(const std::filesystem::path& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// A w x h picture whose colours and file size are its own (cache files are
// named after size and creation time: a comment of `serial` bytes follows
// SOI), and its cache file, written as the library would but without
// waiting for the disk.
inline bool make_cached_picture(const std::filesystem::path& path, std::u16string_view drive,
                                int serial, int w, int h) {
  std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      p[0] = uint8_t(x * 3 + serial * 7);
      p[1] = uint8_t(y * 3 + serial * 13);
      p[2] = uint8_t((x + y) * 2 + serial);
    }
  std::vector<uint8_t> jpeg;
  if (!lv::encode_jpeg(rgb.data(), w, h, size_t(w) * 3, 75, jpeg) || jpeg.size() < 2) return false;
  std::vector<uint8_t> bytes(jpeg.begin(), jpeg.begin() + 2);
  bytes.insert(bytes.end(), {0xFF, 0xFE, uint8_t((serial + 2) >> 8), uint8_t((serial + 2) & 0xFF)});
  bytes.insert(bytes.end(), size_t(serial), uint8_t{' '});
  bytes.insert(bytes.end(), jpeg.begin() + 2, jpeg.end());
  if (!write_bytes(path, bytes.data(), bytes.size())) return false;

  std::vector<uint8_t> cache;
  if (lv::build_cache_bytes(bytes.data(), bytes.size(), {}, cache) != lv::CacheBuildResult::built)
    return false;
  const std::u16string name = lv::cache_name(lv::from_utf8(path.string()), drive);
  if (name.empty()) return false;
  const std::filesystem::path cache_path = lv::to_utf8(lv::expand_path(name));
  std::filesystem::create_directories(cache_path.parent_path());
  return write_bytes(cache_path, cache.data(), cache.size());
}

// Smooth shading, hard edges and sensor-like noise: about what a camera
// picture costs to code.
inline std::vector<uint8_t> photo_like(int width, int height, unsigned seed) {
  std::vector<float> wave_x(static_cast<size_t>(width) * 3), wave_y(height);
  for (int x = 0; x < width; ++x)
    for (int c = 0; c < 3; ++c) wave_x[x * 3 + c] = 90.0f * std::sin((x + 37 * c) * 0.021f);
  for (int y = 0; y < height; ++y) wave_y[y] = std::cos(y * 0.017f);
  std::mt19937 rng(seed);
  lv::JpegEncoder encoder;
  if (!encoder.start(width, height, 90)) std::abort();
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool edge = ((x / 41) + (y / 29)) % 3 == 0;
      for (int c = 0; c < 3; ++c) {
        const int v = static_cast<int>(128 + wave_x[x * 3 + c] * wave_y[y]) + (edge ? 60 : 0) +
                      static_cast<int>(rng() % 17) - 8;
        row[x * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
    }
    if (!encoder.write_row(row.data())) std::abort();
  }
  std::vector<uint8_t> jpeg;
  if (!encoder.finish(jpeg)) std::abort();
  return jpeg;
}

}  // namespace bench
