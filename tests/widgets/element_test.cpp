// The element base: building from skins, lookups, visibility and enabled
// propagation, pointer routing with capture, caching, visibility
// animations, destruction and dump.

#include <gtest/gtest.h>

#include <string>

#include "skin/rgb565.h"
#include "skin/skin_exceptions.h"
#include "widgets/color_element.h"
#include "widgets/widget_exceptions.h"
#include "widgets/widget_test_support.h"
#include "widgets/widget_types.h"

namespace lv {
namespace {

using test::Rgb;
using test::TestScreen;
using test::TestSkin;

// Takes every pointer event and counts what reaches it.
class Recorder : public Element {
 public:
  bool on_pointer_button(const PointerEvent& event) override {
    buttons.push_back(event);
    return takes;
  }
  void on_pointer_move(const PointerEvent& event) override { moves.push_back(event); }
  bool on_wheel(const WheelEvent& event) override {
    wheels.push_back(event);
    return takes;
  }
  bool on_pinch(const PinchEvent& event) override {
    pinches.push_back(event);
    return takes;
  }
  void on_timer(double seconds) override {
    ++timer_calls;
    Element::on_timer(seconds);
  }
  void draw(Canvas& target, Point origin) override {
    ++draws;
    Element::draw(target, origin);
  }

  std::vector<PointerEvent> buttons;
  std::vector<PointerEvent> moves;
  std::vector<WheelEvent> wheels;
  std::vector<PinchEvent> pinches;
  int timer_calls = 0;
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

void register_test_types() {
  test::ensure_widget_types();
  NodeTypeRegistry& registry = NodeTypeRegistry::instance();
  if (!registry.contains(u"recorder"))
    registry.register_type(u"recorder",
                           [] { return std::unique_ptr<Element>(std::make_unique<Recorder>()); });
  if (!registry.contains(u"looping"))
    registry.register_type(u"looping",
                           [] { return std::unique_ptr<Element>(std::make_unique<Looping>()); });
}

class ElementTest : public ::testing::Test {
 protected:
  void SetUp() override { register_test_types(); }
  TestSkin skin;
};

TEST_F(ElementTest, UnknownTypesAndMissingNodesAreSkinFaults) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Bad": {"children": [{"string": {"type": "node"}}, {"string": {"type": "gizmo"}}]},
    "Untyped": {"children": [{"string": {"id": "x"}}]}
  })"));
  ScreenRoot root;
  for (const auto& [node, type] : {std::pair{u"Bad", u"gizmo"}, std::pair{u"Untyped", u""}}) {
    try {
      root.build(skin.properties(), node);
      ADD_FAILURE() << "no exception";
    } catch (const jobser::NodeNotRegistered& e) {
      EXPECT_EQ(e.type_name(), type);
    }
  }
  EXPECT_FALSE(root.load_named(skin.properties(), u"Nowhere"));
  try {
    root.build(skin.properties(), u"Nowhere");
    FAIL() << "no exception";
  } catch (const jobser::NodeNotFoundInSkin& e) {
    EXPECT_EQ(e.node_name(), u"Nowhere");
  }
}

TEST_F(ElementTest, TreesTooDeepOrLoopingStopWithAnError) {
  // 64 levels below the named node: the deepest tree a skin may hold builds.
  std::string nested = R"({"string": {"type": "node", "id": "leaf"}})";
  for (int level = 1; level < 64; ++level)
    nested = R"({"string": {"type": "node"}, "children": [)" + nested + "]}";
  ASSERT_TRUE(skin.load_nodes(R"({"Deep": {"children": [)" + nested + R"(]},
    "Loop": {"children": [{"string": {"type": "looping", "id": "again"}}]}})"));
  ScreenRoot root;
  root.build(skin.properties(), u"Deep");
  Element* leaf = root.find_by_id(u"leaf");
  ASSERT_NE(leaf, nullptr);
  int depth = 0;
  for (Element* e = leaf; e->parent(); e = e->parent()) ++depth;
  EXPECT_EQ(depth, 64);

  try {
    root.build(skin.properties(), u"Loop");
    FAIL() << "no exception";
  } catch (const jobser::NodeTreeTooDeep& e) {
    EXPECT_EQ(e.limit(), kMaxLoadDepth);
  }
  // The depth count unwound: the next build works.
  root.build(skin.properties(), u"Deep");
  EXPECT_NE(root.find_by_id(u"leaf"), nullptr);
}

