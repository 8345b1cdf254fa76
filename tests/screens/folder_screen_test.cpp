// The folder screen over the real default skin: the listing and the grid,
// the folder list corrected from the disk, thumbnails loaded one per tick
// and made by the library's worker, the columns following the width, the
// rows bound again for other data, and leaving the screen.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/log_capture.h"
#include "library/cache_file.h"
#include "library/photo_library.h"
#include "platform/text.h"
#include "screens/folder_element.h"
#include "screens/folder_grid.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"
#include "screens/screens_test_support.h"
#include "skin/png_writer.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"
#include "widgets/progress.h"
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

namespace fs = std::filesystem;

// Nine camera pictures, each of its own size (their cache names differ).
const char* const kNine[] = {"exif-ianare/Canon_40D.jpg",
                             "exif-ianare/Canon_DIGITAL_IXUS_400.jpg",
                             "exif-ianare/Fujifilm_FinePix6900ZOOM.jpg",
                             "exif-ianare/Kodak_CX7530.jpg",
                             "exif-ianare/Nikon_COOLPIX_P1.jpg",
                             "exif-ianare/Nikon_D70.jpg",
                             "exif-ianare/Olympus_C8080WZ.jpg",
                             "exif-ianare/Panasonic_DMC-FZ30.jpg",
                             "exif-ianare/Pentax_K10D.jpg"};
const char* const kMore[] = {"exif-ianare/Sony_HDR-HC3.jpg", "exif-ianare/Ricoh_Caplio_RR330.jpg",
                             "exif-ianare/Canon_40D_photoshop_import.jpg"};

constexpr char16_t kTrip[] = u"%my_documents%/Trip/";

TEST(FolderGridTest, ColumnsRowsAndCells) {
  EXPECT_EQ(folder_columns(240, 0), 4);
  EXPECT_EQ(folder_columns(320, 0), 5);
  EXPECT_EQ(folder_columns(480, 1), 4);  // 240 skin units
  EXPECT_EQ(folder_columns(1280, 2), 5);
  EXPECT_EQ(folder_columns(356, 0), 6);
  EXPECT_EQ(folder_columns(2000, 0), 6);
  // Narrower than one cell and its margin: still one column.
  EXPECT_EQ(folder_columns(66, 0), 1);
  EXPECT_EQ(folder_columns(65, 0), 1);
  EXPECT_EQ(folder_columns(0, 0), 1);
  EXPECT_EQ(folder_columns(-5, 0), 1);

  EXPECT_EQ(folder_row_count(9, 4), 3);
  EXPECT_EQ(folder_row_count(8, 4), 2);
  EXPECT_EQ(folder_row_count(0, 4), 0);
  EXPECT_EQ(folder_row_cells(0, 9, 4), 4);
  EXPECT_EQ(folder_row_cells(2, 9, 4), 1);
  EXPECT_EQ(folder_row_cells(1, 8, 4), 4);
  EXPECT_EQ(folder_row_cells(3, 9, 4), 0);
  EXPECT_EQ(folder_row_cells(-1, 9, 4), 0);
}

class FolderScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { LV_REQUIRE_TESTDATA(); }
  void TearDown() override {
    screen.reset();
    library.reset();
  }

  // The nine pictures in Trip: six "*.jpg" and three "*.jpeg", written in
  // an order unlike the listing's, with a picture in a sub-folder and a
  // file that is no picture beside them.
  void put_trip() {
    const char* names[] = {"f.jpg", "e.JPG",  "d.jpg",  "c.jpg", "b.jpg",
                           "a.jpg", "i.jpeg", "h.jpeg", "g.JPEG"};
    for (size_t i = 0; i < 9; ++i) device.put(std::string("Trip/") + names[i], kNine[i]);
    device.put("Trip/inner/deep.jpg", kMore[0]);
    write_file(device.pictures() + "/Trip/notes.txt", "not a picture");
  }
  FolderRecord trip_record(int32_t size) const {
    return {u"%my_documents%/", kTrip, std::u16string(kTrip) + u"a.jpg", size};
  }

  void start(Size screen_size = {240, 320}, int32_t dpi = 96) {
    size = screen_size;
    library = manual_library(device);
    ASSERT_TRUE(load_default_skin(skin, size, dpi));
    set_screen(size);
    screen = std::make_unique<FolderScreen>(skin, *library, app);
  }
  // The screen information record and the client area of a window of this size.
  void set_screen(Size screen_size) {
    size = screen_size;
    app.screen.width = size.width;
    app.screen.height = size.height;
    app.screen.work_width = size.width;
    app.screen.work_height = size.height;
    rig.host().client_size = size;
  }

  void tick(int times = 1) {
    for (int i = 0; i < times; ++i) rig.tick(*screen, 0.04);
  }
  const Surface& render() { return rig.render(*screen, size); }

  FolderElement* row(int32_t index) {
    return dynamic_cast<FolderElement*>(screen->list().row(index));
  }
  // Screen position of a point inside a cell's image.
  Point image_point(FolderElement& row, int32_t cell, Point inside) {
    const Element& image = *row.cell_image(cell);
    return {screen->list().position().x + image.position().x + inside.x,
            screen->list().row_top(row) + image.position().y + inside.y};
  }
  const Picture& row_template(FolderElement& row, std::u16string_view id) {
    return dynamic_cast<ImageElement&>(row.find_required(id)).picture();
  }

  PictureDevice device;
  FakeAppServices app;
  ScreenRig rig;
  Properties skin;
  std::unique_ptr<PhotoLibrary> library;
  std::unique_ptr<FolderScreen> screen;
  Size size;
};

