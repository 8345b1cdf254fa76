#include "skin/bitmap_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/base/file_util.h"
#include "platform/text.h"
#include "skin/surface.h"
#include "support/test_env.h"

namespace lv {
namespace {

void put16(std::string& out, uint32_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void set32(std::string& bytes, size_t at, uint32_t v) {
  std::string le;
  put32(le, v);
  bytes.replace(at, 4, le);
}

// The two headers of a bitmap file, byte by byte. The signature and the size
// fields hold what a careless writer might leave there: the reader must not
// depend on them.
std::string headers(int32_t width, int32_t height, uint16_t bpp, uint32_t pixel_offset,
                    uint32_t compression = 0) {
  std::string out = "XY";
  put32(out, 0xDEADBEEF);  // file size
  put32(out, 0);
  put32(out, pixel_offset);
  put32(out, 40);
  put32(out, uint32_t(width));
  put32(out, uint32_t(height));
  put16(out, 1);
  put16(out, bpp);
  put32(out, compression);
  put32(out, 0);
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  return out;
}

// Rows in file order, each padded to 4 bytes with pad_byte.
void append_rows(std::string& out, const std::vector<std::vector<uint16_t>>& rows,
                 char pad_byte = char(0xAA)) {
  for (const auto& row : rows) {
    for (uint16_t p : row) put16(out, p);
    for (size_t n = row.size() * 2; n % 4 != 0; ++n) out.push_back(pad_byte);
  }
}

std::unique_ptr<Surface> read(const std::string& bytes) {
  return read_bitmap(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<uint16_t> row_of(const Surface& s, uint32_t y) {
  return std::vector<uint16_t>(s.row(y), s.row(y) + s.width());
}

using Rows = std::vector<std::vector<uint16_t>>;

TEST(BitmapFileRead, BottomUpAndTopDownRowOrder) {
  const Rows file_rows = {{0x1111, 0x2222}, {0x3333, 0x4444}, {0x5555, 0x6666}};
  std::string bottom_up = headers(2, 3, 16, kBitmapHeadersSize);
  append_rows(bottom_up, file_rows);
  auto s = read(bottom_up);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->size(), (Size{2, 3}));
  EXPECT_EQ(row_of(*s, 2), file_rows[0]);  // first file row is the bottom row
  EXPECT_EQ(row_of(*s, 1), file_rows[1]);
  EXPECT_EQ(row_of(*s, 0), file_rows[2]);

  std::string top_down = headers(2, -3, 16, kBitmapHeadersSize);
  append_rows(top_down, file_rows);
  s = read(top_down);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->size(), (Size{2, 3}));
  for (uint32_t y = 0; y < 3; ++y) EXPECT_EQ(row_of(*s, y), file_rows[y]);
}

TEST(BitmapFileRead, RowPaddingIsSkippedNotCopied) {
  // 3 pixels: 6 bytes of pixels and 2 of padding per file row.
  std::string bytes = headers(3, 2, 16, kBitmapHeadersSize);
  put16(bytes, 0x0001);
  put16(bytes, 0x0002);
  put16(bytes, 0x0003);
  put16(bytes, 0xBEEF);  // padding
  put16(bytes, 0x0004);
  put16(bytes, 0x0005);
  put16(bytes, 0x0006);
  put16(bytes, 0xBEEF);
  auto s = read(bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pitch(), 8u);
  EXPECT_EQ(row_of(*s, 1), (std::vector<uint16_t>{1, 2, 3}));
  EXPECT_EQ(row_of(*s, 0), (std::vector<uint16_t>{4, 5, 6}));
  // The surface's own padding word after each row is left clear.
  EXPECT_EQ(s->row(0)[3], 0);
  EXPECT_EQ(s->row(1)[3], 0);

  // 1 pixel: 2 bytes of padding too; 2 pixels: none.
  std::string one = headers(1, -2, 16, kBitmapHeadersSize);
  put16(one, 0xAAAA);
  put16(one, 0xFFFF);
  put16(one, 0xBBBB);
  put16(one, 0xFFFF);
  s = read(one);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pixel(0, 0), 0xAAAA);
  EXPECT_EQ(s->pixel(0, 1), 0xBBBB);
}

TEST(BitmapFileRead, MasksAndColourTablesBeforeThePixelsAreSkipped) {
  const Rows rows = {{0xF800, 0x07E0}, {0x001F, 0xF81F}};
  struct Variant {
    const char* name;
    uint32_t compression;
    std::vector<uint32_t> masks;
  };
  const Variant variants[] = {
      {"BI_RGB, no masks", 0, {}},
      {"BI_BITFIELDS 5-6-5", 3, {0xF800, 0x07E0, 0x001F}},
      {"BI_BITFIELDS 5-5-5", 3, {0x7C00, 0x03E0, 0x001F}},
      {"BI_RGB with a stray 16-entry table", 0, std::vector<uint32_t>(16, 0x12345678)},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    std::string bytes =
        headers(2, -2, 16, kBitmapHeadersSize + 4 * uint32_t(v.masks.size()), v.compression);
    for (uint32_t m : v.masks) put32(bytes, m);
    append_rows(bytes, rows);
    auto s = read(bytes);
    ASSERT_TRUE(s);
    // 16-bit pixels are RGB565 whatever the header says: copied unchanged.
    EXPECT_EQ(row_of(*s, 0), rows[0]);
    EXPECT_EQ(row_of(*s, 1), rows[1]);
  }
}

TEST(BitmapFileRead, NotA16BitBitmap) {
  std::string good = headers(2, 2, 16, kBitmapHeadersSize);
  append_rows(good, {{1, 2}, {3, 4}});
  ASSERT_TRUE(read(good));

  EXPECT_FALSE(read(""));
  EXPECT_FALSE(read(good.substr(0, 14)));
  EXPECT_FALSE(read(good.substr(0, kBitmapHeadersSize - 1)));
  EXPECT_FALSE(read(good.substr(0, kBitmapHeadersSize))) << "headers only, no pixel bytes";

  for (uint16_t bpp : {0, 1, 8, 15, 24, 32, 0x0110}) {
    std::string bytes = headers(2, 2, bpp, kBitmapHeadersSize);
    bytes.append(64, '\x11');
    EXPECT_FALSE(read(bytes)) << "bpp " << bpp;
  }
}

TEST(BitmapFileRead, ImpossibleSizesAreNoBitmap) {
  struct Case {
    int32_t width, height;
  };
  const Case cases[] = {
      {0, 2},
      {-2, 2},
      {-1, -1},
      {INT32_MIN, 2},
      {2, 0},
      {2, INT32_MIN},
      {100000, 100000},
      {100000, 1},
      {1, 100000},
      {16384, 16384},
      {16385, 1},
      {1, -16385},
      {INT32_MAX, INT32_MAX},
  };
  for (const Case& c : cases) {
    std::string bytes = headers(c.width, c.height, 16, kBitmapHeadersSize);
    bytes.resize(1024, '\x22');  // 1 KB: holds 485 pixels
    EXPECT_FALSE(read(bytes)) << c.width << " x " << c.height;
  }
  // The side limit itself holds when the file really carries the pixels.
  std::string wide = headers(16385, 1, 16, kBitmapHeadersSize);
  wide.resize(kBitmapHeadersSize + 16386 * 2, '\x33');
  EXPECT_FALSE(read(wide));
  std::string widest = headers(16384, 1, 16, kBitmapHeadersSize);
  widest.resize(kBitmapHeadersSize + 16384 * 2, '\x33');
  auto s = read(widest);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pixel(16383, 0), 0x3333);
}

TEST(BitmapFileRead, PixelOffsetMustLieBetweenHeadersAndEnd) {
  const Rows rows = {{0x0102, 0x0304}};
  for (uint32_t offset : {0u, 10u, 14u, 40u, kBitmapHeadersSize - 1}) {
    std::string bytes = headers(2, 1, 16, offset);
    append_rows(bytes, rows);
    EXPECT_FALSE(read(bytes)) << "offset " << offset << " lies in the headers";
  }
  std::string bytes = headers(2, 1, 16, 0);
  append_rows(bytes, rows);
  for (uint32_t offset :
       {uint32_t(bytes.size()), uint32_t(bytes.size() + 1), 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    set32(bytes, 10, offset);
    EXPECT_FALSE(read(bytes)) << "offset " << offset << " at or past the end";
  }
  // An offset well inside the file skips whatever lies before it.
  std::string gap = headers(2, 1, 16, kBitmapHeadersSize + 6);
  gap += "junk!!";
  append_rows(gap, rows);
  auto s = read(gap);
  ASSERT_TRUE(s);
  EXPECT_EQ(row_of(*s, 0), rows[0]);
}

TEST(BitmapFileRead, RowsTheFileDoesNotHoldAreZero) {
  // 2 x 4 declares 16 pixel bytes; the file holds two rows and one and a
  // half pixels of the third.
  std::string bytes = headers(2, 4, 16, kBitmapHeadersSize);
  append_rows(bytes, {{0x1111, 0x2222}, {0x3333, 0x4444}});
  put16(bytes, 0x5555);
  bytes.push_back('\x66');
  auto s = read(bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(row_of(*s, 3), (std::vector<uint16_t>{0x1111, 0x2222}));
  EXPECT_EQ(row_of(*s, 2), (std::vector<uint16_t>{0x3333, 0x4444}));
  EXPECT_EQ(row_of(*s, 1), (std::vector<uint16_t>{0x5555, 0}));
  EXPECT_EQ(row_of(*s, 0), (std::vector<uint16_t>{0, 0}));

  // Top-down: the missing rows are the last ones. The last row's padding may
  // be missing too.
  std::string top = headers(3, -3, 16, kBitmapHeadersSize);
  put16(top, 7);
  put16(top, 8);
  put16(top, 9);
  put16(top, 0);
  put16(top, 10);
  put16(top, 11);
  put16(top, 12);
  s = read(top);
  ASSERT_TRUE(s);
  EXPECT_EQ(row_of(*s, 0), (std::vector<uint16_t>{7, 8, 9}));
  EXPECT_EQ(row_of(*s, 1), (std::vector<uint16_t>{10, 11, 12}));
  EXPECT_EQ(row_of(*s, 2), (std::vector<uint16_t>{0, 0, 0}));

  // Far too little of the declared rows is no bitmap.
  std::string sliver = headers(2, 100, 16, kBitmapHeadersSize);
  append_rows(sliver, {{1, 2}, {3, 4}});
  EXPECT_FALSE(read(sliver));
}

TEST(BitmapFileRead, FromAFileStreamAtItsCurrentPosition) {
  std::string bytes = headers(3, 2, 16, kBitmapHeadersSize);
  append_rows(bytes, {{1, 2, 3}, {4, 5, 6}});
  const std::string dir = test::make_temp_dir("bmp");
  const std::string path = dir + "/embedded.bin";
  test::write_file(path, "PREFIX" + bytes);

  FileStream stream(from_utf8(path), OpenMode::read);
  ASSERT_TRUE(stream.is_open());
  ASSERT_TRUE(stream.seek(6));
  auto s = read_bitmap(stream);
  ASSERT_TRUE(s);
  EXPECT_EQ(row_of(*s, 0), (std::vector<uint16_t>{4, 5, 6}));
  EXPECT_EQ(row_of(*s, 1), (std::vector<uint16_t>{1, 2, 3}));

  FileStream closed;
  EXPECT_FALSE(read_bitmap(closed));
  // The 1 KB file claiming 100000 x 100000 pixels, on disk.
  std::string huge = headers(100000, 100000, 16, kBitmapHeadersSize);
  huge.resize(1024, '\x01');
  test::write_file(dir + "/huge.bmp", huge);
  FileStream huge_stream(from_utf8(dir + "/huge.bmp"), OpenMode::read);
  EXPECT_FALSE(read_bitmap(huge_stream));
}

// Whatever a damaged header says, a bitmap that comes back is no larger than
// the file can account for, and reading never leaves the buffers (the
// sanitizer builds check the latter).
TEST(BitmapFileRead, DamagedHeadersNeverOverAllocate) {
  std::string base = headers(5, 4, 16, kBitmapHeadersSize);
  append_rows(base, Rows(4, std::vector<uint16_t>{1, 2, 3, 4, 5}));
  std::mt19937 random(12345);
  const int32_t interesting[] = {0,     1,     -1,    2,         5,         -5, 4,  1000,
                                 -1000, 16384, 16385, INT32_MAX, INT32_MIN, 54, 53, 66};
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = base;
    for (size_t field : {size_t{10}, size_t{18}, size_t{22}}) {
      if (random() % 2)
        set32(bytes, field, uint32_t(interesting[random() % std::size(interesting)]));
    }
    bytes.resize(random() % (bytes.size() + 40), '\x5A');
    auto s = read(bytes);
    if (!s) continue;
    const uint64_t held = bytes.size() - std::min<uint64_t>(bytes.size(), kBitmapHeadersSize);
    EXPECT_LE(uint64_t(s->pitch()) * s->height(), 4 * held) << "round " << round;
  }
}

TEST(BitmapFileWrite, RoundTripAndHeaderFields) {
  auto s = Surface::create(3, 2);
  ASSERT_TRUE(s);
  const uint16_t values[2][3] = {{0xF800, 0x07E0, 0x001F}, {0xF81F, 0x0020, 0xFFFF}};
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) s->set_pixel(x, y, values[y][x]);

  const std::string bytes = encode_bitmap_565(*s);
  ASSERT_EQ(bytes.size(), 66u + 2 * 8);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  EXPECT_EQ(u32(2), bytes.size());
  EXPECT_EQ(u32(10), 66u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(int32_t(u32(18)), 3);
  EXPECT_EQ(int32_t(u32(22)), 2);
  EXPECT_EQ(uint8_t(bytes[28]), 16);
  EXPECT_EQ(u32(30), 3u);  // BI_BITFIELDS
  EXPECT_EQ(u32(54), 0xF800u);
  EXPECT_EQ(u32(58), 0x07E0u);
  EXPECT_EQ(u32(62), 0x001Fu);
  // Bottom-up: the file's first row is the surface's last; padding is zero.
  EXPECT_EQ(bytes.substr(66, 8), std::string("\x1F\xF8\x20\x00\xFF\xFF\x00\x00", 8));

  auto back = read(bytes);
  ASSERT_TRUE(back);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(back->pixel(x, y), values[y][x]);
}

TEST(BitmapFileWrite, WritesAtomicallyAndReportsFailure) {
  const std::string dir = test::make_temp_dir("bmpw");
  const std::string path = dir + "/out.bmp";
  auto s = Surface::create(2, 2);
  ASSERT_TRUE(s);
  s->fill(0x1234);
  ASSERT_TRUE(write_bitmap_565(from_utf8(path), *s));
  EXPECT_EQ(test::read_file(path), encode_bitmap_565(*s));

  s->fill(0x4321);
  ASSERT_TRUE(write_bitmap_565(from_utf8(path), *s));
  EXPECT_EQ(test::read_file(path), encode_bitmap_565(*s));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";

  EXPECT_FALSE(write_bitmap_565(from_utf8(dir + "/missing/out.bmp"), *s));
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
}

}  // namespace
}  // namespace lv
