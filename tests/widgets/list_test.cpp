// The scrolling list: rows made on demand around the band, kinetic
// scrolling with its springs, presses and clicks, rows shrinking away and
// sliding open, and the velocity tracker behind it. Time moves only
// by explicit steps.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "skin/skin_exceptions.h"
#include "widgets/button.h"
#include "widgets/list_element.h"
#include "widgets/velocity_tracker.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::Rgb;
using test::TestScreen;
using test::TestSkin;
using Indices = std::vector<int32_t>;
using Pixels = std::vector<uint16_t>;

// The list covers (20, 100) to (180, 500) of a 200 x 600 screen, its green
// skin child filling the gaps ("Bordered": 30 pixels above the rows, 20
// below); rows are 50 pixels high, even rows red, odd ones dark red,
// pressed blue, selected yellow; "ButtonRow" has a button at its right.
std::string list_node(const char* name, const char* scroll_borders) {
  return std::string("\"") + name + R"(": {"children": [{"string": {"type": "vlist", "id": "list",
   "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"}, "point": {"border_min": [20, 100],
   "design_size": [160, 400])" +
         scroll_borders + R"(}, "children": [
   {"string": {"type": "color", "id": "gap"}, "color": {"color": "#00ff00"}}]}]})";
}
std::string row_node(const char* name, const char* normal, const char* more = "") {
  return std::string("\"") + name + R"(": {"point": {"design_size": [0, 50]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": ")" +
         normal + R"("}},
   {"string": {"type": "color", "id": "#vlist_pressed"}, "color": {"color": "#0000ff"}},
   {"string": {"type": "color", "id": "#vlist_selected"}, "color": {"color": "#ffff00"}})" +
         more + "]}";
}
const std::string kListSkin =
    "{" + list_node("Main", "") + ", " +
    list_node("Bordered", R"(, "scroll_border_min": [0, 30], "scroll_border_max": [0, 20])") +
    ", " + row_node("RowA", "#ff0000") + ", " + row_node("RowB", "#800000") + ", " +
    row_node("ButtonRow", "#ff0000", R"(, {"string": {"type": "button", "id": "go",
     "anchor_x": "MIN_SIDE"}, "point": {"border_min": [80, 0], "design_size": [80, 50]}})") +
    "}";

const uint16_t kRed = test::rgb565_of(Rgb{255, 0, 0});
const uint16_t kDarkRed = test::rgb565_of(Rgb{128, 0, 0});
const uint16_t kBlue = test::rgb565_of(Rgb{0, 0, 255});
const uint16_t kGreen = test::rgb565_of(Rgb{0, 255, 0});

// What the rows tell their provider.
struct Journal {
  const Properties* properties = nullptr;
  std::set<const ListRow*> live;
  int32_t destroyed = 0, button_clicks = 0;
  std::function<void(ListElement&, ListRow&)> on_button;
};

class TestRow : public ListRow, public ButtonListener {
 public:
  TestRow(Journal& journal, std::u16string style) : m_journal(journal), m_style(std::move(style)) {
    m_journal.live.insert(this);
  }
  ~TestRow() override { m_journal.live.erase(this), ++m_journal.destroyed; }
  void bind_row(ListElement& list, bool created) override {
    m_list = &list;
    if (!created) return;
    build_from_node(list, *m_journal.properties, m_style);
    if (auto* go = dynamic_cast<ButtonElement*>(find_by_id(u"go"))) go->set_listener(this);
  }
  void clicked(ButtonElement&, const ClickInfo&) override {
    ++m_journal.button_clicks;
    if (m_journal.on_button) m_journal.on_button(*m_list, *this);
  }

 private:
  Journal& m_journal;
  std::u16string m_style;
  ListElement* m_list = nullptr;
};

