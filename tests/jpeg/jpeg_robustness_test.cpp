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

TEST(JpegRobustness, EveryTruncationOfAPicture) {
  EncodeOptions o;
  o.restart_interval = 2;
  const Bytes bytes = encode_picture(70, 40, o);
  size_t decoded = 0;
  for (size_t n = 0; n <= bytes.size(); ++n)
    decoded += check_decoder(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n)),
                             "cut at " + std::to_string(n));
  EXPECT_GT(decoded, bytes.size() / 2);
}

TEST(JpegRobustness, DamagedRestartsAndMarkersInTheData) {
  // Restarts every MCU in 0xFF-dense data: markers and stuffing everywhere.
  EncodeOptions o;
  o.restart_interval = 1;
  o.ff_dense_codes = true;
  const Bytes good = encode_picture(300, 48, o, Content::photo);
  Decoder d;
  ASSERT_TRUE(d.open(ByteSource(good.data(), good.size())));
  const size_t data = d.info().scan_offset;
  std::vector<size_t> restarts;  // where the RST markers are
  for (size_t i = data; i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] >= 0xD0 && good[i + 1] <= 0xD7) restarts.push_back(i);
  ASSERT_GT(restarts.size(), 20u);
  const size_t middle = (restarts[10] + restarts[11]) / 2;
  using Edit = std::function<void(Bytes&)>;
  const std::pair<const char*, Edit> edits[] = {
      {"a restart missing",
       [&](Bytes& b) { b.erase(b.begin() + restarts[5], b.begin() + restarts[5] + 2); }},
      {"two restarts missing",
       [&](Bytes& b) { b.erase(b.begin() + restarts[5], b.begin() + restarts[7]); }},
      {"a restart renumbered", [&](Bytes& b) { b[restarts[5] + 1] ^= 4; }},
      {"an earlier restart number", [&](Bytes& b) { b[restarts[9] + 1] = b[restarts[7] + 1]; }},
      {"garbage before a restart",
       [&](Bytes& b) {
         b.insert(b.begin() + restarts[3], {0x12, 0xFF, 0x00, 0xFF});
       }},
      {"a stray marker", [&](Bytes& b) { b[middle] = 0xFF, b[middle + 1] = 0xC4; }},
      {"an early end", [&](Bytes& b) { b[middle] = 0xFF, b[middle + 1] = 0xD9; }},
      {"a lone FF", [&](Bytes& b) { b.insert(b.begin() + middle, 0xFF); }},
      {"a byte lost", [&](Bytes& b) { b.erase(b.begin() + middle); }},
      {"a flipped data bit", [&](Bytes& b) { b[middle] ^= 0x10; }},
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
  for (size_t i = 2; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = 0xEA, bytes[i + 6] = 0x60;  // height 60000
      bytes[i + 7] = 0xEA, bytes[i + 8] = 0x60;  // width 60000
      break;
    }
  }
  Decoder d;
  ASSERT_TRUE(d.open(ByteSource(bytes.data(), bytes.size())));
  EXPECT_EQ(d.info().width, 60000);
  EXPECT_EQ(d.info().entry_count(), 3750u * 235u);
  StateEntry last;
  size_t count = 0;
  ASSERT_TRUE(d.scan([&](const StateEntry& e) {
    last = e;
    ++count;
    return true;
  }));
  EXPECT_EQ(count, d.info().entry_count());
  EXPECT_EQ(last.bits, 0);
  int rows = 0;
  ASSERT_TRUE(d.decode_band(ByteSource(bytes.data(), bytes.size()), last, 3749, 234,
                            PixelFormat::rgb888, [&](int y, const uint8_t* px) {
                              EXPECT_EQ(px[0], 128);
                              EXPECT_EQ(y, 3749 * 16 + rows++);
                              return true;
                            }));
  EXPECT_EQ(rows, 16);
}

}  // namespace
}  // namespace lv
