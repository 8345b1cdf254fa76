// The folder screen over the real default skin: the listing and the grid,
// the folder list corrected from the disk, thumbnails loaded one per tick
// and made by the library's worker, the rows bound again for other data,
// and leaving the screen.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "library/cache_file.h"
#include "library/photo_library.h"
#include "platform/text.h"
#include "screens/folder_element.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"
#include "screens/required_element.h"
#include "screens/screens_test_support.h"
#include "skin/png_writer.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"
#include "widgets/progress.h"

namespace lv::test::screens {
namespace {

namespace fs = std::filesystem;

// Camera pictures, each of its own size (their cache names differ).
const char* const kCameras[] = {
    "Canon_40D.jpg",       "Canon_DIGITAL_IXUS_400.jpg", "Fujifilm_FinePix6900ZOOM.jpg",
    "Kodak_CX7530.jpg",    "Nikon_COOLPIX_P1.jpg",       "Nikon_D70.jpg",
    "Olympus_C8080WZ.jpg", "Panasonic_DMC-FZ30.jpg",     "Pentax_K10D.jpg",
    "Sony_HDR-HC3.jpg",    "Ricoh_Caplio_RR330.jpg",     "Canon_40D_photoshop_import.jpg"};
std::string camera(size_t i) {
  return std::string("exif-ianare/") + kCameras[i];
}

constexpr char16_t kTrip[] = u"%my_documents%/Trip/";
std::u16string in_trip(std::u16string_view name) {
  return kTrip + std::u16string(name);
}

class FolderScreenTest : public BrowsingTest {
 protected:
  // The nine pictures in Trip: six "*.jpg" and three "*.jpeg", written in
  // an order unlike the listing's, with a picture in a sub-folder and a
  // file that is no picture beside them; then the screen, open on Trip.
  void SetUp() override {
    BrowsingTest::SetUp();
    if (IsSkipped()) return;
    const char* names[] = {"f.jpg", "e.JPG",  "d.jpg",  "c.jpg", "b.jpg",
                           "a.jpg", "i.jpeg", "h.jpeg", "g.JPEG"};
    for (size_t i = 0; i < 9; ++i) device.put(std::string("Trip/") + names[i], camera(i));
    device.put("Trip/inner/deep.jpg", camera(9));
    write_file(device.pictures() + "/Trip/notes.txt", "not a picture");
    library = manual_library(device);
    ASSERT_TRUE(load_default_skin(skin, {240, 320}));
    set_screen({240, 320});
    screen = std::make_unique<FolderScreen>(skin, *library, app);
  }
  void open(int32_t size = 9) {
    screen->open({u"%my_documents%/", kTrip, in_trip(u"a.jpg"), size});
  }
  // The screen information record and the client area of a window of this size.
  void set_screen(Size screen_size) {
    size = screen_size;
    app.screen.width = app.screen.work_width = size.width;
    app.screen.height = app.screen.work_height = size.height;
    rig.host().client_size = size;
  }
  // Every queued thumbnail made and reported.
  void make_all() {
    tick(9);
    while (library->create_cache()) tick();
  }
  void tick(int times = 1) {
    for (int i = 0; i < times; ++i) rig.tick(*screen, 0.04);
  }
  const Surface& render() { return rig.render(*screen, size); }

  ListElement& list() { return required_element<ListElement>(*screen, u"listFolder"); }
  FolderElement* row(int32_t index) { return dynamic_cast<FolderElement*>(list().row(index)); }
  static ButtonElement& cell(Element& row, int32_t c) {
    return required_element<ButtonElement>(row, FolderElement::cell_id(c));
  }
  static ImageElement& cell_image(Element& row, int32_t c) {
    return required_element<ImageElement>(cell(row, c), u"image");
  }
  // The row's cells: '#' a picture's (enabled, its image shown), '.' an
  // unused one (disabled, no image), '-' hidden, '?' anything else.
  static std::string cells(Element& row) {
    std::string out;
    for (int32_t c = 0; c < kFolderMaxColumns; ++c) {
      const bool used = cell(row, c).effectively_enabled(), image = cell_image(row, c).visible();
      out += !cell(row, c).visible() ? '-' : used && image ? '#' : !used && !image ? '.' : '?';
    }
    return out;
  }
  // Whether the cell shows the row's art of this id ("loading", "bad").
  static bool shows_art(FolderElement& row, int32_t c, std::u16string_view id) {
    return cell_image(row, c).picture().bitmap ==
           required_element<ImageElement>(row, id).picture().bitmap;
  }
  // Screen position of a point inside a cell's image.
  Point image_point(FolderElement& row, int32_t c, Point inside = {27, 27}) {
    const Element& image = cell_image(row, c);
    return {list().position().x + image.position().x + inside.x,
            list().row_top(row) + image.position().y + inside.y};
  }
  ProgressElement& progress() { return required_element<ProgressElement>(*screen, u"progress"); }