TEST_F(FolderScreenTest, NinePicturesOnANarrowScreenFillFourColumnsAndThreeRows) {
  put_trip();
  start();
  screen->open(trip_record(9));
  ASSERT_EQ(rig.host().stack, std::vector<ScreenRoot*>{screen.get()});

  // Every "*.jpg" in name order, then every "*.jpeg"; nothing else.
  std::vector<std::u16string> expected;
  for (const char* name :
       {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.JPG", "f.jpg", "g.JPEG", "h.jpeg", "i.jpeg"})
    expected.push_back(std::u16string(kTrip) + from_utf8(name));
  EXPECT_EQ(screen->pictures(), expected);
  EXPECT_EQ(dynamic_cast<TextElement&>(screen->find_required(u"btnText")).text(), u"Trip");
  EXPECT_FALSE(screen->find_required(u"progress").visible());

  EXPECT_EQ(screen->columns(), 4);
  EXPECT_EQ(screen->list().count(), 3);
  render();
  ASSERT_EQ(screen->list().realised_count(), 3u);
  for (int32_t r = 0; r < 3; ++r) {
    FolderElement& grid_row = *row(r);
    const int32_t used = r < 2 ? 4 : 1;
    for (int32_t c = 0; c < kFolderMaxColumns; ++c) {
      SCOPED_TRACE(testing::Message() << "row " << r << " cell " << c);
      ButtonElement& cell = *grid_row.cell(c);
      if (c >= 4) {
        EXPECT_FALSE(cell.visible());
        continue;
      }
      EXPECT_TRUE(cell.visible());
      EXPECT_EQ(cell.effectively_enabled(), c < used);
      EXPECT_EQ(grid_row.cell_image(c)->visible(), c < used);
      // Four 58-pixel cells centred in 240 pixels.
      EXPECT_EQ(cell.rect(), (Rect{4 + 58 * c, 0, 62 + 58 * c, 58}));
    }
  }
  // An unused cell of the last row shows the background, a used one its
  // placeholder.
  FolderElement& last = *row(2);
  const Point used_cell = image_point(last, 0, {27, 27});
  const Point empty_cell = image_point(last, 1, {27, 27});
  EXPECT_EQ(rig.pixel(empty_cell.x, empty_cell.y), rig.pixel(2, empty_cell.y));
  EXPECT_NE(rig.pixel(used_cell.x, used_cell.y), rig.pixel(2, used_cell.y));
}

TEST_F(FolderScreenTest, OpeningCorrectsTheFolderListFromTheDisk) {
  put_trip();
  start();
  ASSERT_TRUE(library->search());
  ASSERT_EQ(library->get_folders_size(), 2);  // Trip and Trip/inner
  const int trip = library->search_folder_num(std::u16string(kTrip) + u"a.jpg");
  ASSERT_GE(trip, 0);
  const FolderRecord before = *library->get_folder(trip);
  EXPECT_EQ(before.size, 9);

  // The key picture goes, two others come.
  fs::remove(device.pictures() + "/Trip/a.jpg");
  device.put("Trip/j.jpg", kMore[1]);
  device.put("Trip/k.jpeg", kMore[2]);
  screen->open(before);
  EXPECT_EQ(screen->pictures().size(), 10u);
  const FolderRecord after =
      *library->get_folder(library->search_folder_num(std::u16string(kTrip) + u"b.jpg"));
  EXPECT_EQ(after.size, 10);
  EXPECT_EQ(after.key_picture, std::u16string(kTrip) + u"b.jpg");
  EXPECT_EQ(screen->record(), after);
  const std::string saved = read_file(device.folders_file());
  EXPECT_NE(saved.find(utf16le(u"\t" + std::u16string(kTrip) + u"b.jpg\n")), std::string::npos);
  EXPECT_NE(saved.find(utf16le(u"\t10\n")), std::string::npos);
  EXPECT_EQ(saved.find(utf16le(u"a.jpg")), std::string::npos);

  // A folder that lost every picture leaves the list and shows no rows.
  for (const auto& entry : fs::directory_iterator(device.pictures() + "/Trip"))
    if (entry.is_regular_file()) fs::remove(entry.path());
  rig.host().stack.clear();
  screen->open(after);
  EXPECT_EQ(library->get_folders_size(), 1);
  EXPECT_EQ(library->search_folder_num(std::u16string(kTrip) + u"b.jpg"), -1);
  EXPECT_EQ(read_file(device.folders_file()).find(utf16le(kTrip) + utf16le(u"b")),
            std::string::npos);
  EXPECT_EQ(screen->list().count(), 0);
  render();
  EXPECT_EQ(screen->list().realised_count(), 0u);
  EXPECT_TRUE(screen->find_required(u"empty_note").visible());
  EXPECT_EQ(dynamic_cast<TextElement&>(screen->find_required(u"empty_text")).text(),
            u"This folder holds no pictures any more.");
}

TEST_F(FolderScreenTest, MissingThumbnailShowsLoadingUntilTheWorkerMakesIt) {
  put_trip();
  start();
  screen->open(trip_record(9));
  render();
  FolderElement* first = row(0);
  ASSERT_NE(first, nullptr);
  ImageElement& cell0 = *first->cell_image(0);
  EXPECT_EQ(cell0.picture().bitmap, row_template(*first, u"loading").bitmap);

  // One picture per tick: each has no cache file yet and is queued.
  tick();
  EXPECT_EQ(screen->next_index(), 1u);
  EXPECT_EQ(library->status().queued, 1);
  tick(8);
  EXPECT_EQ(screen->next_index(), 9u);
  EXPECT_EQ(library->status().queued, 9);
  EXPECT_EQ(screen->thumbnail(0), nullptr);
  EXPECT_EQ(cell0.picture().bitmap, row_template(*first, u"loading").bitmap);
  const Point probe = image_point(*first, 0, {27, 27});
  render();
  const uint16_t loading_pixel = rig.pixel(probe.x, probe.y);

  // The worker makes the first one; the next tick reports it and the row
  // is bound again with the thumbnail.
  start_fresh_log();
  ASSERT_TRUE(library->create_cache());
  ASSERT_TRUE(cache_valid(screen->pictures()[0], u"%my_documents%/"));
  tick();
  auto& progress = dynamic_cast<ProgressElement&>(screen->find_required(u"progress"));
  EXPECT_TRUE(progress.visible());
  EXPECT_DOUBLE_EQ(progress.value(), 1.0 / 9.0);
  const Picture* thumbnail = screen->thumbnail(0);
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(cell0.picture().bitmap, thumbnail->bitmap);
  EXPECT_EQ(row(0)->cell_image(1)->picture().bitmap, row_template(*first, u"loading").bitmap);
  const std::vector<std::u16string> lines = read_log_lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"refresh " + screen->pictures()[0] + u" num 0"),
            lines.end());

  render();
  const Surface& art = *thumbnail->bitmap->surface();
  ASSERT_EQ(art.size(), (Size{54, 54}));
  EXPECT_EQ(rig.pixel(probe.x, probe.y), art.pixel(27, 27));
  EXPECT_NE(rig.pixel(probe.x, probe.y), loading_pixel);
}

