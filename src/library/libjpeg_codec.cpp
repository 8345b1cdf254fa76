#include "library/libjpeg_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/file_util.h"
#include "library/libjpeg_error.h"
#include "library/libjpeg_io.h"
#include "skin/rgb565.h"

// After <jpeglib.h> (through libjpeg_io.h): libjpeg's module structures, to
// hand its Huffman decoding to a coefficient source.
#include <jpegint.h>

namespace lv {

namespace {

void check_scan_count(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kJpegMaxScans)
    raise_libjpeg_error(cinfo, "too many scans");
}

JpegColorSpace color_space_of(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return JpegColorSpace::grayscale;
    case JCS_YCbCr:
      return JpegColorSpace::ycbcr;
    case JCS_RGB:
      return JpegColorSpace::rgb;
    case JCS_CMYK:
      return JpegColorSpace::cmyk;
    case JCS_YCCK:
      return JpegColorSpace::ycck;
    default:
      return JpegColorSpace::unknown;
  }
}

bool supported_components(const JpegHeader& header) {
  switch (header.color_space) {
    case JpegColorSpace::grayscale:
      return header.components == 1;
    case JpegColorSpace::ycbcr:
    case JpegColorSpace::rgb:
      return header.components == 3;
    case JpegColorSpace::cmyk:
    case JpegColorSpace::ycck:
      return header.components == 4;
    default:
      return false;
  }
}

// An empty answer when the header is acceptable.
const char* check_limits(const JpegHeader& header) {
  if (header.width < 1 || header.height < 1) return "picture has no pixels";
  if (header.width > kJpegMaxDimension || header.height > kJpegMaxDimension)
    return "picture too large";
  uint64_t pixels = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
  if (pixels * 3 > kJpegMaxPixelBytes) return "picture too large";
  uint64_t plausible =
      std::max(kJpegAlwaysPlausiblePixels, header.stream_size * kJpegPixelsPerStreamByte);
  if (pixels > plausible) return "picture larger than its data can hold";
  if (!supported_components(header)) return "unsupported colour space";
  return nullptr;
}

// Adobe's CMYK pictures store inverted values (0 is full ink); libjpeg hands
// them out as stored.
void cmyk_to_rgb(const uint8_t* cmyk, uint8_t* rgb, int width, bool inverted, int pixel_bytes) {
  for (int x = 0; x < width; ++x, cmyk += 4, rgb += pixel_bytes) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    rgb[0] = static_cast<uint8_t>((c * k + 127) / 255);
    rgb[1] = static_cast<uint8_t>((m * k + 127) / 255);
    rgb[2] = static_cast<uint8_t>((y * k + 127) / 255);
    if (pixel_bytes == 4) rgb[3] = 255;
  }
}

}  // namespace

// ---- decoder ----

struct JpegDecoder::Impl {
  enum class State { closed, header, decoding, done, failed };

  jpeg_decompress_struct cinfo{};
  LibjpegErrorManager errors;
  LibjpegSource source;
  jpeg_progress_mgr progress{};
  bool created = false;
  State state = State::closed;
  JpegHeader header;
  std::unique_ptr<FileStream> owned_file;
  JpegDecodeOptions options;
  std::vector<uint8_t> cmyk_row;
  std::vector<uint8_t> rgb_row;
  int pixel_bytes = 3;
  JpegCoefficientSource* coefficients = nullptr;  // when it took over
  uint64_t mcus_left = 0;
  bool stopped = false;
  std::string error;

  ~Impl() { destroy(); }

  void destroy() {
    if (created) jpeg_destroy_decompress(&cinfo);
    created = false;
  }

  bool fail(const char* text) {
    error = text;
    state = State::failed;
    if (created) jpeg_abort_decompress(&cinfo);
    cmyk_row = {};
    rgb_row = {};
    return false;
  }
  bool fail_from_library() { return fail(errors.message[0] ? errors.message : "JPEG error"); }

  bool begin() {
    destroy();
    owned_file.reset();
    coefficients = nullptr;
    state = State::closed;
    stopped = false;
    error.clear();
    header = JpegHeader{};
    cinfo.err = install_error_manager(errors);
    if (!guarded_create(&cinfo)) return fail_from_library();
    created = true;
    cinfo.mem->max_memory_to_use = kJpegMaxWorkMemory;
    progress.progress_monitor = check_scan_count;
    cinfo.progress = &progress;
    return true;
  }

