// The album screen's states and library events: the first start, the
// search with its placeholders, the search that finds nothing, row clicks,
// progress and the search button, the main menu and its commands, keys,
// and the rebuild from a new skin.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "album_test_fixture.h"
#include "base/log_capture.h"
#include "base/settings.h"
#include "platform/text.h"
#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "widgets/menu_row.h"
#include "widgets/menu_screen.h"
#include "widgets/progress.h"
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
  tick();
  render();
  EXPECT_EQ(album->folder_count(), 0);
  EXPECT_FALSE(album->list().visible());
  Element& text = album->find_required(u"warning_text");
  EXPECT_TRUE(text.visible());
  EXPECT_TRUE(album->find_required(u"warning_image").visible());
  EXPECT_EQ(dynamic_cast<TextElement&>(text).text(), skin.language().lookup(u"WARNING_MESSAGE"));
  EXPECT_FALSE(album->progress().visible());
  EXPECT_TRUE(album->search_button().effectively_enabled());
  // Nothing is searched until the user asks.
  for (int i = 0; i < 5; ++i) tick();
  EXPECT_FALSE(library->status().search_pending);
  EXPECT_FALSE(fs::exists(device.folders_file()));

  // The warning's text is drawn: its rectangle holds light ink.
  const Rect area = text.rect();
  ASSERT_FALSE(area.empty());
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
  EXPECT_FALSE(album->searching());
  EXPECT_EQ(album->folder_count(), 2);
  render();
  ASSERT_NE(row(0), nullptr);
  EXPECT_EQ(row(0)->record().folder, u"%my_documents%/Family/");
  EXPECT_EQ(row(1)->record().size, 2);

  device.put("Garden/rose.jpg", kPictureD);
  rig.tap(*album, centre_of(album->search_button()));
  EXPECT_TRUE(album->searching());
  EXPECT_FALSE(album->search_button().effectively_enabled());
  EXPECT_TRUE(library->status().search_pending);
  // The list keeps its count; rows made now are blank and as high as a
  // folder row.
  EXPECT_EQ(album->list().count(), 2);
  std::unique_ptr<ListRow> placeholder = album->create_row(album->list(), 0);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(dynamic_cast<AlbumElement*>(placeholder.get()), nullptr);
  EXPECT_EQ(placeholder->child_count(), 0u);
  EXPECT_EQ(placeholder->height_range().preferred, row(0)->height_range().preferred);

  library->search();
  tick();
  EXPECT_FALSE(album->searching());
  EXPECT_TRUE(album->search_button().effectively_enabled());
  EXPECT_EQ(album->list().count(), 3);
  render();
  ASSERT_NE(row(2), nullptr);
  EXPECT_EQ(row(0)->record().folder, u"%my_documents%/Family/");
  EXPECT_EQ(row(1)->record().folder, u"%my_documents%/Garden/");
  EXPECT_EQ(row(2)->record().folder, u"%my_documents%/Holiday/");
}

TEST_F(AlbumScreenTest, SearchThatFindsNothingEndsTheSearchingState) {
  start();
  tick();
  search();
  // search_complete with no folder: the flag is cleared, the list has its
  // real count, the warning shows and the button works again (no picture
  // was queued, so no cache_complete will come).
  EXPECT_FALSE(album->searching());
  EXPECT_EQ(album->list().count(), 0);
  EXPECT_TRUE(album->find_required(u"warning_text").visible());
  EXPECT_TRUE(album->search_button().effectively_enabled());

  // A folder list that becomes empty does the same.
  device.put("Trip/one.jpg", kPictureA);
  search();
  ASSERT_EQ(album->folder_count(), 1);
  EXPECT_FALSE(album->find_required(u"warning_text").visible());
  rig.tap(*album, centre_of(album->search_button()));
  ASSERT_TRUE(album->searching());
  library->set_folder_size(u"%my_documents%/Trip/one.jpg", 0);
  tick();
  EXPECT_FALSE(album->searching());
  EXPECT_EQ(album->list().count(), 0);
  EXPECT_FALSE(album->list().visible());
  EXPECT_TRUE(album->find_required(u"warning_image").visible());
}

TEST_F(AlbumScreenTest, RowClicksOpenTheFolderExceptDuringASearch) {
  device.put("Family/home.jpg", kPictureC);
  device.put("Holiday/beach.jpg", kPictureA);
  start();
  search();
  render();
  start_fresh_log();
  AlbumElement* holiday = row(1);
  ASSERT_NE(holiday, nullptr);
  const Point middle{size.width / 2, album->list().row_top(*holiday) + 30};
  rig.tap(*album, middle);
  EXPECT_TRUE(log_has(u"album open folder %my_documents%/Holiday/"));

  rig.tap(*album, centre_of(album->search_button()));
  ASSERT_TRUE(album->searching());
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
  render();
  EXPECT_TRUE(album->search_button().effectively_enabled());
  EXPECT_FALSE(album->progress().visible());

  ASSERT_TRUE(library->create_cache());
  tick();
  ProgressElement& progress = album->progress();
  EXPECT_TRUE(progress.visible());
  EXPECT_DOUBLE_EQ(progress.value(), 1.0 / 3.0);
  render();
  ASSERT_NE(progress.line(), nullptr);
  EXPECT_EQ(progress.line()->size().width, size.width / 3);

  // A search asked for now: the pictures queued before it finish first, and
  // their cache_complete leaves the button off until the search is done.
  rig.tap(*album, centre_of(album->search_button()));
  EXPECT_FALSE(album->search_button().effectively_enabled());
  make_all_thumbnails();
  EXPECT_FALSE(progress.visible());
  EXPECT_EQ(library->status().progress_maximum, 0);
  EXPECT_FALSE(album->search_button().effectively_enabled());
  library->search();
  tick();
  EXPECT_TRUE(album->search_button().effectively_enabled());
  EXPECT_FALSE(progress.visible());
}

