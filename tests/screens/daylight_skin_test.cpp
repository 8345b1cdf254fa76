// What the daylight skin promises beyond the screens' own needs. Every
// control of the album and folder screens and of the menus is a target of
// at least 48 units, and the album's and folder's controls sit in the bar at
// the bottom, on small and large screens in both orientations. And, as a
// light skin: no picture it draws with the colour key alone holds
// see-through pixels (drawn as they are, they come out as dark specks on the
// light faces), and the art painted on the bars meets the bars' own colour
// to the pixel.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_util.h"
#include "platform/text.h"
#include "screens/folder_grid.h"
#include "screens/screens_test_support.h"
#include "skin/bitmap_file.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/screen_root.h"
#include "widgets/skin_values.h"

namespace lv::test::screens {
namespace {

constexpr int32_t kTarget = 48;  // the smallest target, in skin units
constexpr int32_t kBar = 72;     // the bottom bar's height, in skin units

struct Shape {
  Size size;
  int32_t dpi;
  int32_t unit;  // screen pixels per skin unit
};
const Shape kShapes[] = {
    {{480, 800}, 96, 1}, {{800, 480}, 96, 1}, {{240, 320}, 96, 1}, {{480, 800}, 192, 2}};

std::string describe(const Shape& shape) {
  return std::to_string(shape.size.width) + "x" + std::to_string(shape.size.height) + " at " +
         std::to_string(shape.dpi);
}

// The visible buttons of a tree, buttons inside buttons included.
void visible_buttons(Element& element, std::vector<ButtonElement*>& out) {
  if (!element.visible()) return;
  if (auto* button = dynamic_cast<ButtonElement*>(&element)) out.push_back(button);
  for (size_t i = 0; i < element.child_count(); ++i) visible_buttons(element.child(i), out);
}

TEST(DaylightSkin, ControlsAreFingerSizedAndTheBrowsingOnesSitInTheBottomBar) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(describe(shape));
    Properties skin;
    ASSERT_TRUE(load_skin(skin, "daylight", shape.size, shape.dpi));
    const int32_t target = kTarget * shape.unit;
    const int32_t bar_top = shape.size.height - kBar * shape.unit;

    for (const char16_t* name : {u"Main", u"Folder"}) {
      ScreenRoot screen;
      screen.build(skin, name);
      screen.layout(shape.size);
      std::vector<ButtonElement*> buttons;
      visible_buttons(screen, buttons);
      EXPECT_EQ(buttons.size(), name == std::u16string_view(u"Main") ? 2u : 1u) << to_utf8(name);
      for (const ButtonElement* button : buttons) {
        const Rect r = button->rect();
        EXPECT_GE(r.width(), target) << to_utf8(button->id());
        EXPECT_GE(r.height(), target) << to_utf8(button->id());
        EXPECT_GE(r.top, bar_top) << to_utf8(button->id()) << " is not in the bottom bar";
        EXPECT_LE(r.bottom, shape.size.height) << to_utf8(button->id());
      }
      if (Element* filter = screen.find_by_id(u"editFilter")) {
        EXPECT_GE(filter->rect().top, bar_top);
        EXPECT_GE(filter->rect().height(), target);
        EXPECT_GT(filter->rect().width(), 2 * target) << "no room to type";
      }
    }

    // Rows: each is a target as a whole, and the main menu's tiles and the
    // grid's cells each on their own.
    for (const char16_t* name :
         {u"AlbumElement", u"MenuElement", u"MenuElementRed", u"MenuElementDisabled",
          u"MenuElement4Buttons", u"FolderElement"}) {
      ScreenRoot row;
      row.build(skin, name);
      // The grid shows the cells that the width holds, as the folder screen does.
      if (name == std::u16string_view(u"FolderElement")) {
        for (int32_t c = folder_columns(shape.size.width, skin.scale()); c < kFolderMaxColumns; ++c)
          row.find_required(u"button" + std::u16string(1, char16_t(u'0' + c))).set_visible(false);
      }
      const int32_t height = row.height_range().preferred;
      EXPECT_GE(height, target) << to_utf8(name);
      row.layout({shape.size.width, height});
      std::vector<ButtonElement*> buttons;
      visible_buttons(row, buttons);
      for (const ButtonElement* button : buttons) {
        EXPECT_GE(button->rect().width(), target) << to_utf8(name) << " " << to_utf8(button->id());
        EXPECT_GE(button->rect().height(), target) << to_utf8(name) << " " << to_utf8(button->id());
      }
    }
  }
}