TEST_F(FolderScreenTest, PictureThatCannotBeMadeShowsBadAndIsNotQueuedAgain) {
  device.put("Trip/a.jpg", kNine[0]);
  device.put_broken("Trip/b.jpg");
  start();
  screen->open(trip_record(2));
  tick(2);
  ASSERT_EQ(library->status().queued, 2);
  while (library->create_cache()) tick();
  EXPECT_NE(screen->thumbnail(0), nullptr);
  EXPECT_EQ(screen->thumbnail(1), nullptr);
  EXPECT_TRUE(screen->bad(1));
  render();
  ASSERT_NE(row(0), nullptr);
  EXPECT_EQ(row(0)->cell_image(1)->picture().bitmap, row_template(*row(0), u"bad").bitmap);

  // Opened again: its empty cache file says bad at once, nothing is queued.
  screen->open(trip_record(2));
  tick(2);
  EXPECT_TRUE(screen->bad(1));
  EXPECT_EQ(library->status().queued, 0);
}

// Every thumbnail made and loaded: each used cell shows its own. With
// LUMIVIEW_SCREENSHOT_DIR set the grid is written there as
// screenshot-folder.png (the README's picture).
TEST_F(FolderScreenTest, FilledGridShowsEveryThumbnail) {
  put_trip();
  start({320, 240});
  screen->open(trip_record(9));
  tick(9);
  while (library->create_cache()) tick();
  EXPECT_FALSE(screen->find_required(u"progress").visible());
  render();
  for (size_t i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    const Picture* thumbnail = screen->thumbnail(i);
    ASSERT_NE(thumbnail, nullptr);
    FolderElement* grid_row = row(static_cast<int32_t>(i / 5));
    ASSERT_NE(grid_row, nullptr);
    const Surface& art = *thumbnail->bitmap->surface();
    for (const Point inside : {Point{27, 27}, Point{12, 40}, Point{44, 10}}) {
      const Point at = image_point(*grid_row, static_cast<int32_t>(i % 5), inside);
      EXPECT_EQ(rig.pixel(at.x, at.y), art.pixel(uint32_t(inside.x), uint32_t(inside.y)));
    }
  }
  // Cut to the frame's rounded corners: the background shows there.
  const Point corner = image_point(*row(0), 0, {0, 0});
  EXPECT_EQ(rig.pixel(corner.x, corner.y), rig.pixel(1, corner.y));
  if (const char* folder = std::getenv("LUMIVIEW_SCREENSHOT_DIR"))
    write_png(from_utf8(std::string(folder) + "/screenshot-folder.png"), rig.surface());
}

