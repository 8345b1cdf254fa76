#include "library/cache_tile_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/file_util.h"
#include "library/cache_file.h"
#include "jpeg/jpeg_decoder.h"
#include "library/libjpeg_codec.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

// Bytes read past a band's end: the decoder's bit buffer looks ahead.
constexpr uint64_t kSlackBytes = 400;
// Bytes before a resume point from which its buffered bits are rebuilt.
constexpr uint64_t kRebuildBytes = 6;
// A level's stream before its first MCU: markers, tables, EXIF, ICC.
constexpr uint64_t kMaxLevelHeaderBytes = 16u << 20;

struct Level {
  bool in_picture = false;  // level 0: the stream is the picture file
  uint64_t base = 0;        // where the stream starts in its file
  uint64_t stream_size = 0;
  LevelSize size;
  std::vector<jpeg::StateEntry> entries;  // empty: decoded whole
  std::vector<uint8_t> header;            // the stream before the first MCU

  uint64_t offset_of(size_t e) const { return stream_size - entries[e].bytes_left; }
};

bool read_at(FileStream& file, uint64_t offset, size_t bytes, uint8_t* out) {
  return file.seek(static_cast<int64_t>(offset)) && file.read_exact(out, bytes);
}

}  // namespace

struct CacheTileSource::Impl {
  std::u16string picture;
  std::u16string cache_path;
  PictureGeometry geometry;
  CacheHeader header;
  std::vector<Level> levels;
  FileStream picture_file;
  FileStream cache_file;
  bool ready = false;
  std::string problem;

  int prepared = -1;  // the cache level set up for tiles
  int failed = -1;    // a cache level that cannot be decoded whole
  std::unique_ptr<jpeg::Decoder> decoder;
  std::vector<uint16_t> whole;  // the prepared level, decoded whole
  std::vector<uint8_t> window;

  bool bad(std::string text) {
    problem = std::move(text);
    return false;
  }
  FileStream& file_of(const Level& level) { return level.in_picture ? picture_file : cache_file; }

  bool open();
  bool check_level(int index);
  bool check_entries(const Level& level, const jpeg::PictureInfo& info);
  bool open_decoder(const Level& level);
  bool prepare(int index);
  bool decode_whole(int index);
  std::unique_ptr<RenderSurface> band_tile(const Level& level, int column, int row);
};

bool CacheTileSource::Impl::open() {
  if (!read_picture_geometry(picture, geometry, problem)) return false;
  if (cache_path.empty()) return bad("the picture has no cache file name");
  if (!cache_file.open(cache_path, OpenMode::read)) return bad("cannot open the cache file");
  std::string why;
  if (!read_cache_header(cache_file, header, &why)) return bad("bad cache file: " + why);
  if (header.levels != geometry.levels)
    return bad("the cache file's level count does not fit the picture");
  // The stored orientation is the one the levels were made for.
  geometry =
      picture_geometry(geometry.width, geometry.height, header.orientation, geometry.file_size);
  if (!picture_file.open(picture, OpenMode::read)) return bad("cannot open the picture");
  levels.resize(static_cast<size_t>(header.levels) + 1);
  for (int i = 0; i <= header.levels; ++i)
    if (!check_level(i)) return false;
  return true;
}

bool CacheTileSource::Impl::check_level(int index) {
  Level& level = levels[index];
  const CacheLevelRecord& record = header.records[index];
  level.in_picture = index == 0;
  level.base = index == 0 ? 0 : record.image_offset;
  level.stream_size = index == 0 ? geometry.file_size : record.image_size;
  level.size = level_size({geometry.width, geometry.height}, index);
  if (record.index_size == 0) return true;
  if (level.stream_size > UINT32_MAX) return bad("an index for a stream too large to index");

  const size_t count = record.index_size / jpeg::StateEntry::kSize;
  std::vector<uint8_t> bytes(record.index_size);
  if (!read_at(cache_file, record.index_offset, bytes.size(), bytes.data()))
    return bad("cannot read an index block");
  level.entries.resize(count);
  for (size_t e = 0; e < count; ++e)
    level.entries[e] = jpeg::StateEntry::decode(bytes.data() + e * jpeg::StateEntry::kSize);

  if (level.entries[0].bytes_left > level.stream_size)
    return bad("an index starts outside its stream");
  const uint64_t header_size = level.offset_of(0);
  if (header_size == 0 || header_size > kMaxLevelHeaderBytes)
    return bad("an index starts at an impossible place");
  level.header.resize(static_cast<size_t>(header_size));
  if (!read_at(file_of(level), level.base, level.header.size(), level.header.data()))
    return bad("cannot read a level's header");
  jpeg::Decoder probe;
  if (!probe.open(jpeg::ByteSource(level.header.data(), level.header.size(), 0, level.stream_size)))
    return bad("an indexed level the decoder cannot read: " + probe.error());
  return check_entries(level, probe.info());
}

