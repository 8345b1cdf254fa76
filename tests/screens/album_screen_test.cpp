// The album screen: the first start, the search with its placeholders, rows
// with their thumbnails, progress and the search button, the main menu and
// its commands, keys, the filter field, a command line that opens a picture
// or a folder, and a new skin that rebuilds the screen or is refused. The
// screen is looked at as a user would: its parts by their skin ids, the
// menu as the screen on top, a row's look by its pixels.

#include "screens/album_screen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/log_capture.h"
#include "library/cache_file.h"
#include "platform/text.h"
#include "screens/album_element.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"
#include "screens/required_element.h"
#include "screens/screens_test_support.h"
#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/label_edit_element.h"
#include "widgets/list_element.h"
#include "widgets/menu_screen.h"
#include "widgets/progress.h"

namespace lv::test::screens {
namespace {

using Paths = std::vector<std::u16string>;

class AlbumScreenTest : public BrowsingTest {
 protected:
  // The library (reading the folder list left by an earlier one), the
  // skin for the screen size, and the screen.
  void start(Size screen = {240, 320}, int32_t dpi = 96) {
    size = screen;
    if (!library) library = manual_library(device);
    ASSERT_TRUE(load_default_skin(skin, size, dpi));
    album = std::make_unique<AlbumScreen>(skin, *library, app);
    rig.host().client_size = size;
    album->layout(size);
  }
  // The default skin again at twice the resolution, and sent.
  void reload_double_scale() {
    ASSERT_TRUE(skin.load_skin(from_utf8(binary_path("skins/bin/default.skin")),
                               ScreenInfo{size.width, size.height, 0, 0, 0, 0, 4, 192}));
    skin.send_reload_skin();
  }
  // The search the user asks for, run to its end and reported.
  void search() {
    ask_for_search();
    ASSERT_TRUE(library->status().search_pending);
    library->search();
    tick();
  }
  void ask_for_search() { rig.tap(*album, centre_of(search_button())); }
  // Every queued picture made, each reported at the next tick.
  int make_all_thumbnails() {
    int made = 0;
    for (; library->create_cache(); ++made) tick();
    return made;
  }
  void tick(double seconds = 0.04) { rig.tick(*album, seconds); }
  const Surface& render() { return rig.render(*album, size); }

  ListElement& list() { return required_element<ListElement>(*album, u"listApps"); }
  ButtonElement& search_button() { return required_element<ButtonElement>(*album, u"btnSearch"); }
  ProgressElement& progress() { return required_element<ProgressElement>(*album, u"progress"); }
  // What the screen shows besides its rows: "rows N" while the list shows,
  // "warning" (its text and picture), the progress while it shows, and
  // "searching" while the search button waits.
  std::string state() {
    std::string shown;
    if (list().visible()) shown += " rows " + std::to_string(list().count());
    if (album->find_required(u"warning_text").visible() &&
        album->find_required(u"warning_image").visible())
      shown += " warning";
    char value[32];
    std::snprintf(value, sizeof value, " progress %g", progress().value());
    if (progress().visible()) shown += value;
    if (!search_button().effectively_enabled()) shown += " searching";
    return shown.empty() ? shown : shown.substr(1);
  }
  // The main menu, opened by its button.
  MenuScreen& open_menu() {
    rig.tap(*album, centre_of(album->find_required(u"btnMenu")));
    auto* menu =
        rig.host().stack.empty() ? nullptr : dynamic_cast<MenuScreen*>(rig.host().stack.back());
    if (!menu) throw std::runtime_error("no menu opened");
    return *menu;
  }
  // Text typed into the filter field, as the edit box hands it over.
  void type(std::u16string_view text) {
    required_element<LabelEditElement>(*album, u"editFilter").edit()->set_text(text);
  }
  // The names of the folders the list shows.
  std::u16string shown_folders() {
    render();
    std::u16string folders;
    for (int32_t i = 0; i < list().count(); ++i)
      if (AlbumElement* r = row(i)) folders += text_of(*r, u"name") + u" ";
    return folders;
  }
  // Whether a tap in the middle of a realised row opens its folder.
  bool tap_opens(int32_t index, const std::u16string& folder) {
    start_fresh_log();
    rig.tap(*album, {size.width / 2, list().row_top(*list().row(index)) + 30});
    return log_has(u"album open folder %my_documents%/" + folder);
  }