TEST_F(AlbumScreenTest, MainMenuOffersLanguageAndSkinOnlyWhenThereAreSeveral) {
  start();
  tick();
  rig.tap(*album, centre_of(album->menu_button()));
  MenuScreen& menu = album->main_menu();
  ASSERT_EQ(rig.host().stack.size(), 1u);
  EXPECT_EQ(rig.host().stack[0], &menu);
  EXPECT_EQ(keys_of(menu.items()), (std::vector<std::u16string>{u"Magic4Buttons", u"Cancel"}));
  EXPECT_EQ(menu.items()[0].style, u"MenuElement4Buttons");
  EXPECT_EQ(menu.items()[1].style, u"");  // the ordinary row: red is for deleting
  // Cancel closes it.
  menu.row_clicked(menu.list(), 1);
  EXPECT_TRUE(rig.host().stack.empty());

  app.several_languages = true;
  app.several_skins = true;
  rig.tap(*album, centre_of(album->menu_button()));
  EXPECT_EQ(keys_of(menu.items()),
            (std::vector<std::u16string>{u"Magic4Buttons", u"Language", u"Skin", u"Cancel"}));
  menu.row_clicked(menu.list(), 1);
  EXPECT_EQ(keys_of(menu.items()),
            (std::vector<std::u16string>{u"Language#english", u"Language#russian", u"Cancel"}));
  EXPECT_EQ(menu.items()[2].style, u"");
  menu.row_clicked(menu.list(), 1);
  EXPECT_EQ(app.chosen, (std::vector<std::u16string>{u"Language#russian"}));
  EXPECT_TRUE(rig.host().stack.empty());

  app.several_languages = false;
  rig.tap(*album, centre_of(album->menu_button()));
  EXPECT_EQ(keys_of(menu.items()),
            (std::vector<std::u16string>{u"Magic4Buttons", u"Skin", u"Cancel"}));
  menu.row_clicked(menu.list(), 1);
  EXPECT_EQ(keys_of(menu.items()),
            (std::vector<std::u16string>{u"Skin#default", u"Skin#other", u"Cancel"}));
}

TEST_F(AlbumScreenTest, FourButtonRowWorksTheCommands) {
  start();
  tick();
  auto open_and_press = [&](std::u16string_view id) {
    rig.tap(*album, centre_of(album->menu_button()));
    MenuScreen& menu = album->main_menu();
    for (int i = 0; i < 10; ++i) rig.tick(menu, 0.05);
    rig.render(*album, size);
    auto* buttons = dynamic_cast<MenuRow*>(menu.list().row(0));
    ASSERT_NE(buttons, nullptr);
    ButtonElement* button = buttons->button(id);
    ASSERT_NE(button, nullptr) << to_utf8(std::u16string(id));
    const Rect r = button->rect();
    const Point centre{menu.list().position().x + (r.left + r.right) / 2,
                       menu.list().row_top(*buttons) + (r.top + r.bottom) / 2};
    rig.tap(menu, centre);
    EXPECT_TRUE(rig.host().stack.empty()) << "an action closes the menu";
  };
  open_and_press(u"Exit");
  EXPECT_EQ(app.quits, 1);
  open_and_press(u"About");
  EXPECT_EQ(app.abouts, 1);
  open_and_press(u"Minimize");
  EXPECT_EQ(app.minimizes, 1);
  open_and_press(u"Help");
  ASSERT_EQ(app.documents.size(), 1u);
  EXPECT_EQ(app.documents[0], app_path() + u"/help/english.html");
  EXPECT_EQ(app.quits, 1);
}

TEST_F(AlbumScreenTest, SoftKeysWorkTheButtons) {
  start();
  tick();
  EXPECT_TRUE(album->on_key({kKeySoftLeft, true, true}));
  EXPECT_FALSE(album->searching()) << "a bound key clicks on its release";
  EXPECT_TRUE(album->on_key({kKeySoftLeft, false, true}));
  EXPECT_TRUE(album->searching());
  EXPECT_TRUE(library->status().search_pending);
  // Disabled now: the key does nothing more.
  album->on_key({kKeySoftLeft, true, true});
  album->on_key({kKeySoftLeft, false, true});
  EXPECT_TRUE(album->searching());

  EXPECT_TRUE(album->on_key({kKeySoftRight, true, true}));
  EXPECT_TRUE(rig.host().stack.empty());
  EXPECT_TRUE(album->on_key({kKeySoftRight, false, true}));
  ASSERT_EQ(rig.host().stack.size(), 1u);
  EXPECT_EQ(rig.host().stack[0], &album->main_menu());
  EXPECT_FALSE(album->on_key({kKeyEnter, true, true}));
}

}  // namespace
}  // namespace lv::test::screens