bool CacheTileSource::Impl::check_entries(const Level& level, const jpeg::PictureInfo& info) {
  if (info.width != level.size.width || info.height != level.size.height)
    return bad("a level of the wrong size");
  if (info.scan_offset != level.header.size())
    return bad("an index whose first entry is not at the start of the scan");
  if (level.entries.size() != info.entry_count()) return bad("an index of the wrong length");
  const uint32_t interval = info.restart_interval;
  for (size_t e = 0; e < level.entries.size(); ++e) {
    const jpeg::StateEntry& entry = level.entries[e];
    if (e > 0 && entry.bytes_left > level.entries[e - 1].bytes_left)
      return bad("an index that goes back in its stream");
    // The canonical form: fewer than 8 bits, all in the byte before the
    // resume point, which lies inside the scan.
    if (entry.bits > 7 || entry.marker != 0 || entry.next_restart > 7)
      return bad("an index entry that this program does not write");
    if (interval ? entry.mcus_left > interval : entry.mcus_left != 0)
      return bad("an index entry outside its restart interval");
    if (entry.bits > 0 && level.offset_of(e) <= info.scan_offset)
      return bad("an index entry whose bits lie before the scan");
  }
  if (level.entries[0].bits != 0) return bad("an index whose first entry has bits");
  return true;
}

bool CacheTileSource::Impl::open_decoder(const Level& level) {
  decoder = std::make_unique<jpeg::Decoder>();
  if (decoder->open(
          jpeg::ByteSource(level.header.data(), level.header.size(), 0, level.stream_size)))
    return true;
  decoder.reset();
  return bad("cannot set up the decoder for a level");
}

bool CacheTileSource::Impl::decode_whole(int index) {
  const Level& level = levels[index];
  std::vector<uint8_t> image;
  JpegDecoder libjpeg;
  bool opened = false;
  if (level.in_picture) {
    opened = libjpeg.open(picture);
  } else {
    image.resize(static_cast<size_t>(level.stream_size));
    opened = read_at(cache_file, level.base, image.size(), image.data()) &&
             libjpeg.open(image.data(), image.size());
  }
  if (!opened || !libjpeg.start()) return bad("cannot decode a level: " + libjpeg.error());
  if (libjpeg.output_width() != level.size.width || libjpeg.output_height() != level.size.height)
    return bad("a level of the wrong size");
  try {
    whole.resize(static_cast<size_t>(level.size.width) * level.size.height);
  } catch (const std::bad_alloc&) {
    return bad("not enough memory for a level");
  }
  if (!libjpeg.read_rgb565(whole.data(), static_cast<size_t>(level.size.width) * 2) ||
      !libjpeg.finish()) {
    whole = {};
    return bad("cannot decode a level: " + libjpeg.error());
  }
  return true;
}

bool CacheTileSource::Impl::prepare(int index) {
  if (index == prepared && (decoder || !whole.empty())) return true;
  if (index == failed) return false;
  decoder.reset();
  whole = {};
  prepared = -1;
  const Level& level = levels[index];
  const bool ok = level.entries.empty() ? decode_whole(index) : open_decoder(level);
  if (!ok) {
    if (level.entries.empty()) failed = index;  // a whole decode is not tried twice
    return false;
  }
  prepared = index;
  return true;
}

