#pragma once

// Picture decoding and encoding through libjpeg-turbo (libjpeg 6.2 API),
// with the program's own source, destination and error managers: nothing is
// printed, nothing exits, and every failure is a false result with a message.
//
// Decoding gives RGB888 scan lines (grayscale is expanded to RGB, CMYK and
// YCCK are converted to RGB), scaled by 1, 1/2, 1/4 or 1/8 with the fast
// integer IDCT. Encoding takes RGB888 scan lines and gives a baseline JPEG
// in memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class FileStream;

// Qualities of the reduced levels and of the thumbnails of the cache files.
inline constexpr int kJpegLevelQuality = 75;
inline constexpr int kJpegThumbnailQuality = 95;

// Limits on what a header may ask for. Pictures beyond them are refused
// before any pixel memory is taken.
inline constexpr int kJpegMaxDimension = 65500;             // libjpeg's own bound
inline constexpr uint64_t kJpegMaxPixelBytes = 1ull << 30;  // width * height * 3
// A picture needs some compressed bits per pixel; one that claims far more
// pixels than its stream could hold is damaged. Small pictures always pass.
inline constexpr uint64_t kJpegPixelsPerStreamByte = 1024;
inline constexpr uint64_t kJpegAlwaysPlausiblePixels = 1ull << 22;
inline constexpr long kJpegMaxWorkMemory = 1l << 30;  // libjpeg's coefficient buffers
inline constexpr int kJpegMaxScans = 500;

enum class JpegColorSpace { unknown, grayscale, ycbcr, rgb, cmyk, ycck };

struct JpegHeader {
  int width = 0;
  int height = 0;
  int components = 0;
  JpegColorSpace color_space = JpegColorSpace::unknown;
  bool progressive = false;
  bool arithmetic = false;
  int precision = 8;         // bits per sample
  int restart_interval = 0;  // MCUs per restart interval, 0 for none
  int h_sampling[4] = {};    // of the first four components
  int v_sampling[4] = {};
  bool jfif_marker = false;
  bool adobe_marker = false;
  int adobe_transform = 0;
  uint64_t stream_size = 0;  // bytes of the whole stream
};

// Takes over libjpeg's Huffman decoding of a single-scan picture in memory:
// libjpeg asks it for the coefficients of every MCU in turn and does the
// rest (IDCT, upsampling, colours) itself.
class JpegCoefficientSource {
 public:
  virtual ~JpegCoefficientSource() = default;
  // The MCUs it decodes, which must be libjpeg's.
  virtual int blocks_per_mcu() const = 0;
  virtual int mcus_per_row() const = 0;
  virtual int mcu_rows() const = 0;
  // Fills the next MCU's blocks of 64 quantised coefficients (natural
  // order, all zero on entry); false fails the decode.
  virtual bool next_mcu(int16_t* const* blocks) = 0;
  // After the last MCU: the stream offset just past the scan's data.
  virtual uint64_t end_offset() const = 0;
};

struct JpegDecodeOptions {
  int scale_denominator = 1;  // 1, 2, 4 or 8
  // Off: chroma is replicated, as the program's own decoder does, so both
  // decoders give the same pixels.
  bool fancy_upsampling = false;
  // Four bytes per pixel, R, G, B and a byte that carries nothing, instead
  // of three: pixel pairs are then easy to average in vector code.
  bool rgbx = false;
  // Used when the picture is decoded from memory and has one scan whose
  // MCUs are the source's; coefficients_used() tells.
  JpegCoefficientSource* coefficients = nullptr;
  // Asked before every scan line; true stops the decode (stopped() tells).
  std::function<bool()> stop;
};

class JpegDecoder {
 public:
  JpegDecoder();
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Each open reads the header and checks it against the limits above. The
  // stream and the data must outlive the decoder; the path form owns its file.
  bool open(FileStream& file);
  bool open(const void* data, size_t size);
  bool open(std::u16string_view path);
  const JpegHeader& header() const;

  bool start(const JpegDecodeOptions& options = {});
  int output_width() const;
  int output_height() const;
  int rows_read() const;
  int pixel_bytes() const;  // of read_row and read_rows: 3, or 4 with rgbx
  bool coefficients_used() const;

  // The next scan line: output_width() RGB888 (or RGBX) pixels.
  bool read_row(uint8_t* rgb);
  // How many scan lines libjpeg makes in one step (2 when it upsamples the
  // chroma of two rows together, else 1); reading that many at once saves
  // it a copy per step.
  int rows_per_read() const;
  // The next scan lines, at most `count` and at most rows_per_read(), into
  // rows `pitch_bytes` apart; the stop callback is asked once for each of
  // them before any is made. Gives the number of rows read, 0 on failure.
  int read_rows(uint8_t* rgb, size_t pitch_bytes, int count);
  // All remaining scan lines into a buffer of output_height() rows (RGBX
  // pixels when so started).
  bool read_rgb888(uint8_t* pixels, size_t pitch_bytes);
  bool read_rgb565(uint16_t* pixels, size_t pitch_bytes);
  // Ends a decode whose rows have all been read.
  bool finish();

  bool failed() const;
  bool stopped() const;    // the stop callback ended the decode
  bool truncated() const;  // the data ended early; the rest of the picture is padding
  int warnings() const;    // corrupt-data warnings of libjpeg
  const std::string& error() const;
  // Bytes of the stream not yet consumed by libjpeg.
  uint64_t bytes_remaining() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Header only; false when it does not parse or breaks the limits.
bool read_jpeg_header(FileStream& file, JpegHeader& header);
bool read_jpeg_header(const void* data, size_t size, JpegHeader& header);

// A decoded picture: height rows of width * 3 bytes.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  const uint8_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

bool decode_jpeg(FileStream& file, const JpegDecodeOptions& options, RgbImage& image,
                 std::string* error = nullptr);
bool decode_jpeg(const void* data, size_t size, const JpegDecodeOptions& options, RgbImage& image,
                 std::string* error = nullptr);

class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Three-component RGB input, library defaults otherwise (4:2:0, Huffman
  // tables of the standard, integer DCT). With `rgbx` the rows hold four
  // bytes per pixel and the fourth is ignored; the JPEG is the same.
  bool start(int width, int height, int quality, bool rgbx = false);
  bool write_row(const uint8_t* rgb);  // width RGB888 (or RGBX) pixels
  int rows_written() const;
  // After all rows: the compressed picture.
  bool finish(std::vector<uint8_t>& jpeg);
  const std::string& error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

bool encode_jpeg(const uint8_t* rgb, int width, int height, size_t pitch_bytes, int quality,
                 std::vector<uint8_t>& jpeg);

}  // namespace lv
