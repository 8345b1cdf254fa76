#include "library/cache_file.h"

#include <cstring>

#include "base/file_util.h"
#include "library/cache_location.h"
#include "library/exif.h"
#include "jpeg/jpeg_state.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

constexpr size_t kFixedHeaderBytes = 6;  // format number, L, orientation

uint32_t get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool refuse(std::string* problem, const char* text) {
  if (problem) *problem = text;
  return false;
}

std::u16string decimal(long long value) {
  return from_utf8(std::to_string(value));
}

}  // namespace

std::u16string cache_folder(std::u16string_view drive) {
  return drive_cache_folder(drive);
}

std::u16string cache_name_for(uint64_t file_size, const std::tm& creation,
                              std::u16string_view drive) {
  return cache_name_in(cache_folder(drive), file_size, creation);
}

std::u16string cache_name_in(std::u16string_view cache_folder, uint64_t file_size,
                             const std::tm& creation) {
  if (cache_folder.empty()) return {};
  std::u16string name(cache_folder);
  name += u'/';
  // Unsigned: a file of 2 GB or more would otherwise get a name starting
  // with '-'; smaller files keep the names they always had.
  name += from_utf8(std::to_string(file_size));
  name += decimal(creation.tm_mon + 1);
  name += decimal(creation.tm_mday);
  name += decimal(creation.tm_hour);
  name += decimal(creation.tm_min);
  name += decimal(creation.tm_sec);
  return name;
}

std::u16string cache_name(std::u16string_view picture, std::u16string_view drive) {
  const FileInfo info = file_info(picture);
  if (!info.exists() || info.is_directory()) return {};
  return cache_name_for(info.size, info.creation, drive);
}

// The longer side M gives ceil(log2 M) - 8 levels: computed on integers, so
// that powers of two never fall on the wrong side of a floating-point
// logarithm.
int level_count(int width, int height) {
  const int longest = width > height ? width : height;
  if (longest <= 256) return 0;
  int ceil_log2 = 0;
  while ((int64_t{1} << ceil_log2) < longest) ++ceil_log2;
  const int levels = ceil_log2 - 8;
  return levels > kMaxCacheLevels ? kMaxCacheLevels : levels;
}

LevelSize reduced_size(LevelSize size) {
  return {size.width / 2 > 0 ? size.width / 2 : 1, size.height / 2 > 0 ? size.height / 2 : 1};
}

LevelSize level_size(LevelSize picture, int level) {
  for (int i = 0; i < level; ++i) picture = reduced_size(picture);
  return picture;
}

int shown_orientation(int stored) {
  return stored >= 1 && stored <= 8 ? stored : 1;
}

std::vector<uint8_t> CacheHeader::encode() const {
  std::vector<uint8_t> out;
  out.reserve(size());
  put32(out, kCacheFormat);
  out.push_back(static_cast<uint8_t>(levels));
  out.push_back(static_cast<uint8_t>(orientation));
  for (size_t i = 0; i < records.size(); ++i) {
    put32(out, records[i].index_offset);
    put32(out, records[i].index_size);
    if (i > 0) {
      put32(out, records[i].image_offset);
      put32(out, records[i].image_size);
    }
  }
  put32(out, thumbnail_offset);
  put32(out, thumbnail_size);
  return out;
}

