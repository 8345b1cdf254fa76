// The element base: building from skins, lookups, visibility and enabled
// propagation, pointer routing with capture, caching, visibility
// animations, destruction.
//
// The anchor rules, the table arithmetic and the layout of trees built from
// skins: sizes, offsets, re-flow after hiding, and that a still screen does
// no layout work.

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>

#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "widgets/color_element.h"
#include "widgets/layout.h"
#include "widgets/table.h"
#include "widgets/text_element.h"
#include "widgets/widget_exceptions.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::Rgb;
using test::TestScreen;
using test::TestSkin;

// Keeps every pointer event that reaches it and takes it unless told not to.
class Recorder : public Element {
 public:
  template <typename Event>
  bool keep(std::vector<Event>& events, const Event& event) {
    events.push_back(event);
    return takes;
  }
  bool on_pointer_button(const PointerEvent& event) override { return keep(buttons, event); }
  void on_pointer_move(const PointerEvent& event) override { keep(moves, event); }
  bool on_wheel(const WheelEvent& event) override { return keep(wheels, event); }
  bool on_pinch(const PinchEvent& event) override { return keep(pinches, event); }
  void draw(Canvas& target, Point origin) override { ++draws, Element::draw(target, origin); }

  std::vector<PointerEvent> buttons, moves;
  std::vector<WheelEvent> wheels;
  std::vector<PinchEvent> pinches;
  int draws = 0;
  bool takes = true;
};

// Builds a part of itself from the named node that holds it: loads that
// never end.
class Looping : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override {
    Element::load(properties, node);
    auto again = std::make_unique<Element>();
    again->load_named(properties, u"Loop");
    add_child(std::move(again));
  }
};

class ElementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::register_test_type<Recorder>(u"recorder");
    test::register_test_type<Looping>(u"looping");
  }
  // A screen of the size built from "Main" of the nodes.
  TestScreen& open(const std::string& nodes, Size size = {100, 100}) {
    EXPECT_TRUE(skin.load_nodes(nodes));
    screen = std::make_unique<TestScreen>(skin, u"Main", size);
    screen->layout();
    return *screen;
  }
  Recorder& recorder(std::u16string_view id) { return screen->find<Recorder>(id); }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
};

// Once a stack overflow: a skin node that holds itself.
TEST_F(ElementTest, TreesTooDeepOrLoopingStopWithAnError) {
  // 64 levels below the named node: the deepest tree a skin may hold builds.
  std::string nested = R"({"string": {"type": "node", "id": "leaf"}})";
  for (int level = 1; level < 64; ++level)
    nested = R"({"string": {"type": "node"}, "children": [)" + nested + "]}";
  ASSERT_TRUE(skin.load_nodes(R"({"Deep": {"children": [)" + nested + R"(]},
    "Loop": {"children": [{"string": {"type": "looping", "id": "again"}}]}})"));
  ScreenRoot root;
  EXPECT_THROW(root.build(skin.properties(), u"Loop"), jobser::NodeTreeTooDeep);
  // The depth count unwound: the next build works.
  root.build(skin.properties(), u"Deep");
  EXPECT_NE(root.find_by_id(u"leaf"), nullptr);
}

TEST_F(ElementTest, VisibilityAndEnabledReachTheWholeSubtree) {
  open(R"({"Main": {"children": [{"string": {"type": "node", "id": "outer"}, "children": [
    {"string": {"type": "node", "id": "middle"}, "children": [
      {"string": {"type": "node", "id": "leaf"}}]}]}]}})");
  Element& outer = screen->find(u"outer");
  Element& leaf = screen->find(u"leaf");
  screen->find(u"middle").set_visible(false);
  outer.set_visible(false);
  screen->find(u"middle").set_visible(true);
  EXPECT_FALSE(leaf.effectively_visible());  // outer still hides it
  outer.set_visible(true);
  EXPECT_TRUE(leaf.effectively_visible());
  outer.set_enabled(false);
  EXPECT_FALSE(leaf.effectively_enabled());
}

// "low" fills the screen; over its left half "high" in "panel", and "off",
// hidden, over both.
constexpr const char* kLayers = R"({"Main": {"children": [
  {"string": {"type": "recorder", "id": "low"}},
  {"string": {"type": "node", "id": "panel", "anchor_x": "MIN_SIDE"},
   "point": {"design_size": [50, 0]}, "children": [{"string": {"type": "recorder", "id": "high"}}]},
  {"string": {"type": "recorder", "id": "off"}}]}})";