TEST_F(FolderScreenTest, ColumnsFollowTheWidthAndANarrowWindowKeepsOne) {
  put_trip();
  start();
  screen->open(trip_record(9));
  render();
  ASSERT_EQ(screen->columns(), 4);

  // Turned to landscape: five columns, two rows, the fifth cell in use.
  set_screen({320, 240});
  render();
  EXPECT_EQ(screen->columns(), 5);
  EXPECT_EQ(screen->list().count(), 2);
  ASSERT_NE(row(0), nullptr);
  EXPECT_TRUE(row(0)->cell(4)->visible());
  EXPECT_TRUE(row(0)->cell_image(4)->visible());
  EXPECT_FALSE(row(0)->cell(5)->visible());
  EXPECT_EQ(row(0)->cell(0)->rect().left, (320 - 5 * 58) / 2);

  // Narrower than a cell with its margin: one column, one row per picture.
  set_screen({60, 320});
  render();
  EXPECT_EQ(screen->columns(), 1);
  EXPECT_EQ(screen->list().count(), 9);
  ASSERT_NE(row(0), nullptr);
  EXPECT_TRUE(row(0)->cell(0)->visible());
  EXPECT_FALSE(row(0)->cell(1)->visible());
  tick(9);
  EXPECT_EQ(screen->next_index(), 9u);
}

TEST_F(FolderScreenTest, RowBoundAgainShowsTheCellsItNowUses) {
  put_trip();
  start();
  screen->open(trip_record(9));
  // A list of our own over the screen's rows, so that the same row objects
  // are bound again after the data changed.
  ListElement list;
  list.set_x_width(0, 240);
  list.set_y_height(0, 320);
  list.set_provider(screen.get());
  list.reset(3);
  list.synchronise();
  FolderElement* last = dynamic_cast<FolderElement*>(list.row(2));
  ASSERT_NE(last, nullptr);
  EXPECT_FALSE(last->cell_image(1)->visible());
  EXPECT_FALSE(last->cell(1)->effectively_enabled());
  EXPECT_FALSE(last->cell(4)->visible());

  // Three more pictures: the last row is full now.
  for (size_t i = 0; i < 3; ++i) device.put("Trip/z" + std::to_string(i) + ".jpg", kMore[i]);
  LibraryEvent changed = LibraryEvent::with(LibraryEvent::pictures_changed);
  screen->on_event(changed);
  ASSERT_EQ(screen->pictures().size(), 12u);
  list.rebind_row(2);
  for (int32_t c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(last->cell(c)->visible());
    EXPECT_TRUE(last->cell(c)->effectively_enabled());
    EXPECT_TRUE(last->cell_image(c)->visible());
  }

  // Wider: the fifth cell comes back.
  set_screen({320, 240});
  screen->layout(size);
  ASSERT_EQ(screen->columns(), 5);
  list.rebind_row(1);
  FolderElement* second = dynamic_cast<FolderElement*>(list.row(1));
  EXPECT_TRUE(second->cell(4)->visible());
  EXPECT_TRUE(second->cell(4)->effectively_enabled());
  EXPECT_TRUE(second->cell_image(4)->visible());
  EXPECT_FALSE(second->cell(5)->visible());
}