bool parse_cache_header(const uint8_t* data, size_t size, uint64_t file_size, CacheHeader& header,
                        std::string* problem) {
  header = CacheHeader{};
  if (size < kFixedHeaderBytes) return refuse(problem, "the file is too short for a header");
  if (get32(data) != kCacheFormat) return refuse(problem, "not a cache file of format 19");
  header.levels = data[4];
  header.orientation = data[5];
  const uint64_t header_size = CacheHeader::size_for(header.levels);
  if (size < header_size || file_size < header_size)
    return refuse(problem, "the header is cut short");

  const uint8_t* p = data + kFixedHeaderBytes;
  header.records.resize(static_cast<size_t>(header.levels) + 1);
  uint64_t end = header_size;  // where the next block must start
  for (int i = 0; i <= header.levels; ++i) {
    CacheLevelRecord& r = header.records[i];
    r.index_offset = get32(p);
    r.index_size = get32(p + 4);
    p += 8;
    if (r.index_offset != end) return refuse(problem, "an index block is out of place");
    if (r.index_size % jpeg::StateEntry::kSize != 0)
      return refuse(problem, "an index block does not hold whole entries");
    end += r.index_size;
    if (i == 0) continue;
    r.image_offset = get32(p);
    r.image_size = get32(p + 4);
    p += 8;
    if (r.image_offset != end) return refuse(problem, "a level image is out of place");
    if (r.image_size == 0) return refuse(problem, "a level image is empty");
    end += r.image_size;
  }
  header.thumbnail_offset = get32(p);
  header.thumbnail_size = get32(p + 4);
  if (header.thumbnail_offset != end) return refuse(problem, "the thumbnail is out of place");
  if (header.thumbnail_size == 0) return refuse(problem, "the thumbnail is empty");
  end += header.thumbnail_size;
  if (end > file_size) return refuse(problem, "the file ends before its last block");
  return true;
}

bool read_cache_header(FileStream& file, CacheHeader& header, std::string* problem) {
  header = CacheHeader{};
  const int64_t file_size = file.size();
  if (file_size < 0) return refuse(problem, "the file cannot be read");
  uint8_t bytes[CacheHeader::size_for(kMaxCacheLevels)];
  if (!file.seek(0) || !file.read_exact(bytes, kFixedHeaderBytes))
    return refuse(problem, "the file is too short for a header");
  const size_t header_size = CacheHeader::size_for(bytes[4]);
  if (!file.read_exact(bytes + kFixedHeaderBytes, header_size - kFixedHeaderBytes)) {
    // Let the parser name what is wrong with the part that is there.
    return parse_cache_header(bytes, kFixedHeaderBytes, static_cast<uint64_t>(file_size), header,
                              problem);
  }
  return parse_cache_header(bytes, header_size, static_cast<uint64_t>(file_size), header, problem);
}

bool cache_file_valid(std::u16string_view cache_path) {
  FileStream file;
  if (!file.open(cache_path, OpenMode::read)) return false;
  CacheHeader header;
  return read_cache_header(file, header);
}

bool cache_valid(std::u16string_view picture, std::u16string_view drive) {
  const std::u16string name = cache_name(picture, drive);
  return !name.empty() && cache_file_valid(name);
}

std::unique_ptr<RenderSurface> load_thumbnail_file(std::u16string_view cache_path) {
  FileStream file;
  if (!file.open(cache_path, OpenMode::read)) return nullptr;
  CacheHeader header;
  if (!read_cache_header(file, header)) return nullptr;
  // The header check has bounded the size by the file's.
  std::vector<uint8_t> jpeg(header.thumbnail_size);
  if (!file.seek(header.thumbnail_offset) || !file.read_exact(jpeg.data(), jpeg.size()))
    return nullptr;
  file.close();

  JpegDecoder decoder;
  if (!decoder.open(jpeg.data(), jpeg.size())) return nullptr;
  if (decoder.header().width != kThumbnailSide || decoder.header().height != kThumbnailSide)
    return nullptr;
  if (!decoder.start()) return nullptr;
  auto decoded = Surface::create(kThumbnailSide, kThumbnailSide);
  auto turned = Surface::create(kThumbnailSide, kThumbnailSide);
  if (!decoded || !turned) return nullptr;
  if (!decoder.read_rgb565(decoded->row(0), decoded->pitch()) || !decoder.finish()) return nullptr;
  exif_transform_rgb565(shown_orientation(header.orientation), decoded->row(0), kThumbnailSide,
                        kThumbnailSide, decoded->pitch(), turned->row(0), turned->pitch());
  auto surface = std::make_unique<RenderSurface>();
  surface->adopt_surface(std::move(turned));
  return surface;
}

std::unique_ptr<RenderSurface> load_thumbnail(std::u16string_view picture,
                                              std::u16string_view drive) {
  const std::u16string name = cache_name(picture, drive);
  if (name.empty()) return nullptr;
  return load_thumbnail_file(name);
}

}  // namespace lv
