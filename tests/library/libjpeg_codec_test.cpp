#include "library/libjpeg_codec.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>

#include "base/file_util.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

using namespace lv::test;

std::string jpeg_path(const std::string& relative) {
  return test::testdata_path("jpeg/" + relative);
}

void patch_frame_size(Bytes& data, int width, int height) {
  const uint8_t sof0[] = {0xFF, 0xC0};
  const auto at = std::search(data.begin(), data.end(), sof0, sof0 + 2) + 5;
  ASSERT_LT(at + 4, data.end()) << "no SOF0";
  const Bytes size = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
  std::copy(size.begin(), size.end(), at);
}

double psnr(const Bytes& a, const Bytes& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = sum / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

bool read_png_rgb(const std::string& path, test::RgbPicture& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
  const bool ok = png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
  png_image_free(&png);
  return ok;
}

TEST(LibjpegHeader, RefusesPicturesItCannotOrShouldNotDecode) {
  LV_REQUIRE_TESTDATA();
  JpegHeader header;
  JpegDecoder decoder;
  // 12-bit and lossless frames are outside this libjpeg build; 65535 x
  // 65535 in 186 bytes; a height of 0.
  for (const char* file :
       {"libjpeg-turbo/testorig12.jpg", "jpeg-decoder/crashtest/max_size.jpg",
        "jpeg-decoder/reftest/lossless/2/MR4.jpg", "jpeg-decoder/crashtest/null_height.jpg"}) {
    const Bytes data = read_bytes(jpeg_path(file));
    EXPECT_FALSE(decoder.open(data.data(), data.size()) || decoder.error().empty() ||
                 read_jpeg_header(data.data(), data.size(), header))
        << file;
    EXPECT_TRUE(decoder.failed()) << file;
  }
  // 8000 x 8000 claimed by a 5770-byte stream: 64 MP is more than it can hold;
  // 2000 x 2000 is small enough to be believed, and then decodes as padding.
  Bytes patched = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  patch_frame_size(patched, 8000, 8000);
  EXPECT_FALSE(decoder.open(patched.data(), patched.size()));
  EXPECT_EQ(decoder.error(), "picture larger than its data can hold");
  patch_frame_size(patched, 2000, 2000);
  ASSERT_TRUE(decoder.open(patched.data(), patched.size()));
  EXPECT_EQ(decoder.header().width, 2000);

  const uint8_t not_jpeg[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0}, soi_only[] = {0xFF, 0xD8};
  FileStream closed;
  EXPECT_FALSE(read_jpeg_header(not_jpeg, sizeof not_jpeg, header) ||
               read_jpeg_header(soi_only, sizeof soi_only, header) ||
               read_jpeg_header(nullptr, 0, header) || read_jpeg_header(closed, header) ||
               decoder.open(from_utf8(test::temp_root() + "/missing.jpg")));
}

// libjpeg used directly with the program's settings: the pixels must be
// identical, at every scale, through both sources.
TEST(LibjpegDecode, MatchesTheReferenceDecodeAtEveryScale) {
  LV_REQUIRE_TESTDATA();
  for (const char* name : {
           "libjpeg-turbo/testorig.jpg",     // 4:2:0, 227 x 149
           "go/video-001.q50.422.jpeg",      // 4:2:2
           "go/video-005.gray.jpeg",         // grayscale, expanded to RGB
           "go/video-001.progressive.jpeg",  // progressive
           "jpeg-decoder/reftest/mozilla/jpg-size-1x1.jpg",
           "libjpeg-turbo/testimgari.jpg",  // arithmetic coding
       }) {
    const Bytes data = read_bytes(jpeg_path(name));
    for (int scale : {1, 2, 4, 8}) {
      SCOPED_TRACE(std::string(name) + " 1/" + std::to_string(scale));
      test::RgbPicture expected;
      ASSERT_TRUE(test::libjpeg_decode(data, expected, scale));
      JpegDecodeOptions options;
      options.scale_denominator = scale;
      RgbImage from_memory, from_file;
      FileStream file(from_utf8(jpeg_path(name)), OpenMode::read);
      ASSERT_TRUE(decode_jpeg(data.data(), data.size(), options, from_memory));
      ASSERT_TRUE(decode_jpeg(file, options, from_file));
      ASSERT_EQ(std::pair(from_memory.width, from_memory.height),
                std::pair(expected.width, expected.height));
      ASSERT_TRUE(from_memory.pixels == expected.rgb && from_file.pixels == expected.rgb);
    }
  }
}

// Four-component pictures are converted to RGB (Adobe's inverted CMYK and
// YCCK), never read as three components; the references are PNGs made by
// other decoders, which upsample and round differently.
TEST(LibjpegDecode, ConvertsCmykAndYcckToRgb) {
  LV_REQUIRE_TESTDATA();
  for (const char* base :
       {"jpeg-decoder/reftest/mozilla/jpg-cmyk-1", "jpeg-decoder/reftest/mozilla/jpg-cmyk-2",
        "jpeg-decoder/reftest/ycck"}) {
    const Bytes data = read_bytes(jpeg_path(base) + ".jpg");
    RgbImage image;
    test::RgbPicture expected;
    ASSERT_TRUE(decode_jpeg(data.data(), data.size(), {}, image)) << base;
    ASSERT_TRUE(read_png_rgb(jpeg_path(base) + ".png", expected)) << base;
    ASSERT_EQ(std::pair(image.width, image.height), std::pair(expected.width, expected.height));
    EXPECT_GT(psnr(image.pixels, expected.rgb), 30.0) << base;
  }
}

// The stop is asked before every scan line; a finish with rows left fails.
TEST(LibjpegDecode, StopRequestEndsTheDecodeBeforeTheNextScanLineAndRowsLeftFailTheFinish) {
  const Bytes data = test::encode_picture(227, 40);
  int asked = 0;
  JpegDecodeOptions options;
  options.stop = [&asked] { return ++asked > 10; };
  RgbImage image;
  std::string error;
  EXPECT_FALSE(decode_jpeg(data.data(), data.size(), options, image, &error));
  EXPECT_EQ(std::tuple(error, asked, image.pixels.size()), std::tuple("stopped", 11, size_t{0}));
  JpegDecoder decoder;
  Bytes row(227 * 3);
  ASSERT_TRUE(decoder.open(data.data(), data.size()) && decoder.start() &&
              decoder.read_row(row.data()));
  EXPECT_FALSE(decoder.finish());
  EXPECT_EQ(decoder.error(), "rows left unread");
}

TEST(LibjpegEncode, StreamsRowsRefusesMisuseAndGrowsItsBuffer) {
  const int width = 64, height = 48;
  const Bytes picture = test::make_pixels(width, height, 3, test::Content::photo);
  JpegEncoder encoder;
  Bytes out;
  EXPECT_FALSE(encoder.write_row(picture.data()) || encoder.finish(out));
  const int too_big = kJpegMaxDimension + 1;
  EXPECT_FALSE(encoder.start(0, 10, 75) || encoder.start(10, too_big, 75) ||
               encoder.start(too_big, 10, 75) || encoder.start(10, 10, 0) ||
               encoder.start(10, 10, 101));
  // libjpeg's own bound is a size it still takes.
  EXPECT_TRUE(JpegEncoder().start(1, kJpegMaxDimension, 75) &&
              JpegEncoder().start(kJpegMaxDimension, 1, 75));
  const auto write_rows = [&](int rows) {
    for (int y = 0; y < rows; ++y)
      if (!encoder.write_row(&picture[y * width * 3])) return false;
    return true;
  };
  ASSERT_TRUE(encoder.start(width, height, 75) && write_rows(height / 2));
  EXPECT_EQ(encoder.rows_written(), height / 2);
  EXPECT_FALSE(encoder.finish(out) || !out.empty());  // rows missing
  // The same encoder starts over; one row too many is refused.
  ASSERT_TRUE(encoder.start(width, height, 75) && write_rows(height));
  EXPECT_FALSE(encoder.write_row(picture.data()));

  // Noise does not compress: 200 x 200 of it outgrows the first 16 KiB
  // buffer twice.
  const Bytes noise = test::make_pixels(200, 200, 3, test::Content::noise);
  Bytes jpeg;
  ASSERT_TRUE(encode_jpeg(noise.data(), 200, 200, 200 * 3, 95, jpeg));
  EXPECT_GT(jpeg.size(), 40000u);
  test::RgbPicture decoded;
  EXPECT_TRUE(test::libjpeg_decode(jpeg, decoded) && decoded.width == 200 && decoded.height == 200);
}

// libjpeg with the own decoder doing its Huffman decoding (as the cache
// build runs it), its four-byte pixels and its reading of row pairs.
TEST(LibjpegCoefficients, DamagedDataDecodesAsLibjpegDecodesItAndAFailingSourceFailsIt) {
  EncodeOptions restarts;
  restarts.restart_rows = 2;
  const Bytes good = encode_picture(320, 240, restarts);
  // Cut in the middle of the data (the end and the EOI are missing).
  const Bytes cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() * 2 / 3));
  OwnCoefficients own;
  ASSERT_TRUE(own.open(cut));
  const LibjpegRows plain = libjpeg_rows(cut), shared = libjpeg_rows(cut, &own);
  ASSERT_TRUE(plain.ok && shared.ok);
  EXPECT_TRUE(shared.used && shared.pixels == plain.pixels && shared.warnings > 0);

  // Bytes of no marker between the data and the EOI: libjpeg skips them
  // (with its warning) as it does after its own decoding.
  Bytes padded(good.begin(), good.end() - 2);
  padded.insert(padded.end(), {0x12, 0x34, 0x56, 0xFF, 0xD9});
  expect_same_with_coefficients(padded, "junk before the EOI");
  // A source that fails or throws fails the decode cleanly.
  for (bool throws : {false, true}) {
    OwnCoefficients own;
    ASSERT_TRUE(own.open(good));
    (throws ? own.throw_at : own.fail_at) = 100;
    const LibjpegRows d = libjpeg_rows(good, &own);
    EXPECT_TRUE(d.used && !d.ok && !d.error.empty() && own.mcus == 100) << throws;
  }
}

