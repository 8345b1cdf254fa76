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
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

const uint16_t kBackground = rgb565::from_rgb888(0x10, 0x16, 0x1e);

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
  AlbumElement* holiday = row(1);
  ASSERT_NE(holiday, nullptr);
  EXPECT_EQ(text_of(*row(0), u"name"), u"My documents");
  EXPECT_EQ(text_of(*row(0), u"count"), u"1");
  EXPECT_EQ(text_of(*holiday, u"name"), u"Holiday");
  EXPECT_EQ(text_of(*holiday, u"count"), u"2");

  const FolderRecord record = holiday->record();
  const std::vector<std::u16string> lines = read_log_lines();
  const std::u16string cache = cache_name(record.key_picture, record.drive);
  ASSERT_FALSE(cache.empty());
  for (const std::u16string& line :
       {u"Name " + record.key_picture, u"Drive " + record.drive, u"Cache " + cache})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << to_utf8(line);

  // Before the worker: the "loading" art, 1:1 in the 64 x 64 image; the
  // art itself stays hidden.
  ASSERT_EQ(image_of(*holiday).size(), (Size{64, 64}));
  EXPECT_EQ(look(1), "loading");
  EXPECT_FALSE(row(1)->find_required(u"loading").visible());

  EXPECT_EQ(make_all_thumbnails(), 3);
  EXPECT_EQ(look(0), "thumbnail");
  // The thumbnail scaled into the image: each point of it, not the art.
  for (const Point at : {Point{32, 20}, Point{20, 40}, Point{45, 33}, Point{8, 8}})
    EXPECT_EQ(look(1, at), "thumbnail") << at.x << "," << at.y;
  // The frame's transparent corner cuts the photograph away.
  const Point corner = on_screen(*row(1), image_of(*row(1)), {0, 0});
  EXPECT_EQ(rig.pixel(corner.x, corner.y), kBackground);
  // A new screen finds the cache files and queues nothing.
  album.reset();
  album = std::make_unique<AlbumScreen>(skin, *library, app);
  EXPECT_EQ(look(1), "thumbnail");
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
  ASSERT_EQ(row(0)->record().folder, u"%my_documents%/Broken/");
  EXPECT_EQ(look(0, {47, 47}), "bad");
  EXPECT_EQ(look(1), "thumbnail");

  // Its cache file is the empty mark of a failed build.
  const FolderRecord record = row(0)->record();
  EXPECT_FALSE(cache_valid(record.key_picture, record.drive));
  list().rebind_row(0);
  album.reset();
  album = std::make_unique<AlbumScreen>(skin, *library, app);
  EXPECT_EQ(look(0, {47, 47}), "bad");
  EXPECT_EQ(library->status().queued, 0);
  EXPECT_EQ(library->status().progress_maximum, 0);
  // The next search tries it again.
  search();
  EXPECT_EQ(library->status().queued, 1);
}

// The default skin at double density: the screen's parts inside it, the
// list between its header and the filter bar, and the thumbnail scaled into
// the row's larger image.
TEST_F(AlbumElementTest, AtDoubleDensityTheThumbnailFillsTheLargerImage) {
  device.put("Family/a rather long folder name that cannot fit/home.jpg", kPictureB);
  start({480, 800}, 192);
  search();
  make_all_thumbnails();
  render();
  const Rect screen{0, 0, 480, 800};
  const Element* parts[] = {&search_button(), &menu_button(), &list(),
                            &album->find_required(u"editFilter")};
  for (const Element* part : parts) {
    const Rect r = part->rect();
    EXPECT_TRUE(!r.empty() && r.left >= 0 && r.top >= 0 && r.right <= screen.right &&
                r.bottom <= screen.bottom)
        << to_utf8(part->id());
  }
  EXPECT_EQ(list().rect().bottom, album->find_required(u"filter_bar").rect().top);

  AlbumElement* first = row(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->size().width, 480);
  const Rect image = image_of(*first).rect();
  EXPECT_EQ(image.width(), 128);
  EXPECT_EQ(image.height(), 128);
  const Rect name = first->find_required(u"name").rect();
  EXPECT_GE(name.left, image.right);
  EXPECT_LE(name.right, first->find_required(u"chevron").rect().left);
  const auto thumbnail = load_thumbnail(first->record().key_picture, first->record().drive);
  ASSERT_TRUE(thumbnail && thumbnail->surface());
  for (const Point at : {Point{64, 64}, Point{40, 90}}) {
    const Point p = on_screen(*first, image_of(*first), at);
    EXPECT_EQ(
        rig.pixel(p.x, p.y),
        thumbnail->surface()->pixel(uint32_t(at.x / 2), uint32_t(at.y / 2)) | rgb565::kOpaqueBit);
  }
}

}  // namespace
}  // namespace lv::test::screens
