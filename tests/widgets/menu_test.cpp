// Popup menus: building from the skin, opening on the screen stack, rows
// from item styles, choosing items (actions close, sub-menus replace the
// rows, unchanged menus keep their scroll), the four-button row and
// Backspace.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/skin_exceptions.h"
#include "skin/surface.h"
#include "widgets/button.h"
#include "widgets/list_element.h"
#include "widgets/menu_row.h"
#include "widgets/menu_screen.h"
#include "widgets/text_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::Rgb;
using test::TestScreen;
using test::TestSkin;

// The panel covers y 100 to 400 of the 480 x 800 client area: a 40-pixel
// caption over the list (y 140 to 400). Ordinary rows are 50 pixels high
// (red, pressed blue, a white separator line at the top and a green check
// mark at the left), the four-button row 60.
constexpr const char* kMenuSkin = R"({
 "Main": {"children": [{"string": {"type": "color", "id": "back"}, "color": {"color": "#000080"}}]},
 "Menu": {"children": [{"string": {"type": "node", "id": "panel", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [0, 100], "design_size": [0, 300]}, "children": [
      {"string": {"type": "text", "id": "caption", "anchor_y": "MIN_SIDE"},
       "point": {"design_size": [0, 40]}},
      {"string": {"type": "vlist", "id": "vlist"}, "point": {"border_min": [0, 40]}}]}]},
 "Plain": {"children": [{"string": {"type": "node", "id": "panel"}, "children": [
      {"string": {"type": "vlist", "id": "vlist"}}]}]},
 "NoList": {"children": [{"string": {"type": "node", "id": "panel"}}]},
 "FakeList": {"children": [{"string": {"type": "node", "id": "panel"}},
                           {"string": {"type": "node", "id": "vlist"}}]},
 "MenuElement": {"point": {"design_size": [0, 50]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#ff0000"}},
   {"string": {"type": "color", "id": "#vlist_pressed"}, "color": {"color": "#0000ff"}},
   {"string": {"type": "text", "id": "#text"}},
   {"string": {"type": "color", "id": "separator", "anchor_y": "MIN_SIDE"},
    "point": {"design_size": [0, 2]}, "color": {"color": "#ffffff"}},
   {"string": {"type": "color", "id": "checked", "anchor_x": "MIN_SIDE"},
    "point": {"design_size": [10, 0]}, "color": {"color": "#00ff00"}}]},
 "MenuElementDisabled": {"point": {"design_size": [0, 50]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#808080"}},
   {"string": {"type": "text", "id": "#text"}}]},
 "MenuElement4Buttons": {"point": {"design_size": [0, 60]}, "children": [
   {"string": {"type": "button", "id": "About", "anchor_x": "MIN_SIDE", "text": "About"},
    "point": {"border_min": [0, 0], "design_size": [120, 60]},
    "children": [{"string": {"type": "text", "id": "#text"}}]},
   {"string": {"type": "button", "id": "Help", "anchor_x": "MIN_SIDE", "text": "Help"},
    "point": {"border_min": [120, 0], "design_size": [120, 60]}},
   {"string": {"type": "button", "id": "Minimize", "anchor_x": "MIN_SIDE", "text": "Minimize"},
    "point": {"border_min": [240, 0], "design_size": [120, 60]}},
   {"string": {"type": "button", "id": "Exit", "anchor_x": "MIN_SIDE", "text": "Exit"},
    "point": {"border_min": [360, 0], "design_size": [120, 60]}}]}
})";

// "MainMenu": the four-button row, then "Sub" (a sub-menu under a
// separator), "Refresh" (the same items again, checked), "Off" (disabled),
// "Action", "Broken" (a sub-menu with an item of a style the skin lacks)
// and six plain items. Keys the source has no items for are actions.
MenuItem item(std::u16string key, std::u16string text = {}, std::u16string style = {}) {
  MenuItem made;
  made.key = std::move(key);
  made.text = std::move(text);
  made.style = std::move(style);
  return made;
}