struct Provider : ListProvider, Journal {
  std::unique_ptr<ListRow> create_row(ListElement&, int32_t index) override {
    ++created;
    return std::make_unique<TestRow>(*this, style(index));
  }
  void row_clicked(ListElement& list, int32_t index) override {
    clicks.push_back(index);
    if (on_click) on_click(list, index);
  }
  std::function<std::u16string(int32_t)> style = [](int32_t i) {
    return std::u16string(i % 2 ? u"RowB" : u"RowA");
  };
  int32_t created = 0;
  Indices clicks;
  std::function<void(ListElement&, int32_t)> on_click;
};

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(skin.load_nodes(kListSkin)); }

  void open(std::u16string_view node = u"Main", int32_t count = 100) {
    screen.reset();
    provider = std::make_unique<Provider>();
    provider->properties = &skin.properties();
    screen = std::make_unique<TestScreen>(skin, node, Size{200, 600});
    list = &screen->find<ListElement>(u"list");
    list->set_provider(provider.get());
    list->reset(count);
    screen->render();
  }
  // The realised rows in order, each as "index@top" ("x@top" while it
  // shrinks away), with "/shown" when only part of it shows and "+" while
  // it slides open.
  std::string band() {
    std::string out;
    for (size_t i = 0; i < list->realised_count(); ++i) {
      const ListRow& r = list->realised(i);
      out += (out.empty() ? "" : " ") + (r.being_removed() ? "x" : std::to_string(r.index())) +
             "@" + std::to_string(list->row_top(r));
      if (r.shown_height() != r.full_height()) out += "/" + std::to_string(r.shown_height());
      if (r.appearing()) out += "+";
    }
    return out;
  }
  int32_t top_of(int32_t index) { return list->row_top(*list->row(index)); }
  // How far the content is scrolled (negative: up), for rows of 50 pixels
  // in a list whose top is at y 100.
  int32_t offset() {
    const ListRow& first = list->realised(0);
    return list->row_top(first) - 50 * first.index() - 100;
  }
  // The pixels the content moves in each of the next timer steps of 20 ms.
  Indices steps(int count = 1) {
    Indices moved;
    for (int i = 0; i < count; ++i) {
      const int32_t before = offset();
      screen->tick(0.02);
      screen->render();
      moved.push_back(offset() - before);
    }
    return moved;
  }
  void run(double seconds) { steps(int(std::lround(seconds / 0.02))); }
  void drag_to(int32_t y) {
    screen->move(50, y);
    screen->render();
  }
  // Moves the stylus at x 50 in equal steps, 10 ms between events.
  void stroke(int32_t from_y, int32_t to_y, int32_t count) {
    for (int32_t i = 1; i <= count; ++i) {
      screen->tick(0.01);
      screen->move(50, from_y + (to_y - from_y) * i / count);
    }
  }
  // A flick downwards of `distance` pixels in 50 ms: 150 is 3000 px/s.
  void flick_down(int32_t distance = 150) {
    screen->press(50, 200);
    stroke(200, 200 + distance, 5);
    screen->release(50, 200 + distance);
  }
  // Scrolls the content up by `distance` pixels and lets go without a fling.
  void scroll_up(int32_t distance) {
    screen->press(50, 480);
    stroke(480, 480 - distance, (distance + 99) / 100);
    screen->tick(0.3);  // held still: the velocity window empties
    screen->release(50, 480 - distance);
    screen->render();
  }
  // Whether the realised row shows the look ("#vlist_pressed"...).
  bool shows(int32_t index, std::u16string_view look) {
    return list->row(index)->find_by_id(look)->visible();
  }
  bool any_pressed() {
    for (size_t i = 0; i < list->realised_count(); ++i)
      if (list->realised(i).find_by_id(u"#vlist_pressed")->visible()) return true;
    return false;
  }

  TestSkin skin;
  std::unique_ptr<Provider> provider;  // outlives the rows the screen holds
  std::unique_ptr<TestScreen> screen;
  ListElement* list = nullptr;
};

constexpr const char* kTop = "0@100 1@150 2@200 3@250 4@300 5@350 6@400 7@450";

TEST_F(ListTest, RealisesTheRowsOfTheBandAndDrawsThemInPlace) {
  open();
  EXPECT_EQ(band(), kTop);
  EXPECT_EQ(provider->created, 8);
  EXPECT_EQ(list->realised(0).rect(), (Rect{0, 0, 160, 50}));  // rows live at (0, 0)
  // Nothing outside the list, and no gap, so no skin child.
  EXPECT_EQ(screen->pixels({{179, 149}, {100, 499}, {100, 500}, {19, 120}}),
            (Pixels{kRed, kDarkRed, 0, 0}));
  EXPECT_EQ(screen->count_pixels({20, 100, 180, 500}, kGreen), 0);
  // The skin's children show only in the gaps.
  open(u"Bordered", 3);
  EXPECT_EQ(band(), "0@130 1@180 2@230");
  EXPECT_EQ(screen->count_pixels({20, 100, 180, 130}, kGreen), 160 * 30);
  EXPECT_EQ(screen->count_pixels({20, 130, 180, 280}, kGreen), 0);
  EXPECT_EQ(screen->count_pixels({20, 280, 180, 500}, kGreen), 160 * 220);
}