  std::unique_ptr<FolderScreen> screen;
};

TEST_F(FolderScreenTest, NinePicturesFillTheUsedCellsOfTheRowsAndATapOpensOne) {
  open();
  ASSERT_EQ(rig.host().stack, std::vector<ScreenRoot*>{screen.get()});
  // Every "*.jpg" in name order, then every "*.jpeg"; nothing else.
  std::vector<std::u16string> expected;
  for (const char16_t* name : {u"a.jpg", u"b.jpg", u"c.jpg", u"d.jpg", u"e.JPG", u"f.jpg",
                               u"g.JPEG", u"h.jpeg", u"i.jpeg"})
    expected.push_back(in_trip(name));
  EXPECT_EQ(screen->pictures(), expected);

  render();
  ASSERT_EQ(list().count(), 3);
  FolderElement& last = *row(2);
  EXPECT_EQ(cells(last), "#...--");

  rig.tap(*screen, image_point(last, 3));  // an unused cell
  EXPECT_EQ(rig.host().stack.size(), 1u);
  rig.tap(*screen, image_point(*row(1), 2));
  ASSERT_EQ(rig.host().stack.size(), 2u);
  auto* image = dynamic_cast<ImageScreen*>(rig.host().stack.back());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->viewer().index(), 6u);
  EXPECT_EQ(image->viewer().pictures(), screen->pictures());
}

TEST_F(FolderScreenTest, OpeningCorrectsTheFolderListFromTheDisk) {
  ASSERT_TRUE(library->search());
  const FolderRecord before = *library->get_folder(library->search_folder_num(in_trip(u"a.jpg")));
  ASSERT_EQ(before.size, 9);
  // The key picture goes, two others come.
  fs::remove(device.pictures() + "/Trip/a.jpg");
  device.put("Trip/j.jpg", camera(10));
  device.put("Trip/k.jpeg", camera(11));
  screen->open(before);
  EXPECT_EQ(screen->pictures().size(), 10u);
  const FolderRecord after = *library->get_folder(library->search_folder_num(in_trip(u"b.jpg")));
  EXPECT_EQ(after.size, 10);
  EXPECT_EQ(after.key_picture, in_trip(u"b.jpg"));

  // A folder that lost every picture leaves the list and shows no rows.
  for (const auto& entry : fs::directory_iterator(device.pictures() + "/Trip"))
    if (entry.is_regular_file()) fs::remove(entry.path());
  rig.host().stack.clear();
  screen->open(after);
  EXPECT_EQ(library->search_folder_num(in_trip(u"b.jpg")), -1);
  render();
  EXPECT_EQ(list().count(), 0);
  EXPECT_EQ(text_of(*screen, u"empty_text"), u"This folder holds no pictures any more.");
  EXPECT_TRUE(screen->find_required(u"empty_note").visible());
}

TEST_F(FolderScreenTest, AMissingThumbnailShowsLoadingUntilTheWorkerMakesIt) {
  open();
  render();
  EXPECT_TRUE(shows_art(*row(0), 0, u"loading"));
  // One picture per tick: each has no cache file yet and is queued.
  tick();
  EXPECT_EQ(library->status().queued, 1);
  tick(8);
  EXPECT_EQ(library->status().queued, 9);
  EXPECT_EQ(screen->thumbnail(0), nullptr);

  // The worker makes the first one; the next tick reports it and the row
  // is bound again with the thumbnail.
  ASSERT_TRUE(library->create_cache());
  tick();
  EXPECT_TRUE(progress().visible());
  EXPECT_DOUBLE_EQ(progress().value(), 1.0 / 9.0);
  const Picture* thumbnail = screen->thumbnail(0);
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_TRUE(shows_art(*row(0), 1, u"loading"));
  render();
  const Surface& art = *thumbnail->bitmap->surface();
  ASSERT_EQ(art.size(), (Size{54, 54}));
  EXPECT_EQ(rig.pixel(image_point(*row(0), 0)), art.pixel(27, 27));
}

// Opened again, its empty cache file says bad at once; nothing is queued.
TEST_F(FolderScreenTest, APictureThatCannotBeMadeShowsBadAndIsNotQueuedAgain) {
  device.put_broken("Trip/b.jpg");
  open();
  make_all();
  EXPECT_TRUE(screen->thumbnail(0) && !screen->thumbnail(1));
  render();
  EXPECT_TRUE(shows_art(*row(0), 1, u"bad"));
  open();
  tick(9);
  render();
  EXPECT_TRUE(shows_art(*row(0), 1, u"bad"));
  EXPECT_EQ(library->status().queued, 0);
}

// Every thumbnail made, then the screen turned to landscape: each used cell
// of the five columns shows its own picture's thumbnail. With
// LUMIVIEW_SCREENSHOT_DIR set the grid is written there as
// screenshot-folder.png (the README's picture).
TEST_F(FolderScreenTest, TheTurnedGridShowsEveryThumbnailInItsCell) {
  open();
  make_all();
  set_screen({320, 240});
  render();
  for (size_t i = 0; i < 9; ++i) {
    ASSERT_TRUE(screen->thumbnail(i) && row(int32_t(i / 5))) << i;
    EXPECT_EQ(rig.pixel(image_point(*row(int32_t(i / 5)), int32_t(i % 5), {12, 40})),
              screen->thumbnail(i)->bitmap->surface()->pixel(12, 40))
        << i;
  }
  if (const char* folder = std::getenv("LUMIVIEW_SCREENSHOT_DIR"))
    write_png(from_utf8(std::string(folder) + "/screenshot-folder.png"), rig.surface());
}

// Mended: a row object bound again (the list reuses it) kept the cells an
// earlier binding hid or disabled.
TEST_F(FolderScreenTest, ARowBoundAgainShowsTheCellsItNowUses) {
  open();
  // A list of our own over the screen's rows, so that the same row objects
  // are bound again after the data changed.
  ListElement own;
  own.set_x_width(0, 240);
  own.set_y_height(0, 320);
  own.set_provider(screen.get());
  own.reset(3);
  own.synchronise();
  FolderElement* last = dynamic_cast<FolderElement*>(own.row(2));
  ASSERT_NE(last, nullptr);
  ASSERT_EQ(cells(*last), "#...--");

  // Three more pictures: the last row is full now.
  for (size_t i = 9; i < 12; ++i) device.put("Trip/z" + std::to_string(i) + ".jpg", camera(i));
  screen->on_event(LibraryEvent::with(LibraryEvent::pictures_changed));
  ASSERT_EQ(screen->pictures().size(), 12u);
  own.rebind_row(2);
  EXPECT_EQ(cells(*last), "####--");
  // Wider: the fifth cell comes back.
  set_screen({320, 240});
  screen->layout(size);
  own.rebind_row(1);
  EXPECT_EQ(cells(*own.row(1)), "#####-");
}

// News of another folder changes nothing; the last picture of this one
// deleted in the image screen returns to the album.
TEST_F(FolderScreenTest, ItsFolderEmptiedReturnsToTheAlbum) {
  open();
  for (const auto& [picture, screens_left] :
       {std::pair{u"%my_documents%/Other/x.jpg", 1u}, {u"%my_documents%/Trip/a.jpg", 0u}}) {
    LibraryEvent event = LibraryEvent::with(LibraryEvent::folder_size_changed);
    event.second_path = picture;
    library->post_event(event);
    tick();
    EXPECT_EQ(rig.host().stack.size(), screens_left);
  }
}

}  // namespace
}  // namespace lv::test::screens
