// Broken, hostile and truncated JPEG data through the own decoder: every call
// must end (no crash, no hang, no read outside its bytes; run under the
// sanitizer build), refusals must say why, and the index and band resume
// must stay exact on whatever data the decoder accepts.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_test_support.h"

namespace lv {
namespace {

using namespace lv::test;
using jpeg::ByteSource;
using jpeg::Decoder;
using jpeg::PixelFormat;
using jpeg::StateEntry;

// Everything the decoder offers, on one file's bytes; true when it decoded.
// Above `full_pixels` only the scan runs: larger pictures take time, not
// other paths.
bool exercise(const Bytes& bytes, const std::string& label, double full_pixels = 40e6) {
  Decoder d;
  if (!d.open(ByteSource(bytes.data(), bytes.size()))) {
    EXPECT_NE(d.failure(), jpeg::Failure::none) << label;
    EXPECT_FALSE(d.error().empty()) << label;
    EXPECT_FALSE(d.scan([](const StateEntry&) { return true; })) << label;
    return false;
  }
  const jpeg::PictureInfo info = d.info();
  const double pixels = static_cast<double>(info.width) * info.height;
  if (pixels > 40e6) return false;
  if (pixels > full_pixels) {
    EXPECT_TRUE(d.scan([](const StateEntry&) { return true; })) << label;
    return false;
  }
  std::vector<StateEntry> entries;
  int rows = 0;
  EXPECT_TRUE(d.decode(
      PixelFormat::rgb565,
      [&](int y, const uint8_t*) {
        EXPECT_EQ(y, rows++);
        return true;
      },
      [&](const StateEntry& e) {
        entries.push_back(e);
        return true;
      }))
      << label << ": " << d.error();
  EXPECT_EQ(rows, info.height) << label;
  if (entries.size() != info.entry_count()) {
    ADD_FAILURE() << label << ": " << entries.size() << " entries";
    return true;
  }
  for (size_t i = 1; i < entries.size(); ++i)
    if (entries[i].bytes_left > entries[i - 1].bytes_left) {
      ADD_FAILURE() << label << ": entry " << i << " goes back";
      break;
    }
  Bytes serial;
  Decoder bytewise(jpeg::Refill::byte);
  EXPECT_TRUE(bytewise.open(ByteSource(bytes.data(), bytes.size())));
  EXPECT_TRUE(bytewise.scan_index(serial));
  Bytes from_decode;
  for (const StateEntry& e : entries) {
    const auto b = e.bytes();
    from_decode.insert(from_decode.end(), b.begin(), b.end());
  }
  EXPECT_TRUE(serial == from_decode) << label << ": the index depends on the refill strategy";

  // Resume from the first, a middle and the last entry, and from a mangled
  // copy of each: either rows or a clean refusal.
  std::mt19937 rng(static_cast<unsigned>(bytes.size()));
  const ByteSource all(bytes.data(), bytes.size());
  for (size_t e : {size_t{0}, entries.size() / 2, entries.size() - 1}) {
    const int row = static_cast<int>(e / info.bands_per_row);
    const int band = static_cast<int>(e % info.bands_per_row);
    Decoder t;
    EXPECT_TRUE(t.open(all) && t.decode_band(all, entries[e], row, band, PixelFormat::rgb888,
                                             [](int, const uint8_t*) { return true; }))
        << label;
    for (int k = 0; k < 4; ++k) {
      auto raw = entries[e].bytes();
      raw[rng() % raw.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      Decoder m;
      EXPECT_TRUE(m.open(all));
      if (!m.decode_band(all, StateEntry::decode(raw.data()), row, band, PixelFormat::rgb565,
                         [](int, const uint8_t*) { return true; }))
        EXPECT_EQ(m.failure(), jpeg::Failure::bad_entry) << label;
    }
  }
  return true;
}

class HostileFiles : public testing::TestWithParam<const char*> {};

TEST_P(HostileFiles, GoThroughEveryCall) {
  LV_REQUIRE_TESTDATA();
  const std::string folder = GetParam();
  std::vector<std::string> files;
  for (const std::string& path : files_under(testdata_path("jpeg/" + folder), folder != "zune"))
    if (!path.ends_with("README.md")) files.push_back(path);
  ASSERT_FALSE(files.empty());
  size_t decoded = 0;
  for (const std::string& path : files) decoded += exercise(read_bytes(path), path, 4.5e6);
  std::printf("%s: %zu files, %zu decoded\n", folder.c_str(), files.size(), decoded);
  EXPECT_GT(decoded, 0u);
}

INSTANTIATE_TEST_SUITE_P(Folders, HostileFiles,
                         testing::Values("jpeg-decoder/crashtest", "jpeg-decoder/reftest", "zune",
                                         "zune/fuzz", "exiv2-poc", "exif-pillow", "exif-ianare"),
                         folder_test_name);

TEST(JpegRobustness, EveryTruncationOfAPicture) {
  EncodeOptions o;
  o.restart_interval = 2;
  const Bytes bytes = encode_picture(70, 40, o);
  size_t decoded = 0;
  for (size_t n = 0; n <= bytes.size(); ++n) {
    // Exactly n bytes on the heap, so a read past them shows under ASan.
    Bytes cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
    cut.shrink_to_fit();
    const bool ok = exercise(cut, "cut at " + std::to_string(n));
    decoded += ok;
    if (ok && n % 7 == 0) EXPECT_EQ(check_index_and_bands(cut, "cut"), 0u);
  }
  EXPECT_GT(decoded, bytes.size() / 2);
}

TEST(JpegRobustness, MutatedPicturesStillResumeExactly) {
  // Random damage in the header and the data. Whatever the decoder takes,
  // its index must not depend on the refill strategy and every band must
  // resume to the pixels of the whole decode, markers and garbage included.
  const Bytes pixels = make_pixels(300, 48, 3, Content::photo);
  std::mt19937 rng(2024);
  size_t accepted = 0;
  for (int round = 0; round < 150; ++round) {
    EncodeOptions o;
    o.restart_interval = round % 3 == 0 ? 0 : 1 + round % 5;
    o.ff_dense_codes = round % 2 == 0;
    o.luma_h = 1 + round % 2;
    Bytes bytes = encode(pixels, 300, 48, o);
    const int damage = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < damage; ++k) {
      const size_t at = rng() % bytes.size();
      switch (rng() % 4) {
        case 0:
          bytes[at] = static_cast<uint8_t>(rng());
          break;
        case 1:  // a marker out of place
          bytes[at] = 0xFF;
          if (at + 1 < bytes.size()) bytes[at + 1] = static_cast<uint8_t>(0xC0 + rng() % 64);
          break;
        case 2:
          bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), 0xFF);
          break;
        default:
          bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at));
          break;
      }
    }
    const std::string label = "round " + std::to_string(round);
    if (exercise(bytes, label)) {
      ++accepted;
      EXPECT_EQ(check_index_and_bands(bytes, label), 0u);
    }
  }
  EXPECT_GT(accepted, 50u);
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