TEST_F(ListTest, DraggingFollowsTheStylusAndRowsComeAndGo) {
  open();
  screen->press(50, 400);
  drag_to(395);  // within the slop: nothing moves
  EXPECT_EQ(band(), kTop);
  drag_to(390);
  EXPECT_EQ(offset(), -10);
  screen->tick(0.4);  // a pause longer than the velocity window
  drag_to(300);
  EXPECT_EQ(band(), "2@100 3@150 4@200 5@250 6@300 7@350 8@400 9@450");
  EXPECT_EQ(provider->destroyed, 2);
  drag_to(325);  // back down 25: row 1 comes again, half shown
  EXPECT_EQ(band(), "1@75 2@125 3@175 4@225 5@275 6@325 7@375 8@425 9@475");
  // A jump of 300,000 pixels builds the rows it passes one at a time and
  // keeps none of them.
  open(u"Main", 100000);
  screen->press(50, 480);
  drag_to(480 - 300000);
  EXPECT_EQ(top_of(6000), 100);
  EXPECT_EQ(provider->live.size(), 8u);
}

TEST_F(ListTest, AFlickStartsAClampedVelocityThatDecaysAndAPressBrakesIt) {
  open();
  scroll_up(3000);
  // 3000 px/s is clamped to 2000: 40 pixels in the first 20 ms; then the
  // list slows down by (2 v + 9) per second (1919.82 px/s: 78.4 pixels
  // after two steps). Held, it slows down five times as hard from the
  // next step on (20 pixels instead of about 25), and a tap stops it.
  flick_down();
  EXPECT_FALSE(any_pressed());
  EXPECT_EQ(steps(2), (Indices{40, 38}));
  run(0.16);
  EXPECT_EQ(steps(), (Indices{26}));
  EXPECT_TRUE(screen->press(50, 300));
  EXPECT_EQ(steps(2), (Indices{26, 20}));
  EXPECT_FALSE(any_pressed());
  screen->release(50, 300);
  EXPECT_EQ(steps(), (Indices{0}));
  // About three seconds of motion, then at rest for good.
  flick_down();
  const int32_t before = offset();
  run(4.0);
  EXPECT_EQ(steps(), (Indices{0}));
  EXPECT_NEAR(offset() - before, 975, 75);
  EXPECT_TRUE(provider->clicks.empty());
}

TEST_F(ListTest, ATapWithinTheSlopClicksTheRowAndShowsItsPressedLook) {
  open();
  EXPECT_TRUE(screen->press(60, 260));
  EXPECT_FALSE(shows(3, u"#vlist_normal"));
  screen->render();
  EXPECT_EQ(screen->pixels({{60, 260}, {60, 210}}), (Pixels{kBlue, kRed}));
  screen->move(60, 251);  // 9 pixels: still a tap
  screen->release(60, 251);
  EXPECT_EQ(provider->clicks, (Indices{3}));
  EXPECT_TRUE(shows(3, u"#vlist_normal"));
  EXPECT_FALSE(shows(3, u"#vlist_pressed"));
  provider->clicks.clear();
  // No click after a drag of 10 pixels, up or sideways, a release on
  // another row, or the row removed.
  for (const Point to : {Point{60, 250}, Point{70, 260}}) {
    screen->press(60, 260);
    screen->move(to.x, to.y);
    EXPECT_FALSE(any_pressed());
    screen->release(to.x, to.y);
  }
  screen->press(60, 250);
  screen->release(60, 320);
  screen->press(60, 250);
  list->remove_row(3);
  EXPECT_FALSE(any_pressed());
  screen->release(60, 250);
  EXPECT_TRUE(provider->clicks.empty());
}

