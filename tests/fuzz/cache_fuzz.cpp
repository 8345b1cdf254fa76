// libFuzzer target over the cache-file readers and the cache tile source.
//
// A small picture and its good cache file are made once. Each input then
// becomes a cache file for that picture in one of three ways, chosen by its
// first byte: edits of the good file (4-byte records: offset, value, kind),
// a whole cache file of its own, or a picture whose cache is built in memory
// and read back. The header parser, the validity test, thumbnail loading and
// every tile of every level through the cache source must cope.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

using Bytes = std::vector<uint8_t>;

std::string g_folder;
std::u16string g_picture, g_drive, g_cache;
std::string g_good;

void require(bool holds) {
  if (!holds) std::abort();
}

// Gradients, edges and a little noise, 600 x 420.
Bytes test_picture() {
  Bytes rgb(600 * 420 * 3), jpeg;
  for (uint32_t i = 0, noise = 12345; i < rgb.size(); ++i) {
    const uint32_t x = i / 3 % 600, y = i / 1800, c = i % 3, edge = (x / 37 + y / 23) % 3 ? 0 : 70;
    noise = noise * 1103515245u + 12345u;
    rgb[i] = uint8_t(std::min(255u, (x * (c + 1) + y * (3 - c)) / 5 % 180 + edge + (noise >> 28)));
  }
  require(lv::encode_jpeg(rgb.data(), 600, 420, 1800, 85, jpeg));
  return jpeg;
}

void read_back(const Bytes& bytes) {
  const Bytes exact(bytes);  // exactly sized, so that a read one past the end is caught
  lv::CacheHeader header;
  lv::parse_cache_header(exact.data(), exact.size(), exact.size(), header);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  require(lv::write_file_atomic(g_cache, text, lv::Durability::unsynced));
  const bool valid = lv::cache_file_valid(g_cache);
  auto thumbnail = lv::load_thumbnail_file(g_cache);
  require(!thumbnail ||
          (valid && thumbnail->size() == lv::Size{lv::kThumbnailSide, lv::kThumbnailSide}));

  lv::CacheTileSource source(g_picture, g_drive);
  if (!source.ready()) return;
  require(valid);
  for (int level = 0, shift; (shift = source.top_level() - level) >= 0; ++level)
    for (int r = 0; r <= ((source.full_size().height >> shift) + 255) / 256; ++r)
      for (int c = 0; c <= ((source.full_size().width >> shift) + 255) / 256; ++c) {
        auto tile = source.make_tile(c, r, level);
        require(!tile || tile->size() == lv::Size{lv::kTileSide, lv::kTileSide});
      }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  g_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/cache_fuzz.XXXXXX";
  require(::mkdtemp(g_folder.data()));
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
  });
  const Bytes jpeg = test_picture();
  g_picture = lv::from_utf8(g_folder + "/picture.jpg");
  g_drive = lv::from_utf8(g_folder + "/");
  require(lv::write_file_atomic(g_picture, std::string(jpeg.begin(), jpeg.end())));
  require(lv::make_cache_file(g_picture, g_drive) == lv::CacheBuildResult::built);
  g_cache = lv::cache_name(g_picture, g_drive);
  require(lv::read_whole_file(g_cache, g_good));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const Bytes input(data + 1, data + size);
  Bytes bytes = mode == 0 ? Bytes(g_good.begin(), g_good.end()) : input, cache;
  // Edits of the good file: set, xor, cut or insert a byte.
  for (size_t i = 0; mode == 0 && i + 4 <= input.size() && !bytes.empty(); i += 4) {
    const uint8_t* edit = input.data() + i;
    const size_t at = (edit[0] | edit[1] << 8 | (edit[3] & 0x70) << 12) % bytes.size();
    const int kind = edit[3] & 3;
    if (kind < 2) bytes[at] = kind ? bytes[at] ^ edit[2] : edit[2];
    if (kind == 2) bytes.resize(at);
    if (kind == 3) bytes.insert(bytes.begin() + ptrdiff_t(at), edit[2]);
  }
  lv::CacheHeader header;
  if (mode < 2)
    read_back(bytes);
  else if (lv::build_cache_bytes(input.data(), input.size(), {}, cache) ==
           lv::CacheBuildResult::built)
    require(lv::parse_cache_header(cache.data(), cache.size(), cache.size(), header));
  return 0;
}
