// The album screen and its skin: a skin or language change rebuilds it from
// the new skin with its state kept (also when the change is chosen from its
// own menu, which is still open then), and a skin that lacks what the screen
// needs throws before anything changes.

#include <gtest/gtest.h>

#include <string>

#include "album_test_fixture.h"
#include "platform/text.h"
#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "support/test_env.h"
#include "widgets/menu_screen.h"
#include "widgets/progress.h"

namespace lv::test::screens {
namespace {

// A skin just big enough for the checks that come before the row node, its
// progress bar named as given.
// The folder screen's nodes, so that only the album's own needs are missing.
std::string folder_cells() {
  std::string cells;
  for (char c = '0'; c < '6'; ++c)
    cells += std::string(R"({"string": {"type": "button", "id": "button)") + c +
             R"("}, "children": [{"string": {"type": "image", "id": "image"}}]},)";
  return cells;
}

std::string skin_without_rows(const std::string& progress_id = "progress") {
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
         folder_cells() + R"(
   {"string": {"type": "image", "id": "bad"}}, {"string": {"type": "image", "id": "loading"}}]},
 )" + minimal_image_node() +
         R"(
})";
}

class AlbumReloadTest : public AlbumTest {
 protected:
  // The default skin again, for a screen of another resolution: every
  // point of the new skin is twice what it was.
  bool switch_to_double_scale() {
    ScreenInfo info;
    info.width = size.width;
    info.height = size.height;
    info.dpi = 192;
    return skin.load_skin(from_utf8(binary_path("skins/bin/default.skin")), info);
  }
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
  rig.tap(*album, centre_of(album->search_button()));
  ASSERT_TRUE(album->searching());
  ASSERT_TRUE(album->progress().visible());
  const MenuScreen* old_menu = &album->main_menu();

  ASSERT_EQ(album->list().rect().top, 55);
  ASSERT_TRUE(switch_to_double_scale());
  skin.send_reload_skin();
  EXPECT_TRUE(album->searching());
  EXPECT_FALSE(album->search_button().effectively_enabled());
  EXPECT_TRUE(album->progress().visible());
  EXPECT_DOUBLE_EQ(album->progress().value(), 0.5);
  EXPECT_EQ(album->list().count(), 2);
  EXPECT_TRUE(album->list().visible());
  EXPECT_FALSE(album->find_required(u"warning_text").visible());
  render();
  EXPECT_EQ(album->list().rect().top, 110);
  // Rows made during the search are blank, as high as the new skin's rows.
  ASSERT_NE(album->list().row(0), nullptr);
  EXPECT_EQ(row(0), nullptr);
  EXPECT_EQ(album->list().row(0)->size().height, 152);

  // The menu is made again from the new skin, and used from the next opening.
  EXPECT_EQ(&album->main_menu(), old_menu);
  rig.tap(*album, centre_of(album->menu_button()));
  EXPECT_NE(&album->main_menu(), old_menu);
  ASSERT_EQ(rig.host().stack.size(), 1u);
  EXPECT_EQ(rig.host().stack[0], &album->main_menu());
}

TEST_F(AlbumReloadTest, SkinChosenFromItsOwnMenu) {
  device.put("A/a.jpg", kPictureA);
  start();
  search();
  render();
  app.several_skins = true;
  app.on_choose = [&](std::u16string_view id) {
    if (id != u"Skin#other" || !switch_to_double_scale()) return false;
    skin.send_reload_skin();
    return true;
  };
  rig.tap(*album, centre_of(album->menu_button()));
  MenuScreen* menu = &album->main_menu();
  menu->row_clicked(menu->list(), 1);  // "Skin"
  ASSERT_EQ(menu->items().size(), 3u);
  rig.tick(*menu, 0.5);
  rig.render(*album, size);
  menu->row_clicked(menu->list(), 1);  // "Skin#other"
  EXPECT_EQ(app.chosen, (std::vector<std::u16string>{u"Skin#other"}));
  EXPECT_TRUE(rig.host().stack.empty());
  for (int i = 0; i < 3; ++i) tick();
  EXPECT_EQ(album->list().rect().top, 110) << "laid out again at once";
  render();
  ASSERT_NE(row(0), nullptr);
  EXPECT_EQ(row(0)->record().folder, u"%my_documents%/A/");
  rig.tap(*album, centre_of(album->menu_button()));
  EXPECT_EQ(album->main_menu().items().size(), 3u);
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
  const ListElement* list = &album->list();
  ASSERT_TRUE(switch_to(skin_without_rows("bar")));
  try {
    skin.send_reload_skin();
    ADD_FAILURE() << "rebuilt without a progress bar";
  } catch (const jobser::NodeNotFound& missing) {
    EXPECT_EQ(missing.sought_id(), u"progress");
  }
  EXPECT_EQ(&album->list(), list);
  library->create_cache();
  tick();
  render();
  EXPECT_EQ(row(0)->look(), AlbumElement::Look::thumbnail);
}

}  // namespace
}  // namespace lv::test::screens