TEST_F(ElementTest, FindByIdPrefersDirectChildrenThenEarlierSubtrees) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [
      {"string": {"type": "node", "id": "one"}, "children": [
        {"string": {"type": "node", "id": "x", "anchor_x": "MIN_SIDE"}},
        {"string": {"type": "node", "id": "inner"}, "children": [
          {"string": {"type": "node", "id": "deep"}}]}]},
      {"string": {"type": "node", "id": "two"}, "children": [
        {"string": {"type": "node", "id": "deep", "anchor_x": "CENTER"}},
        {"string": {"type": "node", "id": "x", "anchor_x": "MAX_SIDE"}}]},
      {"string": {"type": "node", "id": "x", "anchor_x": "RATIO"}}
    ]}})"));
  TestScreen screen(skin, u"Main", {10, 10});
  ScreenRoot& root = screen.root();
  EXPECT_EQ(root.find_by_id(u"x")->anchor_x(), AnchorMode::ratio);
  // "deep" in the first child's subtree, though deeper than the second's.
  EXPECT_EQ(root.find_by_id(u"deep")->anchor_x(), AnchorMode::both_side);
  EXPECT_EQ(root.find_by_id(u"two")->find_by_id(u"deep")->anchor_x(), AnchorMode::center);
  EXPECT_EQ(root.find_by_id(u"X"), nullptr);
  try {
    root.find_by_id(u"one")->find_required(u"missing");
    FAIL() << "no exception";
  } catch (const jobser::NodeNotFound& e) {
    EXPECT_EQ(e.searched_id(), u"one");
    EXPECT_EQ(e.sought_id(), u"missing");
  }
}

TEST_F(ElementTest, RebuildingFromAnotherNodeTakesItsDefaults) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "A": {"integer": {"cache": 1}, "point": {"border_min": [3, 4], "design_size": [7, 8]},
          "string": {"visibility_animation": "scale"},
          "children": [{"string": {"type": "node", "id": "a"}}]},
    "B": {"integer": {"other": 1}, "children": [{"string": {"type": "node", "id": "b"}}]}
  })"));
  ScreenRoot root;
  root.build(skin.properties(), u"A");
  EXPECT_EQ(root.border_min(), (Point{3, 4}));
  EXPECT_EQ(root.design_size(), (Size{7, 8}));
  EXPECT_TRUE(root.cache_enabled());
  EXPECT_NE(root.visibility_animation(), nullptr);
  root.build(skin.properties(), u"B");
  EXPECT_EQ(root.border_min(), (Point{0, 0}));
  EXPECT_EQ(root.design_size(), (Size{0, 0}));
  EXPECT_FALSE(root.cache_enabled());
  EXPECT_EQ(root.visibility_animation(), nullptr);
  ASSERT_EQ(root.child_count(), 1u);
  EXPECT_EQ(root.child(0).id(), u"b");
}

TEST_F(ElementTest, VisibilityAndEnabledReachTheWholeSubtree) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [{"string": {"type": "node", "id": "outer"}, "children": [
      {"string": {"type": "node", "id": "middle"}, "children": [
        {"string": {"type": "node", "id": "leaf"}}]}]}]}})"));
  TestScreen screen(skin, u"Main", {10, 10});
  Element& outer = screen.find(u"outer");
  Element& middle = screen.find(u"middle");
  Element& leaf = screen.find(u"leaf");
  middle.set_visible(false);
  outer.set_visible(false);
  middle.set_visible(true);
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

TEST_F(ElementTest, PointerGoesToTheTopmostVisibleEnabledChildAndStaysCaptured) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [
      {"string": {"type": "recorder", "id": "low"}},
      {"string": {"type": "recorder", "id": "high", "anchor_x": "MIN_SIDE"},
       "point": {"design_size": [50, 0]}},
      {"string": {"type": "recorder", "id": "off", "anchor_x": "MIN_SIDE"},
       "point": {"design_size": [50, 0]}}
    ]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  auto& low = screen.find<Recorder>(u"low");
  auto& high = screen.find<Recorder>(u"high");
  auto& off = screen.find<Recorder>(u"off");
  off.set_visible(false);

  EXPECT_TRUE(screen.press(10, 10));
  EXPECT_EQ(high.buttons.size(), 1u);
  EXPECT_TRUE(off.buttons.empty());
  // Moves and the release follow the capture, wherever they are.
  screen.move(90, 90);
  EXPECT_EQ(high.moves.size(), 1u);
  EXPECT_TRUE(screen.release(90, 90));
  ASSERT_EQ(high.buttons.size(), 2u);
  EXPECT_EQ(high.buttons[1].x, 90);
  EXPECT_EQ(screen.root().pointer_capture(), nullptr);
  EXPECT_TRUE(low.buttons.empty());

  // Past one that declines, and not to one that is disabled.
  high.takes = false;
  screen.press(10, 10);
  EXPECT_EQ(low.buttons.size(), 1u);
  EXPECT_EQ(screen.root().pointer_capture(), &low);
  screen.release(10, 10);
  low.set_enabled(false);
  EXPECT_FALSE(screen.press(80, 10));
}

