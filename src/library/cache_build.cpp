#include "library/cache_build.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/file_util.h"
#include "base/log.h"
#include "library/cache_file.h"
#include "library/cache_location.h"
#include "library/exif.h"
#include "jpeg/jpeg_decoder.h"
#include "library/level_reducer.h"
#include "library/libjpeg_codec.h"

namespace lv {

namespace {

// The index counts stream bytes in 32 bits, so nothing larger can be
// indexed anyway.
constexpr uint64_t kMaxPictureBytes = 0xFFFFFFFFu;
// Reading a picture: the header is looked for in the first 64 KB, then in
// pieces eight times larger up to 32 MB (a header of many 64 KB segments);
// the scans that follow take at most this many bytes for each pixel (the
// worst a baseline stream of three full components with every byte stuffed
// needs is about 20; progressive streams stay well below), and the markers
// after them a little more.
constexpr uint64_t kFirstHeaderPiece = 64 * 1024;
constexpr uint64_t kMaxHeaderBytes = 32u << 20;
constexpr uint64_t kMaxBytesPerPixel = 24;
constexpr uint64_t kMaxTrailingBytes = 64 * 1024;

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%f", seconds);
  return text;
}

CacheBuildResult fail(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return CacheBuildResult::failed;
}

// The index block of one level by a Huffman-only scan of the own decoder,
// for the last level, which needs no pixels. Empty when the own decoder
// cannot take the stream; the cache source then decodes that level whole.
std::vector<uint8_t> scan_index(const uint8_t* data, size_t size, LevelSize expected) {
  std::vector<uint8_t> index;
  try {
    jpeg::Decoder decoder;
    if (!decoder.open(jpeg::ByteSource(data, size))) return index;
    const jpeg::PictureInfo& info = decoder.info();
    if (info.width != expected.width || info.height != expected.height) return index;
    if (!decoder.scan_index(index) || index.size() != info.entry_count() * jpeg::StateEntry::kSize)
      index.clear();
  } catch (const std::bad_alloc&) {
    index.clear();
  }
  return index;
}

// The own decoder as libjpeg's Huffman decoder while libjpeg makes a level's
// pixels: the stream is Huffman decoded once, for the pixels and the index.
class OwnCoefficients final : public JpegCoefficientSource {
 public:
  // False when the own decoder cannot take the stream (or finds another
  // size than the level's); libjpeg then decodes alone.
  bool open(const uint8_t* data, size_t size, LevelSize expected) {
    if (!m_decoder.open(jpeg::ByteSource(data, size))) return false;
    const jpeg::PictureInfo& info = m_decoder.info();
    if (info.width != expected.width || info.height != expected.height) return false;
    m_expected = info.entry_count() * jpeg::StateEntry::kSize;
    // Reserved now: the entries come inside libjpeg's calls, where nothing
    // may allocate or throw.
    m_index.reserve(m_expected);
    return m_decoder.begin_coefficients([this](const jpeg::StateEntry& entry) {
      if (m_index.size() + jpeg::StateEntry::kSize > m_expected) return false;
      uint8_t bytes[jpeg::StateEntry::kSize];
      entry.encode(bytes);
      m_index.insert(m_index.end(), bytes, bytes + sizeof bytes);
      return true;
    });
  }

  int blocks_per_mcu() const override { return m_decoder.blocks_per_mcu(); }
  int mcus_per_row() const override { return m_decoder.info().mcus_per_row; }
  int mcu_rows() const override { return m_decoder.info().mcu_rows; }
  bool next_mcu(int16_t* const* blocks) override { return m_decoder.next_mcu(blocks); }
  uint64_t end_offset() const override { return m_decoder.coefficients_end(); }

  // The index once every MCU went through; empty otherwise.
  std::vector<uint8_t> take_index() {
    if (m_index.size() != m_expected) m_index.clear();
    return std::move(m_index);
  }

