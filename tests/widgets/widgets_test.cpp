// The basic widgets: button, progress bar, image (alpha and mask), colour
// and clip.

#include <gtest/gtest.h>

#include <cmath>

#include "skin/rgb565.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/mask_blitter.h"
#include "widgets/progress.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::Rgb;
using test::TestScreen;
using test::TestSkin;

struct Recorded : ButtonListener {
  void clicked(ButtonElement&, const ClickInfo& info) override { clicks.push_back(info); }
  void press_state_changed(ButtonElement& button, const PressInfo& info) override {
    presses.push_back(info);
    pressed_now.push_back(button.pressed());
  }
  void dragged(ButtonElement&, DragInfo& info) override {
    drags.push_back(info);
    info.rest_x = keep_x;
  }
  std::vector<ClickInfo> clicks;
  std::vector<PressInfo> presses;
  std::vector<bool> pressed_now;
  std::vector<DragInfo> drags;
  int32_t keep_x = 0;
};

// A 100 x 40 button at (50, 30) in a 200 x 100 screen.
constexpr const char* kButtonSkin = R"({"Main": {"children": [
  {"string": {"type": "button", "id": "ok", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE",
              "bind_key": "SOFT_LEFT", "text": "Ok"},
   "point": {"border_min": [50, 30], "design_size": [100, 40]}, "children": [
     {"string": {"type": "color", "id": "#normal"}, "color": {"color": "#ff0000"}},
     {"string": {"type": "color", "id": "#pressed"}, "color": {"color": "#0000ff"}},
     {"string": {"type": "node"}, "children": [
       {"string": {"type": "color", "id": "#disabled"}, "color": {"color": "#808080"}}]},
     {"string": {"type": "text", "id": "#text"}}]},
  {"string": {"type": "button", "id": "bare", "bind_key": "soft_left"},
   "point": {"border_min": [0, 80]}}
]}})";

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(skin.load_nodes(kButtonSkin));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{200, 100});
    screen->layout();
    button = &screen->find<ButtonElement>(u"ok");
    button->set_listener(&listener);
  }
  std::u16string shown() {
    Element* state = button->shown_state();
    return state ? state->id() : u"";
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  ButtonElement* button = nullptr;
  Recorded listener;
};

TEST_F(ButtonTest, PressAndReleaseInsideClicks) {
  EXPECT_TRUE(screen->press(60, 40));
  screen->render();
  EXPECT_EQ(screen->pixel(100, 50), test::rgb565_of(Rgb{0, 0, 255}));
  ASSERT_EQ(listener.presses.size(), 1u);
  EXPECT_EQ(listener.presses[0].cancelled, 0);
  EXPECT_TRUE(listener.pressed_now[0]);
  screen->release(72, 44);
  ASSERT_EQ(listener.clicks.size(), 1u);
  EXPECT_EQ(listener.clicks[0].x, 72);
  EXPECT_EQ(listener.clicks[0].y, 44);
  EXPECT_FALSE(listener.pressed_now[1]);
  EXPECT_EQ(shown(), u"#normal");
}

TEST_F(ButtonTest, SlidingOffBeforeTheReleaseOrACancelGivesNoClick) {
  screen->press(60, 40);
  screen->move(190, 90);
  screen->release(190, 90);
  screen->press(60, 40);
  screen->cancel();
  EXPECT_TRUE(listener.clicks.empty());
  ASSERT_EQ(listener.presses.size(), 4u);
  EXPECT_EQ(listener.presses[3].cancelled, 1);
  EXPECT_EQ(shown(), u"#normal");
}

TEST_F(ButtonTest, DragDeltasCountFromWhatTheListenerKept) {
  listener.keep_x = 3;
  screen->press(60, 40);
  screen->move(70, 45);  // dx 10; the listener keeps 3 of it
  screen->move(75, 45);
  ASSERT_EQ(listener.drags.size(), 3u);
  EXPECT_EQ(listener.drags[1].dx, 10);
  EXPECT_EQ(listener.drags[1].dy, 5);
  EXPECT_EQ(listener.drags[2].dx, 8);
  screen->release(75, 45);
  screen->move(90, 40);  // not pressed: no drag
  EXPECT_EQ(listener.drags.size(), 3u);
}

