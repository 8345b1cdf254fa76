// The element base: building from skins, lookups, visibility and enabled
// propagation, pointer routing with capture, caching, visibility
// animations, destruction.

#include <gtest/gtest.h>

#include <string>

#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "widgets/color_element.h"
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
  void on_timer(double seconds) override { ++timer_calls, Element::on_timer(seconds); }
  void draw(Canvas& target, Point origin) override { ++draws, Element::draw(target, origin); }

  std::vector<PointerEvent> buttons, moves;
  std::vector<WheelEvent> wheels;
  std::vector<PinchEvent> pinches;
  int timer_calls = 0, draws = 0;
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
  ASSERT_NE(root.find_by_id(u"leaf"), nullptr);
  int depth = 0;
  for (Element* e = root.find_by_id(u"leaf"); e->parent(); e = e->parent()) ++depth;
  EXPECT_EQ(depth, 64);
}

TEST_F(ElementTest, FindByIdPrefersDirectChildrenThenEarlierSubtrees) {
  open(R"({"Main": {"children": [
    {"string": {"type": "node", "id": "one"}, "children": [
      {"string": {"type": "node", "id": "x", "anchor_x": "MIN_SIDE"}},
      {"string": {"type": "node", "id": "inner"}, "children": [
        {"string": {"type": "node", "id": "deep"}}]}]},
    {"string": {"type": "node", "id": "two"}, "children": [
      {"string": {"type": "node", "id": "deep", "anchor_x": "CENTER"}},
      {"string": {"type": "node", "id": "x", "anchor_x": "MAX_SIDE"}}]},
    {"string": {"type": "node", "id": "x", "anchor_x": "RATIO"}}]}})");
  ScreenRoot& root = screen->root();
  EXPECT_EQ(root.find_by_id(u"x")->anchor_x(), AnchorMode::ratio);
  // "deep" in the first child's subtree, though deeper than the second's.
  EXPECT_EQ(root.find_by_id(u"deep")->anchor_x(), AnchorMode::both_side);
  EXPECT_EQ(root.find_by_id(u"two")->find_by_id(u"deep")->anchor_x(), AnchorMode::center);
  EXPECT_EQ(root.find_by_id(u"X"), nullptr);
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

  // A subtree inserted under a hidden element learns it at once.
  outer.set_visible(false);
  auto branch = std::make_unique<Element>();
  branch->add_child(std::make_unique<Element>());
  Element& grandchild = branch->child(0);
  outer.add_child(std::move(branch));
  EXPECT_FALSE(grandchild.effectively_visible());
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
  EXPECT_TRUE(root.on_wheel(WheelEvent{10, 10, 1}));
  EXPECT_EQ(high.wheels.size(), 1u);
  EXPECT_TRUE(recorder(u"off").wheels.empty());
  high.takes = false;  // declined: the next child below tries
  EXPECT_TRUE(root.on_wheel(WheelEvent{10, 10, 1}));
  EXPECT_EQ(recorder(u"low").wheels.size(), 1u);
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
  EXPECT_EQ(high.buttons[1].pressed, 0);
  EXPECT_EQ(high.buttons[1].cancelled, 1);
  EXPECT_EQ(screen->find(u"panel").pointer_capture(), nullptr);
}

TEST_F(ElementTest, CachedSubtreeShowsMagentaOnlyWithPlainCopy) {
  open(R"({"Main": {"children": [
    {"string": {"type": "recorder", "id": "plain"}, "integer": {"cache": 1},
     "point": {"border_max": [50, 0]}, "children": [
      {"string": {"type": "color", "anchor_x": "MIN_SIDE"}, "color": {"color": "#ff0000"},
       "point": {"design_size": [20, 0]}}]},
    {"string": {"type": "node", "id": "keyed"}, "integer": {"cache": 1, "cache_alpha": 0},
     "point": {"border_min": [50, 0]}, "children": [
      {"string": {"type": "color", "anchor_x": "MIN_SIDE"}, "color": {"color": "#ff0000"},
       "point": {"design_size": [20, 0]}}]}]}})",
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

TEST_F(ElementTest, ShowAnimatedPlaysTheTransitionAndHoldsTheChildrensTimer) {
  open(R"({"Main": {"children": [
    {"string": {"type": "color", "id": "panel", "visibility_animation": "scale"},
     "color": {"color": "#ff0000"}, "children": [{"string": {"type": "recorder", "id": "clock"}}]}
    ]}})");
  Element& panel = screen->find(u"panel");
  const uint16_t red = test::rgb565_of({255, 0, 0});
  std::vector<int32_t> red_counts;  // red pixels after each step
  const auto step = [&](double seconds) {
    screen->tick(seconds);
    red_counts.push_back((screen->render(0), screen->count_pixels({0, 0, 100, 100}, red)));
  };
  panel.set_visible(false);
  // Showing: visible at once, a quarter of the size (centred) half way,
  // and the children's timer held until the transition ends.
  panel.show_animated(true);
  EXPECT_TRUE(panel.visible());
  step(0.1);
  EXPECT_EQ(recorder(u"clock").timer_calls, 0);
  EXPECT_EQ(screen->pixel(50, 50), red);
  step(0.1);
  step(0.04);
  EXPECT_EQ(recorder(u"clock").timer_calls, 1);
  // Hiding: invisible at once, yet drawn while the transition runs.
  panel.show_animated(false);
  EXPECT_FALSE(panel.visible());
  step(0.1);
  step(0.2);
  EXPECT_EQ(red_counts, (std::vector<int32_t>{25 * 25, 100 * 100, 100 * 100, 25 * 25, 0}));
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

}  // namespace
}  // namespace lv