 private:
  jpeg::Decoder m_decoder;
  uint64_t m_expected = 0;
  std::vector<uint8_t> m_index;
};

enum class PassResult { ok, failed, stopped };

// Decodes one level through libjpeg and encodes its half-size reduction;
// the own decoder, when given, does the Huffman decoding.
PassResult reduce_level(const uint8_t* data, size_t size, const StopRequest& stop,
                        OwnCoefficients* own, std::vector<uint8_t>& reduced, bool& own_used,
                        std::string& problem) {
  own_used = false;
  JpegDecoder decoder;
  JpegDecodeOptions options;
  options.rgbx = true;  // four bytes a pixel halve several times faster
  options.coefficients = own;
  options.stop = stop;
  if (!decoder.open(data, size) || !decoder.start(options)) {
    problem = "cannot decode the picture: " + decoder.error();
    return PassResult::failed;
  }
  own_used = decoder.coefficients_used();
  const LevelSize input{decoder.output_width(), decoder.output_height()};
  JpegEncoder encoder;
  LevelReducer reducer(
      input, [&](const uint8_t* row) { return encoder.write_row(row); }, decoder.pixel_bytes());
  const LevelSize output = reducer.output_size();
  if (!encoder.start(output.width, output.height, kJpegLevelQuality, decoder.pixel_bytes() == 4)) {
    problem = "cannot encode a reduced level: " + encoder.error();
    return PassResult::failed;
  }
  while (decoder.rows_read() < input.height) {
    const int rows =
        decoder.read_rows(reducer.rows_buffer(), reducer.row_pitch(), reducer.rows_room());
    if (rows == 0) {
      if (decoder.stopped()) return PassResult::stopped;
      problem = "cannot decode the picture: " + decoder.error();
      return PassResult::failed;
    }
    if (!reducer.push_rows(rows)) {
      problem = "cannot encode a reduced level: " + encoder.error();
      return PassResult::failed;
    }
  }
  if (!decoder.finish() || !reducer.finish() || !encoder.finish(reduced)) {
    problem = "cannot finish a reduced level: " + encoder.error();
    return PassResult::failed;
  }
  return PassResult::ok;
}

struct LevelPass {
  std::vector<uint8_t> index;
  std::vector<uint8_t> reduced;  // the next level's image, when asked for
};

PassResult run_pass(const uint8_t* data, size_t size, LevelSize size_of_level, bool reduce,
                    const StopRequest& stop, LevelPass& pass, std::string& problem) {
  if (!reduce) {
    pass.index = scan_index(data, size, size_of_level);
    return PassResult::ok;
  }
  OwnCoefficients own;
  bool own_open = false;
  try {
    own_open = own.open(data, size, size_of_level);
  } catch (const std::bad_alloc&) {
    own_open = false;
  }
  bool own_used = false;
  const PassResult result =
      reduce_level(data, size, stop, own_open ? &own : nullptr, pass.reduced, own_used, problem);
  if (result != PassResult::ok) return result;
  if (own_used)
    pass.index = own.take_index();
  else if (own_open)  // libjpeg's MCUs were not the own decoder's
    pass.index = scan_index(data, size, size_of_level);
  return PassResult::ok;
}

CacheBuildResult build_cache(const uint8_t* picture, size_t size, const StopRequest& stop,
                             Stopwatch& watch, std::vector<uint8_t>& cache, std::string* problem) {
  cache.clear();
  if (size > kMaxPictureBytes) return fail(problem, "the picture file is too large");
  JpegHeader jpeg_header;
  if (!read_jpeg_header(picture, size, jpeg_header))
    return fail(problem, "the picture is not a JPEG file that can be read");
  const LevelSize picture_size{jpeg_header.width, jpeg_header.height};

  CacheHeader header;
  header.levels = level_count(picture_size.width, picture_size.height);
  header.orientation = exif_orientation(picture, size);
  header.records.resize(static_cast<size_t>(header.levels) + 1);

  std::vector<uint8_t> body;  // everything after the header
  const uint64_t header_size = header.size();
  auto here = [&] { return header_size + body.size(); };

  std::vector<uint8_t> level_image;  // the image of the level being passed over
  std::string why;
  for (int level = 0; level <= header.levels; ++level) {
    const uint8_t* data = level == 0 ? picture : level_image.data();
    const size_t data_size = level == 0 ? size : level_image.size();
    const bool last = level == header.levels;
    LevelPass pass;
    const PassResult result =
        run_pass(data, data_size, level_size(picture_size, level), !last, stop, pass, why);
    if (result == PassResult::stopped) return CacheBuildResult::stopped;
    if (result == PassResult::failed) return fail(problem, why);

    CacheLevelRecord& record = header.records[level];
    record.index_offset = static_cast<uint32_t>(here());
    record.index_size = static_cast<uint32_t>(pass.index.size());
    body.insert(body.end(), pass.index.begin(), pass.index.end());
    if (level > 0) {
      record.image_offset = static_cast<uint32_t>(here());
      record.image_size = static_cast<uint32_t>(level_image.size());
      body.insert(body.end(), level_image.begin(), level_image.end());
    }
    if (here() > UINT32_MAX) return fail(problem, "the cache file would be too large");
    log() << "create cache time " << level << " " << seconds_text(watch.elapsed()) << "\n";
    level_image.swap(pass.reduced);
  }

  // level_image now holds nothing; the smallest level is in the body.
  const CacheLevelRecord& smallest = header.records.back();
  const uint8_t* thumb_source = picture;
  size_t thumb_source_size = size;
  if (header.levels > 0) {
    thumb_source = body.data() + (smallest.image_offset - header_size);
    thumb_source_size = smallest.image_size;
  }
  std::vector<uint8_t> thumbnail;
  if (!make_thumbnail_jpeg(thumb_source, thumb_source_size, stop, thumbnail, &why))
    return why == "stopped" ? CacheBuildResult::stopped : fail(problem, why);
  header.thumbnail_offset = static_cast<uint32_t>(here());
  header.thumbnail_size = static_cast<uint32_t>(thumbnail.size());
  body.insert(body.end(), thumbnail.begin(), thumbnail.end());
  if (here() > UINT32_MAX) return fail(problem, "the cache file would be too large");

  cache = header.encode();
  cache.insert(cache.end(), body.begin(), body.end());
  return CacheBuildResult::built;
}

bool read_more(FileStream& file, std::vector<uint8_t>& bytes, uint64_t size) {
  const size_t had = bytes.size();
  bytes.resize(static_cast<size_t>(size));
  return file.read_exact(bytes.data() + had, bytes.size() - had);
}

// Reads a picture for its build. A file that does not start as a JPEG does
// (FF D8 FF) is refused at once. The header is then read through growing
// pieces of the file, and of the rest only as much as a picture of the
// header's size can fill, so that junk after a picture, or a huge file that
// merely starts like one, never costs more memory than the picture's pixels.
bool read_picture(std::u16string_view path, std::vector<uint8_t>& bytes, std::string& problem) {
  bytes.clear();
  FileStream file;
  if (!file.open(path, OpenMode::read)) {
    problem = "cannot open the picture";
    return false;
  }
  const int64_t file_size = file.size();
  if (file_size < 0) {
    problem = "cannot read the picture";
    return false;
  }
  const auto size = static_cast<uint64_t>(file_size);
  uint8_t start[3];
  if (size < sizeof start || !file.read_exact(start, sizeof start) || start[0] != 0xFF ||
      start[1] != 0xD8 || start[2] != 0xFF) {
    problem = "the picture is not a JPEG file";
    return false;
  }
  bytes.assign(start, start + sizeof start);
  uint64_t useful = 0;
  for (uint64_t piece = kFirstHeaderPiece;; piece *= 8) {
    if (!read_more(file, bytes, std::min({piece, size, kMaxHeaderBytes}))) {
      problem = "cannot read the picture";
      return false;
    }
    JpegDecoder decoder;
    if (decoder.open(bytes.data(), bytes.size())) {
      const uint64_t header_end = bytes.size() - decoder.bytes_remaining();
      const JpegHeader& header = decoder.header();
      useful = header_end + kMaxTrailingBytes +
               kMaxBytesPerPixel * static_cast<uint64_t>(header.width) *
                   static_cast<uint64_t>(header.height);
      break;
    }
    if (bytes.size() == size || bytes.size() == kMaxHeaderBytes) {
      problem = "the picture is not a JPEG file that can be read";
      return false;
    }
  }
  const uint64_t wanted = std::min(size, useful);
  if (wanted > kMaxPictureBytes) {
    problem = "the picture file is too large";
    return false;
  }
  if (!read_more(file, bytes, std::max<uint64_t>(wanted, bytes.size()))) {
    problem = "cannot read the picture";
    return false;
  }
  return true;
}

// An empty file cannot be half written, so it needs no temporary name.
bool write_marker(std::u16string_view name) {
  FileStream file;
  return file.open(name, OpenMode::write);
}

}  // namespace