  bool read_header() {
    if (!guarded_read_header(&cinfo)) return fail_from_library();
    header.width = static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, 0x7FFFFFFF));
    header.height = static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, 0x7FFFFFFF));
    header.components = cinfo.num_components;
    header.color_space = color_space_of(cinfo.jpeg_color_space);
    header.progressive = cinfo.progressive_mode != 0;
    header.arithmetic = cinfo.arith_code != 0;
    header.precision = cinfo.data_precision;
    header.restart_interval = static_cast<int>(cinfo.restart_interval);
    for (int i = 0; i < std::min(cinfo.num_components, 4); ++i) {
      header.h_sampling[i] = cinfo.comp_info[i].h_samp_factor;
      header.v_sampling[i] = cinfo.comp_info[i].v_samp_factor;
    }
    header.jfif_marker = cinfo.saw_JFIF_marker != 0;
    header.adobe_marker = cinfo.saw_Adobe_marker != 0;
    header.adobe_transform = cinfo.Adobe_transform;
    header.stream_size = source.stream_size;
    if (const char* problem = check_limits(header)) return fail(problem);
    state = State::header;
    return true;
  }

  bool four_components() const { return header.components == 4; }

  // Hands the Huffman decoding to the source when libjpeg's MCUs are its.
  // libjpeg's coefficient controller zeroes an MCU's blocks before it asks
  // for them and decodes the scan's MCUs in order, one call each.
  void take_coefficients(JpegCoefficientSource* from) {
    coefficients = nullptr;
    static_assert(sizeof(JCOEF) == sizeof(int16_t));
    if (!from || !source.data || !cinfo.entropy || !cinfo.inputctl) return;
    if (cinfo.progressive_mode || cinfo.arith_code || cinfo.buffered_image ||
        cinfo.inputctl->has_multiple_scans || cinfo.comps_in_scan != cinfo.num_components)
      return;
    if (cinfo.blocks_in_MCU != from->blocks_per_mcu() ||
        static_cast<int>(cinfo.MCUs_per_row) != from->mcus_per_row() ||
        static_cast<int>(cinfo.MCU_rows_in_scan) != from->mcu_rows())
      return;
    coefficients = from;
    mcus_left = static_cast<uint64_t>(cinfo.MCUs_per_row) * cinfo.MCU_rows_in_scan;
    cinfo.client_data = this;
    cinfo.entropy->decode_mcu = decode_mcu;
  }

  // libjpeg's entropy decoder entry, called inside its own calls (under a
  // guard): nothing here may throw, and a failure unwinds as libjpeg's do.
  static boolean decode_mcu(j_decompress_ptr cinfo, JBLOCKROW* mcu) {
    Impl& d = *static_cast<Impl*>(cinfo->client_data);
    int16_t* blocks[D_MAX_BLOCKS_IN_MCU];
    for (int b = 0; b < cinfo->blocks_in_MCU; ++b) blocks[b] = mcu[b][0];
    bool ok = d.mcus_left > 0;
    try {
      ok = ok && d.coefficients->next_mcu(blocks);
    } catch (...) {
      ok = false;
    }
    if (!ok) raise_libjpeg_error(reinterpret_cast<j_common_ptr>(cinfo), "bad coefficients");
    if (--d.mcus_left == 0) {
      // libjpeg reads the markers after the scan from where its own
      // decoder would have stopped.
      const uint64_t end = std::min(d.coefficients->end_offset(), d.source.stream_size);
      cinfo->src->next_input_byte = d.source.data + end;
      cinfo->src->bytes_in_buffer = static_cast<size_t>(d.source.stream_size - end);
      d.source.delivered = d.source.stream_size;
    }
    return TRUE;
  }
};

JpegDecoder::JpegDecoder() : m_impl(std::make_unique<Impl>()) {}
JpegDecoder::~JpegDecoder() = default;

bool JpegDecoder::open(FileStream& file) {
  Impl& d = *m_impl;
  if (!d.begin()) return false;
  if (!file.is_open()) return d.fail("file not open");
  set_file_source(&d.cinfo, d.source, file);
  return d.read_header();
}

bool JpegDecoder::open(const void* data, size_t size) {
  Impl& d = *m_impl;
  if (!d.begin()) return false;
  set_memory_source(&d.cinfo, d.source, data, size);
  return d.read_header();
}

