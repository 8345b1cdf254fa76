#include "commands.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "base/file_util.h"
#include "base/log.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_tile_source.h"
#include "jpeg/jpeg_decoder.h"
#include "library/libjpeg_codec.h"
#include "library/picture_tile_source.h"
#include "platform/text.h"
#include "skin/png_writer.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv::cache_tool {

namespace {

void complain(const char* format, const std::string& a, const std::string& b = {}) {
  std::fputs("lumiview-cache: ", stderr);
  std::fprintf(stderr, format, a.c_str(), b.c_str());
  std::fputs("\n", stderr);
}

bool exists(const std::string& path) {
  return file_info(from_utf8(path)).exists();
}

// The size of the JPEG image at [offset, offset + size) of a file.
std::string image_size_text(FileStream& file, uint64_t offset, uint32_t size) {
  std::vector<uint8_t> bytes(size);
  JpegHeader header;
  if (!file.seek(static_cast<int64_t>(offset)) || !file.read_exact(bytes.data(), bytes.size()) ||
      !read_jpeg_header(bytes.data(), bytes.size(), header))
    return "not a readable JPEG image";
  return std::to_string(header.width) + " x " + std::to_string(header.height);
}

}  // namespace

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

int build(const std::string& picture, const std::string& drive) {
  if (!exists(picture)) {
    complain("no such picture: %s", picture);
    return kFailed;
  }
  const std::u16string name = cache_name(from_utf8(picture), from_utf8(drive));
  Stopwatch watch;
  std::string problem;
  const CacheBuildResult result =
      make_cache_file(from_utf8(picture), from_utf8(drive), {}, &problem);
  const double seconds = watch.elapsed();
  if (result != CacheBuildResult::built) {
    complain("cannot make the cache file of %s: %s", picture, problem);
    if (!name.empty() && file_info(name).exists() && file_info(name).size == 0)
      complain("left the empty file %s, which marks the picture as bad", to_utf8(name));
    return kFailed;
  }
  std::printf("cache file: %s\n", to_utf8(name).c_str());
  std::printf("size: %" PRIu64 " bytes\n", file_info(name).size);
  std::printf("build time: %.3f s\n", seconds);
  return kOk;
}

int info(const std::string& cache_file) {
  FileStream file;
  if (!file.open(from_utf8(cache_file), OpenMode::read)) {
    complain("cannot open %s", cache_file);
    return kFailed;
  }
  const int64_t size = file.size();
  std::printf("file: %s (%" PRId64 " bytes)\n", cache_file.c_str(), size);
  if (size == 0) {
    std::printf("valid: no (an empty file: the picture's cache build failed)\n");
    return kFailed;
  }
  CacheHeader header;
  std::string problem;
  if (!read_cache_header(file, header, &problem)) {
    std::printf("valid: no (%s)\n", problem.c_str());
    return kFailed;
  }
  std::printf("format: %u\nlevels: %d\norientation: %d", kCacheFormat, header.levels,
              header.orientation);
  if (shown_orientation(header.orientation) != header.orientation)
    std::printf(" (outside 1 ... 8: shown as 1)");
  std::printf("\n");
  for (int i = 0; i <= header.levels; ++i) {
    const CacheLevelRecord& r = header.records[i];
    const uint32_t entries = r.index_size / static_cast<uint32_t>(jpeg::StateEntry::kSize);
    std::printf("level %d: index at %u, %u bytes, %u entries%s", i, r.index_offset, r.index_size,
                entries,
                i == 0 && entries == 0 ? " (the own decoder cannot take the picture)" : "");
    if (i == 0)
      std::printf("; image: the picture file\n");
    else
      std::printf("; image at %u, %u bytes, %s\n", r.image_offset, r.image_size,
                  image_size_text(file, r.image_offset, r.image_size).c_str());
  }
  std::printf("thumbnail: at %u, %u bytes, %s\n", header.thumbnail_offset, header.thumbnail_size,
              image_size_text(file, header.thumbnail_offset, header.thumbnail_size).c_str());
  file.close();
  const bool thumbnail = load_thumbnail_file(from_utf8(cache_file)) != nullptr;
  std::printf("valid: %s\n", thumbnail ? "yes" : "no (the thumbnail cannot be decoded)");
  return thumbnail ? kOk : kFailed;
}

