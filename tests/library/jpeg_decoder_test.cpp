#include "library/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "library/jpeg_own_test_support.h"
#include "support/test_env.h"

namespace lv {
namespace {

using namespace lv::test::own_jpeg;
using jpeg::Decoder;
using jpeg::Failure;
using jpeg::PixelFormat;

// Sequential Huffman 8-bit pictures of the shared test data, by its manifest.
std::vector<std::string> sequential_test_pictures() {
  std::vector<std::string> out;
  std::ifstream manifest(test::testdata_path("jpeg/MANIFEST.txt"));
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream in(line);
    std::string path, size, kind, precision;
    in >> path >> size >> kind >> precision;
    if ((kind == "baseline" || kind == "ext-seq") && precision == "p8") out.push_back(path);
  }
  return out;
}

TEST(JpegDecoder, MatchesLibjpegOnEverySupportedTestPicture) {
  LV_REQUIRE_TESTDATA();
  const auto pictures = sequential_test_pictures();
  ASSERT_GT(pictures.size(), 100u);
  int compared = 0, identical = 0, refused = 0;
  for (const auto& rel : pictures) {
    const auto bytes = file_bytes(test::testdata_path("jpeg/" + rel));
    Decoder d;
    if (!d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) {
      ++refused;
      continue;
    }
    // Damaged streams that claim huge sizes are the robustness test's.
    if (static_cast<double>(d.info().width) * d.info().height > 40e6) continue;
    RgbPicture ref, own;
    if (!libjpeg_decode(bytes, ref)) continue;
    ASSERT_TRUE(own_decode(bytes, own)) << rel;
    ASSERT_EQ(own.width, ref.width) << rel;
    ASSERT_EQ(own.height, ref.height) << rel;
    const Difference diff = compare(own, ref);
    std::printf("%-72s PSNR %7.2f dB  max diff %3d%s\n", rel.c_str(), diff.psnr, diff.max_channel,
                ref.warnings ? "  (corrupt data)" : "");
    // Corrupt data is handled the libjpeg way but not always to the same
    // pixel (libjpeg's SIMD code wraps at 16 bits); sound data must match.
    if (ref.warnings == 0) {
      ++compared;
      EXPECT_GE(diff.psnr, 45.0) << rel;
      if (diff.max_channel == 0) ++identical;
    }
  }
  std::printf("%d sound pictures compared, %d identical; %d refused\n", compared, identical,
              refused);
  EXPECT_GT(compared, 120);
  EXPECT_EQ(identical, compared);
}

TEST(JpegDecoder, IndexAndBandsOfTestPictures) {
  LV_REQUIRE_TESTDATA();
  size_t pictures = 0, entries = 0;
  for (const auto& rel : sequential_test_pictures()) {
    // The fuzz folders go through the robustness test.
    if (rel.rfind("zune/fuzz/", 0) == 0 || rel.find("crashtest") != std::string::npos) continue;
    const auto bytes = file_bytes(test::testdata_path("jpeg/" + rel));
    Decoder d;
    if (!d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) continue;
    if (static_cast<double>(d.info().width) * d.info().height > 40e6) continue;
    const IndexCheck check = check_index_and_bands(bytes, rel);
    EXPECT_EQ(check.band_mismatches, 0u) << rel;
    ++pictures;
    entries += check.entries;
  }
  std::printf("%zu pictures, %zu entries resumed bit-exactly\n", pictures, entries);
  EXPECT_GT(pictures, 100u);
}

struct Variant {
  const char* name;
  int width;
  int height;
  EncodeOptions options;
  Content content;
};

class JpegVariant : public testing::TestWithParam<Variant> {};

TEST_P(JpegVariant, MatchesLibjpegAndResumesEveryBand) {
  const Variant& v = GetParam();
  const auto pixels = make_pixels(v.width, v.height, v.options.components, v.content);
  const auto bytes = encode(pixels, v.width, v.height, v.options);
  ASSERT_FALSE(bytes.empty());
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) << d.error();
  const int mcu_w = v.options.components == 1 ? 8 : 8 * v.options.luma_h;
  const int mcu_h = v.options.components == 1 ? 8 : 8 * v.options.luma_v;
  EXPECT_EQ(d.info().mcu_width, mcu_w);
  EXPECT_EQ(d.info().mcu_height, mcu_h);
  EXPECT_EQ(d.info().mcus_per_row, (v.width + mcu_w - 1) / mcu_w);
  EXPECT_EQ(d.info().bands_per_row, (v.width + 255) / 256);