bool JpegDecoder::open(std::u16string_view path) {
  Impl& d = *m_impl;
  if (!d.begin()) return false;
  d.owned_file = std::make_unique<FileStream>();
  if (!d.owned_file->open(path, OpenMode::read)) return d.fail("cannot open file");
  set_file_source(&d.cinfo, d.source, *d.owned_file);
  return d.read_header();
}

const JpegHeader& JpegDecoder::header() const {
  return m_impl->header;
}

bool JpegDecoder::start(const JpegDecodeOptions& options) {
  Impl& d = *m_impl;
  if (d.state != Impl::State::header)
    return d.state == Impl::State::failed ? false : d.fail("no header");
  int scale = options.scale_denominator;
  if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return d.fail("unsupported scale");
  d.options = options;
  d.cinfo.scale_num = 1;
  d.cinfo.scale_denom = static_cast<unsigned>(scale);
  d.cinfo.dct_method = JDCT_IFAST;
  d.cinfo.do_fancy_upsampling = options.fancy_upsampling ? TRUE : FALSE;
  d.pixel_bytes = options.rgbx ? 4 : 3;
  d.cinfo.out_color_space = d.four_components() ? JCS_CMYK : options.rgbx ? JCS_EXT_RGBX : JCS_RGB;
  if (!guarded_start(&d.cinfo)) return d.fail_from_library();
  d.take_coefficients(options.coefficients);
  int expected = d.four_components() ? 4 : d.pixel_bytes;
  if (d.cinfo.output_components != expected || d.cinfo.output_width < 1 ||
      d.cinfo.output_height < 1)
    return d.fail("unexpected output format");
  size_t width = d.cinfo.output_width;
  if (d.four_components()) d.cmyk_row.assign(width * 4, 0);
  d.rgb_row.assign(width * d.pixel_bytes, 0);
  d.state = Impl::State::decoding;
  return true;
}

int JpegDecoder::output_width() const {
  return m_impl->state == Impl::State::decoding || m_impl->state == Impl::State::done
             ? static_cast<int>(m_impl->cinfo.output_width)
             : 0;
}

int JpegDecoder::output_height() const {
  return m_impl->state == Impl::State::decoding || m_impl->state == Impl::State::done
             ? static_cast<int>(m_impl->cinfo.output_height)
             : 0;
}

int JpegDecoder::pixel_bytes() const {
  return m_impl->pixel_bytes;
}

bool JpegDecoder::coefficients_used() const {
  return m_impl->coefficients != nullptr;
}

int JpegDecoder::rows_read() const {
  return m_impl->state == Impl::State::decoding || m_impl->state == Impl::State::done
             ? static_cast<int>(m_impl->cinfo.output_scanline)
             : 0;
}

bool JpegDecoder::read_row(uint8_t* rgb) {
  Impl& d = *m_impl;
  if (d.state != Impl::State::decoding)
    return d.state == Impl::State::failed ? false : d.fail("not decoding");
  if (d.cinfo.output_scanline >= d.cinfo.output_height) return d.fail("no more rows");
  if (d.options.stop && d.options.stop()) {
    d.stopped = true;
    return d.fail("stopped");
  }
  if (!d.four_components()) {
    if (!guarded_read_scanline(&d.cinfo, rgb)) return d.fail_from_library();
    return true;
  }
  if (!guarded_read_scanline(&d.cinfo, d.cmyk_row.data())) return d.fail_from_library();
  cmyk_to_rgb(d.cmyk_row.data(), rgb, static_cast<int>(d.cinfo.output_width), d.header.adobe_marker,
              d.pixel_bytes);
  return true;
}

int JpegDecoder::rows_per_read() const {
  const Impl& d = *m_impl;
  if (d.state != Impl::State::decoding || d.four_components()) return 1;
  return std::clamp(d.cinfo.rec_outbuf_height, 1, 2);
}

int JpegDecoder::read_rows(uint8_t* rgb, size_t pitch_bytes, int count) {
  Impl& d = *m_impl;
  if (count < 1) return d.fail("no room for rows"), 0;
  if (d.state != Impl::State::decoding) return read_row(rgb) ? 1 : 0;
  const int left = static_cast<int>(d.cinfo.output_height - d.cinfo.output_scanline);
  const int most = std::min({count, rows_per_read(), left});
  if (most <= 1) return read_row(rgb) ? 1 : 0;
  // The stop is still asked once for every scan line, all before libjpeg
  // makes them together.
  for (int i = 0; i < most; ++i) {
    if (d.options.stop && d.options.stop()) {
      d.stopped = true;
      return d.fail("stopped"), 0;
    }
  }
  JSAMPROW rows[2] = {rgb, rgb + pitch_bytes};
  int got = 0;
  if (!guarded_read_scanlines(&d.cinfo, rows, most, got)) return d.fail_from_library(), 0;
  return got;
}