int thumb(const std::string& picture, const std::string& drive, const std::string& out) {
  const std::u16string name = cache_name(from_utf8(picture), from_utf8(drive));
  if (name.empty()) {
    complain("no such picture: %s", picture);
    return kFailed;
  }
  auto thumbnail = load_thumbnail_file(name);
  if (!thumbnail) {
    complain("no thumbnail in %s (missing, empty or damaged; try \"build\")", to_utf8(name));
    return kFailed;
  }
  if (!write_png(from_utf8(out), *thumbnail->surface())) {
    complain("cannot write %s", out);
    return kFailed;
  }
  std::printf("thumbnail of %s written to %s\n", picture.c_str(), out.c_str());
  return kOk;
}

int tile(const std::string& picture, const std::string& drive, int level, int column, int row,
         const std::string& out, bool from_picture) {
  std::unique_ptr<TileSource> source;
  std::string problem;
  if (from_picture) {
    auto s = std::make_unique<PictureTileSource>(from_utf8(picture));
    problem = s->problem();
    source = std::move(s);
  } else {
    auto s = std::make_unique<CacheTileSource>(from_utf8(picture), from_utf8(drive));
    problem = s->problem();
    source = std::move(s);
  }
  if (!source->ready()) {
    complain("the %s source cannot be opened: %s", from_picture ? "picture" : "cache", problem);
    return kFailed;
  }
  const Size shown = source->full_size();
  std::printf("picture: %d x %d as shown, orientation %d, top level %d\n", shown.width,
              shown.height, source->orientation(), source->top_level());
  if (level < 0 || level > source->top_level()) {
    complain("there is no level %s (levels run from 0 to %s)", std::to_string(level),
             std::to_string(source->top_level()));
    return kFailed;
  }
  auto surface = source->make_tile(column, row, level);
  if (!surface) {
    complain("no tile at column %s, row %s of that level", std::to_string(column),
             std::to_string(row));
    return kFailed;
  }
  if (!write_png(from_utf8(out), *surface->surface())) {
    complain("cannot write %s", out);
    return kFailed;
  }
  std::printf("tile written to %s\n", out.c_str());
  return kOk;
}

int decode(const std::string& picture, const std::string& out) {
  std::string bytes;
  if (!read_whole_file(from_utf8(picture), bytes, 0xFFFFFFFFu)) {
    complain("cannot read %s", picture);
    return kFailed;
  }
  // libjpeg's header check bounds the size by what the data can hold.
  JpegHeader header;
  if (!read_jpeg_header(bytes.data(), bytes.size(), header)) {
    complain("%s is not a JPEG picture that can be read", picture);
    return kFailed;
  }
  jpeg::Decoder decoder;
  if (!decoder.open(
          jpeg::ByteSource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))) {
    complain("the program's own decoder does not take %s: %s", picture, decoder.error());
    return kFailed;
  }
  const jpeg::PictureInfo& info = decoder.info();
  if (info.width != header.width || info.height != header.height) {
    complain("%s has a header the two decoders read differently", picture);
    return kFailed;
  }
  const size_t pitch = static_cast<size_t>(info.width) * 2;
  std::vector<uint8_t> pixels(pitch * info.height);
  if (!decoder.decode_to(jpeg::PixelFormat::rgb565, pixels.data(), pitch)) {
    complain("cannot decode %s: %s", picture, decoder.error());
    return kFailed;
  }
  const PixelView view{pixels.data(), info.width, info.height, static_cast<uint32_t>(pitch)};
  if (!write_png(from_utf8(out), view)) {
    complain("cannot write %s", out);
    return kFailed;
  }
  std::printf("%d x %d picture written to %s\n", info.width, info.height, out.c_str());
  return kOk;
}

}  // namespace lv::cache_tool
