// The album screen and its skin: a skin or language change rebuilds it from
// the new skin with its state kept (also when the change is chosen from its
// own menu, which is still open then), and a skin that lacks what the screen
// needs throws before anything changes.

#include <gtest/gtest.h>

#include <string>

#include "album_test_fixture.h"
#include "skin/skin_exceptions.h"

namespace lv::test::screens {
namespace {

// A skin with every node the screens need but the album's rows, its
// progress bar named as given.
std::string skin_without_rows(const std::string& progress_id = "progress") {
  std::string cells;
  for (char c = '0'; c < '6'; ++c)
    cells += std::string(R"({"string": {"type": "button", "id": "button)") + c +
             R"("}, "children": [{"string": {"type": "image", "id": "image"}}]},)";
  return R"({
 "Main": {"children": [
   {"string": {"type": "button", "id": "btnSearch"}}, {"string": {"type": "button", "id": "btnMenu"}},
   {"string": {"type": "vlist", "id": "listApps"}},
   {"string": {"type": "progress", "id": ")" +
         progress_id + R"("}},
   {"string": {"type": "image", "id": "warning_image"}},
   {"string": {"type": "text", "id": "warning_text"}}]},
 "Menu": {"children": [{"string": {"type": "node", "id": "panel"}},
                       {"string": {"type": "vlist", "id": "vlist"}}]},
 "Folder": {"children": [
   {"string": {"type": "button", "id": "btnBack"}}, {"string": {"type": "vlist", "id": "listFolder"}},
   {"string": {"type": "progress", "id": "progress"}}, {"string": {"type": "text", "id": "btnText"}},
   {"string": {"type": "image", "id": "bad"}}, {"string": {"type": "image", "id": "loading"}}]},
 "FolderElement": {"children": [)" +
         cells + R"(
   {"string": {"type": "image", "id": "bad"}}, {"string": {"type": "image", "id": "loading"}}]},
 )" + minimal_image_node() +
         R"(
})";
}

class AlbumReloadTest : public AlbumTest {
 protected:
  bool switch_to(const std::string& nodes) {
    if (!other.load_nodes(nodes)) return false;
    ScreenInfo info;
    info.width = size.width;
    info.height = size.height;
    return skin.load_skin(from_utf8(other.folder() + "/../bin/test.skin"), info);
  }

  TestSkin other;
};

TEST_F(AlbumReloadTest, RebuildsFromTheNewSkinKeepingItsState) {
  device.put("A/a.jpg", kPictureA);
  device.put("B/b.jpg", kPictureB);
  start();
  search();
  render();
  ASSERT_TRUE(library->create_cache());
  tick();
  MenuScreen* old_menu = &open_menu();
  old_menu->row_clicked(old_menu->list(), 1);  // Cancel
  rig.tap(*album, centre_of(search_button()));
  ASSERT_TRUE(progress().visible());

  ASSERT_EQ(list().rect().top, 55);
  ASSERT_TRUE(load_double_scale());
  skin.send_reload_skin();
  EXPECT_FALSE(search_button().effectively_enabled());
  EXPECT_TRUE(progress().visible());
  EXPECT_DOUBLE_EQ(progress().value(), 0.5);
  EXPECT_EQ(list().count(), 2);
  EXPECT_TRUE(list().visible());
  EXPECT_FALSE(warning_shown());
  render();
  EXPECT_EQ(list().rect().top, 110);
  // Still searching: rows are blank, as high as the new skin's rows.
  ASSERT_NE(list().row(0), nullptr);
  EXPECT_EQ(row(0), nullptr);
  EXPECT_EQ(list().row(0)->size().height, 152);

  // The menu is made again from the new skin.
  EXPECT_NE(&open_menu(), old_menu);
}

TEST_F(AlbumReloadTest, SkinChosenFromItsOwnMenu) {
  device.put("A/a.jpg", kPictureA);
  start();
  search();
  render();
  app.several_skins = true;
  app.on_choose = [&](std::u16string_view id) {
    if (id != u"Skin#other" || !load_double_scale()) return false;
    skin.send_reload_skin();
    return true;
  };
  MenuScreen* menu = &open_menu();
  menu->row_clicked(menu->list(), 1);  // "Skin"
  ASSERT_EQ(menu->items().size(), 3u);
  rig.tick(*menu, 0.5);
  render();
  menu->row_clicked(menu->list(), 1);  // "Skin#other"
  EXPECT_EQ(app.chosen, (std::vector<std::u16string>{u"Skin#other"}));
  EXPECT_TRUE(rig.host().stack.empty());
  for (int i = 0; i < 3; ++i) tick();
  EXPECT_EQ(list().rect().top, 110) << "laid out again at once";
  render();
  ASSERT_NE(row(0), nullptr);
  EXPECT_EQ(row(0)->record().folder, u"%my_documents%/A/");
  EXPECT_EQ(open_menu().items().size(), 3u);
}

TEST_F(AlbumReloadTest, SkinWithoutWhatTheScreenNeedsThrows) {
  library = manual_library(device);
  ASSERT_TRUE(load_default_skin(skin, size = {240, 320}));
  ASSERT_TRUE(switch_to(skin_without_rows()));
  try {
    AlbumScreen screen(skin, *library, app);
    ADD_FAILURE() << "built without a row node";
  } catch (const jobser::NodeNotFoundInSkin& missing) {
    EXPECT_EQ(missing.node_name(), u"AlbumElement");
  }
  // No listener of a screen that was never made is left behind.
  library->poll();
  skin.send_reload_skin();
}

TEST_F(AlbumReloadTest, ReloadIntoASkinWithoutWhatTheScreenNeedsChangesNothing) {
  device.put("A/a.jpg", kPictureA);
  start();
  search();
  render();
  const ListElement* before = &list();
  ASSERT_TRUE(switch_to(skin_without_rows("bar")));
  try {
    skin.send_reload_skin();
    ADD_FAILURE() << "rebuilt without a progress bar";
  } catch (const jobser::NodeNotFound& missing) {
    EXPECT_EQ(missing.sought_id(), u"progress");
  }
  EXPECT_EQ(&list(), before);
  library->create_cache();
  tick();
  EXPECT_EQ(look(0), "thumbnail");
}

}  // namespace
}  // namespace lv::test::screens
