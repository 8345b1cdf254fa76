#include "skin/bitmap.h"

#include <gtest/gtest.h>

#include "skin/bitmap_file.h"
#include "skin/render_surface.h"
#include "skin/row_blitter.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::number;

TEST(LoadPicture, CoversTheWholeBitmapOrGivesTheEmptyPictureAndTheLogLine) {
  test::start_fresh_log();
  const std::string dir = test::make_temp_dir("skin");
  auto source = test::numbered_surface(5, 3);
  // Skins join folder and name with a backslash; names match the files
  // without regard to letter case, the extension too.
  ASSERT_TRUE(write_bitmap_565(from_utf8(dir + "/Button.BMP"), *source));
  const Picture picture = load_picture(from_utf8(dir) + u"\\bUTTON");
  EXPECT_TRUE(picture.p1 == (Point{0, 0}) && picture.p2 == picture.p3 &&
              picture.p3 == (Point{5, 3}));
  EXPECT_TRUE(test::holds(*picture.bitmap->surface(), test::number));
  EXPECT_EQ(picture.bitmap->path(), from_utf8(dir) + u"\\bUTTON");
  EXPECT_EQ(test::log_text().find("load_565"), std::string::npos);
  // A 5 x 3 file claiming 100000 x 100000 pixels is refused before reading.
  std::string huge = encode_bitmap_565(*source);
  for (size_t at : {18, 22}) test::put_bytes(huge, at, 100000, 4);
  test::write_file(dir + "/huge.bmp", huge);
  test::write_file(dir + "/short.bmp", "BM");
  for (const char* name : {"short", "missing", "huge"}) {
    const Picture failed = load_picture(from_utf8(dir + "/" + name));
    EXPECT_TRUE(failed.bitmap == Bitmap::empty() && failed.p3 == (Point{0, 0})) << name;
    const std::string line = "load_565 " + dir + "/" + name + " is not 16bit bitmap\n";
    EXPECT_NE(test::log_text().find(line), std::string::npos) << line;
  }
}

TEST(Picture, TakesARenderSurfacesPixelsDrawsAtItsScaleAndTheEmptyOneDrawsNothing) {
  RenderSurface thumbnail(64, 64);
  Surface* pixels = thumbnail.surface();
  const int64_t account = RenderSurface::pixel_account();
  const Picture picture = picture_from_surface(thumbnail);
  EXPECT_TRUE(thumbnail.surface() == nullptr && picture.bitmap->surface() == pixels);
  EXPECT_TRUE(RenderSurface::pixel_account() == account - 64 * 64 && picture.p3 == (Point{64, 64}));
  EXPECT_EQ(picture_from_surface(thumbnail).bitmap, Bitmap::empty());
  // The empty picture is one process-wide bitmap that draws nothing. At skin
  // scale 1 the points are doubled and every bitmap pixel covers 2 x 2.
  RenderSurface target(8, 6);
  target.surface()->fill(0xAAAA);
  empty_picture().bitmap->convert_to_red();
  Picture().draw(target, {0, 0}, {8, 6}, CopyBlitter());
  Picture scaled = picture_from_surface(test::numbered_surface(3, 2));
  scaled.scale = 1;
  scaled.p2 = scaled.p3 = {6, 4};
  scaled.draw(target, {1, 1}, {6, 4}, KeyBlitter());
  EXPECT_TRUE(test::holds(*target.surface(), [](int32_t x, int32_t y) {
    return x >= 1 && x < 7 && y >= 1 && y < 5 ? number((x - 1) / 2, (y - 1) / 2) : 0xAAAA;
  }));
}

}  // namespace
}  // namespace lv