TEST_F(ButtonTest, BoundKeyClicksOnItsRelease) {
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, true));
  EXPECT_EQ(shown(), u"#pressed");
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, true));  // auto-repeat changes nothing
  EXPECT_EQ(listener.presses.size(), 1u);
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, false));
  ASSERT_EQ(listener.clicks.size(), 1u);
  EXPECT_EQ(listener.clicks[0].x, 100);  // the centre
  EXPECT_EQ(listener.clicks[0].y, 50);
  EXPECT_FALSE(screen->key(u"ok", kKeySoftRight, true));
  EXPECT_FALSE(screen->key(u"bare", kKeySoftLeft, true));  // names are upper case
}

TEST_F(ButtonTest, DisabledButtonNeverClicks) {
  button->set_enabled(false);
  EXPECT_EQ(shown(), u"#disabled");
  screen->key(u"ok", kKeySoftLeft, true);
  ASSERT_EQ(listener.presses.size(), 1u);
  EXPECT_EQ(listener.presses[0].cancelled, 1);
  EXPECT_EQ(shown(), u"#disabled");
  screen->key(u"ok", kKeySoftLeft, false);
  EXPECT_FALSE(screen->press(60, 40));  // not a candidate for the pointer
  screen->release(60, 40);
  EXPECT_TRUE(listener.clicks.empty());

  // A disabled ancestor disables it too.
  button->set_enabled(true);
  EXPECT_EQ(shown(), u"#normal");
  screen->root().set_enabled(false);
  EXPECT_EQ(shown(), u"#disabled");
}

constexpr const char* kProgressSkin = R"({"Main": {"children": [
  {"string": {"type": "progress", "id": "bar"}, "children": [
    {"string": {"type": "color", "id": "back"}},
    {"string": {"type": "color", "id": "#line", "anchor_x": "MIN_SIDE"},
     "point": {"border_min": [10, 2], "border_max": [10, 2]}}]}]}})";

TEST(Progress, LineFollowsTheValue) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(kProgressSkin));
  TestScreen screen(skin, u"Main", {200, 20});
  auto& bar = screen.find<ProgressElement>(u"bar");
  EXPECT_EQ(bar.line(), &screen.find(u"#line"));
  screen.layout();
  EXPECT_EQ(screen.rect_of(u"#line"), (Rect{10, 2, 10, 18}));
  bar.set_value(0.5);
  screen.layout();
  EXPECT_EQ(screen.rect_of(u"#line"), (Rect{10, 2, 100, 18}));

  bar.set_value(1.5);
  screen.layout();
  EXPECT_EQ(screen.rect_of(u"#line"), (Rect{10, 2, 190, 18}));
  bar.set_value(std::nan(""));
  EXPECT_EQ(bar.value(), 0.0);
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};

TEST(Image, PlainCopyAlphaAndGrow) {
  TestSkin skin;
  // 2 x 2: red, transparent / transparent, green.
  skin.art("art/dots", 2, 2, {{255, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 255, 0, 255}});
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "image", "id": "plain", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
     "integer": {"grow": 1}, "picture": {"src": "art/dots"}},
    {"string": {"type": "image", "id": "keyed", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
     "integer": {"grow": 1, "alpha": 0}, "picture": {"src": "art/dots"},
     "point": {"border_min": [10, 0]}}]}})",
                              192));  // skin scale 1: every bitmap pixel covers 2 x 2
  TestScreen screen(skin, u"Main", {40, 10});
  screen.render(0x0000);
  EXPECT_EQ(screen.rect_of(u"plain"), (Rect{0, 0, 4, 4}));
  EXPECT_EQ(screen.find(u"plain").width_range().minimum, 4);
  const uint16_t red = test::opaque_art_pixel(kRed);
  const uint16_t green = test::opaque_art_pixel(kGreen);
  EXPECT_EQ(screen.pixel(1, 1), red);
  EXPECT_EQ(screen.pixel(3, 0), rgb565::kKey);  // a plain copy writes the key
  EXPECT_EQ(screen.pixel(3, 3), green);
  // border_min is scaled too: (20, 0).
  EXPECT_EQ(screen.rect_of(u"keyed"), (Rect{20, 0, 24, 4}));
  EXPECT_EQ(screen.pixel(20, 0), red);
  EXPECT_EQ(screen.pixel(23, 0), 0x0000);  // left out by "alpha" 0

  // A new picture of another size changes the measures when growing.
  auto& plain = screen.find<ImageElement>(u"plain");
  plain.set_picture(empty_picture());
  EXPECT_TRUE(screen.root().needs_layout());
  screen.layout();
  EXPECT_EQ(screen.rect_of(u"plain").width(), 0);
}

