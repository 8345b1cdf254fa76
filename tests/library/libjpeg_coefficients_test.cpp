// libjpeg with the own decoder doing its Huffman decoding (as the cache
// build runs it), its four-byte pixels and its reading of row pairs.

#include <gtest/gtest.h>

#include <cstring>

#include "base/file_util.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_test_support.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"

namespace lv {
namespace {

using namespace lv::test;

TEST(LibjpegCoefficients, DamagedDataDecodesAsLibjpegDecodesIt) {
  EncodeOptions restarts;
  restarts.restart_rows = 2;
  const Bytes good = encode_picture(320, 240, restarts);
  // Cut in the middle of the data (the end and the EOI are missing).
  const Bytes cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() * 2 / 3));
  OwnCoefficients own;
  ASSERT_TRUE(own.open(cut));
  const LibjpegRows plain = libjpeg_rows(cut), shared = libjpeg_rows(cut, &own);
  ASSERT_TRUE(plain.ok && shared.ok);
  EXPECT_TRUE(shared.used);
  EXPECT_TRUE(shared.pixels == plain.pixels);
  EXPECT_GT(shared.warnings, 0);

  // Bytes of no marker between the data and the EOI: libjpeg skips them
  // (with its warning) as it does after its own decoding.
  Bytes padded(good.begin(), good.end() - 2);
  padded.insert(padded.end(), {0x12, 0x34, 0x56, 0xFF, 0xD9});
  expect_same_with_coefficients(padded, "junk before the EOI");
}

TEST(LibjpegCoefficients, ASourceOfOtherMcusAFileOrAProgressivePictureIsNotHandedOver) {
  const Bytes jpeg = encode_picture(200, 100);
  // Handed a source (or not), the decode answers whether it was used and
  // gives libjpeg's own pixels either way.
  const auto not_used = [](const Bytes& picture, OwnCoefficients& source) {
    const LibjpegRows d = libjpeg_rows(picture, &source);
    return d.ok && !d.used && source.mcus == 0 && d.pixels == libjpeg_rows(picture).pixels;
  };
  OwnCoefficients wrong, own, any;
  ASSERT_TRUE(wrong.open(jpeg) && own.open(jpeg));
  wrong.row_error = 1;
  EXPECT_TRUE(not_used(jpeg, wrong));
  // The source works on memory: a file is never handed over.
  const std::string path = make_temp_dir() + "/p.jpg";
  write_bytes(path, jpeg);
  JpegDecoder from_file;
  JpegDecodeOptions options;
  options.coefficients = &own;
  ASSERT_TRUE(from_file.open(from_utf8(path)) && from_file.start(options));
  EXPECT_FALSE(from_file.coefficients_used());

  LV_REQUIRE_TESTDATA();
  // A baseline picture of the same MCUs (150 x 103, 4:4:4) does not make
  // its source fit a progressive one.
  EncodeOptions s444;
  s444.luma_h = s444.luma_v = 1;
  ASSERT_TRUE(any.open(encode_picture(150, 103, s444)));
  EXPECT_TRUE(not_used(read_bytes(testdata_path("jpeg/go/video-001.progressive.jpeg")), any));
}

TEST(LibjpegCoefficients, AFailingOrThrowingSourceFailsTheDecodeCleanly) {
  const Bytes jpeg = encode_picture(300, 200);
  for (bool throws : {false, true}) {
    OwnCoefficients own;
    ASSERT_TRUE(own.open(jpeg));
    (throws ? own.throw_at : own.fail_at) = 100;
    const LibjpegRows d = libjpeg_rows(jpeg, &own);
    EXPECT_TRUE(d.used);
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.error.empty());
    EXPECT_EQ(own.mcus, 100);
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
  EncodeOptions s444;
  s444.luma_h = s444.luma_v = 1;
  const Bytes full = encode_picture(64, 8, s444);
  JpegDecoder one;
  ASSERT_TRUE(one.open(full.data(), full.size()) && one.start());
  EXPECT_EQ(one.rows_per_read(), 1);
  EXPECT_EQ(one.read_rows(rows.data(), 64 * 3, 2), 1);
  EXPECT_EQ(one.read_rows(rows.data(), 64 * 3, 0), 0);
}

}  // namespace
}  // namespace lv