TEST_F(ElementTest, WheelAndPinchGoToTheChildUnderThePointAndAPinchStaysCaptured) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [
      {"string": {"type": "recorder", "id": "low"}},
      {"string": {"type": "node", "id": "panel", "anchor_x": "MIN_SIDE"},
       "point": {"design_size": [50, 0]}, "children": [
         {"string": {"type": "recorder", "id": "high"}}]},
      {"string": {"type": "recorder", "id": "off", "anchor_x": "MIN_SIDE"},
       "point": {"design_size": [50, 0]}}
    ]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  Element& root = screen.root();
  auto& low = screen.find<Recorder>(u"low");
  auto& high = screen.find<Recorder>(u"high");
  auto& off = screen.find<Recorder>(u"off");
  off.set_visible(false);

  WheelEvent wheel;
  wheel.x = 10;
  wheel.y = 10;
  wheel.steps = 1;
  EXPECT_TRUE(root.on_wheel(wheel));
  EXPECT_EQ(high.wheels.size(), 1u);
  EXPECT_TRUE(off.wheels.empty());
  high.takes = false;  // declined: the next child below tries
  EXPECT_TRUE(root.on_wheel(wheel));
  EXPECT_EQ(low.wheels.size(), 1u);
  high.takes = true;

  PinchEvent pinch;
  pinch.phase = PinchEvent::Phase::begin;
  pinch.x = 49.5;  // inside "panel", which is 50 wide
  pinch.y = 50;
  EXPECT_TRUE(root.on_pinch(pinch));
  EXPECT_EQ(root.pinch_capture(), &screen.find(u"panel"));
  // The moves follow the fingers' first child wherever they go.
  pinch.phase = PinchEvent::Phase::move;
  pinch.x = 90;
  pinch.scale = 2;
  EXPECT_TRUE(root.on_pinch(pinch));
  pinch.phase = PinchEvent::Phase::end;
  EXPECT_TRUE(root.on_pinch(pinch));
  ASSERT_EQ(high.pinches.size(), 3u);
  EXPECT_DOUBLE_EQ(high.pinches[1].scale, 2);
  EXPECT_TRUE(low.pinches.empty());
  EXPECT_FALSE(root.on_pinch(pinch)) << "an end with no gesture";

  // Hiding the element that follows a pinch ends the pinch for it.
  pinch.phase = PinchEvent::Phase::begin;
  pinch.x = 10;
  EXPECT_TRUE(root.on_pinch(pinch));
  screen.find(u"panel").set_visible(false);
  ASSERT_EQ(high.pinches.size(), 5u);
  EXPECT_EQ(high.pinches[4].phase, PinchEvent::Phase::end);
}

TEST_F(ElementTest, HidingAnElementCancelsItsChildsPress) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [{"string": {"type": "node", "id": "panel"}, "children": [
      {"string": {"type": "recorder", "id": "target"}}]}]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  auto& target = screen.find<Recorder>(u"target");
  screen.press(40, 50);
  ASSERT_EQ(screen.find(u"panel").pointer_capture(), &target);
  screen.find(u"panel").set_visible(false);
  ASSERT_EQ(target.buttons.size(), 2u);
  EXPECT_EQ(target.buttons[1].pressed, 0);
  EXPECT_EQ(target.buttons[1].cancelled, 1);
  EXPECT_EQ(screen.find(u"panel").pointer_capture(), nullptr);
}

const Rgb kRed{255, 0, 0};
const Rgb kBlue{0, 0, 255};

