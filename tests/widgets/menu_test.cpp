// Popup menus: opening on the screen stack, rows from item styles, choosing
// items (actions close, sub-menus replace the rows), the four-button row
// and Backspace.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "skin/render_surface.h"
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
// (red, pressed blue, a white separator line at the top), the four-button
// row 60.
constexpr const char* kMenuSkin = R"({
 "Main": {"children": [{"string": {"type": "color", "id": "back"}, "color": {"color": "#000080"}}]},
 "Menu": {"children": [{"string": {"type": "node", "id": "panel", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [0, 100], "design_size": [0, 300]}, "children": [
      {"string": {"type": "text", "id": "caption", "anchor_y": "MIN_SIDE"},
       "point": {"design_size": [0, 40]}},
      {"string": {"type": "vlist", "id": "vlist"}, "point": {"border_min": [0, 40]}}]}]},
 "MenuElement": {"point": {"design_size": [0, 50]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#ff0000"}},
   {"string": {"type": "color", "id": "#vlist_pressed"}, "color": {"color": "#0000ff"}},
   {"string": {"type": "text", "id": "#text"}},
   {"string": {"type": "color", "id": "separator", "anchor_y": "MIN_SIDE"},
    "point": {"design_size": [0, 2]}, "color": {"color": "#ffffff"}}]},
 "MenuElementDisabled": {"point": {"design_size": [0, 50]}, "children": [
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#808080"}},
   {"string": {"type": "text", "id": "#text"}}]},
 "MenuElement4Buttons": {"point": {"design_size": [0, 60]}, "children": [)";

// The four buttons of that row, 120 pixels wide side by side, each
// labelled with its id; the first has a text child.
std::string menu_skin() {
  std::string buttons;
  for (int i = 0; i < 4; ++i) {
    const std::string id = platform::to_utf8(MenuRow::kButtonIds[i]);
    buttons += std::string(i ? ", " : "") + R"({"string": {"type": "button", "id": ")" + id +
               R"(", "anchor_x": "MIN_SIDE", "text": ")" + id + R"("}, "point": {"border_min": [)" +
               std::to_string(120 * i) + R"(, 0], "design_size": [120, 60]})" +
               (i ? "}" : R"(, "children": [{"string": {"type": "text", "id": "#text"}}]})");
  }
  return kMenuSkin + buttons + "]}}";
}

// "MainMenu": the four-button row, then "Sub" (a sub-menu under a
// separator), "Refresh" (the same items again), "Off" (disabled), "Action"
// and six plain items. Keys the source has no items for are actions.
MenuItem item(std::u16string key, std::u16string text = {}, std::u16string style = {}) {
  return MenuItem{std::move(key), std::move(text), {}, std::move(style), true, false, false};
}

class Source : public MenuSource {
 public:
  void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
            std::vector<MenuItem>& items) override {
    calls.push_back(std::to_string(tag) + " " + platform::to_utf8(key) + ": " +
                    platform::to_utf8(caption));
    if (key == u"MainMenu" || key == u"Refresh") {
      items = {item(u"Magic4Buttons", u"", u"MenuElement4Buttons"), item(u"Sub"),
               item(u"Refresh", u"Refresh now"), item(u"Off"), item(u"Action")};
      items[1].separator = true, items[3].enabled = false;
      for (char16_t i = u'0'; i < u'6'; ++i) items.push_back(item(u"Item" + std::u16string(1, i)));
    } else if (key == u"Sub") {
      items = {item(u"Back", u"Back"), item(u"Action")};
      caption += u" (2)";
    } else {
      actions.push_back(platform::to_utf8(key));
    }
  }
  std::vector<std::string> calls;  // "tag key: caption"
  std::vector<std::string> actions;
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.language(
        "MainMenu=Main menu\nSub=More choices\nOff=Switched off\nAction=Do it\n"
        "Refresh now=Not to be used\nExit=Quit\nAbout=About it\n");
    ASSERT_TRUE(skin.load_nodes(menu_skin()));
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
  void tap_row(int32_t index) { tap(240, list().row_top(*list().row(index)) + 25); }
  std::u16string caption() { return dynamic_cast<TextElement*>(menu->caption())->text(); }
  std::u16string row_text(int32_t index) {
    ListRow* row = list().row(index);
    auto* text = row ? dynamic_cast<TextElement*>(row->find_by_id(u"#text")) : nullptr;
    return text ? text->text() : u"<none>";
  }

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
  EXPECT_EQ(list().count(), 11);
  EXPECT_EQ(list().row_top(*list().row(1)), 200);  // after the 60-pixel button row
  // Empty text: the translated key; text as it is, untranslated.
  EXPECT_EQ((std::vector{row_text(1), row_text(2), row_text(3)}),
            (std::vector<std::u16string>{u"More choices", u"Refresh now", u"Switched off"}));
  // A red row under the white separator line of row 1 (row 2 has none);
  // the disabled item in its grey style, and choosing it does nothing.
  const uint16_t red = test::rgb565_of(Rgb{255, 0, 0});
  EXPECT_EQ((std::vector{pixel(240, 200), pixel(240, 225), pixel(240, 250), pixel(240, 330)}),
            (std::vector{test::rgb565_of(Rgb{255, 255, 255}), red, red,
                         test::rgb565_of(Rgb{128, 128, 128})}));
  tap_row(3);
  EXPECT_EQ(source.calls.size(), 1u);
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
  EXPECT_EQ(stack().size(), 1u);
  EXPECT_TRUE(menu->on_key(KeyEvent{kKeyBackspace, true, true}));
  EXPECT_TRUE(stack().empty());

  menu->open(u"MainMenu", u"", true);
  ASSERT_EQ(stack().size(), 1u);
  menu.reset();
  EXPECT_TRUE(stack().empty());
}

}  // namespace
}  // namespace lv
