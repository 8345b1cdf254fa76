// The album screen's states and library events: the first start, the
// search with its placeholders, the search that finds nothing, row clicks,
// progress and the search button, the main menu and its commands, keys;
// the filter field; and a command line that opens a picture or a folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "album_test_fixture.h"
#include "base/command_line.h"
#include "base/log_capture.h"
#include "base/settings.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"
#include "widgets/label_edit_element.h"
#include "widgets/menu_row.h"
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

namespace fs = std::filesystem;

std::vector<std::u16string> keys_of(const std::vector<MenuItem>& items) {
  std::vector<std::u16string> keys;
  for (const MenuItem& item : items) keys.push_back(item.key);
  return keys;
}

bool log_has(std::u16string_view line) {
  const std::vector<std::u16string> lines = read_log_lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

using AlbumScreenTest = AlbumTest;

TEST_F(AlbumScreenTest, FirstStartShowsTheWarningAndSearchesNothing) {
  start();
  for (int i = 0; i < 5; ++i) tick();
  render();
  EXPECT_FALSE(list().visible());
  Element& text = album->find_required(u"warning_text");
  EXPECT_TRUE(text.visible());
  EXPECT_TRUE(album->find_required(u"warning_image").visible());
  EXPECT_EQ(dynamic_cast<TextElement&>(text).text(), skin.language().lookup(u"WARNING_MESSAGE"));
  EXPECT_FALSE(progress().visible());
  EXPECT_TRUE(search_button().effectively_enabled());
  // Nothing is searched until the user asks.
  EXPECT_FALSE(library->status().search_pending);
  EXPECT_FALSE(fs::exists(device.folders_file()));

  // The warning's text is drawn: its rectangle holds light ink.
  const Rect area = text.rect();
  int ink = 0;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x)
      ink += rgb565::green(rig.pixel(x, y)) > 30 ? 1 : 0;
  EXPECT_GT(ink, 20);
}

TEST_F(AlbumScreenTest, SearchShowsPlaceholdersUntilItCompletes) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put("Holiday/sunset.jpg", kPictureB);
  device.put("Family/home.jpg", kPictureC);
  start();
  search();
  EXPECT_TRUE(search_button().effectively_enabled());
  render();
  ASSERT_EQ(list().count(), 2);
  EXPECT_EQ(row(0)->record().folder, u"%my_documents%/Family/");
  EXPECT_EQ(row(1)->record().size, 2);

  device.put("Garden/rose.jpg", kPictureD);
  rig.tap(*album, centre_of(search_button()));
  EXPECT_FALSE(search_button().effectively_enabled());
  EXPECT_TRUE(library->status().search_pending);
  // The list keeps its count; rows made now are blank and as high as a
  // folder row.
  EXPECT_EQ(list().count(), 2);
  std::unique_ptr<ListRow> placeholder = album->create_row(list(), 0);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(dynamic_cast<AlbumElement*>(placeholder.get()), nullptr);
  EXPECT_EQ(placeholder->child_count(), 0u);
  EXPECT_EQ(placeholder->height_range().preferred, row(0)->height_range().preferred);

  library->search();
  tick();
  EXPECT_TRUE(search_button().effectively_enabled());
  ASSERT_EQ(list().count(), 3);
  render();
  EXPECT_EQ(row(1)->record().folder, u"%my_documents%/Garden/");
  EXPECT_EQ(row(2)->record().folder, u"%my_documents%/Holiday/");
}

TEST_F(AlbumScreenTest, SearchThatFindsNothingEndsTheSearchingState) {
  start();
  tick();
  search();
  // search_complete with no folder: the list has its real count, the
  // warning shows and the button works again (no picture was queued, so no
  // cache_complete will come).
  EXPECT_EQ(list().count(), 0);
  EXPECT_TRUE(warning_shown());
  EXPECT_TRUE(search_button().effectively_enabled());

  // A folder list that becomes empty during a search does the same.
  device.put("Trip/one.jpg", kPictureA);
  search();
  ASSERT_EQ(list().count(), 1);
  EXPECT_FALSE(warning_shown());
  rig.tap(*album, centre_of(search_button()));
  library->set_folder_size(u"%my_documents%/Trip/one.jpg", 0);
  tick();
  EXPECT_EQ(album->create_row(list(), 0), nullptr) << "a placeholder: still searching";
  EXPECT_EQ(list().count(), 0);
  EXPECT_FALSE(list().visible());
  EXPECT_TRUE(album->find_required(u"warning_image").visible());
}

