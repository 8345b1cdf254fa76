#pragma once

// Helpers of the JPEG tests: pictures written with libjpeg's compressor at
// test time (sampling, restarts, 0xFF-dense Huffman codes), libjpeg-turbo's
// decode with the settings the program uses (fast integer IDCT, replicating
// upsampling, RGB out), and the fuzz target's check that every picture the
// own decoder is given goes through.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

#include "fuzz/jpeg_decoder_check.h"
#include "jpeg/jpeg_decoder.h"
#include "library/libjpeg_codec.h"
#include "support/test_env.h"

namespace lv::test {

using Bytes = std::vector<uint8_t>;

inline Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void write_bytes(const std::string& path, const Bytes& bytes) {
  write_file(path, std::string(bytes.begin(), bytes.end()));
}

// Every regular file under a folder and its subfolders, sorted.
inline std::vector<std::string> files_under(const std::string& folder) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The test name of a test per folder of the shared pictures.
inline std::string folder_test_name(const testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  for (char& c : name) c = c == '/' || c == '-' ? '_' : c;
  return name;
}

// libjpeg's errors jump back; its corrupt-data warnings are counted.
struct LibjpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int warnings = 0;
  static LibjpegError* of(j_common_ptr c) { return reinterpret_cast<LibjpegError*>(c->err); }
  jpeg_error_mgr* install() {
    jpeg_std_error(&mgr);
    mgr.error_exit = [](j_common_ptr c) { longjmp(of(c)->jump, 1); };
    mgr.emit_message = [](j_common_ptr c, int level) { of(c)->warnings += level < 0; };
    return &mgr;
  }
};

struct RgbPicture {
  int width = 0, height = 0, warnings = 0;  // warnings: libjpeg's corrupt-data warnings
  Bytes rgb;
};

inline bool libjpeg_decode(const Bytes& bytes, RgbPicture& out, int scale = 1) {
  jpeg_decompress_struct ci;
  LibjpegError err;
  ci.err = err.install();
  if (setjmp(err.jump)) return jpeg_destroy_decompress(&ci), false;
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&ci, TRUE);
  ci.scale_denom = static_cast<unsigned>(scale);
  ci.dct_method = JDCT_IFAST;
  ci.do_fancy_upsampling = FALSE;
  ci.out_color_space = JCS_RGB;
  jpeg_start_decompress(&ci);
  out.width = static_cast<int>(ci.output_width);
  out.height = static_cast<int>(ci.output_height);
  out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
  for (JSAMPROW row; ci.output_scanline < ci.output_height; jpeg_read_scanlines(&ci, &row, 1))
    row = out.rgb.data() + static_cast<size_t>(ci.output_scanline) * out.width * 3;
  jpeg_finish_decompress(&ci);
  out.warnings = err.warnings;
  jpeg_destroy_decompress(&ci);
  return true;
}

inline bool own_decode(const Bytes& bytes, RgbPicture& out) {
  jpeg::Decoder d;
  if (!d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) return false;
  out.width = d.info().width;
  out.height = d.info().height;
  out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
  return d.decode_to(jpeg::PixelFormat::rgb888, out.rgb.data(), static_cast<size_t>(out.width) * 3);
}

enum class Content {
  photo,  // smooth gradients, edges and a little noise
  noise,  // full-range noise: dense codes, many FF data bytes
  flat,   // slow gradient: mostly DC-only blocks
};

// A test picture of `components` (1 or 3) channels.
inline Bytes make_pixels(int width, int height, int components, Content content,
                         unsigned seed = 1) {
  Bytes px;
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) {
        const double wave = 128 + 90 * std::sin((x + 37 * c) * 0.021) * std::cos(y * 0.017);
        const int edge = ((x / 41) + (y / 29)) % 3 == 0 ? 60 : 0;
        const int v = content == Content::photo   ? int(wave) + edge + int(rng() % 17) - 8
                      : content == Content::noise ? int(rng() & 255)
                                                  : (x + 2 * y + 50 * c) / 8;
        px.push_back(static_cast<uint8_t>(std::clamp(v, 0, 255)));
      }
  return px;
}

struct EncodeOptions {
  int quality = 90, components = 3;  // components 1: grayscale
  int luma_h = 2, luma_v = 2;        // luma sampling factors; chroma is 1 x 1
  unsigned restart_interval = 0;     // in MCUs
  int restart_rows = 0;              // in MCU rows
  // Huffman tables whose most frequent codes (DC difference 0, end of
  // block) are the longest ones, nearly all 1 bits: the data is full of
  // FF 00 pairs.
  bool ff_dense_codes = false;
};

// Moves the value 0 to the table's largest code, 1...10.
inline void make_ff_dense(JHUFF_TBL* table) {
  int count = 0;
  for (int i = 1; i <= 16; ++i) count += table->bits[i];
  const auto end = table->huffval + count, zero = std::find(table->huffval, end, 0);
  if (zero != end) std::rotate(zero, zero + 1, end);
}