bool JpegDecoder::read_rgb888(uint8_t* pixels, size_t pitch_bytes) {
  Impl& d = *m_impl;
  while (d.state == Impl::State::decoding && d.cinfo.output_scanline < d.cinfo.output_height) {
    const size_t y = d.cinfo.output_scanline;
    if (!read_rows(pixels + y * pitch_bytes, pitch_bytes,
                   static_cast<int>(d.cinfo.output_height - y)))
      return false;
  }
  return d.state == Impl::State::decoding;
}

bool JpegDecoder::read_rgb565(uint16_t* pixels, size_t pitch_bytes) {
  Impl& d = *m_impl;
  while (d.state == Impl::State::decoding && d.cinfo.output_scanline < d.cinfo.output_height) {
    size_t y = d.cinfo.output_scanline;
    if (!read_row(d.rgb_row.data())) return false;
    auto* out = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(pixels) + y * pitch_bytes);
    const uint8_t* in = d.rgb_row.data();
    const int step = d.pixel_bytes;
    for (size_t x = 0, n = d.cinfo.output_width; x < n; ++x, in += step)
      out[x] = rgb565::from_rgb888(in[0], in[1], in[2]);
  }
  return d.state == Impl::State::decoding;
}

bool JpegDecoder::finish() {
  Impl& d = *m_impl;
  if (d.state == Impl::State::done) return true;
  if (d.state != Impl::State::decoding)
    return d.state == Impl::State::failed ? false : d.fail("not decoding");
  if (d.cinfo.output_scanline < d.cinfo.output_height) return d.fail("rows left unread");
  // Every pixel is out; what follows the last scan only earns a warning.
  if (!guarded_finish(&d.cinfo)) {
    ++d.errors.warnings;
    jpeg_abort_decompress(&d.cinfo);
  }
  d.cmyk_row = {};
  d.rgb_row = {};
  d.state = Impl::State::done;
  return true;
}

bool JpegDecoder::failed() const {
  return m_impl->state == Impl::State::failed;
}
bool JpegDecoder::stopped() const {
  return m_impl->stopped;
}
bool JpegDecoder::truncated() const {
  return m_impl->source.truncated();
}
int JpegDecoder::warnings() const {
  return m_impl->errors.warnings;
}
const std::string& JpegDecoder::error() const {
  return m_impl->error;
}

uint64_t JpegDecoder::bytes_remaining() const {
  return m_impl->created ? m_impl->source.bytes_remaining() : 0;
}

bool read_jpeg_header(FileStream& file, JpegHeader& header) {
  JpegDecoder decoder;
  if (!decoder.open(file)) return false;
  header = decoder.header();
  return true;
}

bool read_jpeg_header(const void* data, size_t size, JpegHeader& header) {
  JpegDecoder decoder;
  if (!decoder.open(data, size)) return false;
  header = decoder.header();
  return true;
}

namespace {

bool decode_opened(JpegDecoder& decoder, const JpegDecodeOptions& options, RgbImage& image,
                   std::string* error) {
  image = RgbImage{};
  bool ok = decoder.start(options);
  if (ok) {
    image.width = decoder.output_width();
    image.height = decoder.output_height();
    image.pixels.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
    ok = decoder.read_rgb888(image.pixels.data(), static_cast<size_t>(image.width) * 3) &&
         decoder.finish();
  }
  if (!ok) {
    image = RgbImage{};
    if (error) *error = decoder.error();
  }
  return ok;
}

}  // namespace

bool decode_jpeg(FileStream& file, const JpegDecodeOptions& options, RgbImage& image,
                 std::string* error) {
  JpegDecoder decoder;
  if (!decoder.open(file)) {
    if (error) *error = decoder.error();
    image = RgbImage{};
    return false;
  }
  return decode_opened(decoder, options, image, error);
}

bool decode_jpeg(const void* data, size_t size, const JpegDecodeOptions& options, RgbImage& image,
                 std::string* error) {
  JpegDecoder decoder;
  if (!decoder.open(data, size)) {
    if (error) *error = decoder.error();
    image = RgbImage{};
    return false;
  }
  return decode_opened(decoder, options, image, error);
}

