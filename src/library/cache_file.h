#pragma once

// The cache file of a picture: its name, its header, the validity test, the
// level count of the reduced pyramid and the loading of its thumbnail.
//
// Layout (little-endian, no padding; L reduced levels):
//   0  format number 19 (4 bytes)        4  L (1)      5  EXIF orientation (1)
//   6  level 0 index offset, size (4 + 4)
//   14 + 16 (i - 1): level i index offset, index size, image offset, image size
//   14 + 16 L: thumbnail offset, size (4 + 4)
//   22 + 16 L: level 0's index, then each level's index and image, then the
//   thumbnail. Every block starts where the one before it ends.
// Level 0 is the picture file itself; its index is empty when the own
// decoder cannot take the picture. Index blocks are 17-byte decoder states
// (jpeg/jpeg_state.h).

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class FileStream;
class RenderSurface;

inline constexpr uint32_t kCacheFormat = 19;
inline constexpr int kThumbnailSide = 64;
inline constexpr int kMaxCacheLevels = 255;
inline constexpr char16_t kCacheFolderName[] = u"!lumiviewcache";

// The drive's cache folder: the drive path, a separator when it has none at
// its end, and "!lumiviewcache"; for a drive whose root cannot be written, a
// folder in the user's cache folder (library/cache_location.h).
std::u16string cache_folder(std::u16string_view drive);

// The cache folder followed by the file size (unsigned decimal) and the
// month, day, hour, minute and second of its creation in local time, without
// separators. Empty when the picture cannot be looked at or the drive names
// no cache folder.
std::u16string cache_name(std::u16string_view picture, std::u16string_view drive);
std::u16string cache_name_for(uint64_t file_size, const std::tm& creation,
                              std::u16string_view drive);
// The same in a cache folder already looked up (a search names thousands).
std::u16string cache_name_in(std::u16string_view cache_folder, uint64_t file_size,
                             const std::tm& creation);

// Reduced levels below a picture of this size: each halves the one before
// until the longer side is at most 256 (and more than 128).
int level_count(int width, int height);

struct LevelSize {
  int width = 0;
  int height = 0;
  bool operator==(const LevelSize&) const = default;
};
// The level below one of width x height: half of each side, rounded down,
// but never below 1, so that a long panorama keeps a row at every level.
LevelSize reduced_size(LevelSize size);
// Level `level` (0 = the picture) of a picture of this size.
LevelSize level_size(LevelSize picture, int level);

struct CacheLevelRecord {
  uint32_t index_offset = 0;
  uint32_t index_size = 0;
  uint32_t image_offset = 0;  // level 0: none, the picture is the image
  uint32_t image_size = 0;
  bool operator==(const CacheLevelRecord&) const = default;
};

struct CacheHeader {
  int levels = 0;                         // L
  int orientation = 1;                    // as stored; shown_orientation() makes it usable
  std::vector<CacheLevelRecord> records;  // L + 1: level 0 first
  uint32_t thumbnail_offset = 0;
  uint32_t thumbnail_size = 0;

  static constexpr uint32_t size_for(int levels) {
    return 16u * static_cast<uint32_t>(levels) + 22u;
  }
  uint32_t size() const { return size_for(levels); }
  // The header's bytes, ready to be written at offset 0.
  std::vector<uint8_t> encode() const;
};

// 1 ... 8 as stored; anything else counts as 1.
int shown_orientation(int stored);

// Reads and checks a cache file's header against the file's real size: the
// format number, every block where the layout puts it (each starting where
// the previous ends), index sizes in whole entries, everything inside the
// file. False, with a reason, when anything is off.
bool parse_cache_header(const uint8_t* data, size_t size, uint64_t file_size, CacheHeader& header,
                        std::string* problem = nullptr);
bool read_cache_header(FileStream& file, CacheHeader& header, std::string* problem = nullptr);

// Valid: the file opens and its header passes the checks above. An empty
// file (a failed build) is invalid.
bool cache_file_valid(std::u16string_view cache_path);
bool cache_valid(std::u16string_view picture, std::u16string_view drive);

// The thumbnail as a 64 x 64 RGB565 surface, already turned by the stored
// orientation; none when the file is missing or damaged or the thumbnail is
// not a 64 x 64 JPEG.
std::unique_ptr<RenderSurface> load_thumbnail_file(std::u16string_view cache_path);
std::unique_ptr<RenderSurface> load_thumbnail(std::u16string_view picture,
                                              std::u16string_view drive);

}  // namespace lv