  AlbumElement* row(int32_t index) { return dynamic_cast<AlbumElement*>(list().row(index)); }
  static ImageElement& image_of(const AlbumElement& row) {
    return required_element<ImageElement>(row, u"image");
  }
  // Screen position of a point of a realised row's image.
  Point on_screen(const AlbumElement& row, Point inside) {
    const Element& image = image_of(row);
    return {list().position().x + image.position().x + inside.x,
            list().row_top(row) + image.position().y + inside.y};
  }
  // What row `index` shows in its image, told by a pixel of the rendered
  // screen: "loading", "thumbnail" or "other". The skin at scale 0.
  std::string look(int32_t index, Point inside = {32, 20}) {
    render();
    AlbumElement* r = row(index);
    if (!r) return "no row";
    const uint16_t shown = rig.pixel(on_screen(*r, inside));
    const Surface* loading =
        required_element<ImageElement>(*r, u"loading").picture().bitmap->surface();
    if (loading && shown == loading->pixel(uint32_t(inside.x), uint32_t(inside.y)))
      return "loading";
    const auto thumbnail = load_thumbnail(r->record().key_picture, r->record().drive);
    return thumbnail && thumbnail->surface() &&
                   shown == (thumbnail->surface()->pixel(uint32_t(inside.x), uint32_t(inside.y)) |
                             rgb565::kOpaqueBit)
               ? "thumbnail"
               : "other";
  }