TEST_F(AlbumScreenTest, RowClicksOpenTheFolderExceptDuringASearch) {
  device.put("Family/home.jpg", kPictureC);
  device.put("Holiday/beach.jpg", kPictureA);
  start();
  search();
  render();
  start_fresh_log();
  const Point middle{size.width / 2, list().row_top(*row(1)) + 30};
  rig.tap(*album, middle);
  EXPECT_TRUE(log_has(u"album open folder %my_documents%/Holiday/"));

  rig.tap(*album, centre_of(search_button()));
  start_fresh_log();
  rig.tap(*album, middle);
  EXPECT_FALSE(log_has(u"album open folder %my_documents%/Holiday/"));
}

TEST_F(AlbumScreenTest, ProgressShowsWhileThumbnailsAreMadeAndTheButtonWaitsForTheSearch) {
  device.put("A/a.jpg", kPictureA);
  device.put("B/b.jpg", kPictureB);
  device.put("C/c.jpg", kPictureC);
  start();
  search();
  EXPECT_FALSE(progress().visible());

  ASSERT_TRUE(library->create_cache());
  tick();
  EXPECT_TRUE(progress().visible());
  EXPECT_DOUBLE_EQ(progress().value(), 1.0 / 3.0);
  render();
  ASSERT_NE(progress().line(), nullptr);
  EXPECT_EQ(progress().line()->size().width, size.width / 3);

  // A search asked for now: the pictures queued before it finish first, and
  // their cache_complete leaves the button off until the search is done.
  rig.tap(*album, centre_of(search_button()));
  make_all_thumbnails();
  EXPECT_FALSE(progress().visible());
  EXPECT_FALSE(search_button().effectively_enabled());
  library->search();
  tick();
  EXPECT_TRUE(search_button().effectively_enabled());
  EXPECT_FALSE(progress().visible());
}

TEST_F(AlbumScreenTest, MainMenuOffersLanguageAndSkinOnlyWhenThereAreSeveral) {
  start();
  tick();
  MenuScreen* menu = &open_menu();
  EXPECT_EQ(keys_of(menu->items()), (std::vector<std::u16string>{u"Magic4Buttons", u"Cancel"}));
  EXPECT_EQ(menu->items()[0].style, u"MenuElement4Buttons");
  EXPECT_EQ(menu->items()[1].style, u"");  // the ordinary row: red is for deleting
  menu->row_clicked(menu->list(), 1);      // Cancel closes it
  EXPECT_TRUE(rig.host().stack.empty());

  app.several_languages = true;
  app.several_skins = true;
  menu = &open_menu();
  EXPECT_EQ(keys_of(menu->items()),
            (std::vector<std::u16string>{u"Magic4Buttons", u"Language", u"Skin", u"Cancel"}));
  menu->row_clicked(menu->list(), 1);
  EXPECT_EQ(keys_of(menu->items()),
            (std::vector<std::u16string>{u"Language#english", u"Language#russian", u"Cancel"}));
  EXPECT_EQ(menu->items()[2].style, u"");
  menu->row_clicked(menu->list(), 1);
  EXPECT_EQ(app.chosen, (std::vector<std::u16string>{u"Language#russian"}));
  EXPECT_TRUE(rig.host().stack.empty());

  app.several_languages = false;
  menu = &open_menu();
  EXPECT_EQ(keys_of(menu->items()),
            (std::vector<std::u16string>{u"Magic4Buttons", u"Skin", u"Cancel"}));
  menu->row_clicked(menu->list(), 1);
  EXPECT_EQ(keys_of(menu->items()),
            (std::vector<std::u16string>{u"Skin#default", u"Skin#other", u"Cancel"}));
}

TEST_F(AlbumScreenTest, FourButtonRowWorksTheCommands) {
  start();
  tick();
  auto open_and_press = [&](std::u16string_view id) {
    MenuScreen& menu = open_menu();
    for (int i = 0; i < 10; ++i) rig.tick(menu, 0.05);
    render();
    auto* buttons = dynamic_cast<MenuRow*>(menu.list().row(0));
    ASSERT_NE(buttons, nullptr);
    ButtonElement* button = buttons->button(id);
    ASSERT_NE(button, nullptr) << to_utf8(std::u16string(id));
    const Rect r = button->rect();
    rig.tap(menu, {menu.list().position().x + (r.left + r.right) / 2,
                   menu.list().row_top(*buttons) + (r.top + r.bottom) / 2});
    EXPECT_TRUE(rig.host().stack.empty()) << "an action closes the menu";
  };
  open_and_press(u"Exit");
  EXPECT_EQ(app.quits, 1);
  open_and_press(u"About");
  EXPECT_EQ(app.abouts, 1);
  open_and_press(u"Minimize");
  EXPECT_EQ(app.minimizes, 1);
  open_and_press(u"Help");
  EXPECT_EQ(app.documents, std::vector<std::u16string>{app_path() + u"/help/english.html"});
  EXPECT_EQ(app.quits, 1);
}

