// The basic widgets: button, progress bar, image (alpha and mask).

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

// Each press state as "+" (pressed) or "-" (let go), "x" for a cancel;
// each click as "click x,y"; each drag as "drag dx,dy" (a press starts
// with one of 0,0).
struct Recorded : ButtonListener {
  void clicked(ButtonElement&, const ClickInfo& info) override {
    log.push_back("click " + std::to_string(info.x) + "," + std::to_string(info.y));
  }
  void press_state_changed(ButtonElement& button, const PressInfo& info) override {
    log.push_back(info.cancelled ? "x" : button.pressed() ? "+" : "-");
  }
  void dragged(ButtonElement&, DragInfo& info) override {
    log.push_back("drag " + std::to_string(info.dx) + "," + std::to_string(info.dy));
    info.rest_x = keep_x;
  }
  std::vector<std::string> log;
  int32_t keep_x = 0;
};
using Log = std::vector<std::string>;

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
   "point": {"border_min": [0, 80]}}]}})";

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(skin.load_nodes(kButtonSkin));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{200, 100});
    screen->layout();
    button = &screen->find<ButtonElement>(u"ok");
    button->set_listener(&listener);
  }
  std::u16string shown() { return button->shown_state() ? button->shown_state()->id() : u""; }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  ButtonElement* button = nullptr;
  Recorded listener;
};

TEST_F(ButtonTest, PressAndReleaseInsideClicksSlidingOffOrACancelDoesNot) {
  EXPECT_TRUE(screen->press(60, 40));
  screen->render();
  EXPECT_EQ(screen->pixel(100, 50), test::rgb565_of(Rgb{0, 0, 255}));
  screen->release(72, 44);
  EXPECT_EQ(shown(), u"#normal");
  screen->press(60, 40);
  screen->move(190, 90);
  screen->release(190, 90);
  screen->press(60, 40);
  screen->cancel();
  EXPECT_EQ(listener.log, (Log{"drag 0,0", "+", "-", "click 72,44", "drag 0,0", "+", "drag 130,50",
                               "-", "drag 0,0", "+", "x"}));
  EXPECT_EQ(shown(), u"#normal");
  // Drag deltas count from what the listener kept (3 of dx 10), and a
  // move after the release drags nothing.
  listener.log.clear(), listener.keep_x = 3;
  screen->press(60, 40);
  screen->move(70, 45);
  screen->move(75, 45);
  screen->release(75, 45);
  screen->move(90, 40);
  EXPECT_EQ(listener.log, (Log{"drag 0,0", "+", "drag 10,5", "drag 8,0", "-", "click 75,45"}));
}

TEST_F(ButtonTest, BoundKeyClicksOnItsRelease) {
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, true));
  EXPECT_EQ(shown(), u"#pressed");
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, true));  // auto-repeat changes nothing
  EXPECT_TRUE(screen->key(u"ok", kKeySoftLeft, false));
  EXPECT_EQ(listener.log, (Log{"+", "-", "click 100,50"}));  // the centre
  EXPECT_FALSE(screen->key(u"ok", kKeySoftRight, true));
  EXPECT_FALSE(screen->key(u"bare", kKeySoftLeft, true));  // names are upper case
}

TEST_F(ButtonTest, DisabledButtonNeverClicks) {
  button->set_enabled(false);
  EXPECT_EQ(shown(), u"#disabled");
  screen->key(u"ok", kKeySoftLeft, true);
  EXPECT_EQ(shown(), u"#disabled");
  screen->key(u"ok", kKeySoftLeft, false);
  EXPECT_FALSE(screen->press(60, 40));  // not a candidate for the pointer
  screen->release(60, 40);
  EXPECT_EQ(listener.log, (Log{"x", "x"}));
  // A disabled ancestor disables it too.
  button->set_enabled(true);
  EXPECT_EQ(shown(), u"#normal");
  screen->root().set_enabled(false);
  EXPECT_EQ(shown(), u"#disabled");
}

TEST(Progress, LineFollowsTheValue) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "progress", "id": "bar"}, "children": [
      {"string": {"type": "color", "id": "back"}},
      {"string": {"type": "color", "id": "#line", "anchor_x": "MIN_SIDE"},
       "point": {"border_min": [10, 2], "border_max": [10, 2]}}]}]}})"));
  TestScreen screen(skin, u"Main", {200, 20});
  auto& bar = screen.find<ProgressElement>(u"bar");
  for (const auto& [value, right] : {std::pair{0.0, 10}, {0.5, 100}, {1.5, 190}}) {
    bar.set_value(value);
    screen.layout();
    EXPECT_EQ(screen.rect_of(u"#line"), (Rect{10, 2, right, 18})) << value;
  }
  bar.set_value(std::nan(""));
  EXPECT_EQ(bar.value(), 0.0);
}

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
  // border_min is scaled too: (20, 0).
  EXPECT_EQ(screen.rects({u"plain", u"keyed"}), (std::vector<Rect>{{0, 0, 4, 4}, {20, 0, 24, 4}}));
  EXPECT_EQ(screen.find(u"plain").width_range().minimum, 4);
  // A plain copy writes the key; "alpha" 0 leaves it out.
  const uint16_t red = test::opaque_art_pixel({255, 0, 0});
  EXPECT_EQ(
      screen.pixels({{1, 1}, {3, 0}, {3, 3}, {20, 0}, {23, 0}}),
      (std::vector<uint16_t>{red, rgb565::kKey, test::opaque_art_pixel({0, 255, 0}), red, 0}));

  // A new picture of another size changes the measures when growing.
  screen.find<ImageElement>(u"plain").set_picture(empty_picture());
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
  screen.render(0x0000);
  // The mask of another size is ignored; "alpha" is used instead.
  const uint16_t white = test::opaque_art_pixel({255, 255, 255});
  EXPECT_EQ(screen.pixels({{0, 0}, {1, 0}, {2, 0}, {4, 0}, {5, 0}, {6, 0}}),
            (std::vector<uint16_t>{0, MaskBlitter::mix(white, 0, 16), white, white, white, white}));
}

}  // namespace
}  // namespace lv