  std::unique_ptr<AlbumScreen> album;
};

TEST_F(AlbumScreenTest, ASearchShowsBlankRowsThatOpenNothingUntilItCompletes) {
  device.put_all({"Holiday/beach.jpg", "Holiday/sunset.jpg", "Family/home.jpg"});
  start();
  search();
  EXPECT_EQ(shown_folders(), u"Family Holiday ");
  EXPECT_TRUE(tap_opens(1, u"Holiday/"));

  device.put("Garden/rose.jpg", kPictureD);
  ask_for_search();
  EXPECT_FALSE(tap_opens(1, u"Holiday/"));
  // The list keeps its count; rows made now are blank and as high as a
  // folder row.
  EXPECT_EQ(state(), "rows 2 searching");
  std::unique_ptr<ListRow> placeholder = album->create_row(list(), 0);
  ASSERT_TRUE(placeholder && !dynamic_cast<AlbumElement*>(placeholder.get()));
  EXPECT_EQ(placeholder->child_count(), 0u);
  EXPECT_EQ(placeholder->height_range().preferred, row(0)->height_range().preferred);

  library->search();
  tick();
  EXPECT_EQ(state(), "rows 3");
  EXPECT_EQ(shown_folders(), u"Family Garden Holiday ");
}

// The first start shows the warning and searches nothing until asked.
TEST_F(AlbumScreenTest, TheFirstStartAndASearchThatFindsNothingShowTheWarning) {
  start();
  for (int i = 0; i < 5; ++i) tick();
  EXPECT_EQ(state(), "warning");
  EXPECT_EQ(text_of(*album, u"warning_text"), skin.language().lookup(u"WARNING_MESSAGE"));
  EXPECT_FALSE(library->status().search_pending);
  search();
  // No folder and no picture queued, so no cache_complete will come.
  EXPECT_EQ(state(), "warning");

  // A folder list that becomes empty during a search does the same.
  device.put("Trip/one.jpg", kPictureA);
  search();
  EXPECT_EQ(state(), "rows 1");
  ask_for_search();
  library->set_folder_size(u"%my_documents%/Trip/one.jpg", 0);
  tick();
  EXPECT_EQ(album->create_row(list(), 0), nullptr) << "a placeholder: still searching";
  EXPECT_EQ(state(), "warning searching");  // the search asked for is still to come
}

TEST_F(AlbumScreenTest, RowsShowLoadingThenTheThumbnailCutByTheFrame) {
  device.put_all({"Holiday/beach.jpg", "Holiday/sunset.jpg", "home.jpg"});
  start();
  search();
  EXPECT_EQ(shown_folders(), u"My documents Holiday ");

  // Before the worker: the "loading" art, 1:1 in the 64 x 64 image.
  ASSERT_EQ(image_of(*row(1)).size(), (Size{64, 64}));
  EXPECT_EQ(look(1), "loading");

  EXPECT_EQ(make_all_thumbnails(), 3);
  for (const Point at : {Point{45, 33}, Point{8, 8}}) EXPECT_EQ(look(1, at), "thumbnail");
  // The frame's transparent corner cuts the photograph away.
  EXPECT_EQ(rig.pixel(on_screen(*row(1), {0, 0})), rgb565::from_rgb888(0x10, 0x16, 0x1e));
  // A new screen finds the cache files and queues nothing.
  album = std::make_unique<AlbumScreen>(skin, *library, app);
  EXPECT_EQ(look(1), "thumbnail");
  EXPECT_EQ(library->status().queued, 0);
}

TEST_F(AlbumScreenTest, ProgressShowsWhileThumbnailsAreMadeAndTheButtonWaitsForTheSearch) {
  device.put_all({"A/a.jpg", "B/b.jpg", "C/c.jpg"});
  start();
  search();
  EXPECT_EQ(state(), "rows 3");
  ASSERT_TRUE(library->create_cache());
  tick();
  EXPECT_EQ(state(), "rows 3 progress 0.333333");
  // A search asked for now: the pictures queued before it finish first, and
  // their cache_complete leaves the button off until the search is done.
  ask_for_search();
  make_all_thumbnails();
  EXPECT_EQ(state(), "rows 3 searching");
  library->search();
  tick();
  EXPECT_EQ(state(), "rows 3");
}

// --- The filter field ----------------------------------------------------------------

TEST_F(AlbumScreenTest, TypingAFilterLeavesTheFoldersWhoseNameHoldsTheTextAndRowsStayTheirs) {
  device.put_all({"Austria/a.jpg", "Holiday/b.jpg", "Trip/c.jpg", "Winter/d.jpg"});
  start();
  search();
  start_fresh_log();
  type(u"TRI");
  EXPECT_EQ(shown_folders(), u"Austria Trip ");
  EXPECT_TRUE(log_has(u"album filter TRI 2 of 4"));
  // The second row is Trip's: its thumbnail, and a tap opens Trip.
  make_all_thumbnails();
  EXPECT_EQ(look(1), "thumbnail");
  EXPECT_TRUE(tap_opens(1, u"Trip/"));

  type(u"zz");
  EXPECT_EQ(state(), "rows 0") << "folders are known: no warning";
  type(u"");
  EXPECT_EQ(list().count(), 4);
}

// --- The command line ----------------------------------------------------------------

// A picture opens on the image screen over its folder's screen (the folder
// list's own record when it has the folder), a folder on the folder screen;
// what was open above the album goes first.
TEST_F(AlbumScreenTest, ACommandLinePathReplacesWhatWasOpenAboveTheAlbum) {
  device.put_all({"Holiday/beach.jpg", "Holiday/sea.jpg", "Trip/a.jpg"});
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
  EXPECT_EQ(folder->pictures(),
            (Paths{u"%my_documents%/Holiday/beach.jpg", u"%my_documents%/Holiday/sea.jpg"}));
  EXPECT_EQ(image->viewer().pictures(), folder->pictures());
  EXPECT_EQ(image->viewer().index(), 1u);
  EXPECT_EQ(image->viewer().drive(), u"%my_documents%/");

  album->open_command_line(join_command_line({pictures + u"/Trip/b.jfif"}));
  EXPECT_EQ(rig.host().stack, (std::vector<ScreenRoot*>{folder, image}));
  EXPECT_EQ(folder->pictures(), Paths{u"%my_documents%/Trip/a.jpg"});
  EXPECT_EQ(image->viewer().pictures(),
            (Paths{u"%my_documents%/Trip/a.jpg", u"%my_documents%/Trip/b.jfif"}));
  EXPECT_EQ(image->viewer().index(), 1u);

  album->open_command_line(join_command_line({pictures + u"/Holiday/"}));
  EXPECT_EQ(rig.host().stack, std::vector<ScreenRoot*>{folder});
  EXPECT_EQ(folder->pictures().size(), 2u);
  EXPECT_TRUE(app.messages.empty());

  // What cannot be opened is told over the album; an empty command line (a
  // plain second start) only raises the window.
  device.put_broken("Notes/notes.jpg");
  for (const std::u16string& path : {pictures + u"/Notes/notes.jpg", pictures + u"/gone.jpg"})
    album->open_command_line(join_command_line({path}));
  album->open_command_line(u"");
  EXPECT_TRUE(rig.host().stack.empty());
  EXPECT_EQ(app.fronts, 6);
  EXPECT_EQ(app.messages,
            (Paths{u"Lumiview shows JPEG pictures and folders. This is neither:\n" + pictures +
                       u"/Notes/notes.jpg",
                   u"There is no such picture or folder:\n" + pictures + u"/gone.jpg"}));
}

// --- A new skin ------------------------------------------------------------------------

// The change chosen from the screen's own menu, which is still open then,
// during a search with thumbnails half made.
TEST_F(AlbumScreenTest, ANewSkinRebuildsTheScreenKeepingItsState) {
  device.put_all({"A/a.jpg", "B/b.jpg"});
  start();
  search();
  render();
  ASSERT_TRUE(library->create_cache());
  tick();
  ask_for_search();
  ASSERT_EQ(list().rect().top, 55);
  app.several_skins = true;
  app.on_choose = [&](std::u16string_view id) {
    if (id == u"Skin#other") reload_double_scale();
    return id == u"Skin#other";
  };
  MenuScreen* old_menu = &open_menu();
  old_menu->row_clicked(old_menu->list(), 1);  // "Skin"
  rig.tick(*old_menu, 0.5);
  render();
  old_menu->row_clicked(old_menu->list(), 1);  // "Skin#other"
  EXPECT_EQ(app.chosen, Paths{u"Skin#other"});
  EXPECT_TRUE(rig.host().stack.empty());
  tick();
  EXPECT_EQ(list().rect().top, 110) << "laid out again at once";
  EXPECT_EQ(state(), "rows 2 progress 0.5 searching");
  render();
  // Still searching: rows are blank, as high as the new skin's rows.
  ASSERT_TRUE(list().row(0) && !row(0));
  EXPECT_EQ(list().row(0)->size().height, 152);
  EXPECT_NE(&open_menu(), old_menu) << "the menu is made again from the new skin";
}

// A skin with every node the screens need but the album's rows, its
// progress bar named as given.
std::string skin_without_rows(const std::string& progress_id) {
  // Skin source for the children "type id type id ...".
  const auto nodes = [](const std::string& list) {
    std::istringstream in(list);
    std::string text;
    for (std::string type, id; in >> type >> id;)
      text += (text.empty() ? "" : ", ") + skin_node(type, id);
    return text;
  };
  std::string cells;
  for (char c = '0'; c < '6'; ++c)
    cells += skin_node("button", std::string("button") + c, skin_node("image", "image")) + ", ";
  return R"({"Main": {"children": [)" +
         nodes("button btnSearch button btnMenu vlist listApps progress " + progress_id +
               " image warning_image text warning_text") +
         R"(]}, "Menu": {"children": [)" + nodes("node panel vlist vlist") +
         R"(]}, "Folder": {"children": [)" +
         nodes(
             "button btnBack vlist listFolder progress progress text btnText image bad image "
             "loading") +
         R"(]}, "FolderElement": {"children": [)" + cells + nodes("image bad image loading") +
         "]}, " + minimal_image_node() + "}";
}

// A skin that lacks what the screen needs throws before anything changes,
// and leaves no listener of a screen that was never made.
TEST_F(AlbumScreenTest, ASkinWithoutWhatTheScreenNeedsIsRefusedAndChangesNothing) {
  device.put("A/a.jpg", kPictureA);
  start();
  search();
  render();
  const ListElement* before = &list();
  TestSkin others[2];
  const auto switch_to = [&](int which, const std::string& progress_id) {
    return others[which].load_nodes(skin_without_rows(progress_id)) &&
           skin.load_skin(from_utf8(others[which].folder() + "/../bin/test.skin"),
                          ScreenInfo{size.width, size.height, 0, 0, 0, 0, 4, 96});
  };
  ASSERT_TRUE(switch_to(0, "bar"));
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

  ASSERT_TRUE(switch_to(1, "progress"));
  try {
    AlbumScreen screen(skin, *library, app);
    ADD_FAILURE() << "built without a row node";
  } catch (const jobser::NodeNotFoundInSkin& missing) {
    EXPECT_EQ(missing.node_name(), u"AlbumElement");
  }
  library->poll();
  album.reset();
  skin.send_reload_skin();
}

}  // namespace
}  // namespace lv::test::screens
