// The own baseline decoder against libjpeg-turbo: the shared test pictures
// and pictures written at test time with every sampling, restarts and
// 0xFF-dense data. The pixels must be libjpeg's to the bit, the index must
// not depend on the refill strategy, every band must resume exactly, and
// libjpeg fed with the own decoder's coefficients must give its own pixels.

#include "jpeg/jpeg_decoder.h"

#include <gtest/gtest.h>

#include "jpeg/jpeg_test_support.h"

namespace lv {
namespace {

using namespace lv::test;
using namespace lv::jpeg;

void expect_libjpeg_pixels(const Bytes& bytes, const std::string& label) {
  RgbPicture ref, own;
  ASSERT_TRUE(libjpeg_decode(bytes, ref) && own_decode(bytes, own)) << label;
  EXPECT_TRUE(own.width == ref.width && own.height == ref.height && own.rgb == ref.rgb) << label;
  expect_same_with_coefficients(bytes, label);
}

// Every file of a folder of the shared test pictures (the fuzzer's seeds)
// goes through the fuzz target's check. A picture the decoder takes and
// libjpeg decodes without a warning must give libjpeg's pixels, and libjpeg
// fed with the own decoder's coefficients its own pixels. (Corrupt data is
// handled the libjpeg way but not always to the same pixel: libjpeg's SIMD
// code wraps at 16 bits.)
class TestPictures : public testing::TestWithParam<const char*> {};

TEST_P(TestPictures, KeepTheDecodersRulesAndMatchLibjpeg) {
  LV_REQUIRE_TESTDATA();
  int compared = 0;
  for (const std::string& path : files_under(testdata_path(std::string("jpeg/") + GetParam()))) {
    const Bytes bytes = read_bytes(path);
    RgbPicture ref;
    if (!check_decoder(bytes, path) || !libjpeg_decode(bytes, ref) || ref.warnings > 0) continue;
    expect_libjpeg_pixels(bytes, path);
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

INSTANTIATE_TEST_SUITE_P(Folders, TestPictures,
                         testing::Values("exif-ianare", "exif-pillow", "exiv2-poc", "go",
                                         "jpeg-decoder", "libjpeg-turbo", "zune"),
                         folder_test_name);

struct Variant {
  const char* name;
  int width, height;
  Content content;
  EncodeOptions options = {};  // luma sampled 2 x 2 at quality 90 unless set
};

constexpr Content photo = Content::photo, noise = Content::noise, flat = Content::flat;
const Variant kVariants[] = {
    {"s420_odd_size_restart_every_row", 777, 301, photo, {.restart_rows = 1}},
    {"s440", 300, 333, photo, {.luma_h = 1}},
    {"s444_exact_band", 512, 256, noise, {.luma_h = 1, .luma_v = 1}},
    {"gray_odd_restart_every_row", 523, 97, photo, {.components = 1, .restart_rows = 1}},
    {"tiny", 3, 5, noise},
    {"one_band_less_a_pixel", 255, 40, photo},
    {"band_plus_one", 257, 33, photo, {.luma_v = 1}},
    {"restart_every_7", 650, 70, noise, {.luma_v = 1, .restart_interval = 7}},
    {"ff_dense_flat", 900, 200, flat, {.quality = 75, .ff_dense_codes = true}},
    // clang-format off
    {"ff_dense_restart_every_mcu", 610, 90, flat,
     {.quality = 75, .restart_interval = 1, .ff_dense_codes = true}},
    {"ff_dense_restart_every_row", 800, 110, photo,
     {.luma_h = 1, .luma_v = 1, .restart_rows = 1, .ff_dense_codes = true}},
    // clang-format on
};

class JpegVariant : public testing::TestWithParam<Variant> {};

TEST_P(JpegVariant, MatchesLibjpegAndResumesEveryBand) {
  const Variant& v = GetParam();
  const Bytes bytes = encode_picture(v.width, v.height, v.options, v.content);
  ASSERT_TRUE(check_decoder(bytes, v.name));
  const bool dense = v.options.ff_dense_codes && v.content == flat;
  EXPECT_TRUE(!dense || stuffed_ff_count(bytes, 0) * 5 > bytes.size()) << "too few FF 00 pairs";
  expect_libjpeg_pixels(bytes, v.name);
}

INSTANTIATE_TEST_SUITE_P(Variants, JpegVariant, testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDecoder, EntriesComeBeforeTheirRowsAndCallbacksCanStop) {
  // Row order and entry count are the fuzz check's; here when entries come.
  const Bytes bytes = encode_picture(600, 100);
  Decoder d;
  ASSERT_TRUE(d.open(ByteSource(bytes.data(), bytes.size())));
  int entries = 0, rows = 0, scanned = 0;
  ASSERT_TRUE(d.decode(
      PixelFormat::rgb888,
      [&](int y, const uint8_t*) {
        EXPECT_EQ(entries, (y / 16 + 1) * 3) << y;  // an MCU row's 3 entries, then its rows
        return true;
      },
      [&](const StateEntry&) { return ++entries > 0; }));
  // A stop from a callback ends the call without failing the decoder for good.
  EXPECT_FALSE(d.decode(PixelFormat::rgb888, [&](int, const uint8_t*) { return ++rows < 20; }));
  EXPECT_TRUE(rows == 20 && d.failure() == Failure::stopped && !d.failed());
  EXPECT_FALSE(d.scan([&](const StateEntry&) { return ++scanned < 5; }));
  EXPECT_TRUE(scanned == 5 && d.scan([](auto&) { return true; }) && d.failure() == Failure::none);
}

TEST(JpegDecoder, TruncatedDataIsGreyAfterTheCutAndStillResumes) {
  Bytes bytes = encode_picture(400, 200);
  bytes.resize(bytes.size() * 2 / 3);
  RgbPicture ref, own;
  ASSERT_TRUE(libjpeg_decode(bytes, ref) && own_decode(bytes, own) && check_decoder(bytes, ""));
  EXPECT_TRUE(ref.warnings > 0 && own.rgb == ref.rgb);
  EXPECT_EQ(Bytes(own.rgb.end() - 400 * 3, own.rgb.end()), Bytes(400 * 3, 128));
}

// Broken, hostile and truncated data by the fuzz target's check: every call
// ends (no crash, no hang, no read outside its bytes; run under the sanitizer
// build), refusals say why, and the index and band resume stay exact on
// whatever data the decoder accepts.
TEST(JpegRobustness, EveryTruncationOfAPicture) {
  const Bytes bytes = encode_picture(70, 40, {.restart_interval = 2});
  size_t decoded = 0;
  for (auto end = bytes.begin(); end <= bytes.end(); ++end)
    decoded += check_decoder(Bytes(bytes.begin(), end), std::to_string(end - bytes.begin()));
  EXPECT_GT(decoded, bytes.size() / 2);
}

TEST(JpegRobustness, HugeDeclaredSizeFromTinyData) {
  // A header claiming 60000 x 60000 with a few bytes of data: accepted (as
  // libjpeg does) and scanned to its last entry without picture buffers.
  Bytes bytes = encode_picture(16, 16);
  const uint8_t sof0[] = {0xFF, 0xC0};
  const auto sof = std::search(bytes.begin(), bytes.end(), sof0, sof0 + 2);
  sof[5] = sof[7] = 0xEA, sof[6] = sof[8] = 0x60;  // 60000 each way
  Decoder d;
  StateEntry last;
  size_t count = 0;
  ASSERT_TRUE(d.open(ByteSource(bytes.data(), bytes.size())) &&
              d.scan([&](const StateEntry& e) { return last = e, ++count > 0; }));
  EXPECT_TRUE(count == 3750u * 235u && last.bits == 0);
}

}  // namespace
}  // namespace lv
