// The image screen's node in the default skin: every element the screen
// looks up is there with the right kind, the soft keys are bound, the two
// control bars slide and hold their buttons, the buttons keep a finger-sized
// target on small and large screens in both orientations, the zoom and
// landscape buttons have a disabled look, and every text the screen shows
// exists in both languages.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/language.h"
#include "platform/text.h"
#include "screens/big_picture.h"
#include "screens/screens_test_support.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/screen_root.h"
#include "widgets/skin_values.h"
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

const char16_t* const kTopButtons[] = {u"btnBack", u"btnNumText", u"btnMenu"};
const char16_t* const kBottomButtons[] = {u"chkLandscape", u"btnMinus", u"btnPlus",
                                          u"chkSlideShow"};

struct ImageScreen {
  ImageScreen(Size size, int32_t dpi) {
    if (!NodeTypeRegistry::instance().contains(u"bigpicture")) static BigPictureType type;
    loaded = load_default_skin(properties, size, dpi);
    if (loaded) {
      root.build(properties, u"Image");
      root.layout(size);
    }
  }
  ButtonElement& button(std::u16string_view id) {
    return dynamic_cast<ButtonElement&>(root.find_required(id));
  }

  Properties properties;
  ScreenRoot root;
  bool loaded = false;
};

bool inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST(ImageSkinTest, HoldsEveryElementTheScreenLooksUp) {
  ImageScreen screen({480, 800}, 96);
  ASSERT_TRUE(screen.loaded);
  Element& root = screen.root;

  EXPECT_NO_THROW(root.find_required(u"size_image"));
  for (const char16_t* id : {u"left", u"center", u"right"})
    EXPECT_NE(dynamic_cast<BigPictureElement*>(&root.find_required(id)), nullptr) << to_utf8(id);

  // Each button with the pictures the screen reaches through it.
  const std::vector<std::pair<const char16_t*, std::vector<const char16_t*>>> buttons = {
      {u"btnBack", {u"ptrBack"}},
      {u"btnNumText", {u"ptrNumText", u"#text"}},
      {u"btnMenu", {u"ptrMenu"}},
      {u"btnMinus", {u"ptrMinus"}},
      {u"btnPlus", {u"ptrPlus"}},
      {u"chkLandscape", {u"ptr_state_0", u"ptr_state_1"}},
      {u"chkSlideShow", {u"ptr_state_0", u"ptr_state_1"}},
      {u"btnProperties", {u"#text"}}};
  for (const auto& [id, parts] : buttons) {
    ButtonElement* button = dynamic_cast<ButtonElement*>(&root.find_required(id));
    ASSERT_NE(button, nullptr) << to_utf8(id);
    for (const char16_t* part : parts) EXPECT_NO_THROW(button->find_required(part)) << to_utf8(id);
  }
  for (const char16_t* gap : {u"btngap1", u"btngap2", u"btngap3"})
    EXPECT_NO_THROW(root.find_required(gap).find_required(u"ptrgap")) << to_utf8(gap);

  EXPECT_EQ(screen.button(u"btnBack").bind_key(), key_code_from_skin_name(u"SOFT_LEFT"));
  EXPECT_EQ(screen.button(u"btnMenu").bind_key(), key_code_from_skin_name(u"SOFT_RIGHT"));

  // The texts the screen sets reach a text widget; the properties wrap.
  screen.button(u"btnNumText").set_text(u"3 of 12");
  EXPECT_EQ(
      dynamic_cast<TextElement&>(root.find_required(u"btnNumText").find_required(u"#text")).text(),
      u"3 of 12");
  auto& properties_text =
      dynamic_cast<TextElement&>(root.find_required(u"btnProperties").find_required(u"#text"));
  EXPECT_TRUE(properties_text.wrap());
}

TEST(ImageSkinTest, DisabledZoomAndLandscapeButtonsShowTheirOwnLook) {
  ImageScreen screen({480, 800}, 96);
  ASSERT_TRUE(screen.loaded);
  for (const char16_t* id : {u"btnMinus", u"btnPlus", u"chkLandscape"}) {
    ButtonElement& button = screen.button(id);
    Element* disabled = button.find_by_id(u"#disabled");
    ASSERT_NE(disabled, nullptr) << to_utf8(id);
    EXPECT_NE(button.shown_state(), disabled) << to_utf8(id);
    button.set_enabled(false);
    EXPECT_EQ(button.shown_state(), disabled) << to_utf8(id);
    // Drawn over the icon, which stays where the screen put it.
    EXPECT_EQ(button.index_of(*disabled), button.child_count() - 1) << to_utf8(id);
  }
}

