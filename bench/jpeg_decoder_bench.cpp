// The own baseline decoder against libjpeg-turbo on the same bytes held in
// memory, measured in the same run so that the ratios hold on any machine:
// the index scan against libjpeg's Huffman-only pass (jpeg_skip_scanlines
// over the picture), the whole decode against libjpeg's whole decode
// (JDCT_IFAST), and the bottom-right 256 x 256 tile decoded band by band from
// the index against libjpeg's crop and skip of that tile.
//
// Usage: jpeg_decoder_bench [PICTURE.jpg ...]; without arguments it makes
// photo-like 12 MP and 48 MP 4:2:0 pictures at quality 90.

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "jpeg/jpeg_decoder.h"

namespace {

using namespace lv::jpeg;

double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Best CPU time of `reps` runs: the least disturbed by other processes.
double best_of(int reps, const std::function<void()>& op) {
  double best = 1e30;
  for (int i = 0; i < reps; ++i) {
    const double t = cpu_seconds();
    op();
    best = std::min(best, cpu_seconds() - t);
  }
  return best;
}

struct Quiet {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};
void quiet_exit(j_common_ptr c) {
  longjmp(reinterpret_cast<Quiet*>(c->err)->jump, 1);
}
void quiet_message(j_common_ptr) {}

std::vector<uint8_t> make_photo(int width, int height) {
  // Gradients, edges and noise, row by row into the compressor.
  jpeg_compress_struct ci;
  Quiet err;
  ci.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = quiet_exit;
  err.mgr.output_message = quiet_message;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&ci);
    return {};
  }
  jpeg_create_compress(&ci);
  jpeg_mem_dest(&ci, &out, &size);
  ci.image_width = static_cast<JDIMENSION>(width);
  ci.image_height = static_cast<JDIMENSION>(height);
  ci.input_components = 3;
  ci.in_color_space = JCS_RGB;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, 90, TRUE);
  jpeg_start_compress(&ci, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  std::mt19937 rng(5);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double v = 128 + 70 * std::sin(x * 0.0041 + c) * std::cos(y * 0.0033 - c);
        if (((x / 97) ^ (y / 61)) & 1) v += 40;
        v += static_cast<int>(rng() % 25) - 12;
        row[static_cast<size_t>(x) * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&ci, &r, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  std::vector<uint8_t> bytes(out, out + size);
  free(out);
  return bytes;
}

// libjpeg-turbo over the bytes: whole decode, Huffman-only, or one tile
// by crop and skip.
enum class LibjpegPass { whole, huffman_only, tile };

void libjpeg_pass(const std::vector<uint8_t>& bytes, LibjpegPass pass) {
  jpeg_decompress_struct ci;
  Quiet err;
  ci.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = quiet_exit;
  err.mgr.output_message = quiet_message;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&ci);
    return;
  }
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&ci, TRUE);
  ci.dct_method = JDCT_IFAST;
  ci.do_fancy_upsampling = FALSE;
  ci.out_color_space = JCS_RGB;
  jpeg_start_decompress(&ci);
  std::vector<uint8_t> row(static_cast<size_t>(ci.output_width) * 3);
  JSAMPROW r = row.data();
  if (pass == LibjpegPass::whole) {
    while (ci.output_scanline < ci.output_height) jpeg_read_scanlines(&ci, &r, 1);
  } else if (pass == LibjpegPass::huffman_only) {
    // Skipping to the very end would decode nothing; the last row is read.
    jpeg_skip_scanlines(&ci, ci.output_height - 1);
    jpeg_read_scanlines(&ci, &r, 1);
  } else {
    JDIMENSION x = (ci.output_width - 1) / 256 * 256;
    JDIMENSION w = ci.output_width - x;
    jpeg_crop_scanline(&ci, &x, &w);
    const JDIMENSION top = (ci.output_height - 1) / 256 * 256;
    jpeg_skip_scanlines(&ci, top);
    while (ci.output_scanline < ci.output_height) jpeg_read_scanlines(&ci, &r, 1);
  }
  jpeg_abort_decompress(&ci);
  jpeg_destroy_decompress(&ci);
}

