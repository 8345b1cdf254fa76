// Popup menus: building from the skin, opening on the screen stack, rows
// from item styles, choosing items (actions close, sub-menus replace the
// rows, unchanged menus keep their scroll), the four-button row and
// Backspace.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/render_surface.h"
#include "skin/rgb565.h"
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
// caption over the list (y 140 to 400). Ordinary rows are 50 pixels high,
// the four-button row 60.
constexpr const char* kMenuSkin = R"({
 "Main": {"children": [{"string": {"type": "color", "id": "back"}, "color": {"color": "#000080"}}]},
 "Menu": {"children": [
   {"string": {"type": "node", "id": "panel", "anchor_y": "MIN_SIDE"},
    "point": {"border_min": [0, 100], "design_size": [0, 300]}, "children": [
      {"string": {"type": "text", "id": "caption", "anchor_y": "MIN_SIDE"},
       "point": {"design_size": [0, 40]}},
      {"string": {"type": "vlist", "id": "vlist"}, "point": {"border_min": [0, 40]}}]}]},
 "Plain": {"children": [
   {"string": {"type": "node", "id": "panel"}, "children": [
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
   {"string": {"type": "color", "id": "#vlist_normal"}, "color": {"color": "#202020"}},
   {"string": {"type": "button", "id": "About", "anchor_x": "MIN_SIDE", "text": "About"},
    "point": {"border_min": [0, 0], "design_size": [120, 60]},
    "children": [{"string": {"type": "text", "id": "#text"}}]},
   {"string": {"type": "button", "id": "Help", "anchor_x": "MIN_SIDE", "text": "Help"},
    "point": {"border_min": [120, 0], "design_size": [120, 60]},
    "children": [{"string": {"type": "text", "id": "#text"}}]},
   {"string": {"type": "button", "id": "Minimize", "anchor_x": "MIN_SIDE", "text": "Minimize"},
    "point": {"border_min": [240, 0], "design_size": [120, 60]},
    "children": [{"string": {"type": "text", "id": "#text"}}]},
   {"string": {"type": "button", "id": "Exit", "anchor_x": "MIN_SIDE", "text": "Exit"},
    "point": {"border_min": [360, 0], "design_size": [120, 60]},
    "children": [{"string": {"type": "text", "id": "#text"}}]}]}
})";

constexpr const char* kLanguage =
    "MainMenu=Main menu\nSub=More choices\nOff=Switched off\nAction=Do it\n"
    "Refresh now=Not to be used\nExit=Quit\nAbout=About it\n";

const uint16_t kRed = test::rgb565_of(Rgb{255, 0, 0});
const uint16_t kBlue = test::rgb565_of(Rgb{0, 0, 255});
const uint16_t kGray = test::rgb565_of(Rgb{128, 128, 128});

struct FillCall {
  int32_t tag;
  std::u16string key;
  std::u16string caption;
};

MenuItem item(std::u16string key, std::u16string text = {}) {
  MenuItem made;
  made.key = std::move(key);
  made.text = std::move(text);
  return made;
}

class Source : public MenuSource {
 public:
  void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
            std::vector<MenuItem>& items) override {
    calls.push_back({tag, std::u16string(key), caption});
    if (key == u"MainMenu") {
      items = main_items();
    } else if (key == u"Refresh") {
      refreshed = true;
      items = main_items();
    } else if (key == u"Sub") {
      items = {item(u"Back", u"Back"), item(u"Action")};
      caption += u" (2)";
    } else if (key == u"Broken") {
      MenuItem bad = item(u"Nowhere");
      bad.style = u"NoSuchStyle";
      items = {item(u"Action"), bad};
    } else {
      actions.push_back(std::u16string(key));
    }
  }

  std::vector<MenuItem> main_items() const {
    std::vector<MenuItem> items;
    MenuItem magic = item(u"Magic4Buttons");
    magic.style = u"MenuElement4Buttons";
    items.push_back(magic);
    MenuItem sub = item(u"Sub");
    sub.separator = true;
    items.push_back(sub);
    MenuItem refresh = item(u"Refresh", u"Refresh now");
    refresh.checked = refreshed;
    items.push_back(refresh);
    MenuItem off = item(u"Off");
    off.enabled = false;
    items.push_back(off);
    items.push_back(item(u"Action"));
    items.push_back(item(u"Broken"));
    for (int i = 0; i < 6; ++i) items.push_back(item(u"Item" + std::u16string(1, u'0' + i)));
    return items;
  }

  std::vector<FillCall> calls;
  std::vector<std::u16string> actions;
  bool refreshed = false;
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.language(kLanguage);
    ASSERT_TRUE(skin.load_nodes(kMenuSkin));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{480, 800});
    menu = std::make_unique<MenuScreen>(7, skin.properties(), &source, u"Menu", u"MenuElement");
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
  PointerEvent event(int32_t x, int32_t y, bool pressed) {
    PointerEvent e;
    e.x = x;
    e.y = y;
    e.time = screen->host().now;
    e.pressed = pressed ? 1 : 0;
    return e;
  }
  void press(int32_t x, int32_t y) { menu->on_pointer_button(event(x, y, true)); }
  void move(int32_t x, int32_t y) { menu->on_pointer_move(event(x, y, true)); }
  void release(int32_t x, int32_t y) { menu->on_pointer_button(event(x, y, false)); }
  void tap(int32_t x, int32_t y) {
    press(x, y);
    release(x, y);
  }
  void tick(double seconds) {
    screen->tick(seconds);
    menu->on_timer(seconds);
  }
  // Screen y of the middle of the row with the index (rows realised).
  int32_t middle_of(int32_t index) {
    ListRow* row = list().row(index);
    EXPECT_NE(row, nullptr);
    return row ? list().row_top(*row) + row->shown_height() / 2 : -1;
  }
  // Scrolls the list up by 100 pixels and lets it come to rest.
  void scroll_up_100() {
    press(240, 380);
    move(240, 330);
    move(240, 280);
    tick(0.3);
    release(240, 280);
    tick(0.02);
    render();
  }
  std::u16string row_text(int32_t index) {
    ListRow* row = list().row(index);
    auto* text = row ? dynamic_cast<TextElement*>(row->find_by_id(u"#text")) : nullptr;
    return text ? text->text() : u"<none>";
  }
  bool shown(int32_t index, std::u16string_view id) {
    ListRow* row = list().row(index);
    Element* e = row ? row->find_by_id(id) : nullptr;
    return e && e->visible();
  }

  TestSkin skin;
  Source source;
  std::unique_ptr<TestScreen> screen;
  std::unique_ptr<MenuScreen> menu;
  RenderSurface surface;
};

