// libFuzzer target over the cache-file readers and the cache tile source.
//
// A small picture and its good cache file are made once. Each input then
// becomes a cache file for that picture in one of three ways, chosen by its
// first byte: edits of the good file (4-byte records: offset, value, kind),
// a whole cache file of its own, or a picture whose cache is built in memory
// and read back. The header parser, the validity test, thumbnail loading and
// every tile of every level through the cache source must cope.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_tile_source.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "skin/render_surface.h"

namespace {

std::string g_folder;
std::u16string g_picture;
std::u16string g_drive;
std::u16string g_cache;
std::vector<uint8_t> g_good;

std::vector<uint8_t> test_picture() {
  const int width = 600, height = 420;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1103515245u + 12345u;
        const int edge = ((x / 37) + (y / 23)) % 3 == 0 ? 70 : 0;
        const int v = (x * (c + 1) + y * (3 - c)) / 5 % 180 + edge + static_cast<int>(noise >> 28);
        rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
  std::vector<uint8_t> jpeg;
  if (!lv::encode_jpeg(rgb.data(), width, height, static_cast<size_t>(width) * 3, 85, jpeg))
    std::abort();
  return jpeg;
}

void write_cache(const std::vector<uint8_t>& bytes) {
  lv::FileStream file;
  if (!file.open(g_cache, lv::OpenMode::write)) std::abort();
  if (!bytes.empty() && !file.write(bytes.data(), bytes.size())) std::abort();
}

void read_back(const std::vector<uint8_t>& bytes) {
  // An exactly sized copy, so that a read one past the end is caught.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  lv::CacheHeader header;
  lv::parse_cache_header(exact.get(), bytes.size(), bytes.size(), header);

  write_cache(bytes);
  const bool valid = lv::cache_file_valid(g_cache);
  auto thumbnail = lv::load_thumbnail_file(g_cache);
  if (thumbnail && thumbnail->size() != lv::Size{lv::kThumbnailSide, lv::kThumbnailSide})
    std::abort();
  if (thumbnail && !valid) std::abort();

  lv::CacheTileSource source(g_picture, g_drive);
  if (!source.ready()) return;
  if (!valid) std::abort();
  for (int level = 0; level <= source.top_level(); ++level) {
    const int shift = source.top_level() - level;
    const lv::Size shown = source.full_size();
    const int columns = ((shown.width >> shift) + 255) / 256 + 1;
    const int rows = ((shown.height >> shift) + 255) / 256 + 1;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c) {
        auto tile = source.make_tile(c, r, level);
        if (tile && tile->size() != lv::Size{lv::kTileSide, lv::kTileSide}) std::abort();
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/cache_fuzz.XXXXXX";
  if (!::mkdtemp(folder.data())) std::abort();
  g_folder = folder;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
  });
  const std::string picture = folder + "/picture.jpg";
  const std::vector<uint8_t> jpeg = test_picture();
  if (!lv::write_file_atomic(
          lv::from_utf8(picture),
          std::string_view(reinterpret_cast<const char*>(jpeg.data()), jpeg.size())))
    std::abort();
  g_picture = lv::from_utf8(picture);
  g_drive = lv::from_utf8(folder + "/");
  if (lv::make_cache_file(g_picture, g_drive) != lv::CacheBuildResult::built) std::abort();
  g_cache = lv::cache_name(g_picture, g_drive);
  std::string good;
  if (!lv::read_whole_file(g_cache, good)) std::abort();
  g_good.assign(good.begin(), good.end());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  ++data;
  --size;
  if (mode == 0) {
    std::vector<uint8_t> bytes = g_good;
    for (size_t i = 0; i + 4 <= size && !bytes.empty(); i += 4) {
      const size_t at = (data[i] | data[i + 1] << 8 | (data[i + 3] & 0x70) << 12) % bytes.size();
      const uint8_t value = data[i + 2];
      switch (data[i + 3] & 3) {
        case 0:
          bytes[at] = value;
          break;
        case 1:
          bytes[at] ^= value;
          break;
        case 2:
          bytes.resize(at);
          break;
        default:
          bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), value);
          break;
      }
    }
    read_back(bytes);
  } else if (mode == 1) {
    read_back(std::vector<uint8_t>(data, data + size));
  } else {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size + 1]);
    if (size) std::memcpy(exact.get(), data, size);
    std::vector<uint8_t> cache;
    if (lv::build_cache_bytes(exact.get(), size, {}, cache) == lv::CacheBuildResult::built) {
      lv::CacheHeader header;
      if (!lv::parse_cache_header(cache.data(), cache.size(), cache.size(), header)) std::abort();
    }
  }
  return 0;
}
