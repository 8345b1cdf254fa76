#pragma once

// Helpers of the own decoder's tests: pictures written with libjpeg's
// compressor at test time (sampling, restarts, 0xFF-dense Huffman codes),
// libjpeg-turbo's decode with the settings the own decoder matches, and the
// index and band checks that every test picture goes through.

#include <gtest/gtest.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "library/jpeg_decoder.h"

namespace lv::test::own_jpeg {

inline std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct LibjpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int warnings = 0;
};

inline void libjpeg_error_exit(j_common_ptr c) {
  longjmp(reinterpret_cast<LibjpegError*>(c->err)->jump, 1);
}
inline void libjpeg_emit(j_common_ptr c, int level) {
  if (level < 0) reinterpret_cast<LibjpegError*>(c->err)->warnings++;
}
inline void libjpeg_quiet(j_common_ptr) {}

struct RgbPicture {
  int width = 0;
  int height = 0;
  int warnings = 0;  // corrupt-data warnings of libjpeg
  std::vector<uint8_t> rgb;
};

// libjpeg-turbo with the fast integer IDCT, replicating upsampling and RGB
// output: what the own decoder's pixels must equal.
inline bool libjpeg_decode(const std::vector<uint8_t>& bytes, RgbPicture& out) {
  jpeg_decompress_struct ci;
  LibjpegError err;
  ci.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = libjpeg_error_exit;
  err.mgr.emit_message = libjpeg_emit;
  err.mgr.output_message = libjpeg_quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&ci);
    return false;
  }
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&ci, TRUE);
  ci.dct_method = JDCT_IFAST;
  ci.do_fancy_upsampling = FALSE;
  ci.out_color_space = JCS_RGB;
  jpeg_start_decompress(&ci);
  out.width = static_cast<int>(ci.output_width);
  out.height = static_cast<int>(ci.output_height);
  out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
  while (ci.output_scanline < ci.output_height) {
    JSAMPROW row = out.rgb.data() + static_cast<size_t>(ci.output_scanline) * out.width * 3;
    jpeg_read_scanlines(&ci, &row, 1);
  }
  jpeg_finish_decompress(&ci);
  out.warnings = err.warnings;
  jpeg_destroy_decompress(&ci);
  return true;
}

inline bool own_decode(const std::vector<uint8_t>& bytes, RgbPicture& out,
                       std::vector<jpeg::StateEntry>* entries = nullptr,
                       jpeg::Refill refill = jpeg::Refill::word) {
  jpeg::Decoder d(refill);
  if (!d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) return false;
  out.width = d.info().width;
  out.height = d.info().height;
  out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
  jpeg::EntrySink sink;
  if (entries)
    sink = [entries](const jpeg::StateEntry& e) {
      entries->push_back(e);
      return true;
    };
  return d.decode_to(jpeg::PixelFormat::rgb888, out.rgb.data(), static_cast<size_t>(out.width) * 3,
                     sink);
}

struct Difference {
  double psnr = INFINITY;
  int max_channel = 0;
};

inline Difference compare(const RgbPicture& a, const RgbPicture& b) {
  Difference d;
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return Difference{0, 255};
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    const int diff = std::abs(int{a.rgb[i]} - int{b.rgb[i]});
    d.max_channel = std::max(d.max_channel, diff);
    sum += double(diff) * diff;
  }
  if (sum > 0) d.psnr = 10 * std::log10(255.0 * 255.0 * a.rgb.size() / sum);
  return d;
}

enum class Content {
  photo,  // smooth gradients, edges and a little noise
  noise,  // full-range noise: dense codes, many FF data bytes
  flat,   // slow gradient: mostly DC-only blocks
};