// ---- encoder ----

struct JpegEncoder::Impl {
  enum class State { idle, encoding, failed };

  jpeg_compress_struct cinfo{};
  LibjpegErrorManager errors;
  LibjpegDestination destination;
  bool created = false;
  State state = State::idle;
  std::string error;

  ~Impl() {
    if (created) jpeg_destroy_compress(&cinfo);
    destination.release();
  }

  bool fail(const char* text) {
    error = text;
    state = State::failed;
    if (created) jpeg_abort_compress(&cinfo);
    destination.release();
    return false;
  }
  bool fail_from_library() { return fail(errors.message[0] ? errors.message : "JPEG error"); }
};

JpegEncoder::JpegEncoder() : m_impl(std::make_unique<Impl>()) {}
JpegEncoder::~JpegEncoder() = default;

bool JpegEncoder::start(int width, int height, int quality, bool rgbx) {
  Impl& e = *m_impl;
  if (e.state == Impl::State::encoding) return e.fail("already encoding");
  e.error.clear();
  if (width < 1 || height < 1 || width > kJpegMaxDimension || height > kJpegMaxDimension)
    return e.fail("bad picture size");
  if (quality < 1 || quality > 100) return e.fail("bad quality");
  if (!e.created) {
    e.cinfo.err = install_error_manager(e.errors);
    if (!guarded_create(&e.cinfo)) return e.fail_from_library();
    e.created = true;
  }
  uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  // A JPEG stays well below 8 bytes per pixel even for noise at quality 100.
  uint64_t limit =
      std::min<uint64_t>(pixels * 8 + (1u << 20), std::numeric_limits<size_t>::max() / 2);
  uint64_t initial = std::clamp<uint64_t>(pixels / 4, 16u << 10, 4u << 20);
  set_memory_destination(&e.cinfo, e.destination, static_cast<size_t>(initial),
                         static_cast<size_t>(limit));
  if (!e.destination.buffer) return e.fail("out of memory");
  e.cinfo.image_width = static_cast<JDIMENSION>(width);
  e.cinfo.image_height = static_cast<JDIMENSION>(height);
  e.cinfo.input_components = rgbx ? 4 : 3;
  e.cinfo.in_color_space = rgbx ? JCS_EXT_RGBX : JCS_RGB;
  if (!guarded_set_defaults(&e.cinfo, quality)) return e.fail_from_library();
  if (!guarded_start(&e.cinfo)) return e.fail_from_library();
  e.state = Impl::State::encoding;
  return true;
}

bool JpegEncoder::write_row(const uint8_t* rgb) {
  Impl& e = *m_impl;
  if (e.state != Impl::State::encoding)
    return e.state == Impl::State::failed ? false : e.fail("not encoding");
  if (e.cinfo.next_scanline >= e.cinfo.image_height) return e.fail("too many rows");
  // libjpeg does not write through its row pointers.
  if (!guarded_write_scanline(&e.cinfo, const_cast<uint8_t*>(rgb))) return e.fail_from_library();
  return true;
}

int JpegEncoder::rows_written() const {
  return m_impl->state == Impl::State::encoding ? static_cast<int>(m_impl->cinfo.next_scanline) : 0;
}

bool JpegEncoder::finish(std::vector<uint8_t>& jpeg) {
  Impl& e = *m_impl;
  if (e.state != Impl::State::encoding)
    return e.state == Impl::State::failed ? false : e.fail("not encoding");
  if (e.cinfo.next_scanline < e.cinfo.image_height) return e.fail("rows missing");
  if (!guarded_finish(&e.cinfo)) return e.fail_from_library();
  jpeg.assign(e.destination.buffer, e.destination.buffer + e.destination.used);
  e.destination.release();
  e.state = Impl::State::idle;
  return true;
}

const std::string& JpegEncoder::error() const {
  return m_impl->error;
}

bool encode_jpeg(const uint8_t* rgb, int width, int height, size_t pitch_bytes, int quality,
                 std::vector<uint8_t>& jpeg) {
  JpegEncoder encoder;
  if (!rgb || !encoder.start(width, height, quality)) return false;
  for (int y = 0; y < height; ++y)
    if (!encoder.write_row(rgb + static_cast<size_t>(y) * pitch_bytes)) return false;
  return encoder.finish(jpeg);
}

}  // namespace lv
