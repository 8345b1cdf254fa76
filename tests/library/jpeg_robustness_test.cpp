// Broken, hostile and truncated JPEG data through the own decoder: every call
// must end (no crash, no hang, no read outside its bytes; run under the
// sanitizer build), refusals must say why, and the index and band resume
// must stay exact on whatever data the decoder accepts.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "library/jpeg_decoder.h"
#include "library/jpeg_own_test_support.h"
#include "support/test_env.h"

namespace lv {
namespace {

using namespace lv::test::own_jpeg;
using jpeg::ByteSource;
using jpeg::Decoder;
using jpeg::PixelFormat;
using jpeg::StateEntry;

constexpr double kMaxPixels = 40e6;

std::vector<std::string> hostile_files() {
  std::vector<std::string> out;
  const std::string root = test::testdata_path("jpeg");
  for (const char* dir : {"jpeg-decoder/crashtest", "zune", "exiv2-poc", "exif-pillow",
                          "exif-ianare", "jpeg-decoder/reftest"}) {
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(root + "/" + dir, ec))
      if (e.is_regular_file() && e.path().filename() != "README.md")
        out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Everything the decoder offers, on one file's bytes.
void exercise(const std::vector<uint8_t>& bytes, const std::string& label, size_t& decoded) {
  Decoder d;
  if (!d.open(ByteSource(bytes.data(), bytes.size()))) {
    EXPECT_NE(d.failure(), jpeg::Failure::none) << label;
    EXPECT_FALSE(d.error().empty()) << label;
    EXPECT_FALSE(d.scan([](const StateEntry&) { return true; })) << label;
    return;
  }
  const jpeg::PictureInfo info = d.info();
  if (static_cast<double>(info.width) * info.height > kMaxPixels) return;
  std::vector<StateEntry> entries;
  int rows = 0;
  ASSERT_TRUE(d.decode(
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
  ++decoded;
  EXPECT_EQ(rows, info.height) << label;
  ASSERT_EQ(entries.size(), info.entry_count()) << label;
  for (size_t i = 1; i < entries.size(); ++i)
    ASSERT_LE(entries[i].bytes_left, entries[i - 1].bytes_left) << label << " entry " << i;

  std::vector<uint8_t> serial;
  Decoder bytewise(jpeg::Refill::byte);
  ASSERT_TRUE(bytewise.open(ByteSource(bytes.data(), bytes.size())));
  ASSERT_TRUE(bytewise.scan_index(serial));
  ASSERT_EQ(serial.size(), entries.size() * StateEntry::kSize) << label;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].bytes() != StateEntry::decode(serial.data() + i * StateEntry::kSize).bytes()) {
      ADD_FAILURE() << label << ": entry " << i << " depends on the refill strategy";
      break;
    }
  }

  // Resume from the first, a middle and the last entry, and from a mangled
  // copy of each: either rows or a clean refusal.
  std::mt19937 rng(static_cast<unsigned>(bytes.size()));
  const ByteSource all(bytes.data(), bytes.size());
  for (size_t e : {size_t{0}, entries.size() / 2, entries.size() - 1}) {
    const int row = static_cast<int>(e / info.bands_per_row);
    const int band = static_cast<int>(e % info.bands_per_row);
    Decoder t;
    ASSERT_TRUE(t.open(all));
    EXPECT_TRUE(t.decode_band(all, entries[e], row, band, PixelFormat::rgb888,
                              [](int, const uint8_t*) { return true; }))
        << label;
    for (int k = 0; k < 4; ++k) {
      auto raw = entries[e].bytes();
      raw[rng() % raw.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      Decoder m;
      ASSERT_TRUE(m.open(all));
      if (!m.decode_band(all, StateEntry::decode(raw.data()), row, band, PixelFormat::rgb565,
                         [](int, const uint8_t*) { return true; })) {
        EXPECT_EQ(m.failure(), jpeg::Failure::bad_entry) << label;
      }
    }
  }
}

TEST(JpegRobustness, CrashAndFuzzFilesGoThrough) {
  LV_REQUIRE_TESTDATA();
  const auto files = hostile_files();
  ASSERT_GT(files.size(), 1500u);
  size_t decoded = 0;
  for (const auto& path : files) exercise(file_bytes(path), path, decoded);
  std::printf("%zu files, %zu decoded\n", files.size(), decoded);
  EXPECT_GT(decoded, 300u);
}

TEST(JpegRobustness, EveryTruncationOfAPicture) {
  const auto pixels = make_pixels(70, 40, 3, Content::photo);
  EncodeOptions o;
  o.restart_interval = 2;
  const auto bytes = encode(pixels, 70, 40, o);
  size_t decoded = 0;
  for (size_t n = 0; n <= bytes.size(); ++n) {
    // Exactly n bytes on the heap, so a read past them shows under ASan.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
    cut.shrink_to_fit();
    exercise(cut, "cut at " + std::to_string(n), decoded);
    Decoder d;
    if (d.open(ByteSource(cut.data(), cut.size())) && n % 7 == 0) {
      EXPECT_EQ(check_index_and_bands(cut, "cut").band_mismatches, 0u);
    }
  }
  EXPECT_GT(decoded, bytes.size() / 2);
}

TEST(JpegRobustness, MutatedPicturesStillResumeExactly) {
  // Random damage in the header and the data. Whatever the decoder takes,
  // its index must not depend on the refill strategy and every band must
  // resume to the pixels of the whole decode, markers and garbage included.
  const auto pixels = make_pixels(300, 48, 3, Content::photo);
  std::mt19937 rng(2024);
  size_t accepted = 0;
  for (int round = 0; round < 300; ++round) {
    EncodeOptions o;
    o.restart_interval = round % 3 == 0 ? 0 : 1 + round % 5;
    o.ff_dense_codes = round % 2 == 0;
    o.luma_h = 1 + round % 2;
    auto bytes = encode(pixels, 300, 48, o);
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
    size_t decoded = 0;
    const std::string label = "round " + std::to_string(round);
    exercise(bytes, label, decoded);
    if (decoded) {
      ++accepted;
      const IndexCheck check = check_index_and_bands(bytes, label);
      EXPECT_TRUE(check.canonical) << label;
      EXPECT_EQ(check.band_mismatches, 0u) << label;
    }
  }
  EXPECT_GT(accepted, 100u);
}

TEST(JpegRobustness, HugeDeclaredSizeFromTinyData) {
  // A header claiming 60000 x 60000 with a few bytes of data: accepted (as
  // libjpeg does) and answered by mid-grey, without allocations beyond one
  // MCU row; a band far down the picture resumes from its entry.
  const auto pixels = make_pixels(16, 16, 3, Content::photo);
  auto bytes = encode(pixels, 16, 16, EncodeOptions{});
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
