// Album rows: the key picture's thumbnail scaled into "image" and cut by its
// frame, "loading" until the worker has made it, "bad" for a picture whose
// cache build failed (not queued again), names, counts and log lines; and
// the whole screen with the default skin in portrait and landscape.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "album_test_fixture.h"
#include "base/log_capture.h"
#include "library/cache_file.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "widgets/image_element.h"
#include "widgets/menu_row.h"
#include "widgets/menu_screen.h"
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

const uint16_t kBackground = rgb565::from_rgb888(0x10, 0x16, 0x1e);

// The pixel of a skin picture's bitmap (scale 0: one bitmap pixel each).
uint16_t art_pixel(const ImageElement& holder, int32_t x, int32_t y) {
  const Surface* bitmap = holder.picture().bitmap->surface();
  EXPECT_NE(bitmap, nullptr);
  return bitmap ? bitmap->pixel(uint32_t(x), uint32_t(y)) : 0;
}

std::u16string text_of(const Element& row, std::u16string_view id) {
  return dynamic_cast<const TextElement&>(row.find_required(id)).text();
}

using AlbumElementTest = AlbumTest;

TEST_F(AlbumElementTest, RowsShowLoadingThenTheirThumbnails) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put("Holiday/sunset.jpg", kPictureB);
  device.put("home.jpg", kPictureC);
  start();
  search();
  start_fresh_log();
  render();
  AlbumElement* pictures_row = row(0);
  AlbumElement* holiday = row(1);
  ASSERT_NE(holiday, nullptr);
  EXPECT_EQ(text_of(*pictures_row, u"name"), u"My documents");
  EXPECT_EQ(text_of(*pictures_row, u"count"), u"1");
  EXPECT_EQ(text_of(*holiday, u"name"), u"Holiday");
  EXPECT_EQ(text_of(*holiday, u"count"), u"2");

  const FolderRecord& record = holiday->record();
  const std::vector<std::u16string> lines = read_log_lines();
  const std::u16string cache = cache_name(record.key_picture, record.drive);
  ASSERT_FALSE(cache.empty());
  for (const std::u16string& line :
       {u"Name " + record.key_picture, u"Drive " + record.drive, u"Cache " + cache})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << to_utf8(line);

  // Before the worker: the "loading" art, 1:1 in the 64 x 64 image.
  ImageElement& image = holiday->image();
  ASSERT_EQ(image.size(), (Size{64, 64}));
  EXPECT_EQ(holiday->look(), AlbumElement::Look::loading);
  const auto& loading = dynamic_cast<const ImageElement&>(holiday->find_required(u"loading"));
  const Point probe = on_screen(*holiday, image, {32, 20});
  const uint16_t loading_pixel = art_pixel(loading, 32, 20);
  ASSERT_TRUE(rgb565::is_opaque(loading_pixel));
  EXPECT_EQ(rig.pixel(probe.x, probe.y), loading_pixel);
  EXPECT_FALSE(loading.visible());

  EXPECT_EQ(make_all_thumbnails(), 3);
  render();
  EXPECT_EQ(holiday->look(), AlbumElement::Look::thumbnail);
  EXPECT_EQ(pictures_row->look(), AlbumElement::Look::thumbnail);
  std::unique_ptr<RenderSurface> thumbnail = load_thumbnail(record.key_picture, record.drive);
  ASSERT_TRUE(thumbnail && thumbnail->surface());
  const Surface& thumb = *thumbnail->surface();
  int differing = 0;
  for (const Point at : {Point{32, 20}, Point{20, 40}, Point{45, 33}, Point{8, 8}}) {
    const Point p = on_screen(*holiday, image, at);
    const uint16_t shown = rig.pixel(p.x, p.y);
    EXPECT_EQ(shown, thumb.pixel(uint32_t(at.x), uint32_t(at.y)) | rgb565::kOpaqueBit)
        << at.x << "," << at.y;
    differing += shown != art_pixel(loading, at.x, at.y) ? 1 : 0;
  }
  EXPECT_GE(differing, 3) << "the thumbnail looks like the loading art";
  // The frame's transparent corner cuts the photograph away.
  const Point corner = on_screen(*holiday, image, {0, 0});
  EXPECT_EQ(rig.pixel(corner.x, corner.y), kBackground);
  // A new screen finds the cache files and queues nothing.
  album.reset();
  album = std::make_unique<AlbumScreen>(skin, *library, app);
  render();
  EXPECT_EQ(row(1)->look(), AlbumElement::Look::thumbnail);
  EXPECT_EQ(library->status().queued, 0);
}