// Pictures drawn with the copy or the key blitter ("alpha" -1 or below 64)
// show their pixels as they are; a see-through one there is a dark speck.
int32_t see_through_pixels(const Picture& picture) {
  const Surface* pixels = picture.bitmap->surface();
  if (!pixels) return 0;
  int32_t count = 0;
  for (uint32_t y = uint32_t(picture.p0.y >> picture.scale);
       y < uint32_t(picture.p3.y >> picture.scale); ++y)
    for (uint32_t x = uint32_t(picture.p0.x >> picture.scale);
         x < uint32_t(picture.p3.x >> picture.scale); ++x) {
      const uint16_t p = pixels->pixel(x, y);
      count += p != rgb565::kKey && (p & rgb565::kOpaqueBit) == 0 ? 1 : 0;
    }
  return count;
}

void check_images(const Properties& skin, const SkinNode* node, const std::string& path) {
  const std::string here = path + "/" + to_utf8(read_string(skin, node, u"id"));
  if (read_string(skin, node, u"type") == u"image") {
    const int32_t alpha = skin.get_integer(node, u"alpha", -1);
    const Picture picture = skin.get_picture(node, u"src", empty_picture());
    if (alpha < 64) {
      EXPECT_EQ(see_through_pixels(picture), 0) << here;
    }
  }
  for (uint32_t i = 0; i < skin.child_count(node); ++i)
    check_images(skin, skin.child(node, i), here);
}

TEST(DaylightSkin, PicturesDrawnWithTheColourKeyAloneHaveNoSeeThroughPixels) {
  Properties skin;
  ASSERT_TRUE(load_skin(skin, "daylight", {480, 800}));
  for (const char16_t* name : {u"Splash", u"Main", u"AlbumElement", u"Folder", u"FolderElement",
                               u"Image", u"About", u"Menu", u"MenuElement", u"MenuElementDisabled",
                               u"MenuElementRed", u"MenuElement4Buttons"}) {
    const SkinNode* node = skin.find_node(name);
    ASSERT_NE(node, nullptr) << to_utf8(name);
    check_images(skin, node, to_utf8(name));
  }
  // The viewer repeats its placeholders over the view with the key blitter.
  for (const char* placeholder : {"daylight.load.bmp", "daylight.bad.bmp"}) {
    FileStream file(from_utf8(binary_path(std::string("skins/bin/") + placeholder)),
                    OpenMode::read);
    const Picture art = picture_from_surface(read_bitmap(file));
    ASSERT_FALSE(art.empty()) << placeholder;
    EXPECT_EQ(see_through_pixels(art), 0) << placeholder;
  }
}

// The buttons' faces and the filter field are painted on the bar's colour;
// their corners must be that very colour in 16 bits, or each control would
// sit in a faint square.
TEST(DaylightSkin, ArtOnTheBarsMeetsTheBarColourToThePixel) {
  const Size size{480, 800};
  Properties skin;
  ASSERT_TRUE(load_skin(skin, "daylight", size));
  struct Case {
    const char16_t* screen;
    const char16_t* bar;
    std::vector<const char16_t*> controls;
  };
  for (const Case& c : {Case{u"Main", u"bottom_bar", {u"btnSearch", u"btnMenu", u"editFilter"}},
                        Case{u"Folder", u"bottom_bar", {u"btnBack"}},
                        Case{u"Image",
                             u"bar_bottom",
                             {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow", u"btnBack",
                              u"btnNumText", u"btnMenu"}}}) {
    ScreenRig rig;
    ScreenRoot screen;
    screen.build(skin, c.screen);
    rig.render(screen, size);
    const Rect bar = screen.find_required(c.bar).rect();
    // Below the hairline at its top, at the left edge.
    const uint16_t bar_colour = rig.pixel(bar.left + 1, bar.top + 4);
    for (const char16_t* id : c.controls) {
      const Rect r = screen.find_required(id).rect();
      for (const Point corner : {Point{r.left, r.top}, Point{r.right - 1, r.top},
                                 Point{r.left, r.bottom - 1}, Point{r.right - 1, r.bottom - 1}})
        EXPECT_EQ(rig.pixel(corner.x, corner.y), bar_colour)
            << to_utf8(c.screen) << " " << to_utf8(id) << " at " << corner.x << "," << corner.y;
    }
  }
}

}  // namespace
}  // namespace lv::test::screens