// A test picture of `components` (1 or 3) channels.
inline std::vector<uint8_t> make_pixels(int width, int height, int components, Content content,
                                        unsigned seed = 1) {
  std::vector<uint8_t> px(static_cast<size_t>(width) * height * components);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        int v = 0;
        switch (content) {
          case Content::photo: {
            const double base = 128 + 90 * std::sin((x + 37 * c) * 0.021) * std::cos(y * 0.017);
            const bool edge = ((x / 41) + (y / 29)) % 3 == 0;
            v = static_cast<int>(base) + (edge ? 60 : 0) + static_cast<int>(rng() % 17) - 8;
            break;
          }
          case Content::noise:
            v = static_cast<int>(rng() & 255);
            break;
          case Content::flat:
            v = (x + 2 * y + 50 * c) / 8;
            break;
        }
        px[(static_cast<size_t>(y) * width + x) * components + c] =
            static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
  return px;
}

struct EncodeOptions {
  int quality = 90;
  int components = 3;  // 1: grayscale
  int luma_h = 2;      // luma sampling factors; chroma is 1 x 1
  int luma_v = 2;
  unsigned restart_interval = 0;  // in MCUs
  int restart_rows = 0;           // in MCU rows
  // Huffman tables whose most frequent codes (DC difference 0, end of
  // block) are the longest ones, nearly all 1 bits: the data is full of
  // FF 00 pairs.
  bool ff_dense_codes = false;
};

inline void make_ff_dense(JHUFF_TBL* table, uint8_t frequent) {
  int count = 0;
  for (int i = 1; i <= 16; ++i) count += table->bits[i];
  int at = -1;
  for (int i = 0; i < count; ++i)
    if (table->huffval[i] == frequent) at = i;
  if (at < 0) return;
  for (int i = at; i < count - 1; ++i) table->huffval[i] = table->huffval[i + 1];
  table->huffval[count - 1] = frequent;  // the largest code: 1...10
}