TEST_F(AlbumElementTest, FailedCacheBuildShowsBadAndIsNotQueuedAgain) {
  device.put_broken("Broken/scratched.jpg");
  device.put("Good/fine.jpg", kPictureA);
  start();
  search();
  render();
  EXPECT_EQ(make_all_thumbnails(), 2);
  render();
  AlbumElement* broken = row(0);
  ASSERT_NE(broken, nullptr);
  ASSERT_EQ(broken->record().folder, u"%my_documents%/Broken/");
  EXPECT_EQ(broken->look(), AlbumElement::Look::bad);
  EXPECT_EQ(row(1)->look(), AlbumElement::Look::thumbnail);
  const auto& bad = dynamic_cast<const ImageElement&>(broken->find_required(u"bad"));
  const Point probe = on_screen(*broken, broken->image(), {47, 47});
  EXPECT_EQ(rig.pixel(probe.x, probe.y), art_pixel(bad, 47, 47));

  // Its cache file is the empty mark of a failed build.
  const FolderRecord record = broken->record();
  EXPECT_FALSE(cache_valid(record.key_picture, record.drive));
  EXPECT_EQ(library->status().progress_maximum, 0);
  album->list().rebind_row(0);
  album.reset();
  album = std::make_unique<AlbumScreen>(skin, *library, app);
  render();
  EXPECT_EQ(row(0)->look(), AlbumElement::Look::bad);
  EXPECT_EQ(library->status().queued, 0);
  EXPECT_EQ(library->status().progress_maximum, 0);
  // The next search tries it again.
  search();
  EXPECT_EQ(library->status().queued, 1);
}

struct Orientation {
  Size size;
  int32_t dpi;
};

class AlbumLayoutTest : public AlbumTest, public ::testing::WithParamInterface<Orientation> {};

// Every node of the default skin loads and lays out inside the screen.
TEST_P(AlbumLayoutTest, DefaultSkinFitsTheScreen) {
  const Orientation o = GetParam();
  const int32_t k = 1 << skin_scale_for_dpi(o.dpi);
  device.put("Holiday/beach.jpg", kPictureA);
  device.put("Family/a rather long folder name that cannot fit/home.jpg", kPictureB);
  start(o.size, o.dpi);
  search();
  make_all_thumbnails();
  render();
  const Rect screen{0, 0, o.size.width, o.size.height};
  auto inside = [&](const Rect& r) {
    return !r.empty() && r.left >= screen.left && r.top >= screen.top && r.right <= screen.right &&
           r.bottom <= screen.bottom;
  };
  EXPECT_TRUE(inside(album->search_button().rect()));
  EXPECT_TRUE(inside(album->menu_button().rect()));
  EXPECT_EQ(album->menu_button().rect().right, o.size.width - 8 * k);
  EXPECT_LT(album->find_required(u"title").rect().right, album->search_button().rect().left);
  EXPECT_EQ(album->list().rect().top, 55 * k);
  // The filter bar at the bottom: the list ends where it starts.
  const Rect bar = album->find_required(u"filter_bar").rect();
  EXPECT_EQ(bar, (Rect{0, o.size.height - 52 * k, o.size.width, o.size.height}));
  EXPECT_EQ(album->list().rect().bottom, bar.top);
  EXPECT_TRUE(inside(album->find_required(u"editFilter").rect()));

  AlbumElement* first = row(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->size().width, o.size.width);
  const Rect image = first->image().rect();
  EXPECT_EQ(image.width(), 64 * k);
  EXPECT_EQ(image.height(), 64 * k);
  const Rect name = first->find_required(u"name").rect();
  EXPECT_GE(name.left, image.right);
  EXPECT_LE(name.right, first->find_required(u"chevron").rect().left);

  // The thumbnail is scaled into the image: its middle pixel lands in the
  // middle of the image at every scale.
  std::unique_ptr<RenderSurface> thumbnail =
      load_thumbnail(first->record().key_picture, first->record().drive);
  ASSERT_TRUE(thumbnail && thumbnail->surface());
  const Point middle = on_screen(*first, first->image(), {32 * k, 32 * k});
  EXPECT_EQ(rig.pixel(middle.x, middle.y),
            thumbnail->surface()->pixel(32, 32) | rgb565::kOpaqueBit);

  // The main menu with all its rows rises inside the screen.
  app.several_languages = true;
  app.several_skins = true;
  rig.tap(*album, centre_of(album->menu_button()));
  MenuScreen& menu = album->main_menu();
  for (int i = 0; i < 20; ++i) rig.tick(menu, 0.05);
  render();
  const Rect panel = menu.panel().rect();
  EXPECT_TRUE(inside(panel));
  EXPECT_EQ(panel.bottom, o.size.height - 8 * k);
  auto* buttons = dynamic_cast<MenuRow*>(menu.list().row(0));
  ASSERT_NE(buttons, nullptr);
  int32_t width = -1;
  for (std::u16string_view id : MenuRow::kButtonIds) {
    ButtonElement* button = buttons->button(id);
    ASSERT_NE(button, nullptr);
    if (width < 0) width = button->size().width;
    EXPECT_NEAR(button->size().width, width, 1) << "the four buttons share the row";
  }
  EXPECT_GT(width, 0);
}

INSTANTIATE_TEST_SUITE_P(Screens, AlbumLayoutTest,
                         ::testing::Values(Orientation{{240, 320}, 96}, Orientation{{320, 240}, 96},
                                           Orientation{{480, 800}, 192},
                                           Orientation{{800, 480}, 96}),
                         [](const auto& info) {
                           return std::to_string(info.param.size.width) + "x" +
                                  std::to_string(info.param.size.height) + "_dpi" +
                                  std::to_string(info.param.dpi);
                         });

}  // namespace
}  // namespace lv::test::screens
