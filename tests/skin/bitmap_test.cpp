#include "skin/bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "app/base/log.h"
#include "app/base/settings.h"
#include "platform/text.h"
#include "skin/bitmap_file.h"
#include "skin/render_surface.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "support/test_env.h"

namespace lv {
namespace {

// A w x h surface whose pixel (x, y) is base + y * 16 + x.
std::unique_ptr<Surface> numbered(int32_t w, int32_t h, uint16_t base = 0x100) {
  auto s = Surface::create(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s->set_pixel(x, y, uint16_t(base + y * 16 + x));
  return s;
}

void enable_log() {
  ASSERT_TRUE(set_number(kKaruKey, u"Log", 1));
}

// The log so far, as UTF-8 without its byte-order mark.
std::string log_text() {
  log().flush();
  const char* tmp = std::getenv("TMPDIR");
  const std::string raw = test::read_file(std::string(tmp) + "/" + to_utf8(app_name()) + ".txt");
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    text.push_back(char16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8));
  return to_utf8(text);
}

TEST(LoadPicture, CoversTheWholeBitmap) {
  const std::string dir = test::make_temp_dir("skin");
  auto source = numbered(5, 3);
  ASSERT_TRUE(write_bitmap_565(from_utf8(dir + "/button.bmp"), *source));

  const std::u16string path = from_utf8(dir + "/button");
  const Picture picture = load_picture(path);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(picture.bitmap_size(), (Size{5, 3}));
  EXPECT_EQ(picture.p0, (Point{0, 0}));
  EXPECT_EQ(picture.p1, (Point{0, 0}));
  EXPECT_EQ(picture.p2, (Point{5, 3}));
  EXPECT_EQ(picture.p3, (Point{5, 3}));
  EXPECT_EQ(picture.scale, 0);
  EXPECT_EQ(picture.flag, 0);
  EXPECT_EQ(picture.bitmap->path(), path);
  const Surface* s = picture.bitmap->surface();
  ASSERT_TRUE(s);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(s->pixel(x, y), source->pixel(x, y));

  // Skins join folder and name with a backslash.
  const Picture joined = load_picture(from_utf8(dir) + u"\\button");
  EXPECT_EQ(joined.bitmap_size(), (Size{5, 3}));
}

TEST(LoadPicture, FailuresGiveTheSharedEmptyPictureAndTheLogLine) {
  enable_log();
  const std::string dir = test::make_temp_dir("skin");
  // A 24-bit bitmap: the 16-bit file with its depth field changed.
  auto source = numbered(4, 4);
  std::string deep = encode_bitmap_565(*source);
  deep[28] = 24;
  test::write_file(dir + "/deep.bmp", deep);
  test::write_file(dir + "/short.bmp", "BM");

  for (const char* name : {"deep", "short", "missing"}) {
    SCOPED_TRACE(name);
    const std::u16string path = from_utf8(dir + "/" + name);
    const Picture picture = load_picture(path);
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(picture.bitmap_size(), (Size{0, 0}));
    EXPECT_EQ(picture.bitmap, empty_picture().bitmap);
    EXPECT_EQ(picture.p2, (Point{0, 0}));
    EXPECT_EQ(picture.p3, (Point{0, 0}));
    const std::string line = "load_565 " + dir + "/" + name + " is not 16bit bitmap\n";
    EXPECT_NE(log_text().find(line), std::string::npos) << log_text();
  }
  // Only failures are logged.
  ASSERT_TRUE(write_bitmap_565(from_utf8(dir + "/good.bmp"), *source));
  load_picture(from_utf8(dir + "/good"));
  EXPECT_EQ(log_text().find("good"), std::string::npos);
}

TEST(EmptyPicture, IsOneProcessWideBitmapThatDrawsNothing) {
  const Picture a;
  const Picture& b = empty_picture();
  EXPECT_EQ(a.bitmap, b.bitmap);
  EXPECT_EQ(a.bitmap, Bitmap::empty());
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.bitmap->surface(), nullptr);
  EXPECT_TRUE(a.bitmap->path().empty());