class Source : public MenuSource {
 public:
  void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
            std::vector<MenuItem>& items) override {
    calls.push_back(std::to_string(tag) + " " + platform::to_utf8(key) + ": " +
                    platform::to_utf8(caption));
    refreshed = refreshed || key == u"Refresh";
    if (key == u"MainMenu" || key == u"Refresh") {
      items = {item(u"Magic4Buttons", u"", u"MenuElement4Buttons"),
               item(u"Sub"),
               item(u"Refresh", u"Refresh now"),
               item(u"Off"),
               item(u"Action"),
               item(u"Broken")};
      items[1].separator = true;
      items[2].checked = refreshed;
      items[3].enabled = false;
      for (char16_t i = u'0'; i < u'6'; ++i) items.push_back(item(u"Item" + std::u16string(1, i)));
    } else if (key == u"Sub") {
      items = {item(u"Back", u"Back"), item(u"Action")};
      caption += u" (2)";
    } else if (key == u"Broken") {
      items = {item(u"Action"), item(u"Nowhere", u"", u"NoSuchStyle")};
    } else {
      actions.push_back(platform::to_utf8(key));
    }
  }
  std::vector<std::string> calls;  // "tag key: caption"
  std::vector<std::string> actions;
  bool refreshed = false;
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.language(
        "MainMenu=Main menu\nSub=More choices\nOff=Switched off\nAction=Do it\n"
        "Refresh now=Not to be used\nExit=Quit\nAbout=About it\n");
    ASSERT_TRUE(skin.load_nodes(kMenuSkin));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{480, 800});
    menu = std::make_unique<MenuScreen>(7, skin.properties(), &source, u"Menu", u"MenuElement");
    menu->open(u"MainMenu", u"", true);
    render();
  }
  void TearDown() override { menu.reset(); }

  std::vector<ScreenRoot*>& stack() { return screen->host().stack; }
  ListElement& list() { return menu->list(); }
  void render() {
    menu->layout({480, 800});
    surface.recreate(480, 800);
    surface.surface()->fill(0);
    menu->draw_element(surface, {0, 0});
  }
  uint16_t pixel(int32_t x, int32_t y) {
    return surface.surface()->pixel(uint32_t(x), uint32_t(y));
  }
  void pointer(int32_t x, int32_t y, bool down) {
    menu->on_pointer_button(test::pointer_event(x, y, screen->host().now, down));
  }
  void tap(int32_t x, int32_t y) { pointer(x, y, true), pointer(x, y, false); }
  // Taps the middle of the row with the index (rows realised).
  void tap_row(int32_t index) {
    ListRow* row = list().row(index);
    ASSERT_NE(row, nullptr);
    tap(240, list().row_top(*row) + row->shown_height() / 2);
  }
  // Scrolls the list up by 100 pixels and lets it come to rest.
  void scroll_up_100() {
    pointer(240, 380, true);
    for (int32_t y : {330, 280}) menu->on_pointer_move(test::pointer_event(240, y, 1000, true));
    screen->tick(0.3);
    menu->on_timer(0.3);
    pointer(240, 280, false);
    menu->on_timer(0.02);
    render();
  }
  std::u16string caption() { return dynamic_cast<TextElement*>(menu->caption())->text(); }
  std::u16string row_text(int32_t index) {
    ListRow* row = list().row(index);
    auto* text = row ? dynamic_cast<TextElement*>(row->find_by_id(u"#text")) : nullptr;
    return text ? text->text() : u"<none>";
  }
  bool shown(int32_t index, std::u16string_view id) {
    return list().row(index)->find_by_id(id)->visible();
  }
  int32_t top_of(int32_t index) { return list().row_top(*list().row(index)); }

  TestSkin skin;
  Source source;
  std::unique_ptr<TestScreen> screen;
  std::unique_ptr<MenuScreen> menu;
  RenderSurface surface;
};

TEST_F(MenuTest, OpeningAsNewPutsTheMenuOnTheStackWithItsRowsAndADisabledOneCannotBeChosen) {
  // The caption is the key's language text, the menu is on the stack.
  EXPECT_EQ(source.calls, (std::vector<std::string>{"7 MainMenu: Main menu"}));
  EXPECT_EQ(stack(), (std::vector<ScreenRoot*>{menu.get()}));
  EXPECT_EQ(caption(), u"Main menu");
  EXPECT_EQ(list().count(), 12);
  EXPECT_EQ(top_of(1), 200);                // after the 60-pixel button row
  EXPECT_EQ(row_text(1), u"More choices");  // empty text: the translated key
  EXPECT_EQ(row_text(2), u"Refresh now");   // text as it is, untranslated
  EXPECT_FALSE(shown(2, u"separator"));
  EXPECT_FALSE(shown(2, u"checked"));
  // A red row under the white separator line; the disabled item in its
  // grey style, and choosing it does nothing.
  EXPECT_EQ((std::vector{pixel(240, 225), pixel(240, 200), pixel(240, 330)}),
            (std::vector{test::rgb565_of(Rgb{255, 0, 0}), test::rgb565_of(Rgb{255, 255, 255}),
                         test::rgb565_of(Rgb{128, 128, 128})}));
  EXPECT_EQ(row_text(3), u"Switched off");
  tap_row(3);
  EXPECT_EQ(source.calls.size(), 1u);
  // An explicit caption is used as it is.
  menu->open(u"MainMenu", u"Pick one", false);
  EXPECT_EQ(caption(), u"Pick one");
}

