// libjpeg with the own decoder doing its Huffman decoding (as the cache
// build runs it), its four-byte pixels and its reading of row pairs.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/base/file_util.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_own_test_support.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

using namespace lv::test::own_jpeg;
using Bytes = std::vector<uint8_t>;

// The own decoder behind libjpeg, keeping the entries it reports.
class OwnSource : public JpegCoefficientSource {
 public:
  bool open(const Bytes& jpeg) {
    if (!m_decoder.open(jpeg::ByteSource(jpeg.data(), jpeg.size()))) return false;
    return m_decoder.begin_coefficients([this](const jpeg::StateEntry& e) {
      uint8_t bytes[jpeg::StateEntry::kSize];
      e.encode(bytes);
      index.insert(index.end(), bytes, bytes + sizeof bytes);
      return true;
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
  long mcus = 0;
  long fail_at = -1;
  long throw_at = -1;
  int row_error = 0;  // a wrong MCU count, which libjpeg must not accept

 private:
  jpeg::Decoder m_decoder;
};

struct Decoded {
  bool ok = false;
  bool used = false;  // the coefficient source took over
  int width = 0, height = 0, warnings = 0;
  Bytes pixels;
  std::string error;
};

Decoded decode(const Bytes& jpeg, JpegCoefficientSource* source, bool rgbx = false) {
  Decoded d;
  JpegDecoder decoder;
  JpegDecodeOptions options;
  options.coefficients = source;
  options.rgbx = rgbx;
  if (!decoder.open(jpeg.data(), jpeg.size()) || !decoder.start(options)) {
    d.error = decoder.error();
    return d;
  }
  d.used = decoder.coefficients_used();
  d.width = decoder.output_width();
  d.height = decoder.output_height();
  const size_t pitch = static_cast<size_t>(d.width) * decoder.pixel_bytes();
  d.pixels.assign(pitch * d.height, 0);
  d.ok = decoder.read_rgb888(d.pixels.data(), pitch) && decoder.finish();
  d.warnings = decoder.warnings();
  d.error = decoder.error();
  return d;
}

Bytes scan_index(const Bytes& jpeg) {
  jpeg::Decoder d;
  Bytes index;
  EXPECT_TRUE(d.open(jpeg::ByteSource(jpeg.data(), jpeg.size())) && d.scan_index(index));
  return index;
}

// The own decoder's coefficients give libjpeg's own pixels, libjpeg reads
// on after the scan without a warning, and the entries are the scan's.
void expect_same_decode(const Bytes& jpeg, const std::string& label) {
  const Decoded plain = decode(jpeg, nullptr);
  ASSERT_TRUE(plain.ok) << label << ": " << plain.error;
  EXPECT_FALSE(plain.used);
  OwnSource own;
  ASSERT_TRUE(own.open(jpeg)) << label;
  const Decoded shared = decode(jpeg, &own);
  ASSERT_TRUE(shared.ok) << label << ": " << shared.error;
  EXPECT_TRUE(shared.used) << label;
  EXPECT_EQ(shared.pixels, plain.pixels) << label;
  EXPECT_EQ(shared.warnings, plain.warnings) << label;
  EXPECT_EQ(own.index, scan_index(jpeg)) << label;
}

struct Variant {
  const char* name;
  int width, height;
  Content content;
  EncodeOptions options;
};

EncodeOptions sampled(int h, int v) {
  EncodeOptions o;
  o.luma_h = h;
  o.luma_v = v;
  return o;
}
EncodeOptions gray() {
  EncodeOptions o;
  o.components = 1;
  return o;
}
EncodeOptions restarts(unsigned mcus, int rows) {
  EncodeOptions o;
  o.restart_interval = mcus;
  o.restart_rows = rows;
  return o;
}
EncodeOptions ff_dense() {
  EncodeOptions o;
  o.ff_dense_codes = true;
  return o;
}

TEST(LibjpegCoefficients, OwnHuffmanDecodingGivesLibjpegsPixelsAndTheScanIndex) {
  const Variant variants[] = {
      {"420 odd size", 301, 203, Content::photo, EncodeOptions{}},
      {"422", 517, 130, Content::photo, sampled(2, 1)},
      {"440", 130, 517, Content::photo, sampled(1, 2)},
      {"444", 256, 97, Content::noise, sampled(1, 1)},
      {"gray", 333, 111, Content::photo, gray()},
      {"restart every row", 400, 150, Content::photo, restarts(0, 1)},
      {"restart every MCU", 200, 64, Content::noise, restarts(1, 0)},
      {"restart every 7", 300, 90, Content::photo, restarts(7, 0)},
      {"FF dense", 300, 120, Content::flat, ff_dense()},
      {"tiny", 5, 3, Content::noise, EncodeOptions{}},
  };
  for (const Variant& v : variants) {
    const Bytes jpeg = encode(make_pixels(v.width, v.height, v.options.components, v.content),
                              v.width, v.height, v.options);
    ASSERT_FALSE(jpeg.empty()) << v.name;
    expect_same_decode(jpeg, v.name);
  }
}

TEST(LibjpegCoefficients, DamagedDataDecodesAsLibjpegDecodesIt) {
  const Bytes good = encode(make_pixels(320, 240, 3, Content::photo), 320, 240, restarts(0, 2));
  // Cut in the middle of the data (the end and the EOI are missing).
  Bytes cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() * 2 / 3));
  const Decoded plain = decode(cut, nullptr);
  OwnSource own;
  ASSERT_TRUE(own.open(cut));
  const Decoded shared = decode(cut, &own);
  ASSERT_TRUE(plain.ok && shared.ok);
  EXPECT_TRUE(shared.used);
  EXPECT_EQ(shared.pixels, plain.pixels);
  EXPECT_GT(shared.warnings, 0);

  // Bytes of no marker between the data and the EOI: libjpeg skips them
  // (with its warning) as it does after its own decoding.
  Bytes padded(good.begin(), good.end() - 2);
  padded.insert(padded.end(), {0x12, 0x34, 0x56, 0xFF, 0xD9});
  expect_same_decode(padded, "junk before the EOI");
}

TEST(LibjpegCoefficients, EveryBaselinePictureOfTheTestData) {
  LV_REQUIRE_TESTDATA();
  std::ifstream manifest(test::testdata_path("jpeg/MANIFEST.txt"));
  std::string line;
  int compared = 0;
  while (std::getline(manifest, line)) {
    std::istringstream in(line);
    std::string path, size, kind, precision;
    in >> path >> size >> kind >> precision;
    if ((kind != "baseline" && kind != "ext-seq") || precision != "p8") continue;
    const Bytes jpeg = file_bytes(test::testdata_path("jpeg/" + path));
    OwnSource own;
    if (!own.open(jpeg)) continue;  // the own decoder does not take it
    const Decoded plain = decode(jpeg, nullptr);
    const Decoded shared = decode(jpeg, &own);
    EXPECT_EQ(shared.ok, plain.ok) << path;
    if (!plain.ok || !shared.ok) continue;
    EXPECT_TRUE(shared.used) << path;
    // Corrupt data is read the own decoder's way (as its tiles read it),
    // which is libjpeg's rules but not always libjpeg's result.
    if (plain.warnings > 0) continue;
    EXPECT_EQ(shared.pixels, plain.pixels) << path;
    EXPECT_EQ(shared.warnings, 0) << path;
    ++compared;
  }
  EXPECT_GT(compared, 120);
}

TEST(LibjpegCoefficients, TheOwnDecoderGivesNoMcuBeyondThePicture) {
  const Bytes jpeg = encode(make_pixels(40, 24, 3, Content::photo), 40, 24, EncodeOptions{});
  jpeg::Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(jpeg.data(), jpeg.size())));
  int16_t blocks[6][64];
  int16_t* pointers[6];
  for (int b = 0; b < 6; ++b) pointers[b] = blocks[b];
  EXPECT_FALSE(d.next_mcu(pointers));  // not begun
  jpeg::Decoder fresh;
  ASSERT_TRUE(fresh.open(jpeg::ByteSource(jpeg.data(), jpeg.size())));
  ASSERT_TRUE(fresh.begin_coefficients({}));
  EXPECT_EQ(fresh.blocks_per_mcu(), 6);
  for (int m = 0; m < 3 * 2; ++m) {
    std::memset(blocks, 0, sizeof blocks);
    ASSERT_TRUE(fresh.next_mcu(pointers)) << m;
  }
  // The offset past the data: the EOI follows.
  ASSERT_LE(fresh.coefficients_end() + 2, jpeg.size());
  EXPECT_EQ(jpeg[fresh.coefficients_end()], 0xFF);
  EXPECT_EQ(jpeg[fresh.coefficients_end() + 1], 0xD9);
  EXPECT_FALSE(fresh.next_mcu(pointers));
  EXPECT_TRUE(fresh.failed());
}