TEST_F(MenuTest, OpeningAsNewPutsTheMenuOnTheStackWithItsRows) {
  menu->open(u"MainMenu", u"", true);
  ASSERT_EQ(source.calls.size(), 1u);
  EXPECT_EQ(source.calls[0].tag, 7);
  EXPECT_EQ(source.calls[0].caption, u"Main menu");  // the key's language text
  EXPECT_EQ(stack(), (std::vector<ScreenRoot*>{menu.get()}));
  EXPECT_EQ(dynamic_cast<TextElement*>(menu->caption())->text(), u"Main menu");
  EXPECT_EQ(list().count(), 12);

  render();
  EXPECT_EQ(list().row_top(*list().row(1)), 200);  // after the 60-pixel button row
  EXPECT_EQ(row_text(1), u"More choices");         // empty text: the translated key
  EXPECT_EQ(row_text(2), u"Refresh now");          // text as it is, untranslated
  EXPECT_FALSE(shown(2, u"separator"));
  EXPECT_FALSE(shown(2, u"checked"));
  EXPECT_EQ(pixel(240, 225), kRed);
  EXPECT_EQ(pixel(240, 200), test::rgb565_of(Rgb{255, 255, 255}));  // the separator line

  // An explicit caption is used as it is.
  menu->open(u"MainMenu", u"Pick one", false);
  EXPECT_EQ(dynamic_cast<TextElement*>(menu->caption())->text(), u"Pick one");
}

TEST_F(MenuTest, ASubMenuReplacesTheRowsInPlaceAndAnActionClosesTheMenu) {
  menu->open(u"MainMenu", u"", true);
  render();
  tap(240, middle_of(1));
  EXPECT_EQ(stack().size(), 1u);  // not added a second time
  EXPECT_EQ(dynamic_cast<TextElement*>(menu->caption())->text(), u"More choices (2)");
  render();
  EXPECT_EQ(row_text(0), u"Back");

  menu->open(u"MainMenu", u"", true);
  render();
  const int32_t y = middle_of(4);
  press(240, y);
  render();
  EXPECT_EQ(pixel(240, y), kBlue);  // pressed look
  release(240, y);
  EXPECT_EQ(source.actions, (std::vector<std::u16string>{u"Action"}));
  EXPECT_EQ(source.calls.back().caption, u"Do it");  // the item text, else its key's
  EXPECT_TRUE(stack().empty());
  EXPECT_FALSE(menu->panel().visible());
}

TEST_F(MenuTest, TheSameKeysAgainOnlyRebindTheRowsAndKeepTheScroll) {
  menu->open(u"MainMenu", u"", true);
  render();
  scroll_up_100();
  const int32_t top_before = list().row_top(*list().row(2));
  ASSERT_EQ(top_before, 250 - 100);
  ListRow* row_object = list().row(2);

  tap(240, middle_of(2));  // "Refresh": the source answers the same keys
  EXPECT_TRUE(source.refreshed);
  EXPECT_EQ(list().row(2), row_object);  // the same rows, bound again
  render();
  EXPECT_EQ(list().row_top(*list().row(2)), top_before);
  EXPECT_TRUE(shown(2, u"checked"));

  // Opened as new, the same keys start again from the top, and the menu
  // is on the stack once.
  menu->open(u"MainMenu", u"", true);
  render();
  EXPECT_EQ(list().row_top(*list().row(0)), 140);
  EXPECT_EQ(stack(), (std::vector<ScreenRoot*>{menu.get()}));
}

