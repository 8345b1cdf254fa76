// Broken, hostile and truncated JPEG data through the own decoder, by the
// fuzz target's check: every call ends (no crash, no hang, no read outside
// its bytes; run under the sanitizer build), refusals say why, and the index
// and band resume stay exact on whatever data the decoder accepts.

#include <gtest/gtest.h>

#include <functional>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_test_support.h"

namespace lv {
namespace {

using namespace lv::test;
using jpeg::ByteSource;
using jpeg::Decoder;
using jpeg::PixelFormat;
using jpeg::StateEntry;

const uint8_t kSof0[] = {0xFF, 0xC0};

TEST(JpegRobustness, EveryTruncationOfAPicture) {
  const Bytes bytes = encode_picture(70, 40, {.restart_interval = 2});
  size_t decoded = 0;
  for (size_t n = 0; n <= bytes.size(); ++n)
    decoded += check_decoder(Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(n)),
                             "cut at " + std::to_string(n));
  EXPECT_GT(decoded, bytes.size() / 2);
}

TEST(JpegRobustness, DamagedRestartsAndMarkersInTheData) {
  // Restarts every MCU in 0xFF-dense data: markers and stuffing everywhere.
  const Bytes good = encode_picture(300, 48, {.restart_interval = 1, .ff_dense_codes = true});
  std::vector<ptrdiff_t> rst;  // where the RST markers are
  for (size_t i = 2; i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] >= 0xD0 && good[i + 1] <= 0xD7) rst.push_back(ptrdiff_t(i));
  ASSERT_GT(rst.size(), 20u);
  const size_t mid = (rst[10] + rst[11]) / 2;
  const std::pair<const char*, std::function<void(Bytes&)>> edits[] = {
      {"a restart missing", [&](Bytes& b) { b.erase(b.begin() + rst[5], b.begin() + rst[5] + 2); }},
      {"two restarts missing", [&](Bytes& b) { b.erase(b.begin() + rst[5], b.begin() + rst[7]); }},
      {"a restart renumbered", [&](Bytes& b) { b[rst[5] + 1] ^= 4; }},
      {"an earlier restart number", [&](Bytes& b) { b[rst[9] + 1] = b[rst[7] + 1]; }},
      {"garbage before a restart",
       [&](Bytes& b) {
         b.insert(b.begin() + rst[3], {0x12, 0xFF, 0x00, 0xFF});
       }},
      {"a stray marker", [&](Bytes& b) { b[mid] = 0xFF, b[mid + 1] = 0xC4; }},
      {"an early end", [&](Bytes& b) { b[mid] = 0xFF, b[mid + 1] = 0xD9; }},
      {"a lone FF", [&](Bytes& b) { b.insert(b.begin() + ptrdiff_t(mid), 0xFF); }},
      {"a byte lost", [&](Bytes& b) { b.erase(b.begin() + ptrdiff_t(mid)); }},
      {"a flipped data bit", [&](Bytes& b) { b[mid] ^= 0x10; }},
  };
  for (const auto& [what, edit] : edits) {
    Bytes bytes = good;
    edit(bytes);
    EXPECT_TRUE(check_decoder(bytes, what)) << what;
  }
}

TEST(JpegRobustness, HugeDeclaredSizeFromTinyData) {
  // A header claiming 60000 x 60000 with a few bytes of data: accepted (as
  // libjpeg does) and answered by mid-grey, without allocations beyond one
  // MCU row; a band far down the picture resumes from its entry.
  Bytes bytes = encode_picture(16, 16);
  const size_t sof =
      size_t(std::search(bytes.begin(), bytes.end(), kSof0, kSof0 + 2) - bytes.begin());
  bytes[sof + 5] = bytes[sof + 7] = 0xEA, bytes[sof + 6] = bytes[sof + 8] = 0x60;  // 60000 each way
  Decoder d;
  ASSERT_TRUE(d.open(ByteSource(bytes.data(), bytes.size())));
  ASSERT_EQ(d.info().entry_count(), 3750u * 235u);
  StateEntry last;
  size_t count = 0;
  ASSERT_TRUE(d.scan([&](const StateEntry& e) { return last = e, ++count > 0; }));
  EXPECT_TRUE(count == d.info().entry_count() && last.bits == 0);
  int rows = 0;
  ASSERT_TRUE(d.decode_band(ByteSource(bytes.data(), bytes.size()), last, 3749, 234,
                            PixelFormat::rgb888, [&](int y, const uint8_t* px) {
                              EXPECT_TRUE(px[0] == 128 && y == 3749 * 16 + rows++);
                              return true;
                            }));
  EXPECT_EQ(rows, 16);
}

}  // namespace
}  // namespace lv