TEST_F(ElementTest, PointerGoesToTheTopmostVisibleEnabledChildAndStaysCaptured) {
  open(kLayers);
  Recorder& high = recorder(u"high");
  recorder(u"off").set_visible(false);
  // Moves and the release follow the capture, wherever they are.
  EXPECT_TRUE(screen->press(10, 10));
  screen->move(90, 90);
  EXPECT_TRUE(screen->release(90, 90));
  EXPECT_EQ(std::pair(high.moves.size(), high.buttons.size()), std::pair(size_t{1}, size_t{2}));
  EXPECT_EQ(high.buttons.back().x, 90);
  EXPECT_EQ(recorder(u"off").buttons.size() + recorder(u"low").buttons.size(), 0u);
  // Past one that declines, and not to one that is disabled.
  high.takes = false;
  screen->press(10, 10);
  EXPECT_EQ(screen->root().pointer_capture(), &screen->find(u"low"));
  screen->release(10, 10);
  EXPECT_EQ(screen->root().pointer_capture(), nullptr);
  recorder(u"low").set_enabled(false);
  EXPECT_FALSE(screen->press(80, 10));
}

TEST_F(ElementTest, WheelAndPinchGoToTheChildUnderThePointAndAPinchStaysCaptured) {
  open(kLayers);
  Element& root = screen->root();
  Recorder& high = recorder(u"high");
  recorder(u"off").set_visible(false);
  // The second wheel, declined by "high", goes on to the child below.
  EXPECT_TRUE(root.on_wheel(WheelEvent{10, 10, 1}));
  high.takes = false;
  EXPECT_TRUE(root.on_wheel(WheelEvent{10, 10, 1}));
  EXPECT_EQ((std::vector{high.wheels.size(), recorder(u"low").wheels.size(),
                         recorder(u"off").wheels.size()}),
            (std::vector<size_t>{2, 1, 0}));
  high.takes = true;

  // Begun at x 49.5, inside "panel", which is 50 wide; the moves and the
  // end follow the fingers' first child wherever they go.
  using Phase = PinchEvent::Phase;
  EXPECT_TRUE(root.on_pinch(PinchEvent{Phase::begin, 49.5, 50}));
  EXPECT_EQ(root.pinch_capture(), &screen->find(u"panel"));
  EXPECT_TRUE(root.on_pinch(PinchEvent{Phase::move, 90, 50, 2}));
  EXPECT_TRUE(root.on_pinch(PinchEvent{Phase::end, 90, 50}));
  ASSERT_EQ(high.pinches.size(), 3u);
  EXPECT_DOUBLE_EQ(high.pinches[1].scale, 2);
  EXPECT_TRUE(recorder(u"low").pinches.empty());
  EXPECT_FALSE(root.on_pinch(PinchEvent{Phase::end, 90, 50})) << "an end with no gesture";

  // Hiding the element that follows a pinch ends the pinch for it, and
  // hiding the one that holds a press cancels the press.
  EXPECT_TRUE(root.on_pinch(PinchEvent{Phase::begin, 10, 50}));
  screen->press(40, 50);
  screen->find(u"panel").set_visible(false);
  ASSERT_EQ(high.pinches.size(), 5u);
  EXPECT_EQ(high.pinches[4].phase, Phase::end);
  ASSERT_EQ(high.buttons.size(), 2u);
  EXPECT_TRUE(!high.buttons[1].pressed && high.buttons[1].cancelled);
  EXPECT_EQ(screen->find(u"panel").pointer_capture(), nullptr);
}

