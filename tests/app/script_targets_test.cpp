// Where scripted taps on named elements land: an open menu before the
// screen below, its rows by item key and text, the leftmost of several
// matches, never a hidden one. (The scripted program runs tap by id and
// text on every screen.)

#include "app/script/script_targets.h"

#include <gtest/gtest.h>

#include "app/screen_stack.h"
#include "skin/render_surface.h"
#include "widgets/menu_screen.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

// The menu's list starts at y 140 with rows 50 pixels high; "Main" holds
// two texts "Same" and a hidden one.
constexpr const char* kSkin = R"({
 "Main": {"children": [
   {"string": {"type": "text", "text": "Same", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [200, 10], "design_size": [100, 20]}},
   {"string": {"type": "text", "text": "Same", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [20, 10], "design_size": [100, 20]}},
   {"string": {"type": "text", "id": "hidden", "text": "Hidden"}},
   {"string": {"type": "node", "id": "panel"}}]},
 "Menu": {"children": [{"string": {"type": "node", "id": "panel", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [0, 100], "design_size": [0, 300]}, "children": [
      {"string": {"type": "text", "id": "caption", "anchor_y": "MIN_SIDE"}, "point": {"design_size": [0, 40]}},
      {"string": {"type": "vlist", "id": "vlist"}, "point": {"border_min": [0, 40]}}]}]},
 "MenuElement": {"point": {"design_size": [0, 50]}, "children": [{"string": {"type": "text", "id": "#text"}}]}
})";

// Two rows; the second's text comes from the language.
class Items : public MenuSource {
 public:
  void fill(int32_t, std::u16string_view key, std::u16string&,
            std::vector<MenuItem>& items) override {
    if (key != u"Root") return;
    items.resize(2);
    items[0].key = u"Properties";
    items[0].text = u"Show properties";
    items[1].key = u"DeleteYes";
  }
};

TEST(ScriptTargets, MenuFirstThenLeftmostAndNeverHidden) {
  test::ensure_widget_types();
  test::TestSkin skin;
  skin.language("DeleteYes=Delete it\n");
  ASSERT_TRUE(skin.load_nodes(kSkin));
  const Size client{480, 800};
  test::TestScreen main(skin, u"Main", client);
  main.find(u"hidden").set_visible(false);
  ScreenStack stack;
  stack.add(main.root(), ScreenLayer::replace, ScreenAnimation::none, client);
  auto at = [&](ScriptTarget by, std::u16string_view wanted) {
    return find_script_target(stack, client, by, wanted);
  };
  EXPECT_EQ(at(ScriptTarget::text, u"Same"), (Point{70, 20}));
  EXPECT_FALSE(at(ScriptTarget::id, u"hidden"));
  EXPECT_FALSE(at(ScriptTarget::text, u"Sam")) << "texts match whole";

  Items items;
  MenuScreen menu(0, skin.properties(), &items, u"Menu", u"MenuElement");
  menu.open(u"Root", u"", true);
  stack.add(menu, ScreenLayer::overlay, ScreenAnimation::none, client);
  RenderSurface frame;
  frame.recreate(client.width, client.height);
  stack.render(frame, client, Color{0, 0, 0, 255});  // the list realises its rows
  EXPECT_EQ(at(ScriptTarget::id, u"DeleteYes"), (Point{240, 215}));
  EXPECT_EQ(at(ScriptTarget::text, u"Delete it"), (Point{240, 215}));
  EXPECT_EQ(at(ScriptTarget::id, u"panel"), (Point{240, 250})) << "the menu's, not the one below";
  EXPECT_EQ(at(ScriptTarget::text, u"Same"), (Point{70, 20})) << "the screen below the menu";
}

}  // namespace
}  // namespace lv