TEST(LibjpegCoefficients, RowPairsComeTogetherAndTheStopIsAskedForEachRow) {
  const Bytes jpeg = encode_picture(64, 33);
  int asked = 0;
  JpegDecodeOptions options;
  options.stop = [&] { return ++asked < 0; };
  JpegDecoder d;
  ASSERT_TRUE(d.open(jpeg.data(), jpeg.size()) && d.start(options));
  EXPECT_EQ(d.rows_per_read(), 2);  // 4:2:0 rows are made in pairs
  Bytes rows(64 * 3 * 2), all;
  while (d.rows_read() < 33) {
    const int got = d.read_rows(rows.data(), 64 * 3, 2);
    ASSERT_EQ(got, d.rows_read() == 33 ? 1 : 2);  // the odd last row alone
    all.insert(all.end(), rows.begin(), rows.begin() + got * 64 * 3);
  }
  EXPECT_EQ(asked, 33);
  EXPECT_EQ(all, libjpeg_rows(jpeg).pixels);
  EXPECT_TRUE(d.read_rows(rows.data(), 64 * 3, 2) == 0 && d.failed());  // no rows left

  // A stop asked for the second row of a pair ends before either is made.
  asked = 0;
  JpegDecoder stopped;
  options.stop = [&] { return ++asked == 2; };
  ASSERT_TRUE(stopped.open(jpeg.data(), jpeg.size()) && stopped.start(options));
  EXPECT_EQ(stopped.read_rows(rows.data(), 64 * 3, 2), 0);
  EXPECT_TRUE(stopped.stopped() && stopped.rows_read() == 0);
}

}  // namespace
}  // namespace lv