// Compresses `pixels` (components per EncodeOptions) with libjpeg.
inline std::vector<uint8_t> encode(const std::vector<uint8_t>& pixels, int width, int height,
                                   const EncodeOptions& o) {
  jpeg_compress_struct ci;
  LibjpegError err;
  ci.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = libjpeg_error_exit;
  err.mgr.output_message = libjpeg_quiet;
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&ci);
    free(out);
    return {};
  }
  jpeg_create_compress(&ci);
  jpeg_mem_dest(&ci, &out, &out_size);
  ci.image_width = static_cast<JDIMENSION>(width);
  ci.image_height = static_cast<JDIMENSION>(height);
  ci.input_components = o.components;
  ci.in_color_space = o.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, o.quality, TRUE);
  if (o.components == 3) {
    ci.comp_info[0].h_samp_factor = o.luma_h;
    ci.comp_info[0].v_samp_factor = o.luma_v;
    for (int c = 1; c < 3; ++c) ci.comp_info[c].h_samp_factor = ci.comp_info[c].v_samp_factor = 1;
  }
  ci.restart_interval = o.restart_interval;
  ci.restart_in_rows = o.restart_rows;
  ci.optimize_coding = FALSE;
  if (o.ff_dense_codes) {
    for (int t = 0; t < 2; ++t) {
      make_ff_dense(ci.dc_huff_tbl_ptrs[t], 0x00);
      make_ff_dense(ci.ac_huff_tbl_ptrs[t], 0x00);
    }
  }
  jpeg_start_compress(&ci, TRUE);
  const size_t stride = static_cast<size_t>(width) * o.components;
  while (ci.next_scanline < ci.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + ci.next_scanline * stride;
    jpeg_write_scanlines(&ci, &row, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  std::vector<uint8_t> bytes(out, out + out_size);
  free(out);
  return bytes;
}

// The entropy-coded bytes that are FF data bytes (stuffed FF 00 pairs).
inline size_t stuffed_ff_count(const std::vector<uint8_t>& bytes, size_t from) {
  size_t n = 0;
  for (size_t i = from; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0x00) ++n;
  return n;
}

struct IndexCheck {
  size_t entries = 0;
  size_t band_mismatches = 0;
  bool canonical = true;  // the same index from every path
};

// The index from the whole decode, from the fast scan and from the
// byte-at-a-time scan must be identical, one entry per band of every MCU row;
// and every band decoded from its entry, through a decoder that has only the
// header bytes and a window as the tile source reads it (6 bytes before the
// offset to 400 after the next entry's), equals the whole decode bit for bit.
inline IndexCheck check_index_and_bands(const std::vector<uint8_t>& bytes,
                                        const std::string& label) {
  IndexCheck result;
  jpeg::Decoder d;
  if (!d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) {
    ADD_FAILURE() << label << ": " << d.error();
    return result;
  }
  const jpeg::PictureInfo info = d.info();
  RgbPicture whole;
  std::vector<jpeg::StateEntry> entries;
  if (!own_decode(bytes, whole, &entries)) {
    ADD_FAILURE() << label << ": whole decode failed";
    return result;
  }
  result.entries = entries.size();
  EXPECT_EQ(entries.size(), info.entry_count()) << label;

  std::vector<uint8_t> from_decode;
  for (const auto& e : entries) {
    const auto b = e.bytes();
    from_decode.insert(from_decode.end(), b.begin(), b.end());
  }
  std::vector<uint8_t> fast, serial;
  EXPECT_TRUE(d.scan_index(fast)) << label;
  jpeg::Decoder bytewise(jpeg::Refill::byte);
  EXPECT_TRUE(bytewise.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  EXPECT_TRUE(bytewise.scan_index(serial)) << label;
  result.canonical = from_decode == fast && fast == serial;
  EXPECT_TRUE(result.canonical) << label << ": the index depends on the refill strategy";
  if (!entries.empty()) {
    EXPECT_EQ(entries[0].bits, 0) << label;
    EXPECT_EQ(info.resume_offset(entries[0]), info.scan_offset) << label;
  }

  // The tile source's decoder knows only the header bytes.
  const std::vector<uint8_t> header(bytes.begin(),
                                    bytes.begin() + static_cast<ptrdiff_t>(info.scan_offset));
  for (size_t e = 0; e < entries.size(); ++e) {
    EXPECT_LT(entries[e].bits, 8) << label;
    EXPECT_EQ(entries[e].marker, 0) << label;
    const int row = static_cast<int>(e / info.bands_per_row);
    const int band = static_cast<int>(e % info.bands_per_row);
    const uint64_t offset = info.resume_offset(entries[e]);
    uint64_t end = e + 1 < entries.size() ? info.resume_offset(entries[e + 1]) + 400 : bytes.size();
    end = std::min<uint64_t>(end, bytes.size());
    const uint64_t begin = e == 0 ? offset : offset - 6;
    jpeg::ByteSource window(bytes.data() + begin, static_cast<size_t>(end - begin), begin,
                            bytes.size());
    // Alternate the refill strategies: resuming must not depend on them either.
    jpeg::Decoder tile(e % 2 ? jpeg::Refill::byte : jpeg::Refill::word);
    bool same = tile.open(jpeg::ByteSource(header.data(), header.size(), 0, bytes.size()));
    int rows_seen = 0;
    same = same && tile.decode_band(
                       window, entries[e], row, band, jpeg::PixelFormat::rgb888,
                       [&](int y, const uint8_t* px) {
                         const size_t at = (static_cast<size_t>(y) * info.width + band * 256) * 3;
                         if (std::memcmp(px, whole.rgb.data() + at, info.band_width(band) * 3) != 0)
                           same = false;
                         ++rows_seen;
                         return true;
                       });
    if (!same || rows_seen != info.row_height(row)) {
      if (result.band_mismatches++ < 3)
        ADD_FAILURE() << label << ": band " << band << " of MCU row " << row
                      << " differs from the whole decode " << tile.error();
    }
  }
  return result;
}

}  // namespace lv::test::own_jpeg