inline Bytes encode_picture(int width, int height, const EncodeOptions& o = {},
                            Content content = Content::photo, unsigned seed = 1) {
  const Bytes pixels = make_pixels(width, height, o.components, content, seed);
  jpeg_compress_struct ci;
  LibjpegError err;
  ci.err = err.install();
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  if (setjmp(err.jump)) return jpeg_destroy_compress(&ci), free(out), Bytes();
  jpeg_create_compress(&ci);
  jpeg_mem_dest(&ci, &out, &out_size);
  ci.image_width = static_cast<JDIMENSION>(width);
  ci.image_height = static_cast<JDIMENSION>(height);
  ci.input_components = o.components;
  ci.in_color_space = o.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, o.quality, TRUE);
  ci.comp_info[0].h_samp_factor = o.components == 3 ? o.luma_h : 1;
  ci.comp_info[0].v_samp_factor = o.components == 3 ? o.luma_v : 1;
  ci.restart_interval = o.restart_interval;
  ci.restart_in_rows = o.restart_rows;
  if (o.ff_dense_codes)
    for (int t = 0; t < 2; ++t)
      make_ff_dense(ci.dc_huff_tbl_ptrs[t]), make_ff_dense(ci.ac_huff_tbl_ptrs[t]);
  jpeg_start_compress(&ci, TRUE);
  for (JSAMPROW row; ci.next_scanline < ci.image_height; jpeg_write_scanlines(&ci, &row, 1))
    row = const_cast<uint8_t*>(pixels.data()) + ci.next_scanline * size_t(width) * o.components;
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  const Bytes bytes(out, out + out_size);
  return free(out), bytes;
}

// The entropy-coded bytes that are FF data bytes (stuffed FF 00 pairs).
inline size_t stuffed_ff_count(const Bytes& bytes, size_t from) {
  size_t n = 0;
  for (size_t i = from; i + 1 < bytes.size(); ++i) n += bytes[i] == 0xFF && bytes[i + 1] == 0x00;
  return n;
}

// The fuzz target's check on a copy of exactly the bytes (no spare capacity
// to read into), with a damaged entry chosen by the size; a fault fails the
// test. True when the decoder took the bytes and decoded them.
inline bool check_decoder(const Bytes& bytes, const std::string& label) {
  const Bytes exact(bytes.begin(), bytes.end());
  const auto size = exact.size();
  const auto outcome = fuzz::check_decoder(
      exact.data(), size, {uint32_t(size), uint8_t(size / 7), uint8_t(1 << size % 8)});
  EXPECT_EQ(outcome.fault, "") << label;
  return outcome.decoded;
}

// The own decoder doing libjpeg's Huffman decoding, as the cache build runs
// it, keeping the index entries it reports; it can be told to fail or throw
// at an MCU, or to claim a wrong MCU count.
class OwnCoefficients : public JpegCoefficientSource {
 public:
  bool open(const Bytes& jpeg) {
    return m_decoder.open(jpeg::ByteSource(jpeg.data(), jpeg.size())) &&
           m_decoder.begin_coefficients([this](const jpeg::StateEntry& e) {
             const auto b = e.bytes();
             return index.insert(index.end(), b.begin(), b.end()), true;
           });
  }
  int blocks_per_mcu() const override { return m_decoder.blocks_per_mcu(); }
  int mcus_per_row() const override { return m_decoder.info().mcus_per_row + row_error; }
  int mcu_rows() const override { return m_decoder.info().mcu_rows; }
  bool next_mcu(int16_t* const* blocks) override {
    if (mcus == fail_at) return false;
    if (mcus == throw_at) throw std::runtime_error("no");
    ++mcus;
    return m_decoder.next_mcu(blocks);
  }
  uint64_t end_offset() const override { return m_decoder.coefficients_end(); }

  Bytes index;
  long mcus = 0, fail_at = -1, throw_at = -1;
  int row_error = 0;

 private:
  jpeg::Decoder m_decoder;
};

struct LibjpegRows {
  bool ok = false, used = false;  // used: the coefficient source took over
  int warnings = 0;
  Bytes pixels;
  std::string error;
};

// libjpeg's whole decode through the program's wrapper, optionally with
// a coefficient source.
inline LibjpegRows libjpeg_rows(const Bytes& jpeg, JpegCoefficientSource* source = nullptr) {
  LibjpegRows d;
  JpegDecoder decoder;
  JpegDecodeOptions options;
  options.coefficients = source;
  if (!decoder.open(jpeg.data(), jpeg.size()) || !decoder.start(options))
    return d.error = decoder.error(), d;
  d.used = decoder.coefficients_used();
  const size_t pitch = static_cast<size_t>(decoder.output_width()) * decoder.pixel_bytes();
  d.pixels.assign(pitch * decoder.output_height(), 0);
  d.ok = decoder.read_rgb888(d.pixels.data(), pitch) && decoder.finish();
  d.warnings = decoder.warnings();
  return d.error = decoder.error(), d;
}

inline Bytes scan_index(const Bytes& jpeg) {
  jpeg::Decoder d;
  Bytes index;
  EXPECT_TRUE(d.open(jpeg::ByteSource(jpeg.data(), jpeg.size())) && d.scan_index(index));
  return index;
}

// The own decoder's coefficients give libjpeg's own pixels and warnings, and
// its entries are the scan's.
inline void expect_same_with_coefficients(const Bytes& jpeg, const std::string& label) {
  const LibjpegRows plain = libjpeg_rows(jpeg);
  ASSERT_TRUE(plain.ok) << label << ": " << plain.error;
  EXPECT_FALSE(plain.used);
  OwnCoefficients own;
  ASSERT_TRUE(own.open(jpeg)) << label;
  const LibjpegRows shared = libjpeg_rows(jpeg, &own);
  ASSERT_TRUE(shared.ok) << label << ": " << shared.error;
  EXPECT_TRUE(shared.used && shared.pixels == plain.pixels) << label;
  EXPECT_EQ(shared.warnings, plain.warnings) << label;
  EXPECT_TRUE(own.index == scan_index(jpeg)) << label;
}

}  // namespace lv::test