bool make_thumbnail_jpeg(const uint8_t* jpeg, size_t size, const StopRequest& stop,
                         std::vector<uint8_t>& thumbnail, std::string* problem) {
  auto refuse = [&](const std::string& text) {
    if (problem) *problem = text;
    return false;
  };
  JpegDecoder decoder;
  if (!decoder.open(jpeg, size)) return refuse("cannot read the image: " + decoder.error());
  const int shorter = std::min(decoder.header().width, decoder.header().height);
  JpegDecodeOptions options;
  options.scale_denominator = shorter / 2 > kThumbnailSide ? 2 : 1;
  options.stop = stop;
  if (!decoder.start(options)) return refuse("cannot decode the image: " + decoder.error());
  const int width = decoder.output_width();
  const int height = decoder.output_height();
  const int x0 = width / 2 - kThumbnailSide / 2;
  int y0 = height / 2 - kThumbnailSide / 2;
  if (height > width) y0 = std::min(y0, 0);  // a portrait keeps its top

  JpegEncoder encoder;
  if (!encoder.start(kThumbnailSide, kThumbnailSide, kJpegThumbnailQuality))
    return refuse("cannot encode the thumbnail: " + encoder.error());
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  uint8_t out[kThumbnailSide * 3];
  std::memset(out, 0, sizeof out);
  for (int y = y0; y < 0; ++y)
    if (!encoder.write_row(out)) return refuse("cannot encode the thumbnail");
  const int first_column = std::max(x0, 0);
  const int end_column = std::min(width, x0 + kThumbnailSide);
  for (int y = 0; y < height; ++y) {
    if (!decoder.read_row(row.data()))
      return refuse(decoder.stopped() ? "stopped" : "cannot decode the image: " + decoder.error());
    if (y < y0 || y >= y0 + kThumbnailSide) continue;
    std::memset(out, 0, sizeof out);
    if (end_column > first_column)
      std::memcpy(out + (first_column - x0) * 3, row.data() + first_column * 3,
                  static_cast<size_t>(end_column - first_column) * 3);
    if (!encoder.write_row(out)) return refuse("cannot encode the thumbnail");
  }
  std::memset(out, 0, sizeof out);
  while (encoder.rows_written() < kThumbnailSide)
    if (!encoder.write_row(out)) return refuse("cannot encode the thumbnail");
  if (!decoder.finish()) return refuse("cannot decode the image: " + decoder.error());
  if (!encoder.finish(thumbnail)) return refuse("cannot encode the thumbnail: " + encoder.error());
  return true;
}

