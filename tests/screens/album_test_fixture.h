#pragma once

// The album screen over the real default skin, a fake application and a
// photo library on a temporary device whose worker steps the test runs.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library/photo_library.h"
#include "screens/album_element.h"
#include "screens/album_screen.h"
#include "screens/screens_test_support.h"
#include "support/test_env.h"
#include "widgets/list_element.h"

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

  // The search the user asks for, run to its end and reported.
  void search() {
    rig.tap(*album, centre_of(album->search_button()));
    ASSERT_TRUE(album->searching());
    library->search();
    tick();
  }
  // Every queued picture made, each reported at the next tick.
  int make_all_thumbnails() {
    int made = 0;
    while (library->create_cache()) {
      ++made;
      tick();
    }
    return made;
  }

  void tick(double seconds = 0.04) { rig.tick(*album, seconds); }
  const Surface& render() { return rig.render(*album, size); }

  AlbumElement* row(int32_t index) { return dynamic_cast<AlbumElement*>(album->list().row(index)); }
  // Screen position of a point of a realised row's child, given in the
  // child's own coordinates.
  Point on_screen(const ListRow& row, const Element& child, Point inside) {
    ListElement& list = album->list();
    return {list.position().x + child.position().x + inside.x,
            list.row_top(row) + child.position().y + inside.y};
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
