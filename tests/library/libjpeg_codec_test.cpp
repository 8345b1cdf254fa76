#include "library/libjpeg_codec.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "app/base/file_util.h"
#include "library/libjpeg_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

using test::read_bytes;
using test::testdata_path;

std::string jpeg_path(const std::string& relative) {
  return testdata_path("jpeg/" + relative);
}

// Offset of the first byte after the SOS segment, by walking the markers.
size_t end_of_first_sos(const std::vector<uint8_t>& data) {
  size_t p = 2;
  while (p + 4 <= data.size()) {
    if (data[p] != 0xFF) return 0;
    uint8_t marker = data[p + 1];
    if (marker == 0xFF) {
      ++p;
      continue;
    }
    size_t length = static_cast<size_t>(data[p + 2] << 8 | data[p + 3]);
    if (marker == 0xDA) return p + 2 + length;
    p += 2 + length;
  }
  return 0;
}

// Overwrites the frame size of the first SOF0 segment.
void patch_frame_size(std::vector<uint8_t>& data, int width, int height) {
  for (size_t p = 2; p + 9 < data.size(); ++p) {
    if (data[p] == 0xFF && data[p + 1] == 0xC0) {
      data[p + 5] = static_cast<uint8_t>(height >> 8);
      data[p + 6] = static_cast<uint8_t>(height);
      data[p + 7] = static_cast<uint8_t>(width >> 8);
      data[p + 8] = static_cast<uint8_t>(width);
      return;
    }
  }
  FAIL() << "no SOF0";
}

// A photo-like test picture: smooth gradients, sharp edges and some noise.
std::vector<uint8_t> synthetic_picture(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      int noise = static_cast<int>(random() % 9) - 4;
      bool inside = (x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2) <
                    (height / 3) * (height / 3);
      p[0] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
      p[2] = static_cast<uint8_t>(inside ? 220 : 40);
    }
  return rgb;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  double mse = sum / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

bool read_png_rgb(const std::string& path, test::ReferenceImage& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
  bool ok = png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
  png_image_free(&png);
  return ok;
}

