#include "library/cache_build.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <new>
#include <system_error>

#include "app/base/file_util.h"
#include "app/base/log.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/jpeg_decoder.h"
#include "library/level_reducer.h"
#include "library/libjpeg_codec.h"

namespace lv {

namespace {

// Pictures are read into memory whole; the index counts stream bytes in 32
// bits, so nothing larger can be indexed anyway.
constexpr uint64_t kMaxPictureBytes = 0xFFFFFFFFu;

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%f", seconds);
  return text;
}

CacheBuildResult fail(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return CacheBuildResult::failed;
}

// The index block of one level, made by the own decoder on a second thread
// while the building thread decodes the pixels and encodes the next level.
// Empty when the own decoder cannot take the stream; the cache source then
// decodes that level whole.
class IndexScan {
 public:
  IndexScan(const uint8_t* data, size_t size, LevelSize expected) {
    auto work = [this, data, size, expected] { return scan(data, size, expected); };
    try {
      m_future = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
      m_future = std::async(std::launch::deferred, work);  // no thread to be had
    }
  }
  ~IndexScan() {
    m_cancel = true;
    if (m_future.valid()) m_future.wait();
  }

  // Waits for the scan. The stop request is asked on the building thread
  // only, before each decoded scan line; the scan itself never asks it.
  std::vector<uint8_t> finish() {
    m_future.wait();
    return m_future.get();
  }
  void cancel() { m_cancel = true; }

 private:
  std::vector<uint8_t> scan(const uint8_t* data, size_t size, LevelSize expected) noexcept {
    std::vector<uint8_t> index;
    try {
      scan_into(data, size, expected, index);
    } catch (const std::bad_alloc&) {
      index.clear();
    }
    return index;
  }

  void scan_into(const uint8_t* data, size_t size, LevelSize expected,
                 std::vector<uint8_t>& index) {
    jpeg::Decoder decoder;
    if (!decoder.open(jpeg::ByteSource(data, size))) return;
    const jpeg::PictureInfo& info = decoder.info();
    if (info.width != expected.width || info.height != expected.height) return;
    index.reserve(info.entry_count() * jpeg::StateEntry::kSize);
    const bool ok = decoder.scan([&](const jpeg::StateEntry& entry) {
      if (m_cancel) return false;
      uint8_t bytes[jpeg::StateEntry::kSize];
      entry.encode(bytes);
      index.insert(index.end(), bytes, bytes + sizeof bytes);
      return true;
    });
    if (!ok || index.size() != info.entry_count() * jpeg::StateEntry::kSize) index.clear();
  }

  std::atomic<bool> m_cancel{false};
  std::future<std::vector<uint8_t>> m_future;
};

enum class PassResult { ok, failed, stopped };

// Decodes one level through libjpeg and encodes its half-size reduction.
PassResult reduce_level(const uint8_t* data, size_t size, const StopRequest& stop,
                        std::vector<uint8_t>& reduced, std::string& problem) {
  JpegDecoder decoder;
  JpegDecodeOptions options;
  options.stop = stop;
  if (!decoder.open(data, size) || !decoder.start(options)) {
    problem = "cannot decode the picture: " + decoder.error();
    return PassResult::failed;
  }
  const LevelSize input{decoder.output_width(), decoder.output_height()};
  JpegEncoder encoder;
  LevelReducer reducer(input, [&](const uint8_t* row) { return encoder.write_row(row); });
  const LevelSize output = reducer.output_size();
  if (!encoder.start(output.width, output.height, kJpegLevelQuality)) {
    problem = "cannot encode a reduced level: " + encoder.error();
    return PassResult::failed;
  }
  for (int y = 0; y < input.height; ++y) {
    if (!decoder.read_row(reducer.row_buffer())) {
      if (decoder.stopped()) return PassResult::stopped;
      problem = "cannot decode the picture: " + decoder.error();
      return PassResult::failed;
    }
    if (!reducer.push_row()) {
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
  IndexScan scan(data, size, size_of_level);
  if (reduce) {
    const PassResult result = reduce_level(data, size, stop, pass.reduced, problem);
    if (result != PassResult::ok) {
      scan.cancel();
      return result;
    }
  }
  pass.index = scan.finish();
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

bool read_picture(std::u16string_view path, std::vector<uint8_t>& bytes, std::string& problem) {
  FileStream file;
  if (!file.open(path, OpenMode::read)) {
    problem = "cannot open the picture";
    return false;
  }
  const int64_t size = file.size();
  if (size < 0) {
    problem = "cannot read the picture";
    return false;
  }
  if (static_cast<uint64_t>(size) > kMaxPictureBytes) {
    problem = "the picture file is too large";
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  if (!file.read_exact(bytes.data(), bytes.size())) {
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
  const std::u16string folder = cache_folder(drive);
  if (!file_info(folder).is_directory()) create_directory(folder);
  Stopwatch watch;
  log() << "Time for create cache begin " << seconds_text(watch.elapsed()) << "\n";
  const std::u16string name = cache_name(picture, drive);

  std::string why;
  std::vector<uint8_t> picture_bytes, cache;
  CacheBuildResult result = CacheBuildResult::failed;
  if (name.empty())
    why = "cannot look at the picture file";
  else if (read_picture(picture, picture_bytes, why))
    result = build_cache(picture_bytes.data(), picture_bytes.size(), stop, watch, cache, &why);

  if (result == CacheBuildResult::built) {
    const std::string_view bytes(reinterpret_cast<const char*>(cache.data()), cache.size());
    if (!write_file_atomic(name, bytes)) {
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