void run(const std::string& name, const std::vector<uint8_t>& bytes) {
  Decoder probe;
  if (!probe.open(ByteSource(bytes.data(), bytes.size()))) {
    std::printf("%s: not taken by the own decoder: %s\n", name.c_str(), probe.error().c_str());
    return;
  }
  const PictureInfo info = probe.info();
  const double mb = bytes.size() / 1e6;
  std::printf("%s: %d x %d, %.2f MB, MCU %dx%d\n", name.c_str(), info.width, info.height, mb,
              info.mcu_width, info.mcu_height);
  const int reps = 5;

  std::vector<StateEntry> entries;
  const double scan = best_of(reps, [&] {
    entries.clear();
    Decoder d;
    d.open(ByteSource(bytes.data(), bytes.size()));
    d.scan([&](const StateEntry& e) {
      entries.push_back(e);
      return true;
    });
  });
  const double huffman = best_of(reps, [&] { libjpeg_pass(bytes, LibjpegPass::huffman_only); });
  const double whole_lib = best_of(reps, [&] { libjpeg_pass(bytes, LibjpegPass::whole); });
  const double whole_own = best_of(reps, [&] {
    Decoder d;
    d.open(ByteSource(bytes.data(), bytes.size()));
    d.decode(PixelFormat::rgb888, [](int, const uint8_t*) { return true; });
  });
  const double whole_indexed = best_of(reps, [&] {
    Decoder d;
    d.open(ByteSource(bytes.data(), bytes.size()));
    d.decode(
        PixelFormat::rgb888, [](int, const uint8_t*) { return true; },
        [](const StateEntry&) { return true; });
  });

  // The bottom-right tile as the cache source reads it: the header bytes
  // once, then per MCU row a window of the band's bytes.
  const std::vector<uint8_t> header(bytes.begin(),
                                    bytes.begin() + static_cast<ptrdiff_t>(info.scan_offset));
  const int band = info.bands_per_row - 1;
  const int first_row = (info.height - 1) / 256 * 256 / info.mcu_height;
  const double tile_own = best_of(reps * 4, [&] {
    Decoder d;
    d.open(ByteSource(header.data(), header.size(), 0, bytes.size()));
    std::vector<uint16_t> tile(256 * 256);
    for (int row = first_row; row < info.mcu_rows; ++row) {
      const size_t e = static_cast<size_t>(row) * info.bands_per_row + band;
      const uint64_t offset = info.resume_offset(entries[e]);
      const uint64_t end =
          e + 1 < entries.size()
              ? std::min<uint64_t>(info.resume_offset(entries[e + 1]) + 400, bytes.size())
              : bytes.size();
      const uint64_t begin = offset - 6;
      std::vector<uint8_t> piece(bytes.begin() + static_cast<ptrdiff_t>(begin),
                                 bytes.begin() + static_cast<ptrdiff_t>(end));
      d.decode_band(ByteSource(piece.data(), piece.size(), begin, bytes.size()), entries[e], row,
                    band, PixelFormat::rgb565, [&](int y, const uint8_t* px) {
                      std::copy_n(reinterpret_cast<const uint16_t*>(px), info.band_width(band),
                                  tile.data() + (y % 256) * 256);
                      return true;
                    });
    }
  });
  const double tile_lib = best_of(reps, [&] { libjpeg_pass(bytes, LibjpegPass::tile); });

  std::printf(
      "figure: %s index scan = %.1f ms, %.0f MB/s; %.2f x libjpeg Huffman-only (%.1f ms) "
      "(bar: >= 0.6, goal: 0.8)\n",
      name.c_str(), scan * 1e3, mb / scan, huffman / scan, huffman * 1e3);
  std::printf(
      "figure: %s whole decode = %.1f ms; %.2f x libjpeg JDCT_IFAST (%.1f ms); with "
      "index %.1f ms\n",
      name.c_str(), whole_own * 1e3, whole_own / whole_lib, whole_lib * 1e3, whole_indexed * 1e3);
  std::printf("figure: %s bottom-right tile = %.3f ms; libjpeg crop+skip %.1f ms, %.0f x faster\n",
              name.c_str(), tile_own * 1e3, tile_lib * 1e3, tile_lib / tile_own);
  std::printf("figure: %s index size = %.2f %% of the picture\n", name.c_str(),
              100.0 * entries.size() * StateEntry::kSize / bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) {
      std::ifstream in(argv[i], std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
      run(argv[i], bytes);
    }
    return 0;
  }
  run("12 MP photo", make_photo(4000, 3000));
  run("48 MP photo", make_photo(8000, 6000));
  return 0;
}