TEST(Image, MaskWeighsEachPixel) {
  EXPECT_EQ(MaskBlitter::mix(0xFFFF, 0x0000, 16), rgb565::pack(15, 31, 15));
  EXPECT_EQ(MaskBlitter::mix(0x0000, 0xFFFF, 0xFFF0), rgb565::pack(16, 32, 16));

  TestSkin skin;
  skin.art_filled("art/white", 3, 1, {255, 255, 255, 255});
  // Blue channel 0, 128 and 255: keep, half, source.
  skin.art("art/mask", 3, 1, {{0, 0, 0, 255}, {0, 0, 128, 255}, {0, 0, 255, 255}});
  skin.art("art/small", 2, 1, {{0, 0, 0, 255}, {0, 0, 0, 255}});
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "image", "id": "masked", "anchor_x": "MIN_SIDE"}, "integer": {"grow": 1},
     "picture": {"src": "art/white", "mask": "art/mask"}},
    {"string": {"type": "image", "id": "odd", "anchor_x": "MIN_SIDE"},
     "integer": {"grow": 1, "alpha": 0}, "point": {"border_min": [4, 0]},
     "picture": {"src": "art/white", "mask": "art/small"}}]}})"));
  TestScreen screen(skin, u"Main", {10, 1});
  EXPECT_TRUE(screen.find<ImageElement>(u"masked").masked());
  EXPECT_FALSE(screen.find<ImageElement>(u"odd").masked());
  screen.render(0x0000);
  const uint16_t white = test::opaque_art_pixel({255, 255, 255});
  EXPECT_EQ(screen.pixel(0, 0), 0x0000);
  EXPECT_EQ(screen.pixel(1, 0), MaskBlitter::mix(white, 0x0000, 16));
  EXPECT_EQ(screen.pixel(2, 0), white);
  // The mask of another size is ignored; "alpha" is used instead.
  for (int32_t x = 4; x < 7; ++x) EXPECT_EQ(screen.pixel(x, 0), white);
}

TEST(ColorAndClip, FillsAndClipping) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "color", "id": "fill"}, "color": {"color": "#00ff00"},
     "point": {"border_min": [2, 2], "border_max": [50, 2]}, "children": [
       {"string": {"type": "color"}, "color": {"color": "#ff0000"}}]},
    {"string": {"type": "clip", "id": "window"},
     "point": {"border_min": [60, 2], "border_max": [20, 2]}, "children": [
       {"string": {"type": "color", "anchor_x": "MIN_SIDE_NO_SIZE", "anchor_y": "MIN_SIDE_NO_SIZE"},
        "color": {"color": "#ff0000"}, "point": {"design_size": [500, 500]}}]}]}})"));
  TestScreen screen(skin, u"Main", {100, 10});
  screen.render(0x0000);
  const uint16_t green = test::rgb565_of(kGreen);
  const uint16_t red = test::rgb565_of(kRed);
  // The colour's children are not drawn.
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 10}, green), 48 * 6);
  EXPECT_EQ(screen.pixel(2, 2), green);
  // The huge child shows only inside the clip's 20 x 6 rectangle.
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 10}, red), 20 * 6);
  EXPECT_EQ(screen.pixel(60, 2), red);
}

}  // namespace
}  // namespace lv