TEST_F(AlbumScreenTest, SoftKeysWorkTheButtons) {
  start();
  tick();
  EXPECT_TRUE(album->on_key({kKeySoftLeft, true, true}));
  EXPECT_FALSE(library->status().search_pending) << "a bound key clicks on its release";
  EXPECT_TRUE(album->on_key({kKeySoftLeft, false, true}));
  EXPECT_TRUE(library->status().search_pending);
  EXPECT_FALSE(search_button().effectively_enabled());

  EXPECT_TRUE(album->on_key({kKeySoftRight, true, true}));
  EXPECT_TRUE(rig.host().stack.empty());
  EXPECT_TRUE(album->on_key({kKeySoftRight, false, true}));
  ASSERT_EQ(rig.host().stack.size(), 1u);
  EXPECT_NE(dynamic_cast<MenuScreen*>(rig.host().stack[0]), nullptr);
  EXPECT_FALSE(album->on_key({kKeyEnter, true, true}));
}

// --- The filter field ----------------------------------------------------------------

class AlbumFilterTest : public AlbumTest {
 protected:
  void SetUp() override {
    AlbumTest::SetUp();
    if (IsSkipped()) return;
    device.put("Austria/a.jpg", kPictureA);
    device.put("Holiday/b.jpg", kPictureB);
    device.put("Trip/c.jpg", kPictureC);
    device.put("Winter/d.jpg", kPictureD);
    start();
    search();
  }
  LabelEditElement& field() { return required_element<LabelEditElement>(*album, u"editFilter"); }
  // As the edit box hands the typed text to the field.
  void type(std::u16string_view text) { field().edit()->set_text(text); }
  std::vector<std::u16string> shown_folders() {
    render();
    std::vector<std::u16string> folders;
    for (int32_t i = 0; i < list().count(); ++i)
      if (AlbumElement* r = row(i)) folders.push_back(r->record().folder);
    return folders;
  }
};

TEST_F(AlbumFilterTest, TypingLeavesTheFoldersWhoseNameHoldsTheTextAndRowsStayTheirs) {
  // A tap on the field asks for the edit box over it.
  rig.tap(*album, centre_of(*field().edit()));
  EXPECT_EQ(rig.host().edited, field().edit());

  start_fresh_log();
  type(u"TRI");
  EXPECT_EQ(shown_folders(),
            (std::vector<std::u16string>{u"%my_documents%/Austria/", u"%my_documents%/Trip/"}));
  EXPECT_TRUE(log_has(u"album filter TRI 2 of 4"));

  // The second row is Trip's: its thumbnail, and a tap opens Trip.
  make_all_thumbnails();
  EXPECT_EQ(look(1), "thumbnail");
  EXPECT_EQ(row(1)->record().folder, u"%my_documents%/Trip/");
  rig.tap(*album, {size.width / 2, list().row_top(*row(1)) + 30});
  EXPECT_TRUE(log_has(u"album open folder %my_documents%/Trip/"));

  type(u"zz");
  EXPECT_EQ(list().count(), 0);
  EXPECT_TRUE(list().visible());
  EXPECT_FALSE(warning_shown()) << "folders are known";
  type(u"");
  EXPECT_EQ(list().count(), 4);
}

TEST_F(AlbumFilterTest, ASearchAndANewSkinKeepTheFilter) {
  type(u"a");  // Austria, Holiday
  ASSERT_EQ(list().count(), 2);
  device.put("Alps/e.jpg", kPictureA);
  search();
  EXPECT_EQ(shown_folders(),
            (std::vector<std::u16string>{u"%my_documents%/Alps/", u"%my_documents%/Austria/",
                                         u"%my_documents%/Holiday/"}));

  ASSERT_TRUE(load_double_scale());
  skin.send_reload_skin();
  EXPECT_EQ(field().edit()->text(), u"a");
  EXPECT_FALSE(field().label()->visible());
  EXPECT_EQ(list().count(), 3);
  type(u"");
  EXPECT_EQ(list().count(), 5);
}