TEST_F(ElementTest, CachedSubtreeShowsMagentaOnlyWithPlainCopy) {
  // Two caches 50 wide, each a red child 20 wide at its left.
  const std::string red_child = R"(, "children": [{"string": {"type": "color", "anchor_x":
    "MIN_SIDE"}, "color": {"color": "#ff0000"}, "point": {"design_size": [20, 0]}}]})";
  open(R"({"Main": {"children": [{"string": {"type": "recorder", "id": "plain"},
    "integer": {"cache": 1}, "point": {"border_max": [50, 0]})" +
           red_child + R"(,
    {"string": {"type": "node", "id": "keyed"}, "integer": {"cache": 1, "cache_alpha": 0},
     "point": {"border_min": [50, 0]})" +
           red_child + "]}}",
       {100, 10});
  const uint16_t blue = test::rgb565_of({0, 0, 255}), red = test::rgb565_of({255, 0, 0});
  screen->render(blue);
  // The fill of the plain cache shows; the keyed one leaves it out.
  EXPECT_EQ(screen->pixels({{5, 5}, {30, 5}, {55, 5}, {80, 5}}),
            (std::vector<uint16_t>{red, rgb565::kKey, red, blue}));

  // Unchanged, the cache is drawn without drawing the subtree again; a
  // change below re-renders it.
  Recorder& plain = recorder(u"plain");
  screen->render(blue);
  EXPECT_EQ(plain.draws, 1);
  static_cast<ColorElement&>(plain.child(0)).set_color({0, 255, 0, 255});
  screen->render(blue);
  EXPECT_EQ(plain.draws, 2);
  EXPECT_EQ(screen->pixel(5, 5), test::rgb565_of({0, 255, 0}));
  // Hiding frees the cache's memory.
  plain.set_visible(false);
  EXPECT_EQ(plain.cache_surface().size(), (Size{0, 0}));
}

// Once a use-after-free: the parent kept the capture of a child deleted by
// its owner.
TEST_F(ElementTest, DestroyingAChildTakesItOutOfItsParent) {
  open(R"({"Main": {"children": [{"string": {"type": "recorder", "id": "a"}},
                                 {"string": {"type": "node", "id": "b"}}]}})");
  screen->press(5, 5);  // "b" is on top and declines
  Element& a = screen->find(u"a");
  ASSERT_EQ(screen->root().pointer_capture(), &a);
  std::unique_ptr<Element> taken = screen->root().take_child(a);
  EXPECT_EQ(screen->root().pointer_capture(), nullptr);
  screen->root().add_child(std::move(taken));
  screen->layout();
  screen->press(5, 5);
  delete &screen->root().child(1);  // as an owner dropping its raw pointer would
  ASSERT_EQ(screen->root().child_count(), 1u);
  EXPECT_EQ(screen->root().child(0).id(), u"b");
  EXPECT_EQ(screen->root().pointer_capture(), nullptr);
}

int64_t sum(const std::vector<int32_t>& v) {
  return std::accumulate(v.begin(), v.end(), int64_t{0});
}

TEST(TableSizes, GrowToPreferredThenByRatioAndShrinkByMinimums) {
  using Cells = std::vector<TableCell>;
  using Sizes = std::vector<int32_t>;
  const struct {
    Cells cells;
    int32_t room;
    Sizes sizes;
  } cases[] = {
      // 30 extra pixels over minimums of 10: 10 each; the first and the
      // third stop at their preferred size and pass the rest on.
      {{{20, 10, 0}, {100, 10, 0}, {15, 10, 0}}, 60, {20, 25, 15}},
      // Remainders go to the later children.
      {{{50, 0, 0}, {50, 0, 0}, {50, 0, 0}}, 10, {3, 3, 4}},
      // No ratios: the room beyond all preferred sizes stays empty.
      {{{20, 10, 0}, {30, 10, 0}}, 500, {20, 30}},
      // 1 : 3 of the 200 pixels beyond the preferred sizes.
      {{{40, 40, 1}, {40, 40, 3}}, 280, {90, 190}},
      // Cumulative rounding makes the parts add up.
      {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 100, {33, 33, 34}},
      // A child without a ratio keeps its preferred size.
      {{{10, 10, 0}, {10, 10, 2}}, 100, {10, 90}},
      // Less room than the minimums: the minimums scale, the sum is exact.
      {{{50, 30, 0}, {50, 30, 0}, {50, 40, 0}}, 77, {23, 23, 31}},
      {{{5, 5, 0}}, 0, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    EXPECT_EQ(table_sizes(c.cells, c.room), c.sizes);
  }
  // ratio x leftover would pass 2^63 with 32-bit ratios and a long row.
  const Sizes huge = table_sizes(Cells(5, TableCell{0, 0, INT32_MAX}), INT32_MAX);
  EXPECT_EQ(sum(huge), INT32_MAX);
  for (int32_t s : huge) EXPECT_NEAR(s, INT32_MAX / 5, 1);
  EXPECT_EQ(sum(table_sizes(Cells(3, TableCell{INT32_MAX, INT32_MAX, 0}), 1000)), 1000);
  // An anchor's need saturates instead of wrapping.
  EXPECT_EQ(anchor_need(AnchorMode::min_side, INT32_MAX, INT32_MAX, 0), INT32_MAX);
}

using Rects = std::vector<Rect>;

TEST(TreeLayout, HtableRatiosAndHiddenChildKeepsItsRectangle) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "htable", "id": "row"}, "children": [
      {"string": {"type": "node", "id": "a"}, "integer": {"table_ratio": 1},
       "point": {"design_size": [40, 10]}},
      {"string": {"type": "node", "id": "b"}, "integer": {"table_ratio": 3},
       "point": {"design_size": [40, 10], "border_min": [5, 0], "border_max": [5, 0]}},
      {"string": {"type": "node", "id": "c"}, "point": {"design_size": [30, 10]}}]}]}})"));
  TestScreen screen(skin, u"Main", {330, 50});
  screen.layout();
  // Room 330 - 10 margins = 320; preferred 110; leftover 210 as 1 : 3.
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}),
            (Rects{{0, 0, 92, 50}, {97, 0, 295, 50}, {300, 0, 330, 50}}));
  // Hidden, "a" keeps its rectangle and b takes all 250 pixels of leftover.
  screen.find(u"a").set_visible(false);
  screen.layout();
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}),
            (Rects{{0, 0, 92, 50}, {5, 0, 295, 50}, {300, 0, 330, 50}}));
  // Smaller than the margins: all at the left edge, width 0.
  screen.find(u"a").set_visible(true);
  screen.resize({8, 50});
  screen.layout();
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}), (Rects(3, Rect{0, 0, 0, 50})));
}