// Once a crash: the row shrinking away was freed under the pressed one.
TEST_F(ListTest, ThePressedRowStaysUnderTheStylusWhileRowsAboveItShrink) {
  open();
  screen->press(60, 260);
  ListRow* pressed = list->row(3);
  list->remove_row(0);
  run(0.3);
  EXPECT_EQ(list->row_top(*pressed), 250);
  EXPECT_TRUE(pressed->find_by_id(u"#vlist_pressed")->visible());
  screen->release(60, 260);
  EXPECT_EQ(provider->clicks, (Indices{2}));  // its new index
  run(0.5);                                   // then the gap above closes
  EXPECT_EQ(band(), kTop);
}

// Once a use-after-free: a click or a row's button that resets the list
// must not free the row whose event is still running. A row's button
// takes the press, and the row stays unpressed.
TEST_F(ListTest, AResetFromARowClickOrARowButtonFreesTheRowsOnlyAfterTheEvent) {
  open();
  const ListRow* clicked = nullptr;
  bool alive_after_reset = false;
  provider->on_click = [&](ListElement& l, int32_t index) {
    clicked = l.row(index);
    l.reset(5);
    alive_after_reset = provider->live.count(clicked) == 1;
  };
  screen->tap(60, 210);
  EXPECT_TRUE(alive_after_reset);
  EXPECT_EQ(provider->live.count(clicked), 0u);  // freed once the release was over
  EXPECT_EQ(list->realised_count(), 0u);
  screen->render();
  EXPECT_EQ(band(), "0@100 1@150 2@200 3@250 4@300");

  provider->style = [](int32_t) { return std::u16string(u"ButtonRow"); };
  list->reset(20);
  screen->render();
  screen->press(150, 210);  // the button of row 2
  EXPECT_NE(list->row(2)->pointer_capture(), nullptr);
  EXPECT_FALSE(shows(2, u"#vlist_pressed"));  // the button shows it
  alive_after_reset = false;
  provider->on_button = [&](ListElement& l, ListRow& row) {
    l.reset(3);
    alive_after_reset = provider->live.count(&row) == 1;
  };
  screen->release(150, 210);
  EXPECT_TRUE(alive_after_reset);
  EXPECT_TRUE(provider->live.empty());
  EXPECT_EQ(provider->button_clicks, 1);
  EXPECT_EQ(provider->clicks, (Indices{2}));  // the row click before, none now
  screen->render();
  EXPECT_EQ(list->realised_count(), 3u);
}

TEST_F(ListTest, ARemovedRowShrinksAwayAndARowSlidesOpenAtTheBottom) {
  open();
  list->remove_row(2);
  EXPECT_EQ(list->count(), 99);
  screen->tick(0.05);  // 200 px/s: ten pixels; above the removed row nothing moves
  screen->render();
  EXPECT_EQ(band(), "0@100 1@150 x@200/40 2@240 3@290 4@340 5@390 6@440 7@490/0+");
  run(0.3);
  EXPECT_EQ(band(), kTop);
  EXPECT_EQ(screen->pixel(60, 210), kDarkRed);  // the former row 3
}

// --- The velocity tracker -------------------------------------------------------------

PointerEvent at(int32_t x, int32_t y, uint32_t time, bool pressed = true) {
  return test::pointer_event(x, y, time, pressed);
}

TEST(VelocityTracker, VelocityPointsAgainstTheMotionOverTheWindow) {
  VelocityTracker t;
  t.press(at(0, 0, 1000));
  t.move(at(0, 20, 1020));
  EXPECT_EQ(t.velocity_y(), 0.0);  // under 50 ms of samples
  t.move(at(30, 70, 1070));
  EXPECT_EQ(std::pair(t.velocity_x(), t.velocity_y()), std::pair(double(-30000 / 70), -1000.0));
  // Samples 251 ms older than the newest are dropped: held still since 1251.
  t.move(at(30, 100, 1251));
  t.move(at(30, 100, 1330));
  EXPECT_EQ(t.velocity_y(), 0.0);
  // A new press starts at rest, and so does a cancel.
  t.press(at(0, 0, 2000));
  EXPECT_EQ(t.velocity_y(), 0.0);
  t.move(at(0, 70, 2070));
  EXPECT_LT(t.velocity_y(), 0.0);
  t.cancel();
  EXPECT_EQ(t.velocity_y(), 0.0);
}

}  // namespace
}  // namespace lv