TEST_F(MenuTest, ASubMenuReplacesTheRowsInPlaceAndAnActionClosesTheMenu) {
  tap_row(1);
  EXPECT_EQ(stack().size(), 1u);  // not added a second time
  EXPECT_EQ(caption(), u"More choices (2)");
  render();
  EXPECT_EQ(row_text(0), u"Back");

  menu->open(u"MainMenu", u"", true);
  render();
  tap_row(4);
  EXPECT_EQ(source.actions, (std::vector<std::string>{"Action"}));
  EXPECT_EQ(source.calls.back(), "7 Action: Do it");  // the item text, else its key's
  EXPECT_TRUE(stack().empty());
  EXPECT_FALSE(menu->panel().visible());
}

TEST_F(MenuTest, TheSameKeysAgainOnlyRebindTheRowsAndKeepTheScroll) {
  scroll_up_100();
  ASSERT_EQ(top_of(2), 250 - 100);
  ListRow* row_object = list().row(2);
  tap_row(2);  // "Refresh": the source answers the same keys
  ASSERT_TRUE(source.refreshed);
  EXPECT_EQ(list().row(2), row_object);  // the same rows, bound again
  render();
  EXPECT_EQ(top_of(2), 250 - 100);
  EXPECT_TRUE(shown(2, u"checked"));

  // Opened as new, the same keys start again from the top, and the menu
  // is on the stack once.
  menu->open(u"MainMenu", u"", true);
  render();
  EXPECT_EQ(top_of(0), 140);
  EXPECT_EQ(stack(), (std::vector<ScreenRoot*>{menu.get()}));
}

TEST_F(MenuTest, TheFourButtonRowKeepsItsButtonsAndTheirIdsActAsKeys) {
  auto& row = dynamic_cast<MenuRow&>(*list().row(0));
  for (std::u16string_view id : MenuRow::kButtonIds) {
    ASSERT_NE(row.button(id), nullptr);
    EXPECT_EQ(row.button(id)->listener(), &row);
  }
  // The row's text is not spread over the buttons' texts.
  EXPECT_EQ(dynamic_cast<TextElement&>(row.button(u"About")->find_required(u"#text")).text(),
            u"About it");
  tap(420, 170);  // "Exit"
  EXPECT_EQ(source.calls.back(), "7 Exit: Quit");
  EXPECT_TRUE(stack().empty());
}

// Once a use-after-free: "Help" answers nothing and so closes the menu
// while its button is still handling the release, after a Refresh rebound
// every row from inside a row click.
TEST_F(MenuTest, AButtonThatRebuildsItsOwnRowIsSafe) {
  tap_row(2);
  render();
  tap(180, 170);  // "Help"
  EXPECT_EQ(source.actions.back(), "Help");
  EXPECT_TRUE(stack().empty());
  render();
  EXPECT_EQ(list().realised_count(), 0u);
}

TEST_F(MenuTest, BackspacePressedClosesTheMenuReleasedDoesNothingAndADestroyedMenuLeaves) {
  EXPECT_FALSE(menu->on_key(KeyEvent{kKeyBackspace, false, true}));
  EXPECT_FALSE(menu->on_key(KeyEvent{kKeyEsc, true, true}));
  EXPECT_EQ(stack().size(), 1u);
  EXPECT_TRUE(menu->on_key(KeyEvent{kKeyBackspace, true, true}));
  EXPECT_TRUE(stack().empty());

  menu->open(u"MainMenu", u"", true);
  ASSERT_EQ(stack().size(), 1u);
  menu.reset();
  EXPECT_TRUE(stack().empty());
}

TEST_F(MenuTest, ARowStyleTheSkinLacksFallsBackAndAMissingDefaultIsReportedByOpen) {
  scroll_up_100();
  tap_row(5);  // "Broken": one of its items has no style node
  ASSERT_EQ(menu->items().size(), 2u);
  render();
  EXPECT_EQ(row_text(1), u"Nowhere");

  MenuScreen fresh(1, skin.properties(), &source, u"Menu", u"NoSuchDefault");
  EXPECT_EQ(test::thrown<jobser::NodeNotFoundInSkin>([&] {
              fresh.open(u"MainMenu", u"", true);
            }).node_name(),
            u"NoSuchDefault");
  EXPECT_EQ(stack().size(), 1u);  // the fresh menu never went on the stack
}

TEST_F(MenuTest, AMenuWithoutPanelOrListCannotBeBuilt) {
  // A "vlist" that is no list is as missing as none.
  for (const auto& [node, sought] :
       {std::pair{u"NoList", u"vlist"}, {u"FakeList", u"vlist"}, {u"NoSuchMenu", u"panel"}}) {
    const auto build = [&, node = node] { MenuScreen(1, skin.properties(), &source, node, u"x"); };
    EXPECT_EQ(test::thrown<jobser::NodeNotFound>(build).sought_id(), sought);
  }
  MenuScreen plain(1, skin.properties(), &source, u"Plain", u"MenuElement");
  plain.open(u"Sub", u"", true);  // no caption to set: fine
  EXPECT_EQ(plain.list().count(), 2);
}

}  // namespace
}  // namespace lv