TEST_F(AlbumFilterTest, WithoutFoldersThereIsNothingToFilter) {
  type(u"w");
  ASSERT_EQ(list().count(), 1);
  for (const char* folder : {"Austria/a.jpg", "Holiday/b.jpg", "Trip/c.jpg", "Winter/d.jpg"})
    library->set_folder_size(u"%my_documents%/" + from_utf8(folder), 0);
  tick();
  EXPECT_EQ(list().count(), 0);
  EXPECT_TRUE(warning_shown());
  EXPECT_FALSE(field().effectively_visible());
}

// --- The command line ----------------------------------------------------------------

using AlbumCommandLineTest = AlbumTest;

// A picture opens on the image screen over its folder's screen (the folder
// list's own record when it has the folder), a folder on the folder screen;
// what was open above the album goes first.
TEST_F(AlbumCommandLineTest, APathReplacesWhatWasOpenAboveTheAlbum) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put("Holiday/sea.jpg", kPictureB);
  device.put("Trip/a.jpg", kPictureC);
  device.put("Trip/b.jfif", kPictureD);  // a JPEG no listing finds by its name
  start();
  search();
  const std::u16string pictures = from_utf8(device.pictures());

  album->open_command_line(join_command_line({pictures + u"/Holiday/sea.jpg", u"ignored"}));
  ASSERT_EQ(rig.host().stack.size(), 2u);
  auto* folder = dynamic_cast<FolderScreen*>(rig.host().stack[0]);
  auto* image = dynamic_cast<ImageScreen*>(rig.host().stack[1]);
  ASSERT_TRUE(folder && image);
  EXPECT_EQ(app.fronts, 1);
  // The folder list's record: its paths keep the pictures folder's macro.
  EXPECT_EQ(folder->pictures(), (std::vector<std::u16string>{u"%my_documents%/Holiday/beach.jpg",
                                                             u"%my_documents%/Holiday/sea.jpg"}));
  EXPECT_EQ(image->viewer().pictures(), folder->pictures());
  EXPECT_EQ(image->viewer().index(), 1u);
  EXPECT_EQ(image->viewer().drive(), u"%my_documents%/");

  album->open_command_line(join_command_line({pictures + u"/Trip/b.jfif"}));
  EXPECT_EQ(rig.host().stack, (std::vector<ScreenRoot*>{folder, image}));
  EXPECT_EQ(folder->pictures(), std::vector<std::u16string>{u"%my_documents%/Trip/a.jpg"});
  EXPECT_EQ(
      image->viewer().pictures(),
      (std::vector<std::u16string>{u"%my_documents%/Trip/a.jpg", u"%my_documents%/Trip/b.jfif"}));
  EXPECT_EQ(image->viewer().index(), 1u);

  album->open_command_line(join_command_line({pictures + u"/Holiday/"}));
  EXPECT_EQ(rig.host().stack, std::vector<ScreenRoot*>{folder});
  EXPECT_EQ(folder->pictures().size(), 2u);
  EXPECT_TRUE(app.messages.empty());
}

TEST_F(AlbumCommandLineTest, WhatCannotBeOpenedIsToldOverTheAlbum) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put_broken("Holiday/notes.jpg");
  start();
  const std::u16string pictures = from_utf8(device.pictures());
  album->open_command_line(join_command_line({pictures + u"/Holiday"}));
  ASSERT_EQ(rig.host().stack.size(), 1u);

  album->open_command_line(join_command_line({pictures + u"/Holiday/notes.jpg"}));
  EXPECT_TRUE(rig.host().stack.empty());
  album->open_command_line(join_command_line({pictures + u"/Holiday/gone.jpg"}));
  EXPECT_EQ(app.messages,
            (std::vector<std::u16string>{
                u"Lumiview shows JPEG pictures and folders. This is neither:\n" + pictures +
                    u"/Holiday/notes.jpg",
                u"There is no such picture or folder:\n" + pictures + u"/Holiday/gone.jpg"}));
  // An empty command line (a plain second start) only raises the window.
  album->open_command_line(u"");
  EXPECT_EQ(app.fronts, 4);
  EXPECT_EQ(app.messages.size(), 2u);
}

}  // namespace
}  // namespace lv::test::screens
