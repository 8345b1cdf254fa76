// The basic widgets: button, progress bar, image (alpha and mask).
//
// Edit fields: when an "edit" asks the host for the edit box and when it
// lets it go, and what it reports to its listener.
//
// Frame sequences: movie stepping on explicit time steps, clicks on the
// current frame's button and the listener; and the decimal numbers their
// delays are written in.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/text.h"
#include "skin/rgb565.h"
#include "widgets/button.h"
#include "widgets/edit_element.h"
#include "widgets/frame_sequence.h"
#include "widgets/image_element.h"
#include "widgets/mask_blitter.h"
#include "widgets/progress.h"
#include "widgets/skin_values.h"
#include "widgets/text_element.h"
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

struct EditChanges : EditListener {
  void text_changed(EditElement& edit) override { texts.push_back(edit.text()); }
  std::vector<std::u16string> texts;
};

// A bare field "name" at (10, 10) 100 x 20 in a box "holder", and a
// second field "other" 30 high at the bottom.
constexpr const char* kFields = R"({"Main": {"children": [
  {"string": {"type": "node", "id": "holder", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
   "point": {"design_size": [200, 40]}, "children": [
     {"string": {"type": "edit", "id": "name", "text": "one\r\ntwo",
                 "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
      "color": {"background_color": "#102030"},
      "point": {"border_min": [10, 10], "design_size": [100, 20]}}]},
  {"string": {"type": "edit", "id": "other", "anchor_y": "MAX_SIDE"},
   "point": {"design_size": [0, 30]}}
]}})";

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(skin.load_nodes(kFields));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{240, 100});
    screen->layout();
    name = &screen->find<EditElement>(u"name");
    name->set_listener(&changes);
    other = &screen->find<EditElement>(u"other");
  }
  // The field the host edits ("name", "other" or "none") and how often a
  // field asked it to show or end the edit box.
  std::string editing() {
    Element* edited = screen->host().edited;
    return (edited ? platform::to_utf8(edited->id()) : "none") + " " +
           std::to_string(screen->host().edit_calls);
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  EditElement* name = nullptr;
  EditElement* other = nullptr;
  EditChanges changes;
};

TEST_F(EditTest, APressStartsTheEditingOnceAndTheBoxFollowsTheField) {
  EXPECT_EQ(name->text(), u"one\ntwo");  // one form of line ends from the start
  screen->tap(50, 20);
  screen->tap(60, 20);  // tapping the edited field again restarts nothing
  screen->layout();     // and an unchanged layout moves no box
  EXPECT_EQ(editing(), "name 1");
  // Laid out somewhere else, the field asks again, so the box follows.
  screen->find(u"holder").set_borders({0, 30}, {});
  screen->layout();
  EXPECT_EQ(name->rect(), (Rect{10, 40, 110, 60}));
  EXPECT_EQ(editing(), "name 2");
  // A press on another field moves the editing there.
  screen->tap(100, 90);
  EXPECT_EQ(editing(), "other 3");
  EXPECT_FALSE(name->edited());
}

// Once a use-after-free: the host kept a field that was gone.
TEST_F(EditTest, HidingOrDestroyingTheEditedFieldEndsTheEditing) {
  screen->tap(50, 20);
  screen->find(u"holder").set_visible(false);
  EXPECT_EQ(editing(), "none 2");
  screen->find(u"holder").set_visible(true);
  // Hiding a field nobody edits leaves the editing of another alone.
  screen->tap(50, 20);
  other->set_visible(false);
  std::unique_ptr<Element> gone = screen->find(u"holder").take_child(*name);
  EXPECT_EQ(editing(), "name 3");
  gone.reset();
  EXPECT_EQ(editing(), "none 4");
}

TEST_F(EditTest, EveryChangeIsToldOnceAndTheBoxOfTheEditedFieldTakesIt) {
  name->set_text(u"one\r\ntwo");  // the box's line ends are the field's
  name->set_text(u"one\rtwo");
  name->set_text(u"three");
  EXPECT_EQ(editing(), "none 0") << "a field nobody edits asks for no box";
  screen->tap(50, 20);
  name->set_text(u"four");
  EXPECT_EQ(editing(), "name 2");
  // A character typed into the edited field: measured again, and told.
  screen->layout();
  EXPECT_TRUE(name->on_char(u"x"));
  EXPECT_TRUE(name->needs_layout());
  screen->host().edited = nullptr;
  EXPECT_TRUE(name->on_char(u"y"));
  EXPECT_EQ(changes.texts, (std::vector<std::u16string>{u"three", u"four", u"four"}));
  EXPECT_EQ(with_newline_ends(u"a\r\nb\rc\nd\r\r\n"), u"a\nb\nc\nd\n\n");
}