CacheBuildResult build_cache_bytes(const uint8_t* picture, size_t size, const StopRequest& stop,
                                   std::vector<uint8_t>& cache, std::string* problem) {
  Stopwatch watch;
  return build_cache(picture, size, stop, watch, cache, problem);
}

CacheBuildResult make_cache_file(std::u16string_view picture, std::u16string_view drive,
                                 const StopRequest& stop, std::string* problem) {
  // Nothing is written for a drive that is not there (a pulled card) or
  // names no folder at all: the picture counts as failed, and comes back
  // with the card.
  if (!make_cache_folder(drive)) {
    if (problem) *problem = "the drive's cache folder cannot be made";
    return CacheBuildResult::failed;
  }
  Stopwatch watch;
  log() << "Time for create cache begin " << seconds_text(watch.elapsed()) << "\n";
  const std::u16string name = cache_name(picture, drive);

  std::string why;
  std::vector<uint8_t> picture_bytes, cache;
  CacheBuildResult result = CacheBuildResult::failed;
  try {
    if (name.empty())
      why = "cannot look at the picture file";
    else if (read_picture(picture, picture_bytes, why))
      result = build_cache(picture_bytes.data(), picture_bytes.size(), stop, watch, cache, &why);
  } catch (const std::exception& fault) {
    // Memory for a level the system cannot give, above all: the picture is
    // bad, the program goes on.
    result = CacheBuildResult::failed;
    why = std::string("the build ran out of resources: ") + fault.what();
  }
  picture_bytes = {};

  if (result == CacheBuildResult::built) {
    // A cache file can always be made again, and a torn one fails its
    // header check, so it is not forced to disk.
    const std::string_view bytes(reinterpret_cast<const char*>(cache.data()), cache.size());
    if (!write_file_atomic(name, bytes, Durability::unsynced)) {
      result = CacheBuildResult::failed;
      why = "cannot write the cache file";
      // A good file from an earlier build stays; only a missing or bad one
      // becomes the bad-picture marker.
      if (!cache_file_valid(name) && !write_marker(name)) why += " nor the empty marker";
    }
  } else if (result == CacheBuildResult::failed && !name.empty()) {
    if (!write_marker(name)) why += " (and the empty marker cannot be written)";
  }
  log() << "Time for create cache end " << seconds_text(watch.elapsed()) << "\n";
  if (problem) *problem = result == CacheBuildResult::stopped ? "stopped" : why;
  return result;
}

}  // namespace lv
