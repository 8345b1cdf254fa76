#include "skin/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <vector>

#include "platform/text.h"
#include "skin/surface.h"
#include "support/test_env.h"

namespace lv {
namespace {

struct Decoded {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
  uint32_t original_format = 0;
  const uint8_t* at(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// Reads a PNG back through libpng's own decoder.
bool decode(const std::string& bytes, Decoded& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  out.original_format = image.format;
  image.format = PNG_FORMAT_RGB;
  out.width = image.width;
  out.height = image.height;
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

void expect_rgb(const Decoded& d, uint32_t x, uint32_t y, int r, int g, int b) {
  const uint8_t* p = d.at(x, y);
  EXPECT_EQ(p[0], r) << "red at " << x << "," << y;
  EXPECT_EQ(p[1], g) << "green at " << x << "," << y;
  EXPECT_EQ(p[2], b) << "blue at " << x << "," << y;
}

TEST(PngWriter, PixelsWidenByRepeatingTheirTopBits) {
  auto s = Surface::create(3, 2);
  ASSERT_TRUE(s);
  s->set_pixel(0, 0, 0xFFFF);
  s->set_pixel(1, 0, 0xF800);
  s->set_pixel(2, 0, 0x07E0);
  s->set_pixel(0, 1, 0x001F);
  s->set_pixel(1, 1, 0x0000);
  s->set_pixel(2, 1, 0x8410);  // red 16, green 32, blue 16

  std::string bytes;
  ASSERT_TRUE(encode_png(pixel_view(*s), bytes));
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  Decoded d;
  ASSERT_TRUE(decode(bytes, d));
  EXPECT_EQ(d.original_format, uint32_t(PNG_FORMAT_RGB)) << "8-bit RGB without alpha";
  ASSERT_EQ(d.width, 3u);
  ASSERT_EQ(d.height, 2u);
  expect_rgb(d, 0, 0, 255, 255, 255);
  expect_rgb(d, 1, 0, 255, 0, 0);
  expect_rgb(d, 2, 0, 0, 255, 0);
  expect_rgb(d, 0, 1, 0, 0, 255);
  expect_rgb(d, 1, 1, 0, 0, 0);
  expect_rgb(d, 2, 1, 132, 130, 132);
}

TEST(PngWriter, EveryChannelValueSurvivesTheRoundTrip) {
  // 64 columns: column x holds red x/2, green x, blue 31 - x/2; 2 rows.
  auto s = Surface::create(64, 2);
  ASSERT_TRUE(s);
  for (uint32_t x = 0; x < 64; ++x) {
    s->set_pixel(x, 0, uint16_t((x / 2) << 11 | x << 5 | (31 - x / 2)));
    s->set_pixel(x, 1, uint16_t(0xFFFF - s->pixel(x, 0)));
  }
  std::string bytes;
  ASSERT_TRUE(encode_png(pixel_view(*s), bytes));
  Decoded d;
  ASSERT_TRUE(decode(bytes, d));
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      const uint8_t* p = d.at(x, y);
      // Back to 5-6-5 by the top bits gives the pixel exactly.
      const uint16_t back = uint16_t((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3);
      EXPECT_EQ(back, s->pixel(x, y)) << x << "," << y;
    }
  }
}

TEST(PngWriter, AViewWritesOnlyItsPartOfTheRows) {
  auto parent = Surface::create(10, 6);
  ASSERT_TRUE(parent);
  parent->fill(0x0000);
  for (uint32_t y = 2; y < 4; ++y)
    for (uint32_t x = 3; x < 7; ++x) parent->set_pixel(x, y, 0xFFFF);
  auto view = Surface::view(*parent, {3, 2, 7, 4});
  ASSERT_TRUE(view);
  std::string bytes;
  ASSERT_TRUE(encode_png(pixel_view(*view), bytes));
  Decoded d;
  ASSERT_TRUE(decode(bytes, d));
  ASSERT_EQ(d.width, 4u);
  ASSERT_EQ(d.height, 2u);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 4; ++x) expect_rgb(d, x, y, 255, 255, 255);

  // Rows in foreign memory with an odd pixel count and a wide pitch.
  const uint16_t memory[2][4] = {{0xF800, 0x001F, 0x07E0, 0xDEAD}, {0x001F, 0xF800, 0, 0xBEEF}};
  ASSERT_TRUE(encode_png({memory, 3, 2, 8}, bytes));
  ASSERT_TRUE(decode(bytes, d));
  ASSERT_EQ(d.width, 3u);
  expect_rgb(d, 0, 0, 255, 0, 0);
  expect_rgb(d, 2, 0, 0, 255, 0);
  expect_rgb(d, 1, 1, 255, 0, 0);
  expect_rgb(d, 2, 1, 0, 0, 0);
}

TEST(PngWriter, BadViewsAndPathsFailWithoutTouchingTheOldFile) {
  const uint16_t memory[4] = {1, 2, 3, 4};
  std::string bytes = "stale";
  EXPECT_FALSE(encode_png({nullptr, 2, 2, 4}, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(encode_png({memory, 0, 2, 4}, bytes));
  EXPECT_FALSE(encode_png({memory, 2, 0, 4}, bytes));
  EXPECT_FALSE(encode_png({memory, -2, 2, 4}, bytes));
  EXPECT_FALSE(encode_png({memory, 2, 2, 2}, bytes)) << "pitch shorter than a row";
  EXPECT_FALSE(encode_png({memory, 1, 2, 3}, bytes)) << "odd pitch";

  const std::string dir = test::make_temp_dir("png");
  const std::string path = dir + "/shot.png";
  test::write_file(path, "previous screenshot");
  EXPECT_FALSE(write_png(from_utf8(path), PixelView{nullptr, 2, 2, 4}));
  EXPECT_EQ(test::read_file(path), "previous screenshot");

  auto s = Surface::create(2, 2);
  ASSERT_TRUE(s);
  s->fill(0xF800);
  EXPECT_FALSE(write_png(from_utf8(dir + "/no/such/folder.png"), *s));
  EXPECT_FALSE(std::filesystem::exists(dir + "/no"));

  ASSERT_TRUE(write_png(from_utf8(path), *s));
  Decoded d;
  ASSERT_TRUE(decode(test::read_file(path), d));
  expect_rgb(d, 1, 1, 255, 0, 0);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
}

}  // namespace
}  // namespace lv