// Both bars slide out of their own edge and hold their buttons; every button
// keeps a 40-unit target and none overlaps another, on a narrow portrait
// screen at double density and on a wide landscape one.
TEST(ImageSkinTest, BarsHoldFingerSizedButtonsInEveryShape) {
  struct Shape {
    Size size;
    int32_t dpi;
    int32_t unit;  // screen pixels per skin unit
  };
  for (const Shape shape : {Shape{{480, 800}, 192, 2}, Shape{{800, 480}, 96, 1},
                            Shape{{240, 320}, 96, 1}, Shape{{800, 480}, 192, 2}}) {
    SCOPED_TRACE(std::to_string(shape.size.width) + "x" + std::to_string(shape.size.height) +
                 " at " + std::to_string(shape.dpi));
    ImageScreen screen(shape.size, shape.dpi);
    ASSERT_TRUE(screen.loaded);
    const Rect whole{0, 0, shape.size.width, shape.size.height};
    for (const char16_t* id : {u"size_image", u"left", u"center", u"right"})
      EXPECT_EQ(screen.root.find_required(id).rect(), whole) << to_utf8(id);

    Element& top = screen.root.find_required(u"bar_top");
    Element& bottom = screen.root.find_required(u"bar_bottom");
    EXPECT_EQ(top.rect().top, 0);
    EXPECT_EQ(bottom.rect().bottom, shape.size.height);
    EXPECT_LT(top.rect().bottom, bottom.rect().top);
    ASSERT_NE(top.visibility_animation(), nullptr);
    ASSERT_NE(bottom.visibility_animation(), nullptr);

    std::vector<Rect> placed;
    auto check = [&](const char16_t* id, const Element& bar) {
      const Rect r = screen.root.find_required(id).rect();
      EXPECT_TRUE(inside(r, bar.rect())) << to_utf8(id);
      EXPECT_GE(r.width(), 40 * shape.unit) << to_utf8(id);
      EXPECT_GE(r.height(), 40 * shape.unit) << to_utf8(id);
      for (const Rect& other : placed)
        EXPECT_TRUE(r.left >= other.right || r.right <= other.left || r.top >= other.bottom ||
                    r.bottom <= other.top)
            << to_utf8(id) << " overlaps a button before it";
      placed.push_back(r);
    };
    for (const char16_t* id : kTopButtons) check(id, top);
    for (const char16_t* id : kBottomButtons) check(id, bottom);

    // The counter sits in the middle of the top bar.
    const Rect counter = screen.root.find_required(u"btnNumText").rect();
    EXPECT_NEAR(counter.left + counter.right, shape.size.width, 2);
    // The properties card stays on the screen.
    EXPECT_TRUE(inside(screen.root.find_required(u"btnProperties").rect(), whole));
  }
}

// A bar is drawn over the picture with its see-through pixels mixed with
// it; inside the buttons (away from the rounded corners) every pixel must be
// opaque, or the picture would shine through the icons' and the counter's
// edges. Checked for every state a button can show, at both densities.
TEST(ImageSkinTest, ButtonsInTheBarsAreOpaqueInEveryState) {
  for (const int32_t dpi : {96, 192}) {
    const int32_t unit = dpi >= 192 ? 2 : 1;
    ImageScreen screen({480, 800}, dpi);
    ASSERT_TRUE(screen.loaded);
    screen.button(u"btnNumText").set_text(u"10 of 12");
    auto expect_opaque = [&](const char16_t* bar_id, const char16_t* id, const char* state) {
      Element& bar = screen.root.find_required(bar_id);
      const Surface* cache = bar.cached_surface().surface();
      ASSERT_NE(cache, nullptr);
      const Rect r = screen.root.find_required(id).rect();
      // Clear of the rounded corners: the middle of each face.
      const int32_t inset_x = (id == std::u16string_view(u"btnNumText") ? 12 : 8) * unit;
      int32_t see_through = 0;
      for (int32_t y = r.top + 8 * unit; y < r.bottom - 8 * unit; ++y)
        for (int32_t x = r.left + inset_x; x < r.right - inset_x; ++x) {
          const uint16_t p =
              cache->pixel(uint32_t(x - bar.position().x), uint32_t(y - bar.position().y));
          if (p == rgb565::kKey || (p & 0x0020) == 0) ++see_through;
        }
      EXPECT_EQ(see_through, 0) << to_utf8(id) << " " << state << " at " << dpi;
    };
    auto every_button = [&](const char* state) {
      for (const char16_t* id : kTopButtons) expect_opaque(u"bar_top", id, state);
      for (const char16_t* id : kBottomButtons) expect_opaque(u"bar_bottom", id, state);
    };
    // The screen shows exactly one state picture of a check box.
    auto show_state = [&](int state) {
      for (const char16_t* check : {u"chkLandscape", u"chkSlideShow"}) {
        Element& button = screen.root.find_required(check);
        button.find_required(u"ptr_state_0").set_visible(state == 0);
        button.find_required(u"ptr_state_1").set_visible(state == 1);
      }
    };
    show_state(0);
    every_button("normal");
    show_state(1);
    every_button("checked");
    for (const char16_t* id : kTopButtons) {
      const Point p = centre_of(screen.root.find_required(id));
      screen.button(id).on_pointer_button(PointerEvent{p.x, p.y, 0, 0, 1, 0});
    }
    for (const char16_t* id : kBottomButtons) {
      const Point p = centre_of(screen.root.find_required(id));
      screen.button(id).on_pointer_button(PointerEvent{p.x, p.y, 0, 0, 1, 0});
    }
    every_button("pressed");
    for (const char16_t* id : kBottomButtons) screen.button(id).set_enabled(false);
    every_button("disabled");
  }
}

TEST(ImageSkinTest, EveryTextOfTheScreenExistsInBothLanguages) {
  for (const char* file : {"english.lng", "russian.lng"}) {
    LanguageTable language;
    ASSERT_TRUE(language.load(from_utf8(binary_path(file)))) << file;
    for (const char16_t* key :
         {u"NoPicture", u"DeleteFailed", u"DeleteReadOnly", u"SendFailed", u"SlideShow",
          u"Landscape", u"Options",      u"Delete",         u"Send",       u"Properties",
          u"Cancel",    u"Original",     u"Large",          u"Medium",     u"Small",
          u"Name",      u"Folder",       u"Resolution",     u"Size",       u"Date",
          u"Time",      u"byte",         u"kbyte",          u"mbyte",      u"of"}) {
      const auto found = language.texts().find(std::u16string_view(key));
      ASSERT_NE(found, language.texts().end()) << file << ": " << to_utf8(key);
      EXPECT_FALSE(found->second.empty()) << file << ": " << to_utf8(key);
    }
  }
}

}  // namespace
}  // namespace lv::test::screens