TEST(LibjpegHeader, ReportsFrameAndColourFacts) {
  LV_REQUIRE_TESTDATA();
  struct Case {
    const char* file;
    int width, height, components;
    JpegColorSpace space;
    bool progressive, arithmetic;
    int restart, h0, v0;
  } cases[] = {
      {"libjpeg-turbo/testorig.jpg", 227, 149, 3, JpegColorSpace::ycbcr, false, false, 0, 2, 2},
      {"libjpeg-turbo/testimgari.jpg", 227, 149, 3, JpegColorSpace::ycbcr, false, true, 0, 2, 2},
      {"go/video-001.progressive.jpeg", 150, 103, 3, JpegColorSpace::ycbcr, true, false, 0, 1, 1},
      {"go/video-001.q50.422.jpeg", 150, 103, 3, JpegColorSpace::ycbcr, false, false, 0, 2, 1},
      {"go/video-005.gray.jpeg", 150, 103, 1, JpegColorSpace::grayscale, false, false, 0, 1, 1},
      {"go/video-001.rgb.jpeg", 150, 103, 3, JpegColorSpace::rgb, false, false, 0, 2, 2},
      {"go/video-001.cmyk.jpeg", 150, 103, 4, JpegColorSpace::cmyk, false, false, 0, 1, 1},
      {"jpeg-decoder/reftest/ycck.jpg", 500, 333, 4, JpegColorSpace::ycck, false, false, 63, 1, 1},
      {"jpeg-decoder/reftest/restarts.jpg", 33, 33, 3, JpegColorSpace::ycbcr, false, false, 5, 1,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<uint8_t> data = read_bytes(jpeg_path(c.file));
    JpegHeader header;
    ASSERT_TRUE(read_jpeg_header(data.data(), data.size(), header));
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    EXPECT_EQ(header.components, c.components);
    EXPECT_EQ(header.color_space, c.space);
    EXPECT_EQ(header.progressive, c.progressive);
    EXPECT_EQ(header.arithmetic, c.arithmetic);
    EXPECT_EQ(header.restart_interval, c.restart);
    EXPECT_EQ(header.h_sampling[0], c.h0);
    EXPECT_EQ(header.v_sampling[0], c.v0);
    EXPECT_EQ(header.precision, 8);
    EXPECT_EQ(header.stream_size, data.size());

    // The file source reads the same header.
    FileStream file(from_utf8(jpeg_path(c.file)), OpenMode::read);
    JpegHeader from_file;
    ASSERT_TRUE(read_jpeg_header(file, from_file));
    EXPECT_EQ(from_file.width, c.width);
    EXPECT_EQ(from_file.color_space, c.space);
  }
}

TEST(LibjpegHeader, RefusesPicturesItCannotOrShouldNotDecode) {
  LV_REQUIRE_TESTDATA();
  JpegHeader header;
  // 12-bit and lossless frames are outside this libjpeg build.
  std::vector<uint8_t> twelve = read_bytes(jpeg_path("libjpeg-turbo/testorig12.jpg"));
  JpegDecoder decoder;
  EXPECT_FALSE(decoder.open(twelve.data(), twelve.size()));
  EXPECT_FALSE(decoder.error().empty());
  EXPECT_TRUE(decoder.failed());
  std::vector<uint8_t> lossless = read_bytes(jpeg_path("jpeg-decoder/reftest/lossless/2/MR4.jpg"));
  EXPECT_FALSE(read_jpeg_header(lossless.data(), lossless.size(), header));

  // 65535 x 65535 in 186 bytes.
  std::vector<uint8_t> huge = read_bytes(jpeg_path("jpeg-decoder/crashtest/max_size.jpg"));
  EXPECT_FALSE(decoder.open(huge.data(), huge.size()));
  EXPECT_FALSE(decoder.error().empty());

  // 8000 x 8000 claimed by a 5770-byte stream: 64 MP is more than it can hold.
  std::vector<uint8_t> patched = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  patch_frame_size(patched, 8000, 8000);
  EXPECT_FALSE(decoder.open(patched.data(), patched.size()));
  EXPECT_EQ(decoder.error(), "picture larger than its data can hold");
  // 2000 x 2000 is small enough to be believed, and then decodes as padding.
  patch_frame_size(patched, 2000, 2000);
  ASSERT_TRUE(decoder.open(patched.data(), patched.size()));
  EXPECT_EQ(decoder.header().width, 2000);

  std::vector<uint8_t> zero_height =
      read_bytes(jpeg_path("jpeg-decoder/crashtest/null_height.jpg"));
  EXPECT_FALSE(read_jpeg_header(zero_height.data(), zero_height.size(), header));

  const uint8_t not_jpeg[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  EXPECT_FALSE(read_jpeg_header(not_jpeg, sizeof not_jpeg, header));
  EXPECT_FALSE(read_jpeg_header(nullptr, 0, header));
  const uint8_t soi_only[] = {0xFF, 0xD8};
  EXPECT_FALSE(read_jpeg_header(soi_only, sizeof soi_only, header));

  FileStream closed;
  EXPECT_FALSE(read_jpeg_header(closed, header));
  EXPECT_FALSE(decoder.open(from_utf8(test::temp_root() + "/missing.jpg")));
}

// Same library, same settings: the pixels must be identical, at every scale,
// through both sources.
TEST(LibjpegDecode, MatchesTheReferenceDecodeAtEveryScale) {
  LV_REQUIRE_TESTDATA();
  const char* files[] = {
      "libjpeg-turbo/testorig.jpg",         // 4:2:0, 227 x 149
      "go/video-001.q50.422.jpeg",          // 4:2:2
      "go/video-001.q50.444.jpeg",          // 4:4:4
      "go/video-001.q50.410.jpeg",          // 4:1:0
      "go/video-005.gray.jpeg",             // grayscale, expanded to RGB
      "go/video-001.progressive.jpeg",      // progressive
      "go/video-001.rgb.jpeg",              // stored as RGB
      "jpeg-decoder/reftest/restarts.jpg",  // restart interval 5
      "jpeg-decoder/reftest/mozilla/jpg-size-17x17.jpg",
      "jpeg-decoder/reftest/mozilla/jpg-size-1x1.jpg",
      "jpeg-decoder/reftest/grayscale_long.jpg",  // 1 x 1000
      "libjpeg-turbo/testimgari.jpg",             // arithmetic coding
      "exif-ianare/orientation/landscape_6.jpg",  // 450 x 600 camera picture
  };
  for (const char* name : files) {
    const std::string path = jpeg_path(name);
    std::vector<uint8_t> data = read_bytes(path);
    for (int scale : {1, 2, 4, 8}) {
      SCOPED_TRACE(std::string(name) + " 1/" + std::to_string(scale));
      test::ReferenceImage expected;
      ASSERT_TRUE(test::reference_decode(path, scale, expected));

      JpegDecodeOptions options;
      options.scale_denominator = scale;
      RgbImage from_memory;
      std::string error;
      ASSERT_TRUE(decode_jpeg(data.data(), data.size(), options, from_memory, &error)) << error;
      ASSERT_EQ(from_memory.width, expected.width);
      ASSERT_EQ(from_memory.height, expected.height);
      ASSERT_TRUE(from_memory.pixels == expected.rgb);

      FileStream file(from_utf8(path), OpenMode::read);
      RgbImage from_file;
      ASSERT_TRUE(decode_jpeg(file, options, from_file, &error)) << error;
      ASSERT_TRUE(from_file.pixels == expected.rgb);
    }
  }
}

TEST(LibjpegDecode, GrayscaleComesOutAsEqualRgbChannels) {
  LV_REQUIRE_TESTDATA();
  std::vector<uint8_t> data = read_bytes(jpeg_path("jpeg-decoder/reftest/mozilla/jpg-gray.jpg"));
  RgbImage image;
  ASSERT_TRUE(decode_jpeg(data.data(), data.size(), {}, image));
  ASSERT_EQ(image.width, 32);
  ASSERT_EQ(image.pixels.size(), 32u * 32u * 3u);
  int distinct = 0;
  for (size_t i = 0; i < image.pixels.size(); i += 3) {
    ASSERT_EQ(image.pixels[i], image.pixels[i + 1]);
    ASSERT_EQ(image.pixels[i], image.pixels[i + 2]);
    if (i && image.pixels[i] != image.pixels[i - 3]) ++distinct;
  }
  EXPECT_GT(distinct, 0);
}

// Four-component pictures are converted to RGB (Adobe's inverted CMYK and
// YCCK), never read as three components; the references are PNGs made by
// other decoders.
TEST(LibjpegDecode, ConvertsCmykAndYcckToRgb) {
  LV_REQUIRE_TESTDATA();
  struct Case {
    const char* jpeg;
    const char* png;
  } cases[] = {
      {"jpeg-decoder/reftest/mozilla/jpg-cmyk-1.jpg",
       "jpeg-decoder/reftest/mozilla/jpg-cmyk-1.png"},
      {"jpeg-decoder/reftest/mozilla/jpg-cmyk-2.jpg",
       "jpeg-decoder/reftest/mozilla/jpg-cmyk-2.png"},
      {"jpeg-decoder/reftest/ycck.jpg", "jpeg-decoder/reftest/ycck.png"},
      {"go/video-001.cmyk.jpeg", "go/video-001.cmyk.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jpeg);
    std::vector<uint8_t> data = read_bytes(jpeg_path(c.jpeg));
    RgbImage image;
    std::string error;
    ASSERT_TRUE(decode_jpeg(data.data(), data.size(), {}, image, &error)) << error;
    test::ReferenceImage expected;
    ASSERT_TRUE(read_png_rgb(jpeg_path(c.png), expected));
    ASSERT_EQ(image.width, expected.width);
    ASSERT_EQ(image.height, expected.height);
    // Other decoders upsample and round differently: a few levels apart.
    double quality = psnr(image.pixels, expected.rgb);
    EXPECT_GT(quality, 30.0);
    std::printf("%s: %.1f dB against the reference\n", c.jpeg, quality);
  }
}

TEST(LibjpegDecode, Rgb565IsTheTruncatedRgb888) {
  LV_REQUIRE_TESTDATA();
  std::vector<uint8_t> data = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  RgbImage rgb;
  JpegDecodeOptions options;
  options.scale_denominator = 2;
  ASSERT_TRUE(decode_jpeg(data.data(), data.size(), options, rgb));

  JpegDecoder decoder;
  ASSERT_TRUE(decoder.open(data.data(), data.size()));
  ASSERT_TRUE(decoder.start(options));
  ASSERT_EQ(decoder.output_width(), 114);
  ASSERT_EQ(decoder.output_height(), 75);
  // A pitch wider than the row; the gap must stay untouched.
  const size_t pitch = 128 * 2;
  std::vector<uint16_t> pixels(128 * 75, 0xF81F);
  ASSERT_TRUE(decoder.read_rgb565(pixels.data(), pitch));
  ASSERT_TRUE(decoder.finish());
  for (int y = 0; y < 75; ++y) {
    for (int x = 0; x < 114; ++x) {
      const uint8_t* p = rgb.row(y) + x * 3;
      uint16_t want =
          static_cast<uint16_t>(((p[0] & 0xF8) << 8) | ((p[1] & 0xFC) << 3) | (p[2] >> 3));
      ASSERT_EQ(pixels[y * 128 + x], want) << x << "," << y;
    }
    ASSERT_EQ(pixels[y * 128 + 114], 0xF81F);
  }
}

TEST(LibjpegDecode, StopRequestEndsTheDecodeBeforeTheNextScanLine) {
  LV_REQUIRE_TESTDATA();
  std::vector<uint8_t> data = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  int asked = 0;
  JpegDecodeOptions options;
  options.stop = [&asked] { return ++asked > 10; };
  JpegDecoder decoder;
  ASSERT_TRUE(decoder.open(data.data(), data.size()));
  ASSERT_TRUE(decoder.start(options));
  std::vector<uint8_t> row(decoder.output_width() * 3);
  int rows = 0;
  while (decoder.read_row(row.data())) ++rows;
  EXPECT_EQ(rows, 10);
  EXPECT_EQ(asked, 11);
  EXPECT_TRUE(decoder.stopped());
  EXPECT_TRUE(decoder.failed());
  EXPECT_FALSE(decoder.finish());
  EXPECT_FALSE(decoder.read_row(row.data()));

  RgbImage image;
  std::string error;
  EXPECT_FALSE(decode_jpeg(data.data(), data.size(), options, image, &error));
  EXPECT_EQ(error, "stopped");
  EXPECT_TRUE(image.pixels.empty());
}

TEST(LibjpegDecode, CallsOutOfOrderFailCleanly) {
  LV_REQUIRE_TESTDATA();
  std::vector<uint8_t> data = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  JpegDecoder decoder;
  uint8_t row[227 * 3];
  EXPECT_FALSE(decoder.start());
  EXPECT_FALSE(decoder.read_row(row));
  ASSERT_TRUE(decoder.open(data.data(), data.size()));
  EXPECT_FALSE(decoder.finish());                       // nothing decoded yet
  ASSERT_TRUE(decoder.open(data.data(), data.size()));  // a decoder may be opened again
  JpegDecodeOptions options;
  options.scale_denominator = 3;
  EXPECT_FALSE(decoder.start(options));
  EXPECT_EQ(decoder.error(), "unsupported scale");
  ASSERT_TRUE(decoder.open(data.data(), data.size()));
  ASSERT_TRUE(decoder.start());
  ASSERT_TRUE(decoder.read_row(row));
  EXPECT_FALSE(decoder.finish());  // rows left
  EXPECT_EQ(decoder.error(), "rows left unread");
}

// The remaining-bytes count: after the header everything from the first
// byte after SOS on; after the last row nothing but what follows EOI.
TEST(LibjpegDecode, CountsTheBytesNotYetConsumed) {
  LV_REQUIRE_TESTDATA();
  for (const char* name : {"libjpeg-turbo/testorig.jpg", "large/firstgeneration.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = jpeg_path(name);
    std::vector<uint8_t> data = read_bytes(path);
    size_t scan = end_of_first_sos(data);
    ASSERT_GT(scan, 0u);

    JpegDecoder in_memory;
    ASSERT_TRUE(in_memory.open(data.data(), data.size()));
    EXPECT_EQ(in_memory.bytes_remaining(), data.size() - scan);

    FileStream file(from_utf8(path), OpenMode::read);
    JpegDecoder from_file;
    ASSERT_TRUE(from_file.open(file));
    EXPECT_EQ(from_file.bytes_remaining(), data.size() - scan);
    JpegDecodeOptions options;
    options.scale_denominator = 8;
    ASSERT_TRUE(from_file.start(options));
    std::vector<uint8_t> row(from_file.output_width() * 3);
    uint64_t previous = from_file.bytes_remaining();
    while (from_file.rows_read() < from_file.output_height()) {
      ASSERT_TRUE(from_file.read_row(row.data()));
      ASSERT_LE(from_file.bytes_remaining(), previous);
      previous = from_file.bytes_remaining();
    }
    ASSERT_TRUE(from_file.finish());
    EXPECT_EQ(from_file.bytes_remaining(), 0u);
    EXPECT_FALSE(from_file.truncated());
    EXPECT_EQ(from_file.warnings(), 0);
  }
}

// A picture cut short decodes to its end: the rows that were in the data
// are exact, the rest is padding, and the decoder says the data ended.
TEST(LibjpegDecode, TruncatedPictureDecodesItsTopAndReportsTheCut) {
  LV_REQUIRE_TESTDATA();
  std::vector<uint8_t> data = read_bytes(jpeg_path("exif-ianare/orientation/landscape_2.jpg"));
  RgbImage whole;
  ASSERT_TRUE(decode_jpeg(data.data(), data.size(), {}, whole));

  std::vector<uint8_t> cut(data.begin(), data.begin() + data.size() / 2);
  JpegDecoder decoder;
  ASSERT_TRUE(decoder.open(cut.data(), cut.size()));
  ASSERT_TRUE(decoder.start());
  RgbImage partial;
  partial.width = decoder.output_width();
  partial.height = decoder.output_height();
  partial.pixels.resize(static_cast<size_t>(partial.width) * partial.height * 3);
  ASSERT_TRUE(decoder.read_rgb888(partial.pixels.data(), partial.width * 3));
  ASSERT_TRUE(decoder.finish());
  EXPECT_TRUE(decoder.truncated());
  EXPECT_GT(decoder.warnings(), 0);
  const size_t quarter = static_cast<size_t>(whole.height / 4) * whole.width * 3;
  EXPECT_TRUE(
      std::equal(partial.pixels.begin(), partial.pixels.begin() + quarter, whole.pixels.begin()));
  EXPECT_FALSE(partial.pixels == whole.pixels);

  // Down to nothing but the header.
  size_t scan = end_of_first_sos(data);
  std::vector<uint8_t> header_only(data.begin(), data.begin() + scan);
  RgbImage padding;
  EXPECT_TRUE(decode_jpeg(header_only.data(), header_only.size(), {}, padding));
  EXPECT_EQ(padding.width, 600);
}

// Broken and fuzzed files: every one either decodes or fails with a message;
// none crashes, hangs or reads outside its buffer (run under ASan).
TEST(LibjpegDecode, BrokenFilesUnwindCleanly) {
  LV_REQUIRE_TESTDATA();
  struct Folder {
    const char* name;
    bool recursive;
    size_t at_least;
  } folders[] = {
      {"jpeg-decoder/crashtest", true, 100},
      {"zune/fuzz", false, 1800},
      {"exiv2-poc", false, 20},
      {"exif-pillow", false, 15},
  };
  auto started = std::chrono::steady_clock::now();
  size_t decoded = 0, refused = 0;
  for (const Folder& folder : folders) {
    std::vector<std::string> files = test::files_under(jpeg_path(folder.name), folder.recursive);
    ASSERT_GE(files.size(), folder.at_least) << folder.name;
    for (const std::string& path : files) {
      SCOPED_TRACE(path);
      std::vector<uint8_t> data = read_bytes(path);
      JpegDecoder decoder;
      JpegDecodeOptions options;
      options.scale_denominator = 8;  // the whole stream is still entropy-decoded
      bool ok = decoder.open(data.data(), data.size()) && decoder.start(options);
      if (ok) {
        const JpegHeader& header = decoder.header();
        ASSERT_EQ(decoder.output_width(), (header.width + 7) / 8);
        ASSERT_EQ(decoder.output_height(), (header.height + 7) / 8);
        std::vector<uint16_t> pixels(static_cast<size_t>(decoder.output_width()) *
                                     decoder.output_height());
        ok = decoder.read_rgb565(pixels.data(), decoder.output_width() * 2) && decoder.finish();
      }
      if (ok) {
        ++decoded;
      } else {
        ++refused;
        ASSERT_FALSE(decoder.error().empty());
        ASSERT_TRUE(decoder.failed());
      }
    }
  }
  // Both outcomes occur: these folders hold damaged but readable pictures too.
  EXPECT_GT(decoded, 50u);
  EXPECT_GT(refused, 50u);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("broken files: %zu decoded, %zu refused, %.2f s\n", decoded, refused, seconds);
}

// A larger truncated picture and a grossly corrupted one at full scale, from
// files: the decode runs to its end instead of stalling on missing data.
TEST(LibjpegDecode, DamagedFilesFinishAtFullScale) {
  LV_REQUIRE_TESTDATA();
  for (const char* name : {"zune/incomplete_image.jpg", "exif-pillow/truncated_jpeg.jpg"}) {
    SCOPED_TRACE(name);
    FileStream file(from_utf8(jpeg_path(name)), OpenMode::read);
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.open(file));
    ASSERT_TRUE(decoder.start());
    std::vector<uint8_t> row(decoder.output_width() * 3);
    while (decoder.rows_read() < decoder.output_height()) ASSERT_TRUE(decoder.read_row(row.data()));
    EXPECT_TRUE(decoder.finish());
    EXPECT_TRUE(decoder.truncated());
  }

  std::vector<uint8_t> data = read_bytes(jpeg_path("libjpeg-turbo/testorig.jpg"));
  std::mt19937 random(11);
  size_t scan = end_of_first_sos(data);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint8_t> damaged = data;
    for (int i = 0; i < 40; ++i)
      damaged[scan + random() % (damaged.size() - scan)] = random() & 0xFF;
    RgbImage image;
    std::string error;
    if (!decode_jpeg(damaged.data(), damaged.size(), {}, image, &error)) {
      EXPECT_FALSE(error.empty());
    } else {
      EXPECT_EQ(image.pixels.size(), 227u * 149u * 3u);
    }
  }
}

TEST(LibjpegEncode, RoundTripAtQuality95StaysCloseToTheOriginal) {
  const int width = 203, height = 157;  // not multiples of the MCU
  std::vector<uint8_t> original = synthetic_picture(width, height);
  std::vector<uint8_t> best, level;
  ASSERT_TRUE(encode_jpeg(original.data(), width, height, width * 3, kJpegThumbnailQuality, best));
  ASSERT_TRUE(encode_jpeg(original.data(), width, height, width * 3, kJpegLevelQuality, level));
  ASSERT_GT(best.size(), 100u);
  EXPECT_LT(level.size(), best.size());
  EXPECT_EQ(best[0], 0xFF);
  EXPECT_EQ(best[1], 0xD8);
  EXPECT_EQ(best[best.size() - 2], 0xFF);
  EXPECT_EQ(best[best.size() - 1], 0xD9);

  JpegHeader header;
  ASSERT_TRUE(read_jpeg_header(best.data(), best.size(), header));
  EXPECT_EQ(header.width, width);
  EXPECT_EQ(header.height, height);
  EXPECT_EQ(header.components, 3);
  EXPECT_FALSE(header.progressive);
  EXPECT_EQ(header.h_sampling[0], 2);  // library defaults: 4:2:0
  EXPECT_EQ(header.v_sampling[0], 2);
  // Baseline: the frame is SOF0.
  bool sof0 = false;
  for (size_t p = 2; p + 1 < best.size() && !sof0; ++p)
    sof0 = best[p] == 0xFF && best[p + 1] == 0xC0;
  EXPECT_TRUE(sof0);

  RgbImage decoded;
  ASSERT_TRUE(decode_jpeg(best.data(), best.size(), {}, decoded));
  EXPECT_GT(psnr(decoded.pixels, original), 33.0);
  RgbImage decoded_level;
  ASSERT_TRUE(decode_jpeg(level.data(), level.size(), {}, decoded_level));
  EXPECT_GT(psnr(decoded_level.pixels, original), 28.0);
  EXPECT_GT(psnr(decoded.pixels, original), psnr(decoded_level.pixels, original));

  // A flat picture survives exactly: the encoder gets the colours right.
  std::vector<uint8_t> flat(64 * 64 * 3);
  for (size_t i = 0; i < flat.size(); i += 3) {
    flat[i] = 200;
    flat[i + 1] = 100;
    flat[i + 2] = 50;
  }
  std::vector<uint8_t> flat_jpeg;
  ASSERT_TRUE(encode_jpeg(flat.data(), 64, 64, 64 * 3, kJpegThumbnailQuality, flat_jpeg));
  RgbImage flat_decoded;
  ASSERT_TRUE(decode_jpeg(flat_jpeg.data(), flat_jpeg.size(), {}, flat_decoded));
  for (size_t i = 0; i < flat.size(); ++i) ASSERT_NEAR(flat_decoded.pixels[i], flat[i], 2) << i;
}

TEST(LibjpegEncode, StreamsRowsAndRefusesMisuse) {
  const int width = 64, height = 48;
  std::vector<uint8_t> picture = synthetic_picture(width, height);
  JpegEncoder encoder;
  std::vector<uint8_t> out;
  EXPECT_FALSE(encoder.write_row(picture.data()));
  EXPECT_FALSE(encoder.finish(out));
  EXPECT_FALSE(encoder.start(0, 10, 75));
  EXPECT_FALSE(encoder.start(10, 70000, 75));
  EXPECT_FALSE(encoder.start(10, 10, 0));
  EXPECT_FALSE(encoder.start(10, 10, 101));

  ASSERT_TRUE(encoder.start(width, height, 75));
  for (int y = 0; y < height / 2; ++y) ASSERT_TRUE(encoder.write_row(&picture[y * width * 3]));
  EXPECT_EQ(encoder.rows_written(), height / 2);
  EXPECT_FALSE(encoder.finish(out));  // rows missing
  EXPECT_TRUE(out.empty());

  // The same encoder starts over and gives the same bytes as the one-call form.
  ASSERT_TRUE(encoder.start(width, height, 75));
  for (int y = 0; y < height; ++y) ASSERT_TRUE(encoder.write_row(&picture[y * width * 3]));
  EXPECT_FALSE(encoder.write_row(picture.data()));  // one too many
  ASSERT_TRUE(encoder.start(width, height, 75));
  for (int y = 0; y < height; ++y) ASSERT_TRUE(encoder.write_row(&picture[y * width * 3]));
  ASSERT_TRUE(encoder.finish(out));
  std::vector<uint8_t> once;
  ASSERT_TRUE(encode_jpeg(picture.data(), width, height, width * 3, 75, once));
  EXPECT_EQ(out, once);
}

// Output larger than the first buffer grows it; a large noisy picture
// crosses several growth steps.
TEST(LibjpegEncode, LargeOutputGrowsTheBuffer) {
  const int width = 1500, height = 1000;
  std::vector<uint8_t> noise(static_cast<size_t>(width) * height * 3);
  std::mt19937 random(3);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(encode_jpeg(noise.data(), width, height, width * 3, 95, jpeg));
  EXPECT_GT(jpeg.size(), 1500000u);  // noise does not compress
  RgbImage decoded;
  ASSERT_TRUE(decode_jpeg(jpeg.data(), jpeg.size(), {}, decoded));
  EXPECT_EQ(decoded.width, width);
  EXPECT_EQ(decoded.height, height);
}

}  // namespace
}  // namespace lv
