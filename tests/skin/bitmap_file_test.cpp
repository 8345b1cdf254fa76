#include "skin/bitmap_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>

#include "skin/png_writer.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using Row = std::vector<uint16_t>;
using Rows = std::vector<Row>;

void put(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char(v >> (8 * i)));
}

// The two headers of a bitmap file. The signature and the size fields hold
// what a careless writer might leave there: the reader must not need them.
std::string headers(int32_t width, int32_t height, uint16_t bpp = 16,
                    uint32_t pixel_offset = kBitmapHeadersSize, uint32_t compression = 0) {
  std::string out = "XY";
  for (uint32_t v : {0xDEADBEEFu, 0u, pixel_offset, 40u, uint32_t(width), uint32_t(height),
                     1 | uint32_t(bpp) << 16, compression, 0u, 2835u, 2835u, 0u, 0u})
    put(out, v, 4);
  return out;
}

// Rows in file order, each padded to 4 bytes with 0xAA.
std::string with_rows(std::string out, const Rows& rows) {
  for (const Row& row : rows) {
    for (uint16_t p : row) put(out, p, 2);
    if (row.size() % 2) put(out, 0xAAAA, 2);
  }
  return out;
}

std::unique_ptr<Surface> read(const std::string& bytes) {
  return read_bitmap(test::byte_span(bytes));
}

// The surface's rows top first, with the padding word a 3- or 1-wide row has.
Rows rows_of(const Surface& s) {
  Rows rows;
  for (uint32_t y = 0; y < s.height(); ++y) rows.emplace_back(s.row(y), s.row(y) + (s.pitch() / 2));
  return rows;
}

TEST(BitmapFileRead, RowOrderPaddingWhatLiesBeforeThePixelsAndRowsTheFileDoesNotHold) {
  const Rows rows = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  // Bottom-up: the first file row is the bottom row. The file's padding is
  // skipped; the surface's own padding word stays clear.
  EXPECT_EQ(rows_of(*read(with_rows(headers(3, 3), rows))),
            (Rows{{7, 8, 9, 0}, {4, 5, 6, 0}, {1, 2, 3, 0}}));
  EXPECT_EQ(rows_of(*read(with_rows(headers(3, -3), rows))),
            (Rows{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}));
  // Masks, colour tables or junk before the pixel offset are skipped, and
  // 16-bit pixels are RGB565 whatever the header says.
  const Rows colours = {{0xF800, 0x07E0}, {0x001F, 0xF81F}};
  for (auto [compression, skipped] : {std::pair{3u, 12u}, {0u, 6u}}) {
    auto s = read(with_rows(
        headers(2, -2, 16, kBitmapHeadersSize + skipped, compression) + std::string(skipped, 'j'),
        colours));
    ASSERT_TRUE(s) << skipped;
    EXPECT_EQ(rows_of(*s), colours) << skipped;
  }
  // 2 x 4 declares 16 pixel bytes; the file holds two rows and one and a half
  // pixels of the third.
  std::string bytes = with_rows(headers(2, 4), {{0x1111, 0x2222}, {0x3333, 0x4444}});
  put(bytes, 0x665555, 3);
  EXPECT_EQ(rows_of(*read(bytes)), (Rows{{0, 0}, {0x5555, 0}, {0x3333, 0x4444}, {0x1111, 0x2222}}));
  // Top-down the missing rows are the last; the last row's padding may be
  // missing too.
  EXPECT_EQ(rows_of(*read(with_rows(headers(3, -3), {{7, 8, 9}, {10, 11, 12}}).substr(0, 68))),
            (Rows{{7, 8, 9, 0}, {10, 11, 12, 0}, {0, 0, 0, 0}}));
  // Far too little of the declared rows is no bitmap.
  EXPECT_FALSE(read(with_rows(headers(2, 100), {{1, 2}, {3, 4}})));
}