TEST(LibjpegCoefficients, ASourceOfOtherMcusOrAProgressivePictureIsNotHandedOver) {
  const Bytes jpeg = encode(make_pixels(200, 100, 3, Content::photo), 200, 100, EncodeOptions{});
  OwnSource wrong;
  ASSERT_TRUE(wrong.open(jpeg));
  wrong.row_error = 1;
  const Decoded d = decode(jpeg, &wrong);
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.used);
  EXPECT_EQ(wrong.mcus, 0);
  EXPECT_EQ(d.pixels, decode(jpeg, nullptr).pixels);

  // A file source is never handed over: the source works on memory.
  const std::string path = test::make_temp_dir() + "/p.jpg";
  ASSERT_TRUE(write_file_atomic(
      from_utf8(path), std::string_view(reinterpret_cast<const char*>(jpeg.data()), jpeg.size())));
  OwnSource own;
  ASSERT_TRUE(own.open(jpeg));
  JpegDecoder from_file;
  JpegDecodeOptions options;
  options.coefficients = &own;
  ASSERT_TRUE(from_file.open(from_utf8(path)) && from_file.start(options));
  EXPECT_FALSE(from_file.coefficients_used());

  LV_REQUIRE_TESTDATA();
  const Bytes progressive = file_bytes(test::testdata_path("jpeg/go/video-001.progressive.jpeg"));
  ASSERT_FALSE(progressive.empty());
  // A baseline picture of the same MCUs (150 x 103, 4:4:4) does not make
  // its source fit a progressive one.
  OwnSource any;
  ASSERT_TRUE(any.open(encode(make_pixels(150, 103, 3, Content::photo), 150, 103, sampled(1, 1))));
  const Decoded p = decode(progressive, &any);
  ASSERT_TRUE(p.ok);
  EXPECT_FALSE(p.used);
  EXPECT_EQ(any.mcus, 0);
}