  RenderSurface target(4, 4);
  Surface* s = target.surface();
  s->fill(0x1234);
  a.draw(target, {0, 0}, {4, 4}, CopyBlitter());
  a.bitmap->convert_to_red();
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(s->pixel(x, y), 0x1234);
}

TEST(Bitmap, ReferenceCountFollowsCopiesAndFreesWithTheLast) {
  BitmapRef ref = Bitmap::create(u"x", numbered(2, 2));
  Bitmap* raw = ref.get();
  EXPECT_EQ(raw->use_count(), 1);
  {
    Picture p = picture_from_surface(numbered(1, 1));
    p.bitmap = ref;
    EXPECT_EQ(raw->use_count(), 2);
    Picture q = p;
    EXPECT_EQ(raw->use_count(), 3);
    Picture moved = std::move(q);
    EXPECT_EQ(raw->use_count(), 3);
    EXPECT_EQ(moved.bitmap, ref);
    p = empty_picture();
    EXPECT_EQ(raw->use_count(), 2);
  }
  EXPECT_EQ(raw->use_count(), 1);

  // Pictures copied and dropped on several threads at once keep an exact count.
  const Picture shared = [&] {
    Picture p;
    p.bitmap = ref;
    return p;
  }();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < 20000; ++i) {
        Picture copy = shared;
        Picture again = copy;
        (void)again;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(raw->use_count(), 2);
}

TEST(PictureFromSurface, TakesTheRenderSurfacesPixels) {
  RenderSurface thumbnail(64, 64);
  Surface* pixels = thumbnail.surface();
  ASSERT_TRUE(pixels);
  pixels->fill(0x07E0);
  pixels->set_pixel(63, 63, 0xF800);
  const int64_t account = RenderSurface::pixel_account();

  Picture picture = picture_from_surface(thumbnail);
  EXPECT_EQ(thumbnail.surface(), nullptr);
  EXPECT_EQ(thumbnail.size(), (Size{0, 0}));
  EXPECT_EQ(RenderSurface::pixel_account(), account - 64 * 64);
  EXPECT_EQ(picture.bitmap->surface(), pixels);
  EXPECT_TRUE(picture.bitmap->path().empty());
  EXPECT_EQ(picture.p0, (Point{0, 0}));
  EXPECT_EQ(picture.p2, (Point{64, 64}));
  EXPECT_EQ(picture.p3, (Point{64, 64}));

  // The pixels outlive the render surface they came from.
  thumbnail.recreate(8, 8);
  EXPECT_EQ(picture.bitmap->surface()->pixel(63, 63), 0xF800);

  RenderSurface nothing;
  EXPECT_EQ(picture_from_surface(nothing).bitmap, Bitmap::empty());
  EXPECT_EQ(picture_from_surface(std::unique_ptr<Surface>()).bitmap, Bitmap::empty());
}

TEST(Bitmap, RedConversionKeepsRedAndOpacityAndSkipsTheKey) {
  const uint16_t before[] = {0xF81F, 0xFFFF, 0x07E0, 0x001F, 0x0020, 0x8421,
                             0xF800, 0x0000, 0xF81E, 0x781F, 0x07C0};
  const uint16_t after[] = {0xF81F, 0xF820, 0x0020, 0x0000, 0x0020, 0x8020,
                            0xF800, 0x0000, 0xF800, 0x7800, 0x0000};
  auto s = Surface::create(int32_t(std::size(before)), 1);
  for (uint32_t x = 0; x < std::size(before); ++x) s->set_pixel(x, 0, before[x]);
  Picture picture = picture_from_surface(std::move(s));
  const Picture other = picture;

  picture.bitmap->convert_to_red();
  for (uint32_t x = 0; x < std::size(after); ++x)
    EXPECT_EQ(other.bitmap->surface()->pixel(x, 0), after[x]) << "pixel " << x;
}

TEST(Picture, DrawsItsRegionThroughTheBlitter) {
  Picture picture = picture_from_surface(numbered(3, 2));
  RenderSurface target(8, 6);
  target.surface()->fill(0xAAAA);

  picture.draw(target, {1, 1}, {3, 2}, CopyBlitter());
  const Surface& s = *target.surface();
  EXPECT_EQ(s.pixel(0, 0), 0xAAAA);
  EXPECT_EQ(s.pixel(1, 1), 0x100);
  EXPECT_EQ(s.pixel(3, 1), 0x102);
  EXPECT_EQ(s.pixel(1, 2), 0x110);
  EXPECT_EQ(s.pixel(3, 2), 0x112);
  EXPECT_EQ(s.pixel(4, 1), 0xAAAA);

  // At skin scale 1 the points are doubled and every bitmap pixel covers 2 x 2.
  target.surface()->fill(0xAAAA);
  picture.scale = 1;
  picture.p2 = picture.p3 = {6, 4};
  picture.draw(target, {0, 0}, {6, 4}, CopyBlitter());
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(s.pixel(x, y), 0x100 + (y / 2) * 16 + x / 2) << x << "," << y;
  EXPECT_EQ(s.pixel(6, 0), 0xAAAA);
}

}  // namespace
}  // namespace lv