TEST_F(ElementTest, CachedSubtreeShowsMagentaOnlyWithPlainCopy) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [
      {"string": {"type": "recorder", "id": "plain"}, "integer": {"cache": 1},
       "point": {"border_max": [50, 0]}, "children": [
        {"string": {"type": "color", "anchor_x": "MIN_SIDE"}, "color": {"color": "#ff0000"},
         "point": {"design_size": [20, 0]}}]},
      {"string": {"type": "node", "id": "keyed"}, "integer": {"cache": 1, "cache_alpha": 0},
       "point": {"border_min": [50, 0]}, "children": [
        {"string": {"type": "color", "anchor_x": "MIN_SIDE"}, "color": {"color": "#ff0000"},
         "point": {"design_size": [20, 0]}}]}
    ]}})"));
  TestScreen screen(skin, u"Main", {100, 10});
  const uint16_t background = test::rgb565_of(kBlue);
  screen.render(background);
  const uint16_t red = test::rgb565_of(kRed);
  EXPECT_EQ(screen.pixel(5, 5), red);
  EXPECT_EQ(screen.pixel(30, 5), rgb565::kKey);  // the fill of the cache shows
  EXPECT_EQ(screen.pixel(55, 5), red);
  EXPECT_EQ(screen.pixel(80, 5), background);  // left out by the colour key

  // Unchanged, the cache is drawn without drawing the subtree again; a
  // change below re-renders it.
  auto& plain = screen.find<Recorder>(u"plain");
  screen.render(background);
  EXPECT_EQ(plain.draws, 1);
  static_cast<ColorElement&>(plain.child(0)).set_color({0, 255, 0, 255});
  screen.render(background);
  EXPECT_EQ(plain.draws, 2);
  EXPECT_EQ(screen.pixel(5, 5), test::rgb565_of({0, 255, 0}));

  // Hiding frees the cache's memory.
  plain.set_visible(false);
  EXPECT_EQ(plain.cache_surface().size(), (Size{0, 0}));
}

TEST_F(ElementTest, ShowAnimatedPlaysTheTransitionAndHoldsTheChildrensTimer) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [
      {"string": {"type": "color", "id": "panel", "visibility_animation": "scale"},
       "color": {"color": "#ff0000"}, "children": [
        {"string": {"type": "recorder", "id": "clock"}}]}
    ]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  Element& panel = screen.find(u"panel");
  auto& clock = screen.find<Recorder>(u"clock");
  panel.set_visible(false);
  screen.render(0);

  panel.show_animated(true);
  EXPECT_TRUE(panel.visible());
  screen.tick(0.1);  // t = 0.5: a quarter of the size, centred
  EXPECT_EQ(clock.timer_calls, 0);
  screen.render(0);
  const uint16_t red = test::rgb565_of(kRed);
  EXPECT_EQ(screen.pixel(50, 50), red);
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 100}, red), 25 * 25);

  screen.tick(0.1);  // ends the transition
  screen.tick(0.04);
  EXPECT_EQ(clock.timer_calls, 1);
  screen.render(0);
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 100}, red), 100 * 100);

  // Hiding: invisible at once, yet drawn while the transition runs.
  panel.show_animated(false);
  EXPECT_FALSE(panel.visible());
  screen.tick(0.1);
  screen.render(0);
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 100}, red), 25 * 25);
  screen.tick(0.2);
  screen.render(0);
  EXPECT_EQ(screen.count_pixels({0, 0, 100, 100}, red), 0);
}

TEST_F(ElementTest, DestroyingAChildTakesItOutOfItsParent) {
  ASSERT_TRUE(skin.load_nodes(R"({
    "Main": {"children": [{"string": {"type": "recorder", "id": "a"}},
                          {"string": {"type": "node", "id": "b"}}]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  screen.press(5, 5);  // "b" is on top and declines
  Element& a = screen.find(u"a");
  ASSERT_EQ(screen.root().pointer_capture(), &a);
  std::unique_ptr<Element> taken = screen.root().take_child(a);
  EXPECT_EQ(screen.root().pointer_capture(), nullptr);
  screen.root().add_child(std::move(taken));
  screen.layout();
  screen.press(5, 5);
  EXPECT_EQ(screen.root().pointer_capture(), &a);
  delete &screen.root().child(1);  // as an owner dropping its raw pointer would
  ASSERT_EQ(screen.root().child_count(), 1u);
  EXPECT_EQ(screen.root().child(0).id(), u"b");
  EXPECT_EQ(screen.root().pointer_capture(), nullptr);
}

}  // namespace
}  // namespace lv