// Counts the layout work done on it and below it, by the digit its id ends in.
struct LayoutCounts {
  int measures = 0;
  int layouts = 0;
};
LayoutCounts g_counts[4];

class CountingElement : public Element {
 public:
  void measure_width(SizeRange& range) override {
    ++counts().measures, Element::measure_width(range);
  }
  void measure_height(SizeRange& range) override {
    ++counts().measures, Element::measure_height(range);
  }
  void layout_children_x() override { ++counts().layouts, Element::layout_children_x(); }
  void layout_children_y() override { ++counts().layouts, Element::layout_children_y(); }
  LayoutCounts& counts() { return g_counts[(id().back() - u'0') & 3]; }
};

// "measures/layouts" of c1, c2 and c3 since the last call.
std::string counts_since() {
  std::string out;
  for (int slot = 1; slot <= 3; ++slot)
    out += std::to_string(g_counts[slot].measures) + "/" + std::to_string(g_counts[slot].layouts) +
           (slot < 3 ? " " : "");
  for (auto& c : g_counts) c = {};
  return out;
}

TEST(TreeLayout, StillScreenDoesNoLayoutWorkAndChangesStayOnTheirPath) {
  test::register_test_type<CountingElement>(u"counting");
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [{"string": {"type": "htable"}, "children": [
    {"string": {"type": "counting", "id": "c1"}, "children": [
      {"string": {"type": "text", "id": "label", "text": "ab"}, "integer": {"grow": 1},
       "font": {"font": "12 0 0 0 DejaVu Sans"}}]},
    {"string": {"type": "counting", "id": "c2"}, "point": {"design_size": [50, 20]}},
    {"string": {"type": "counting", "id": "c3"}, "point": {"design_size": [60, 20]}}]}]}})"));
  TestScreen screen(skin, u"Main", {300, 100});
  counts_since();
  EXPECT_TRUE(screen.repaint());
  EXPECT_EQ(counts_since(), "2/2 2/2 2/2");
  EXPECT_FALSE(screen.repaint());
  EXPECT_EQ(counts_since(), "0/0 0/0 0/0");

  // A longer text re-measures its own branch; the siblings keep their
  // measures and are only placed again, further right.
  const Rect c2_before = screen.rect_of(u"c2");
  screen.find<TextElement>(u"label").set_text(u"a much longer label");
  EXPECT_TRUE(screen.repaint());
  EXPECT_EQ(counts_since(), "2/2 0/2 0/2");
  EXPECT_EQ(screen.rect_of(u"c2").width(), c2_before.width());
  EXPECT_GT(screen.rect_of(u"c2").left, c2_before.left);
}

}  // namespace
}  // namespace lv
