#pragma once

// The album screen over the real default skin, a fake application and a
// photo library on a temporary device whose worker steps the test runs.
// The screen is looked at as a user would: its parts by their skin ids,
// the menu as the screen on top, a row's look by its pixels.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library/cache_file.h"
#include "library/photo_library.h"
#include "platform/text.h"
#include "screens/album_element.h"
#include "screens/album_screen.h"
#include "screens/required_element.h"
#include "screens/screens_test_support.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"
#include "widgets/menu_screen.h"
#include "widgets/progress.h"

namespace lv::test::screens {

class AlbumTest : public ::testing::Test {
 protected:
  void SetUp() override { LV_REQUIRE_TESTDATA(); }
  void TearDown() override {
    album.reset();
    library.reset();
  }

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
    rig.tap(*album, centre_of(search_button()));
    ASSERT_TRUE(library->status().search_pending);
    library->search();
    tick();
  }
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
  bool warning_shown() { return album->find_required(u"warning_text").visible(); }
  // The main menu, opened by its button.
  MenuScreen& open_menu() {
    rig.tap(*album, centre_of(album->find_required(u"btnMenu")));
    auto* menu =
        rig.host().stack.empty() ? nullptr : dynamic_cast<MenuScreen*>(rig.host().stack.back());
    if (!menu) throw std::runtime_error("no menu opened");
    return *menu;
  }
  // A tap in the middle of a realised row.
  void tap_row(int32_t index) {
    rig.tap(*album, {size.width / 2, list().row_top(*list().row(index)) + 30});
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
  // screen: "loading", "bad", "thumbnail" (its key picture's) or "other".
  // The skin at scale 0.
  std::string look(int32_t index, Point inside = {32, 20}) {
    render();
    AlbumElement* r = row(index);
    if (!r) return "no row";
    const uint16_t shown = rig.pixel(on_screen(*r, inside));
    for (const char16_t* art : {u"loading", u"bad"}) {
      const Surface* pixels = required_element<ImageElement>(*r, art).picture().bitmap->surface();
      if (pixels && shown == pixels->pixel(uint32_t(inside.x), uint32_t(inside.y)))
        return to_utf8(art);
    }
    const auto thumbnail = load_thumbnail(r->record().key_picture, r->record().drive);
    if (thumbnail && thumbnail->surface() &&
        shown == (thumbnail->surface()->pixel(uint32_t(inside.x), uint32_t(inside.y)) |
                  rgb565::kOpaqueBit))
      return "thumbnail";
    return "other";
  }

  PictureDevice device;
  FakeAppServices app;
  ScreenRig rig;
  Properties skin;
  std::unique_ptr<PhotoLibrary> library;
  std::unique_ptr<AlbumScreen> album;
  Size size;
};

}  // namespace lv::test::screens