TEST(BitmapFileRead, ShortHeadersOtherDepthsAndImpossibleOrUnheldSizesAreNoBitmap) {
  const std::string good = with_rows(headers(2, 2), {{1, 2}, {3, 4}});
  ASSERT_TRUE(read(good));
  for (size_t size : {0, 53, 54}) EXPECT_FALSE(read(good.substr(0, size))) << size << " bytes";
  for (uint16_t bpp : {15, 24, 0x0110})
    EXPECT_FALSE(read(headers(2, 2, bpp) + std::string(64, '\x11'))) << "bpp " << bpp;
  // In a 1 KB file, which holds 485 pixels; the side limit holds even when
  // the file carries the pixels.
  constexpr int32_t kWide = 54 + 16386 * 2;
  const int32_t sizes[][3] = {{0, 2, 1024},         {-1, -1, 1024},    {2, 0, 1024},
                              {2, INT32_MIN, 1024}, {100000, 1, 1024}, {INT32_MAX, INT32_MAX, 1024},
                              {16385, 1, kWide}};
  for (auto [w, h, size] : sizes)
    EXPECT_FALSE(read(headers(w, h) + std::string(size_t(size) - 54, '\x22'))) << w << " x " << h;
  // The pixels must start between the headers and the end.
  for (uint32_t offset : {kBitmapHeadersSize - 1, uint32_t(good.size()), 0xFFFFFFFFu})
    EXPECT_FALSE(read(with_rows(headers(2, 2, 16, offset), {{1, 2}, {3, 4}}))) << offset;
  auto widest = read(headers(16384, 1) + std::string(16384 * 2, '\x33'));
  EXPECT_TRUE(widest && widest->pixel(16383, 0) == 0x3333);
}

TEST(BitmapFileWrite, RoundTripHeaderFieldsAndAtomicWrites) {
  auto s = Surface::create(3, 2);
  const Rows values = {{0xF800, 0x07E0, 0x001F, 0}, {0xF81F, 0x0020, 0xFFFF, 0}};
  for (uint32_t i = 0; i < 6; ++i) s->set_pixel(i % 3, i / 3, values[i / 3][i % 3]);
  const std::string bytes = encode_bitmap_565(*s);
  ASSERT_EQ(bytes.substr(0, 2) + std::to_string(bytes.size()), "BM82");
  // Size, pixel offset, header size, width, height, 16 bits, BI_BITFIELDS 5-6-5.
  const std::pair<size_t, uint32_t> fields[] = {
      {2, 82},        {10, 66}, {14, 40},     {18, 3},      {22, 2},
      {26, 0x100001}, {30, 3},  {54, 0xF800}, {58, 0x07E0}, {62, 0x1F}};
  for (auto [at, value] : fields) EXPECT_EQ(test::read_u32(bytes, at), value) << "at " << at;
  // Bottom-up: the file's first row is the surface's last; padding is zero.
  EXPECT_EQ(bytes.substr(66, 8), std::string("\x1F\xF8\x20\x00\xFF\xFF\x00\x00", 8));
  EXPECT_EQ(rows_of(*read(bytes)), values);
  const std::string dir = test::make_temp_dir("bmpw"), path = dir + "/out.bmp";
  ASSERT_TRUE(write_bitmap_565(from_utf8(path), *s));
  s->fill(0x4321);
  ASSERT_TRUE(write_bitmap_565(from_utf8(path), *s));
  EXPECT_EQ(test::read_file(path), encode_bitmap_565(*s));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1)
      << "no temporary file is left behind";
  EXPECT_FALSE(write_bitmap_565(from_utf8(dir + "/missing/out.bmp"), *s));
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
}

// Screenshots are read back by the program's own runs; here only the
// channel order of a written pixel.
TEST(PngWriter, PixelsWidenByRepeatingTheirTopBits) {
  const uint16_t memory[] = {0x001F, 0x8410, 0xDEAD};  // a row of 2 in a pitch of 3
  std::string bytes;
  ASSERT_TRUE(encode_png({memory, 2, 1, 6}, bytes));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(6);
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(rgb, (std::vector<uint8_t>{0, 0, 255, 132, 130, 132}));
}

}  // namespace
}  // namespace lv