TEST_F(MenuTest, ADisabledItemUsesItsDisabledStyleAndCannotBeChosen) {
  menu->open(u"MainMenu", u"", true);
  render();
  EXPECT_EQ(pixel(240, 330), kGray);
  EXPECT_EQ(row_text(3), u"Switched off");
  const size_t calls = source.calls.size();
  tap(240, middle_of(3));
  EXPECT_EQ(source.calls.size(), calls);
  EXPECT_EQ(stack().size(), 1u);
}

TEST_F(MenuTest, TheFourButtonRowKeepsItsButtonsAndTheirIdsActAsKeys) {
  menu->open(u"MainMenu", u"", true);
  render();
  auto* row = dynamic_cast<MenuRow*>(list().row(0));
  ASSERT_NE(row, nullptr);
  for (std::u16string_view id : MenuRow::kButtonIds) {
    ASSERT_NE(row->button(id), nullptr);
    EXPECT_EQ(row->button(id)->listener(), row);
  }
  // The row's text is not spread over the buttons' texts.
  auto* about_text = dynamic_cast<TextElement*>(row->button(u"About")->find_by_id(u"#text"));
  ASSERT_NE(about_text, nullptr);
  EXPECT_EQ(about_text->text(), u"About it");

  tap(420, 170);  // "Exit"
  EXPECT_EQ(source.calls.back().key, u"Exit");
  EXPECT_EQ(source.calls.back().caption, u"Quit");
  EXPECT_TRUE(stack().empty());
}

TEST_F(MenuTest, AButtonThatRebuildsItsOwnRowIsSafe) {
  // "Help" answers nothing and so closes the menu while the button is still
  // handling its release; "About" (unknown to the source as well) after a
  // Refresh rebinds every row, the clicked one included.
  menu->open(u"MainMenu", u"", true);
  render();
  tap(240, middle_of(2));  // Refresh: all rows rebuilt from inside a row click
  render();
  tap(180, 170);  // "Help"
  EXPECT_EQ(source.actions.back(), u"Help");
  EXPECT_TRUE(stack().empty());
  render();
  EXPECT_EQ(list().realised_count(), 0u);
}

TEST_F(MenuTest, BackspacePressedClosesTheMenuReleasedDoesNothing) {
  menu->open(u"MainMenu", u"", true);
  EXPECT_FALSE(menu->on_key(KeyEvent{kKeyBackspace, false, true}));
  EXPECT_FALSE(menu->on_key(KeyEvent{kKeyEsc, true, true}));
  EXPECT_EQ(stack().size(), 1u);
  EXPECT_TRUE(menu->on_key(KeyEvent{kKeyBackspace, true, true}));
  EXPECT_TRUE(stack().empty());

  // A destroyed menu leaves the stack.
  menu->open(u"MainMenu", u"", true);
  ASSERT_EQ(stack().size(), 1u);
  menu.reset();
  EXPECT_TRUE(stack().empty());
}

TEST_F(MenuTest, ARowStyleTheSkinLacksFallsBackAndAMissingDefaultIsReportedByOpen) {
  menu->open(u"MainMenu", u"", true);
  render();
  scroll_up_100();
  const int32_t y = middle_of(5);  // "Broken": one of its items has no style node
  press(240, y);
  release(240, y);
  ASSERT_EQ(menu->items().size(), 2u);
  render();
  EXPECT_EQ(row_text(1), u"Nowhere");

  MenuScreen fresh(1, skin.properties(), &source, u"Menu", u"NoSuchDefault");
  try {
    fresh.open(u"MainMenu", u"", true);
    FAIL() << "no exception";
  } catch (const jobser::NodeNotFoundInSkin& e) {
    EXPECT_EQ(e.node_name(), u"NoSuchDefault");
  }
  EXPECT_EQ(stack().size(), 1u);  // the fresh menu never went on the stack
}

TEST_F(MenuTest, AMenuWithoutPanelOrListCannotBeBuilt) {
  // A "vlist" that is no list is as missing as none.
  for (const auto& [node, sought] :
       {std::pair{u"NoList", u"vlist"}, std::pair{u"FakeList", u"vlist"},
        std::pair{u"NoSuchMenu", u"panel"}}) {
    try {
      MenuScreen broken(1, skin.properties(), &source, node, u"MenuElement");
      ADD_FAILURE() << "no exception";
    } catch (const jobser::NodeNotFound& e) {
      EXPECT_EQ(e.sought_id(), sought);
    }
  }
  MenuScreen plain(1, skin.properties(), &source, u"Plain", u"MenuElement");
  plain.open(u"Sub", u"", true);  // no caption to set: fine
  EXPECT_EQ(plain.list().count(), 2);
}

}  // namespace
}  // namespace lv
