// The shipped skins. The image screen's node in each: the bars hold its
// buttons, which keep the skin's finger-sized target on small and large
// screens in both orientations and show none of the picture below them.
// The daylight skin, for one hand, also keeps every control of the
// browsing screens, their rows and the menus finger-sized, the browsing
// screens' controls in the bar at the bottom.
//
// And the choice among the skins and languages a program folder holds: what
// a start picks, what the menus list and what choosing changes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/settings.h"
#include "platform/text.h"
#include "screens/folder_element.h"
#include "screens/folder_grid.h"
#include "screens/screens_test_support.h"
#include "screens/skin_choice.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "support/scoped_env.h"
#include "support/test_env.h"
#include "widgets/button.h"

namespace lv::test::screens {
namespace {

// The smallest and the largest screen, and the other orientation.
struct Shape {
  Size size;
  int32_t dpi;
  int32_t unit;  // screen pixels per skin unit
};
const Shape kShapes[] = {{{240, 320}, 96, 1}, {{800, 480}, 96, 1}, {{480, 800}, 192, 2}};

// What each skin promises: the side of its smallest target in skin units
// and its bars with their buttons. The default skin has a bar at each edge;
// daylight keeps every control in one bar at the bottom, for one hand.
struct Bar {
  const char16_t* id;
  std::vector<const char16_t*> buttons;
};
struct SkinCase {
  const char* name;
  int32_t target;
  std::vector<Bar> bars;
};
const SkinCase kSkins[] = {
    {"default",
     40,
     {{u"bar_top", {u"btnBack", u"btnNumText", u"btnMenu"}},
      {u"bar_bottom", {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow"}}}},
    {"daylight",
     48,
     {{u"bar_bottom",
       {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow", u"btnBack", u"btnNumText",
        u"btnMenu"}}}},
};

// A top-level node of a skin built and laid out on its own.
struct BuiltNode {
  BuiltNode(const char* skin, const char16_t* node, Size size, int32_t dpi = 96) {
    loaded = load_skin(properties, skin, size, dpi);
    if (loaded) root.build(properties, node), root.layout(size);
  }
  ButtonElement& button(std::u16string_view id) {
    return dynamic_cast<ButtonElement&>(root.find_required(id));
  }
  Rect rect(std::u16string_view id) { return root.find_required(id).rect(); }
  Properties properties;
  ScreenRoot root;
  bool loaded = false;
};

bool inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

class ImageSkinTest : public testing::TestWithParam<SkinCase> {};

INSTANTIATE_TEST_SUITE_P(Skins, ImageSkinTest, testing::ValuesIn(kSkins),
                         [](const auto& info) { return std::string(info.param.name); });

// Every button of the image screen sits in its bar and keeps the skin's
// target, in every shape.
TEST_P(ImageSkinTest, ButtonsAreFingerSizedInTheirBarsInEveryShape) {
  const SkinCase& skin = GetParam();
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(std::to_string(shape.size.width) + "/" + std::to_string(shape.dpi));
    BuiltNode screen(skin.name, u"Image", shape.size, shape.dpi);
    ASSERT_TRUE(screen.loaded);
    for (const Bar& bar : skin.bars)
      for (const char16_t* id : bar.buttons) {
        const Rect r = screen.rect(id);
        EXPECT_TRUE(inside(r, screen.rect(bar.id)) &&
                    std::min(r.width(), r.height()) >= skin.target * shape.unit)
            << to_utf8(id);
      }
  }
}

// The buttons whose faces (away from the rounded corners) let the picture
// show through: the bar's cache drawn through its blitter over black and
// over white must come out the same there, or the picture would shine
// through the faces, the icons' edges and the counter.
std::string buttons_showing_the_picture(BuiltNode& screen, const SkinCase& skin, int32_t unit) {
  static const CopyBlitter copy;
  std::string showing;
  for (const Bar& bar_case : skin.bars) {
    Element& bar = screen.root.find_required(bar_case.id);
    const RenderSurface& cache = bar.cached_surface();
    RenderSurface over[2];
    for (int i = 0; i < 2; ++i) {
      over[i].recreate(int32_t(cache.surface()->width()), int32_t(cache.surface()->height()));
      over[i].surface()->fill(i ? 0xFFFF : 0x0000);
      cache.draw_onto(over[i], {0, 0}, bar.cache_blitter() ? *bar.cache_blitter() : copy);
    }
    for (const char16_t* id : bar_case.buttons) {
      const Rect r = screen.rect(id);
      const int32_t inset_x = (id == std::u16string_view(u"btnNumText") ? 12 : 8) * unit;
      bool shows = false;
      for (int32_t y = r.top + 8 * unit; y < r.bottom - 8 * unit; ++y)
        for (int32_t x = r.left + inset_x; x < r.right - inset_x; ++x) {
          const uint32_t bx = uint32_t(x - bar.position().x), by = uint32_t(y - bar.position().y);
          shows |= over[0].surface()->pixel(bx, by) != over[1].surface()->pixel(bx, by);
        }
      if (shows) showing += to_utf8(id) + " ";
    }
  }
  return showing;
}

// At rest at both densities, then every button checked, pressed and the
// zoom, landscape and slide show buttons disabled as well.
TEST_P(ImageSkinTest, ButtonsInTheBarsShowNothingOfThePictureAtRestOrInEveryStateAtOnce) {
  const SkinCase& skin = GetParam();
  for (const int32_t unit : {1, 2}) {
    BuiltNode screen(skin.name, u"Image", {480, 800}, 96 * unit);
    ASSERT_TRUE(screen.loaded);
    screen.button(u"btnNumText").set_text(u"10 of 12");
    // The screen shows exactly one state picture of a check box.
    const auto check = [&](bool checked) {
      for (const char16_t* id : {u"chkLandscape", u"chkSlideShow"}) {
        screen.button(id).find_required(u"ptr_state_0").set_visible(!checked);
        screen.button(id).find_required(u"ptr_state_1").set_visible(checked);
      }
    };
    check(false);
    EXPECT_EQ(buttons_showing_the_picture(screen, skin, unit), "") << "at rest, scale " << unit;
    check(true);
    for (const Bar& bar : skin.bars)
      for (const char16_t* id : bar.buttons) {
        const Point p = centre_of(screen.root.find_required(id));
        screen.button(id).on_pointer_button(PointerEvent{p.x, p.y, 0, 0, 1, 0});
      }
    for (const char16_t* id : {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow"})
      screen.button(id).set_enabled(false);
    EXPECT_EQ(buttons_showing_the_picture(screen, skin, unit), "") << "in use, scale " << unit;
  }
}

// The visible controls of a tree (buttons, buttons inside buttons, the filter field).
void visible_controls(Element& element, std::vector<Element*>& out) {
  if (!element.visible()) return;
  if (dynamic_cast<ButtonElement*>(&element) || element.id() == u"editFilter")
    out.push_back(&element);
  for (size_t i = 0; i < element.child_count(); ++i) visible_controls(element.child(i), out);
}

// Rows are targets as a whole, and the main menu's tiles and the grid's
// cells (as many as the width holds) each on their own.
TEST(DaylightSkin, ControlsAreFingerSizedAndTheBrowsingOnesSitInTheBottomBar) {
  for (const Shape& shape : {kShapes[0], kShapes[2]}) {
    SCOPED_TRACE(shape.dpi);
    const int32_t target = 48 * shape.unit, bar_top = shape.size.height - 72 * shape.unit;
    Properties skin;
    ASSERT_TRUE(load_skin(skin, "daylight", shape.size, shape.dpi));
    for (const char16_t* name :
         {u"Main", u"Folder", u"AlbumElement", u"MenuElement", u"MenuElementRed",
          u"MenuElementDisabled", u"MenuElement4Buttons", u"FolderElement"}) {
      const bool screen =
          name == std::u16string_view(u"Main") || name == std::u16string_view(u"Folder");
      ScreenRoot node;
      node.build(skin, name);
      if (name == std::u16string_view(u"FolderElement"))
        for (int32_t c = folder_columns(shape.size.width, skin.scale()); c < kFolderMaxColumns; ++c)
          node.find_required(FolderElement::cell_id(c)).set_visible(false);
      node.layout(screen ? shape.size : Size{shape.size.width, node.height_range().preferred});
      EXPECT_TRUE(screen || node.rect().height() >= target) << to_utf8(name);
      std::vector<Element*> controls;
      visible_controls(node, controls);
      EXPECT_TRUE(!screen || controls.size() == (name == std::u16string_view(u"Main") ? 3u : 1u));
      for (const Element* control : controls) {
        const Rect r = control->rect();
        EXPECT_TRUE(std::min(r.width(), r.height()) >= target && (!screen || r.top >= bar_top))
            << to_utf8(name) << " " << to_utf8(control->id()) << " is small or out of the bar";
      }
    }
  }
}

// --- Choosing a skin and a language ------------------------------------------------

class CountingListener : public ReloadListener {
 public:
  void reload_skin(Properties&) override { ++calls; }
  int calls = 0;
};

// A temporary program folder with "<name>.lng" files that say "Which" they
// are and one-node skins in skins/bin. Each test keeps its settings under an
// application name of its own.
class SkinChoiceTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) m_env.unset(name);
    std::filesystem::create_directories(m_base + "/skins/bin");
    m_skin.add_reload_listener(&m_listener);
  }
  void TearDown() override { m_skin.remove_reload_listener(&m_listener); }

  void languages(std::initializer_list<const char*> names) {
    for (const char* name : names)
      test::write_file(m_base + "/" + name + ".lng", "Which=" + std::string(name) + "\n");
  }
  void skins(std::initializer_list<const char*> names) {
    for (const std::string name : names) {
      const std::string source = m_base + "/" + name + ".json";
      test::write_file(source, R"({"nodes": {"Main": {"string": {"id": "main"}}}})");
      skinc::CompiledSkin compiled;
      std::string error;
      ASSERT_TRUE(skinc::compile_skin(source, name, compiled, error) &&
                  skinc::write_compiled_skin(compiled, m_base + "/skins/bin", error))
          << error;
    }
  }
  std::u16string file(const std::string& relative) const { return from_utf8(m_base + relative); }
  std::u16string skin_file(const std::string& name) const {
    return file("/skins/bin/" + name + ".skin");
  }

  std::u16string key() const {
    return std::u16string(kKaruKey) + u"\\SkinChoice_" +
           from_utf8(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void remember(std::u16string_view name, std::u16string_view value) {
    ASSERT_TRUE(set_string(key(), name, value));
  }
  // The remembered skin and language, "<unset>" for none.
  std::u16string remembered() const {
    std::u16string skin = u"<unset>", language = u"<unset>";
    get_string(key(), u"Skin", skin);
    get_string(key(), u"Language", language);
    return skin + u" " + language;
  }
  SkinChoice choice(Properties& skin) {
    return SkinChoice(skin.language(), skin, key().substr(kKaruKey.size() + 1), file(""));
  }
  // What a new start picks.
  std::u16string started_language() {
    Properties fresh;
    EXPECT_TRUE(choice(fresh).load_language_at_start());
    return fresh.language().lookup(u"Which");
  }
  std::u16string started_skin() {
    Properties fresh;
    return choice(fresh).load_skin_at_start(m_screen) ? fresh.path() : u"<none>";
  }
  static std::u16string summary(const std::vector<MenuItem>& items) {
    std::u16string out;
    for (const MenuItem& item : items)
      out += item.key + (item.checked ? u"[x]" : u"") + u":" + item.text + u":" + item.style + u" ";
    return out;
  }

  test::ScopedEnv m_env;
  std::string m_base = test::make_temp_dir("program");
  Properties m_skin;
  CountingListener m_listener;
  ScreenInfo m_screen{480, 800, 0, 0, 480, 800, 0, 96};
};

TEST_F(SkinChoiceTest, LanguageRememberedThenTheUserLanguageThenEnglishThenAnyFile) {
  languages({"english"});
  EXPECT_FALSE(choice(m_skin).has_several_languages());
  languages({"aaa", "german", "russian"});
  test::write_file(m_base + "/skins/evil.lng", "Which=evil\n");
  EXPECT_TRUE(choice(m_skin).has_several_languages());

  m_env.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(started_language(), u"german");  // GERMAN, found as german.lng, before english
  remember(u"Language", u"russian");
  EXPECT_EQ(started_language(), u"russian");
  for (std::u16string_view unsafe : {u"skins/evil", u"skins\\evil", u"..", u".", u"missing"}) {
    remember(u"Language", unsafe);
    EXPECT_EQ(started_language(), u"german") << to_utf8(std::u16string(unsafe));
  }
  m_env.set("LANG", "C");
  EXPECT_EQ(started_language(), u"english");
  std::filesystem::remove(m_base + "/english.lng");
  EXPECT_EQ(started_language(), u"aaa");  // the first the search finds
}

TEST_F(SkinChoiceTest, SkinRememberedThenDefaultThenAnyButSplash) {
  skins({"default", "SPLASH"});
  EXPECT_FALSE(choice(m_skin).has_several_skins());
  skins({"ocean"});
  test::write_file(m_base + "/skins/bin/bad.skin", "not a skin");
  EXPECT_TRUE(choice(m_skin).has_several_skins());
  EXPECT_EQ(
      list_skin_files(file("/skins/bin")),
      (std::vector<std::u16string>{skin_file("bad"), skin_file("default"), skin_file("ocean")}));

  EXPECT_EQ(started_skin(), skin_file("default"));
  remember(u"Skin", u"OCEAN");  // names match ignoring case
  EXPECT_EQ(started_skin(), skin_file("ocean"));
  for (std::u16string_view unsafe : {u"splash", u"..", u"../bin/ocean", u"bad"}) {
    remember(u"Skin", unsafe);
    EXPECT_EQ(started_skin(), skin_file("default")) << to_utf8(std::u16string(unsafe));
  }
  // Without "default" the search passes SPLASH and the broken skin.
  std::filesystem::remove(to_utf8(skin_file("default")));
  EXPECT_EQ(started_skin(), skin_file("ocean"));
  std::filesystem::remove(to_utf8(skin_file("ocean")));
  EXPECT_EQ(started_skin(), u"<none>");
}

TEST_F(SkinChoiceTest, MenusListTheFilesByPathWithTheCurrentOneChecked) {
  languages({"russian", "English", "deutsch"});
  skins({"ocean", "Splash", "default"});
  SkinChoice menus = choice(m_skin);
  std::vector<MenuItem> skin_items, language_items, again;
  menus.fill_skin_menu(skin_items, u"");
  EXPECT_EQ(summary(skin_items), u"Skin#default:: Skin#ocean:: Cancel:: ");  // nothing loaded yet

  ASSERT_TRUE(m_skin.language().load(file("/ENGLISH.lng")));
  remember(u"Skin", u"OCEAN");
  ASSERT_TRUE(menus.load_skin_at_start(m_screen));
  menus.fill_language_menu(language_items, u"MenuElementRed");
  EXPECT_EQ(summary(language_items),
            u"Language#English[x]:English: Language#deutsch:deutsch: Language#russian:russian: "
            u"Cancel::MenuElementRed ");
  menus.fill_skin_menu(again, u"");
  EXPECT_EQ(summary(again), u"Skin#default:: Skin#ocean[x]:: Cancel:: ");
}

TEST_F(SkinChoiceTest, ChoosingLoadsAndTellsTheListenersOnlyOnAChangeAndRemembersWhenAsked) {
  languages({"english", "russian"});
  skins({"default", "ocean", "splash"});
  test::write_file(m_base + "/skins/bin/broken.skin", "not a skin");
  SkinChoice menu = choice(m_skin);
  ASSERT_TRUE(menu.load_language_at_start() && menu.load_skin_at_start(m_screen));

  EXPECT_FALSE(menu.choose(u"Skin#DEFAULT", m_screen));  // the current ones
  EXPECT_FALSE(menu.choose(u"Language#English", m_screen));
  EXPECT_EQ(m_listener.calls, 0);
  ASSERT_TRUE(menu.choose(u"Skin#ocean", m_screen));
  EXPECT_EQ(m_listener.calls, 1);
  ASSERT_TRUE(menu.choose(u"Language#russian", m_screen));
  EXPECT_EQ(m_listener.calls, 2);
  // Remembered only when the caller says the screens took it.
  EXPECT_EQ(remembered(), u"<unset> <unset>");
  menu.remember_current(u"Skin#anything");
  menu.remember_current(u"Language#anything");
  EXPECT_EQ(remembered(), u"ocean russian");

  for (std::u16string_view id :
       {u"Skin#broken", u"Skin#missing", u"Skin#splash", u"Skin#../bin/default", u"Skin#",
        u"Skin#..", u"Language#missing", u"Language#skins/bin/x", u"Language#", u"Skin", u"Exit"})
    EXPECT_FALSE(menu.choose(id, m_screen)) << to_utf8(std::u16string(id));
  EXPECT_EQ(m_skin.path() + u" " + m_skin.language().path(),
            skin_file("ocean") + u" " + file("/russian.lng"));
  EXPECT_EQ(remembered(), u"ocean russian");
  EXPECT_EQ(m_listener.calls, 2);
  // What the next start picks.
  EXPECT_EQ(started_skin() + u" " + started_language(), skin_file("ocean") + u" russian");
}

}  // namespace
}  // namespace lv::test::screens