  RgbPicture ref, own;
  ASSERT_TRUE(libjpeg_decode(bytes, ref));
  ASSERT_TRUE(own_decode(bytes, own));
  const Difference diff = compare(own, ref);
  std::printf("%s: PSNR %.2f dB, max diff %d, %zu FF data bytes in %zu\n", v.name, diff.psnr,
              diff.max_channel, stuffed_ff_count(bytes, d.info().scan_offset), bytes.size());
  EXPECT_EQ(diff.max_channel, 0);

  const IndexCheck check = check_index_and_bands(bytes, v.name);
  EXPECT_TRUE(check.canonical);
  EXPECT_EQ(check.band_mismatches, 0u);
}

EncodeOptions sampling(int h, int v) {
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
EncodeOptions with_restarts(EncodeOptions o, unsigned interval, int rows) {
  o.restart_interval = interval;
  o.restart_rows = rows;
  return o;
}
EncodeOptions ff_dense(EncodeOptions o, int quality) {
  o.ff_dense_codes = true;
  o.quality = quality;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, JpegVariant,
    testing::Values(Variant{"420_odd_size", 777, 301, sampling(2, 2), Content::photo},
                    Variant{"422_odd_size", 601, 259, sampling(2, 1), Content::photo},
                    Variant{"440", 300, 333, sampling(1, 2), Content::photo},
                    Variant{"444_exact_band", 512, 256, sampling(1, 1), Content::photo},
                    Variant{"gray_odd", 523, 97, gray(), Content::photo},
                    Variant{"tiny_420", 3, 5, sampling(2, 2), Content::photo},
                    Variant{"one_band_less_a_pixel", 255, 40, sampling(2, 2), Content::photo},
                    Variant{"band_plus_one", 257, 33, sampling(2, 1), Content::photo},
                    Variant{"420_restart_every_row", 700, 300, with_restarts(sampling(2, 2), 0, 1),
                            Content::photo},
                    Variant{"444_restart_every_row", 530, 120, with_restarts(sampling(1, 1), 0, 1),
                            Content::photo},
                    Variant{"gray_restart_every_row", 600, 90, with_restarts(gray(), 0, 1),
                            Content::photo},
                    Variant{"420_restart_every_mcu", 300, 100, with_restarts(sampling(2, 2), 1, 0),
                            Content::photo},
                    Variant{"422_restart_every_7", 650, 70, with_restarts(sampling(2, 1), 7, 0),
                            Content::noise},
                    Variant{"noise_q100", 520, 150, ff_dense(sampling(2, 2), 100), Content::noise},
                    Variant{"ff_dense_flat", 900, 200, ff_dense(sampling(2, 2), 75), Content::flat},
                    Variant{"ff_dense_flat_gray", 700, 120, ff_dense(gray(), 75), Content::flat},
                    Variant{"ff_dense_restart_every_mcu", 610, 90,
                            with_restarts(ff_dense(sampling(2, 2), 75), 1, 0), Content::flat},
                    Variant{"ff_dense_restart_every_row", 800, 110,
                            with_restarts(ff_dense(sampling(1, 1), 90), 0, 1), Content::photo}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

TEST(JpegDecoder, FfDenseVariantReallyIsDense) {
  // The 0xFF-dense construction must do what the variants above rely on.
  const auto pixels = make_pixels(400, 160, 3, Content::flat);
  EncodeOptions o = ff_dense(sampling(2, 2), 75);
  const auto bytes = encode(pixels, 400, 160, o);
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  const size_t data = bytes.size() - d.info().scan_offset;
  EXPECT_GT(stuffed_ff_count(bytes, d.info().scan_offset) * 4, data)
      << "fewer than a quarter of the data bytes are stuffed FF";
}

// Variants of real photos made by jpegtran: restart markers after every MCU
// row, and grayscale, without decoding and re-encoding.
TEST(JpegDecoder, JpegtranVariantsOfRealPictures) {
  LV_REQUIRE_TESTDATA();
  if (!std::filesystem::exists("/usr/bin/jpegtran"))
    GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) is not installed";
  const std::string dir = test::make_temp_dir("jpegtran");
  const char* sources[] = {"libjpeg-turbo/testorig.jpg", "exif-pillow/hopper.jpg",
                           "jpeg-decoder/reftest/mozilla/jpg-size-33x33.jpg",
                           "exif-pillow/exif_typeerror.jpg"};
  const char* options[][2] = {
      {"-restart 1", "rst1"}, {"-restart 1B", "rst1b"}, {"-grayscale -restart 2", "gray_rst2"}};
  int made = 0;
  for (const char* src : sources) {
    for (const auto& opt : options) {
      const std::string in = test::testdata_path(std::string("jpeg/") + src);
      const std::string out = dir + "/" + std::to_string(made) + opt[1] + ".jpg";
      const std::string cmd = std::string("/usr/bin/jpegtran ") + opt[0] + " -outfile '" + out +
                              "' '" + in + "' 2>/dev/null";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
      const auto bytes = file_bytes(out);
      ASSERT_FALSE(bytes.empty()) << cmd;
      RgbPicture ref, own;
      ASSERT_TRUE(libjpeg_decode(bytes, ref)) << cmd;
      ASSERT_TRUE(own_decode(bytes, own)) << cmd;
      EXPECT_EQ(compare(own, ref).max_channel, 0) << cmd;
      Decoder d;
      ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
      EXPECT_GT(d.info().restart_interval, 0u) << cmd;
      EXPECT_EQ(check_index_and_bands(bytes, cmd).band_mismatches, 0u);
      ++made;
    }
  }
  EXPECT_EQ(made, 12);
}

TEST(JpegDecoder, Rgb565IsThePackedRgb888) {
  const auto pixels = make_pixels(300, 50, 3, Content::photo);
  const auto bytes = encode(pixels, 300, 50, sampling(2, 1));
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  std::vector<uint8_t> rgb(300 * 50 * 3);
  std::vector<uint16_t> words(300 * 50);
  ASSERT_TRUE(d.decode_to(PixelFormat::rgb888, rgb.data(), 300 * 3));
  ASSERT_TRUE(d.decode_to(PixelFormat::rgb565, reinterpret_cast<uint8_t*>(words.data()), 300 * 2));
  for (size_t i = 0; i < words.size(); ++i) {
    const uint16_t expect = static_cast<uint16_t>(
        ((rgb[3 * i] & 0xF8) << 8) | ((rgb[3 * i + 1] & 0xFC) << 3) | (rgb[3 * i + 2] >> 3));
    ASSERT_EQ(words[i], expect) << "pixel " << i;
  }
}

TEST(JpegDecoder, GrayscaleGivesEqualChannels) {
  const auto pixels = make_pixels(90, 30, 1, Content::photo);
  const auto bytes = encode(pixels, 90, 30, gray());
  RgbPicture own;
  ASSERT_TRUE(own_decode(bytes, own));
  for (size_t i = 0; i < own.rgb.size(); i += 3) {
    ASSERT_EQ(own.rgb[i], own.rgb[i + 1]);
    ASSERT_EQ(own.rgb[i], own.rgb[i + 2]);
  }
}

TEST(JpegDecoder, RowsAndEntriesArriveInOrderAndCanStop) {
  const auto pixels = make_pixels(600, 100, 3, Content::photo);
  const auto bytes = encode(pixels, 600, 100, sampling(2, 2));
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  EXPECT_EQ(d.info().entry_count(), 7u * 3u);  // 7 MCU rows, 3 bands each
  int next_row = 0, entries = 0;
  ASSERT_TRUE(d.decode(
      PixelFormat::rgb888,
      [&](int y, const uint8_t*) {
        EXPECT_EQ(y, next_row++);
        // An MCU row's entries all come before its pixels.
        EXPECT_EQ(entries, (y / 16 + 1) * 3);
        return true;
      },
      [&](const jpeg::StateEntry&) {
        ++entries;
        return true;
      }));
  EXPECT_EQ(next_row, 100);

  // A stop request from the row callback ends the decode, without failing
  // the decoder for good.
  int rows = 0;
  EXPECT_FALSE(d.decode(PixelFormat::rgb888, [&](int, const uint8_t*) { return ++rows < 20; }));
  EXPECT_EQ(rows, 20);
  EXPECT_EQ(d.failure(), Failure::stopped);
  EXPECT_FALSE(d.failed());
  int scanned = 0;
  EXPECT_FALSE(d.scan([&](const jpeg::StateEntry&) { return ++scanned < 5; }));
  EXPECT_EQ(scanned, 5);
  EXPECT_TRUE(d.scan([](const jpeg::StateEntry&) { return true; }));
  EXPECT_EQ(d.failure(), Failure::none);
}

TEST(JpegDecoder, RefusesWhatItDoesNotTake) {
  LV_REQUIRE_TESTDATA();
  const std::pair<const char*, Failure> cases[] = {
      {"go/video-001.progressive.jpeg", Failure::unsupported},
      {"libjpeg-turbo/testimgari.jpg", Failure::unsupported},
      {"libjpeg-turbo/testorig12.jpg", Failure::unsupported},
      {"go/video-001.cmyk.jpeg", Failure::unsupported},
      {"go/video-001.q50.411.jpeg", Failure::unsupported},
      {"go/video-001.221212.jpeg", Failure::unsupported},
      {"jpeg-decoder/reftest/lossless/2/MR4.jpg", Failure::unsupported},
      {"jpeg-decoder/crashtest/max_size.jpg", Failure::unsupported},
  };
  for (const auto& [rel, expected] : cases) {
    const auto bytes = file_bytes(test::testdata_path(std::string("jpeg/") + rel));
    Decoder d;
    EXPECT_FALSE(d.open(jpeg::ByteSource(bytes.data(), bytes.size()))) << rel;
    EXPECT_EQ(d.failure(), expected) << rel << ": " << d.error();
    EXPECT_FALSE(d.error().empty());
    // A failed decoder stays failed.
    EXPECT_FALSE(d.decode(PixelFormat::rgb888, [](int, const uint8_t*) { return true; }));
    EXPECT_FALSE(d.scan([](const jpeg::StateEntry&) { return true; }));
    EXPECT_TRUE(d.failed());
  }
  const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  Decoder d;
  EXPECT_FALSE(d.open(jpeg::ByteSource(png, sizeof png)));
  EXPECT_EQ(d.failure(), Failure::not_jpeg);
}

TEST(JpegDecoder, TruncatedDataIsGreyAfterTheCutAndStillResumes) {
  const auto pixels = make_pixels(400, 200, 3, Content::photo);
  auto bytes = encode(pixels, 400, 200, sampling(2, 2));
  bytes.resize(bytes.size() * 2 / 3);
  RgbPicture ref, own;
  ASSERT_TRUE(libjpeg_decode(bytes, ref));
  EXPECT_GT(ref.warnings, 0);
  ASSERT_TRUE(own_decode(bytes, own));
  EXPECT_EQ(compare(own, ref).max_channel, 0);
  // The last row is the mid-grey of missing data.
  for (int x = 0; x < 400; ++x) ASSERT_EQ(own.rgb[(199 * 400 + x) * 3], 128) << x;
  EXPECT_EQ(check_index_and_bands(bytes, "truncated").band_mismatches, 0u);
}

TEST(JpegDecoder, BadEntriesAndWindowsAreRefused) {
  const auto pixels = make_pixels(600, 64, 3, Content::photo);
  const auto bytes = encode(pixels, 600, 64, with_restarts(sampling(2, 2), 5, 0));
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  std::vector<jpeg::StateEntry> entries;
  ASSERT_TRUE(d.scan([&](const jpeg::StateEntry& e) {
    entries.push_back(e);
    return true;
  }));
  ASSERT_EQ(entries.size(), 12u);
  const jpeg::ByteSource all(bytes.data(), bytes.size());
  auto band = [&](const jpeg::ByteSource& window, const jpeg::StateEntry& e, int row, int b) {
    Decoder t;
    EXPECT_TRUE(t.open(all));
    const bool ok = t.decode_band(window, e, row, b, PixelFormat::rgb565,
                                  [](int, const uint8_t*) { return true; });
    if (!ok) {
      EXPECT_EQ(t.failure(), Failure::bad_entry);
      EXPECT_TRUE(t.failed());
    }
    return ok;
  };
  EXPECT_TRUE(band(all, entries[4], 1, 1));
  EXPECT_FALSE(band(all, entries[4], 4, 0));   // no such MCU row
  EXPECT_FALSE(band(all, entries[4], 1, 3));   // no such band
  EXPECT_FALSE(band(all, entries[4], -1, 0));  // nor this
  jpeg::StateEntry e = entries[4];
  e.bytes_left = static_cast<uint32_t>(bytes.size() + 1);
  EXPECT_FALSE(band(all, e, 1, 1));
  e = entries[4];
  e.bytes_left = static_cast<uint32_t>(bytes.size() - 10);  // inside the header
  EXPECT_FALSE(band(all, e, 1, 1));
  e = entries[4];
  e.mcus_left = 6;  // beyond the restart interval of 5
  EXPECT_FALSE(band(all, e, 1, 1));
  e = entries[4];
  e.next_restart = 8;
  EXPECT_FALSE(band(all, e, 1, 1));
  e = entries[4];
  e.bits = 33;
  EXPECT_FALSE(band(all, e, 1, 1));

  // A window that misses the offset, or the bytes before it that the bits
  // come from, or that belongs to a stream of another size.
  const uint64_t offset = d.info().resume_offset(entries[4]);
  jpeg::ByteSource after(bytes.data() + offset + 1, 100, offset + 1, bytes.size());
  EXPECT_FALSE(band(after, entries[4], 1, 1));
  e = entries[4];
  e.bits = 3;
  jpeg::ByteSource at_offset(bytes.data() + offset, 100, offset, bytes.size());
  EXPECT_FALSE(band(at_offset, e, 1, 1));
  jpeg::ByteSource other(bytes.data(), bytes.size(), 0, bytes.size() + 5);
  EXPECT_FALSE(band(other, entries[4], 1, 1));
  jpeg::ByteSource overlong(bytes.data(), bytes.size(), 10, bytes.size());
  EXPECT_FALSE(band(overlong, entries[4], 1, 1));
}

TEST(JpegDecoder, WindowShortOfTheBandEndsInGreyNotOutside) {
  // A window cut short (a short read of a cache file) decodes only what is
  // there; the rest of the band is the grey of missing data.
  const auto pixels = make_pixels(512, 32, 3, Content::noise);
  const auto bytes = encode(pixels, 512, 32, sampling(2, 2));
  Decoder d;
  ASSERT_TRUE(d.open(jpeg::ByteSource(bytes.data(), bytes.size())));
  std::vector<jpeg::StateEntry> entries;
  ASSERT_TRUE(d.scan([&](const jpeg::StateEntry& e) {
    entries.push_back(e);
    return true;
  }));
  const uint64_t offset = d.info().resume_offset(entries[1]);
  std::vector<uint8_t> piece(bytes.begin() + static_cast<ptrdiff_t>(offset) - 6,
                             bytes.begin() + static_cast<ptrdiff_t>(offset) + 40);
  const auto window = jpeg::ByteSource::owning(piece, offset - 6, bytes.size());
  int rows = 0;
  ASSERT_TRUE(
      d.decode_band(window, entries[1], 0, 1, PixelFormat::rgb888, [&](int y, const uint8_t* px) {
        if (y == 15) {
          EXPECT_EQ(px[255 * 3], 128);
        }
        ++rows;
        return true;
      }));
  EXPECT_EQ(rows, 16);
}

}  // namespace
}  // namespace lv