TEST_F(FolderScreenTest, NewSkinRebuildsTheScreenAndKeepsTheFolder) {
  put_trip();
  start();
  screen->open(trip_record(9));
  tick(9);
  while (library->create_cache()) tick();
  ASSERT_NE(screen->thumbnail(8), nullptr);

  // The same skin at twice the resolution: 240 pixels are 120 skin units,
  // one column; the thumbnails are made again at the new size.
  ASSERT_TRUE(load_default_skin(skin, size, 200));
  skin.send_reload_skin();
  EXPECT_EQ(screen->pictures().size(), 9u);
  EXPECT_EQ(screen->columns(), 1);
  EXPECT_EQ(screen->list().count(), 9);
  EXPECT_EQ(dynamic_cast<TextElement&>(screen->find_required(u"btnText")).text(), u"Trip");
  EXPECT_EQ(screen->thumbnail(0), nullptr);
  EXPECT_EQ(screen->next_index(), 0u);
  tick(2);  // the second load completes row 0, which is then bound again
  ASSERT_NE(screen->thumbnail(0), nullptr);
  // Kept at 54 x 54 and drawn twice as large.
  EXPECT_EQ(screen->thumbnail(0)->bitmap->size(), (Size{54, 54}));
  EXPECT_EQ(screen->thumbnail(0)->p3, (Point{108, 108}));
  render();
  ASSERT_NE(row(0), nullptr);
  EXPECT_EQ(row(0)->cell_image(0)->picture().bitmap, screen->thumbnail(0)->bitmap);
  EXPECT_EQ(row(0)->cell(0)->rect().width(), 116);
  const Surface& art = *screen->thumbnail(0)->bitmap->surface();
  const Point at = image_point(*row(0), 0, {54, 54});
  EXPECT_EQ(rig.pixel(at.x, at.y), art.pixel(27, 27));
  EXPECT_EQ(rig.pixel(at.x + 1, at.y + 1), art.pixel(27, 27));
}

TEST_F(FolderScreenTest, BackLeavesAndFolderSizeChangedReturnsToTheAlbum) {
  put_trip();
  start();
  screen->open(trip_record(9));
  render();
  rig.tap(*screen, centre_of(screen->find_required(u"btnBack")));
  EXPECT_TRUE(rig.host().stack.empty());
  EXPECT_FALSE(screen->on_stack());

  screen->open(trip_record(9));
  EXPECT_TRUE(screen->on_key(KeyEvent{kKeyBackspace, true, true}));
  EXPECT_TRUE(rig.host().stack.empty());

  // News of another folder changes nothing; the last picture of this one
  // deleted in the image screen returns to the album.
  screen->open(trip_record(9));
  LibraryEvent other = LibraryEvent::with(LibraryEvent::folder_size_changed);
  other.second_path = u"%my_documents%/Other/x.jpg";
  library->post_event(other);
  tick();
  EXPECT_EQ(rig.host().stack.size(), 1u);
  LibraryEvent ours = LibraryEvent::with(LibraryEvent::folder_size_changed);
  ours.second_path = std::u16string(kTrip) + u"a.jpg";
  library->post_event(ours);
  tick();
  EXPECT_TRUE(rig.host().stack.empty());
}

TEST_F(FolderScreenTest, CellTapOpensThePictureOnTheImageScreen) {
  put_trip();
  start();
  screen->open(trip_record(9));
  render();
  start_fresh_log();
  FolderElement& middle = *row(1);
  rig.tap(*screen, image_point(*row(2), 3, {27, 27}));  // an unused cell
  EXPECT_EQ(rig.host().stack.size(), 1u);
  rig.tap(*screen, image_point(middle, 2, {27, 27}));
  const std::vector<std::u16string> lines = read_log_lines();
  const std::u16string opened = u"open picture 6 " + screen->pictures()[6];
  EXPECT_EQ(std::count(lines.begin(), lines.end(), opened), 1);
  ASSERT_EQ(rig.host().stack.size(), 2u);
  EXPECT_EQ(rig.host().stack.back(), &screen->image_screen());
  EXPECT_EQ(screen->image_screen().viewer().index(), 6u);
  EXPECT_EQ(screen->image_screen().viewer().pictures(), screen->pictures());
}

}  // namespace
}  // namespace lv::test::screens