TEST(Decimal, ReadsOnlyWholeNumbers) {
  // The value read, or 99 (left alone) where the text is no whole number.
  const std::pair<std::u16string_view, double> cases[] = {
      {u"-2", -2.0}, {u"+1.5e1", 15.0}, {u"1E-2", 0.01}, {u".5", 0.5},  {u"2.", 2.0},
      {u"", 99},     {u"1.2.3", 99},    {u"1e", 99},     {u"e5", 99},   {u"1 ", 99},
      {u"+", 99},    {u"-.", 99},       {u"1e400", 99},  {u"0x10", 99}, {u"\uFF11", 99}};
  for (const auto& [text, expected] : cases) {
    double value = 99.0;
    EXPECT_EQ(parse_decimal(text, value), expected != 99) << std::string(text.begin(), text.end());
    EXPECT_DOUBLE_EQ(value, expected);
  }
}

struct FrameChanges : FrameSequenceListener {
  void clicked(FrameSequenceElement&, const ClickInfo&) override { ++clicks; }
  void frame_changed(FrameSequenceElement& sequence, FrameChange cause) override {
    frames.push_back(sequence.current());
    causes.push_back(cause);
  }
  int clicks = 0;
  std::vector<size_t> frames;
  std::vector<FrameChange> causes;
};

// The index of the one visible child.
int shown_frame(const FrameSequenceElement& sequence) {
  int shown = -1;
  for (size_t i = 0; i < sequence.child_count(); ++i)
    if (sequence.child(i).visible()) {
      if (shown >= 0) return -2;  // more than one
      shown = static_cast<int>(i);
    }
  return shown;
}

TEST(Movie, StepsOneFrameAtATimeByEachFramesDelayOnlyWhileShown) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "multinode", "id": "movie", "delay": "0.5"}, "integer": {"movie": 1},
     "children": [{"string": {"type": "node", "id": "f0"}},
       {"string": {"type": "node", "id": "f1", "delay": "2"}},
       {"string": {"type": "node", "id": "f2", "delay": "soon"}}]}]}})"));
  TestScreen screen(skin, u"Main", {50, 50});
  auto& movie = screen.find<FrameSequenceElement>(u"movie");
  FrameChanges changes;
  movie.set_listener(&changes);
  // Frame 2's delay is unreadable: it takes the sequence's. 0.5 s of frame
  // 0, 2 s of frame 1, 0.5 s of frame 2, then frame 0 again.
  std::vector<int> seen;
  for (int tick = 0; tick < 13; ++tick) seen.push_back((screen.tick(0.25), shown_frame(movie)));
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 0, 0}));
  EXPECT_EQ(changes.frames, (std::vector<size_t>{1, 2, 0}));
  EXPECT_EQ(changes.causes, std::vector<FrameChange>(3, FrameChange::timer));

  // One frame per tick, and the rest of the time is kept; a negative step
  // is ignored, and hidden, the movie does not step.
  seen.clear();
  for (double step : {1.75, 0.5, -1.0}) seen.push_back((screen.tick(step), shown_frame(movie)));
  screen.root().set_visible(false);
  screen.tick(5.0);
  seen.push_back(shown_frame(movie));
  screen.root().set_visible(true);
  screen.tick(0.5);
  seen.push_back(shown_frame(movie));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 2, 2, 0}));
}

TEST(FramePages, ClickOnTheCurrentButtonShowsTheNextFrame) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "multinode", "id": "pages", "text": "Next"}, "children": [
      {"string": {"type": "button", "id": "p0"}},
      {"string": {"type": "button", "id": "p1"}},
      {"string": {"type": "node", "id": "plain"}}]}]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  auto& pages = screen.find<FrameSequenceElement>(u"pages");
  ASSERT_NE(pages.frame_button(0), nullptr);
  EXPECT_EQ(pages.frame_button(2), nullptr);
  screen.tick(10.0);
  EXPECT_EQ(pages.current(), 0u);
  // No listener: the sequence turns the page itself.
  screen.tap(50, 50);
  EXPECT_EQ(shown_frame(pages), 1);
  // With a listener the listener decides; a click reported by a button
  // that is not the current frame is ignored.
  FrameChanges changes;
  pages.set_listener(&changes);
  screen.tap(50, 50);
  ButtonElement& other = *pages.frame_button(0);
  other.listener()->clicked(other, ClickInfo{});
  EXPECT_EQ(changes.clicks, 1);
  EXPECT_EQ(pages.current(), 1u);
  pages.set_listener(nullptr);
  screen.tap(50, 50);  // frame 2 is no button: the tap reaches nothing
  screen.tap(50, 50);
  EXPECT_EQ(pages.current(), 2u);
}

}  // namespace
}  // namespace lv