TEST(LibjpegCoefficients, AFailingOrThrowingSourceFailsTheDecodeCleanly) {
  const Bytes jpeg = encode(make_pixels(300, 200, 3, Content::photo), 300, 200, EncodeOptions{});
  for (bool throws : {false, true}) {
    OwnSource own;
    ASSERT_TRUE(own.open(jpeg));
    (throws ? own.throw_at : own.fail_at) = 100;
    const Decoded d = decode(jpeg, &own);
    EXPECT_TRUE(d.used);
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.error.empty());
    EXPECT_EQ(own.mcus, 100);
  }
}

TEST(LibjpegCoefficients, RgbxPixelsAreTheRgbOnesAndEncodeAlike) {
  for (const EncodeOptions& o : {EncodeOptions{}, gray(), sampled(1, 1)}) {
    const Bytes jpeg = encode(make_pixels(123, 45, o.components, Content::photo), 123, 45, o);
    const Decoded rgb = decode(jpeg, nullptr);
    const Decoded rgbx = decode(jpeg, nullptr, true);
    ASSERT_TRUE(rgb.ok && rgbx.ok);
    ASSERT_EQ(rgbx.pixels.size(), rgb.pixels.size() / 3 * 4);
    for (size_t i = 0; i < rgb.pixels.size() / 3; ++i)
      ASSERT_EQ(0, std::memcmp(&rgb.pixels[i * 3], &rgbx.pixels[i * 4], 3)) << i;

    // The fourth byte is ignored: the same JPEG whatever it holds.
    Bytes junk = rgbx.pixels;
    for (size_t i = 3; i < junk.size(); i += 4) junk[i] = static_cast<uint8_t>(i * 7);
    Bytes from_rgb, from_rgbx;
    JpegEncoder a, b;
    ASSERT_TRUE(a.start(123, 45, 75) && b.start(123, 45, 75, true));
    for (int y = 0; y < 45; ++y) {
      ASSERT_TRUE(a.write_row(&rgb.pixels[static_cast<size_t>(y) * 123 * 3]));
      ASSERT_TRUE(b.write_row(&junk[static_cast<size_t>(y) * 123 * 4]));
    }
    ASSERT_TRUE(a.finish(from_rgb) && b.finish(from_rgbx));
    EXPECT_EQ(from_rgb, from_rgbx);
  }
}