std::unique_ptr<RenderSurface> CacheTileSource::Impl::band_tile(const Level& level, int column,
                                                                int row) {
  const jpeg::PictureInfo info = decoder->info();
  const int columns = info.bands_per_row;
  const int rows = (info.height + kTileSide - 1) / kTileSide;
  const int o = geometry.orientation;
  const bool swaps = o > 4;
  if (column < 0 || row < 0 || column >= (swaps ? rows : columns) ||
      row >= (swaps ? columns : rows))
    return nullptr;
  const TilePosition at = stored_tile(o, column, row, columns, rows);
  const int top = at.row * kTileSide;
  const int tile_height = std::min(kTileSide, info.height - top);
  const int first_row = top / info.mcu_height;
  if (first_row >= info.mcu_rows || at.column >= columns) return nullptr;
  const size_t band_bytes = static_cast<size_t>(info.band_width(at.column)) * 2;

  auto stored = Surface::create(kTileSide, kTileSide);
  if (!stored) return nullptr;
  const size_t last = level.entries.size() - 1;
  for (int m = first_row; m < info.mcu_rows && m * info.mcu_height < top + tile_height; ++m) {
    const size_t e = static_cast<size_t>(at.column) + static_cast<size_t>(m) * columns;
    const uint64_t offset = level.offset_of(e);
    const uint64_t begin = e == 0 ? offset : offset - kRebuildBytes;
    uint64_t end = e == last
                       ? level.stream_size
                       : offset + (level.entries[e].bytes_left - level.entries[e + 1].bytes_left) +
                             kSlackBytes;
    end = std::min(end, level.stream_size);
    window.resize(static_cast<size_t>(end - begin));
    if (!read_at(file_of(level), level.base + begin, window.size(), window.data())) {
      bad("cannot read a band of a level");
      return nullptr;
    }
    const jpeg::ByteSource source(window.data(), window.size(), begin, level.stream_size);
    const bool ok =
        decoder->decode_band(source, level.entries[e], m, at.column, jpeg::PixelFormat::rgb565,
                             [&](int y, const uint8_t* pixels) {
                               const int ty = y - top;
                               if (ty >= 0 && ty < tile_height)
                                 std::memcpy(stored->row(ty), pixels, band_bytes);
                               return true;
                             });
    if (!ok) {
      bad("cannot decode a band: " + decoder->error());
      open_decoder(level);  // a failed decoder stays failed
      return nullptr;
    }
  }
  return turn_tile(std::move(stored), o);
}

CacheTileSource::CacheTileSource(std::u16string_view picture, std::u16string_view drive)
    : CacheTileSource(picture, drive, cache_name(picture, drive)) {}

CacheTileSource::CacheTileSource(std::u16string_view picture, std::u16string_view,
                                 std::u16string_view cache_path)
    : m_impl(std::make_unique<Impl>()) {
  Impl& d = *m_impl;
  d.picture = picture;
  d.cache_path = cache_path;
  d.ready = d.open();
  if (!d.ready) {
    d.levels.clear();
    d.picture_file.close();
    d.cache_file.close();
  }
}

CacheTileSource::~CacheTileSource() = default;

std::unique_ptr<RenderSurface> CacheTileSource::make_tile(int column, int row, int level) {
  Impl& d = *m_impl;
  if (!d.ready || level < 0 || level > d.geometry.levels) return nullptr;
  const int index = d.geometry.levels - level;
  if (!d.prepare(index)) return nullptr;
  const Level& cache_level = d.levels[index];
  if (cache_level.entries.empty())
    return cut_tile(d.whole.data(), cache_level.size.width, cache_level.size.height,
                    static_cast<size_t>(cache_level.size.width) * 2, d.geometry.orientation, column,
                    row);
  return d.band_tile(cache_level, column, row);
}

Size CacheTileSource::full_size() const {
  return m_impl->geometry.shown;
}
int CacheTileSource::top_level() const {
  return m_impl->geometry.levels;
}
bool CacheTileSource::ready() const {
  return m_impl->ready;
}
Point CacheTileSource::edge_offsets() const {
  return m_impl->geometry.edge_offsets;
}
int CacheTileSource::direction() const {
  return m_impl->geometry.direction;
}
int CacheTileSource::orientation() const {
  return m_impl->geometry.orientation;
}
const std::string& CacheTileSource::problem() const {
  return m_impl->problem;
}

std::array<uint32_t, 4> CacheTileSource::level_sizes() const {
  const Impl& d = *m_impl;
  std::array<uint32_t, 4> sizes{static_cast<uint32_t>(d.geometry.file_size), 0, 0, 0};
  for (int i = 1; i <= 3 && i < static_cast<int>(d.header.records.size()); ++i)
    sizes[i] = d.header.records[i].image_size;
  return sizes;
}

size_t CacheTileSource::index_entries(int cache_level) const {
  const Impl& d = *m_impl;
  if (cache_level < 0 || cache_level >= static_cast<int>(d.levels.size())) return 0;
  return d.levels[cache_level].entries.size();
}

bool CacheTileSource::extract_level(std::u16string_view output, int level) {
  Impl& d = *m_impl;
  if (!d.ready || level < 0) return false;
  if (level > d.geometry.levels) return true;
  const Level& source = d.levels[level];
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(source.stream_size));
  } catch (const std::bad_alloc&) {
    return d.bad("not enough memory to copy a level");
  }
  if (!read_at(d.file_of(source), source.base, bytes.size(),
               reinterpret_cast<uint8_t*>(bytes.data())))
    return d.bad("cannot read a level");
  if (!write_file_atomic(output, bytes)) return d.bad("cannot write the level's file");
  return true;
}

std::unique_ptr<TileSource> make_cache_tile_source(std::u16string_view picture,
                                                   std::u16string_view drive) {
  return std::make_unique<CacheTileSource>(picture, drive);
}

}  // namespace lv