TEST(LibjpegCoefficients, RowPairsComeTogetherAndTheStopIsAskedForEachRow) {
  const Bytes jpeg = encode(make_pixels(64, 33, 3, Content::photo), 64, 33, EncodeOptions{});
  const Decoded whole = decode(jpeg, nullptr);
  ASSERT_TRUE(whole.ok);
  int asked = 0;
  JpegDecoder d;
  JpegDecodeOptions options;
  options.stop = [&] {
    ++asked;
    return false;
  };
  ASSERT_TRUE(d.open(jpeg.data(), jpeg.size()) && d.start(options));
  EXPECT_EQ(d.rows_per_read(), 2);  // 4:2:0 rows are made in pairs
  Bytes rows(64 * 3 * 2);
  Bytes all;
  while (d.rows_read() < 33) {
    const int before = d.rows_read();
    const int got = d.read_rows(rows.data(), 64 * 3, 2);
    ASSERT_EQ(got, before == 32 ? 1 : 2);
    all.insert(all.end(), rows.begin(), rows.begin() + got * 64 * 3);
  }
  EXPECT_EQ(asked, 33);
  EXPECT_EQ(all, whole.pixels);
  EXPECT_EQ(d.read_rows(rows.data(), 64 * 3, 2), 0);  // no rows left
  EXPECT_TRUE(d.failed());

  // A stop asked for the second row of a pair ends before either is made.
  asked = 0;
  JpegDecoder stopped;
  options.stop = [&] { return ++asked == 2; };
  ASSERT_TRUE(stopped.open(jpeg.data(), jpeg.size()) && stopped.start(options));
  EXPECT_EQ(stopped.read_rows(rows.data(), 64 * 3, 2), 0);
  EXPECT_TRUE(stopped.stopped());
  EXPECT_EQ(stopped.rows_read(), 0);

  // 4:4:4 is made a row at a time; no room means no row.
  const Bytes full = encode(make_pixels(64, 8, 3, Content::photo), 64, 8, sampled(1, 1));
  JpegDecoder one;
  ASSERT_TRUE(one.open(full.data(), full.size()) && one.start());
  EXPECT_EQ(one.rows_per_read(), 1);
  EXPECT_EQ(one.read_rows(rows.data(), 64 * 3, 2), 1);
  EXPECT_EQ(one.read_rows(rows.data(), 64 * 3, 0), 0);
}

}  // namespace
}  // namespace lv
