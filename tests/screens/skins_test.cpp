// The shipped skins. The image screen's node in each: the soft keys are
// bound, the control bars slide and hold their buttons, the buttons keep
// the skin's finger-sized target on small and large screens in both
// orientations and show none of the picture below them, the zoom and
// landscape buttons have a disabled look, and every text the screen shows
// exists.
//
// And what the daylight skin promises beyond the screens' own needs. Every
// control of the album and folder screens and of the menus is a target of
// at least 48 units, and the album's and folder's controls sit in the bar at
// the bottom, on small and large screens in both orientations. And, as a
// light skin: no picture it draws with the colour key alone holds
// see-through pixels (drawn as they are, they come out as dark specks on the
// light faces), and the art painted on the bars meets the bars' own colour
// to the pixel.
//
// And the choice among the skins and languages a program folder holds: what
// a start picks, what the menus list and what choosing changes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/language.h"
#include "base/settings.h"
#include "platform/text.h"
#include "screens/folder_grid.h"
#include "screens/screens_test_support.h"
#include "screens/skin_choice.h"
#include "skin/bitmap_file.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "support/scoped_env.h"
#include "support/test_env.h"
#include "widgets/button.h"
#include "widgets/rich_text_element.h"
#include "widgets/skin_values.h"

namespace lv::test::screens {
namespace {

// Small and large screens in both orientations, at both densities.
struct Shape {
  Size size;
  int32_t dpi;
  int32_t unit;  // screen pixels per skin unit
};
const Shape kShapes[] = {{{480, 800}, 96, 1},
                         {{800, 480}, 96, 1},
                         {{240, 320}, 96, 1},
                         {{480, 800}, 192, 2},
                         {{800, 480}, 192, 2}};

std::string describe(const Shape& shape) {
  return std::to_string(shape.size.width) + "x" + std::to_string(shape.size.height) + "/" +
         std::to_string(shape.dpi);
}

// A bar of controls and the buttons it holds.
struct Bar {
  const char16_t* id;
  std::vector<const char16_t*> buttons;
};

// What each skin promises: the side of its smallest target in skin units
// and where the controls sit. The default skin has a bar at each edge;
// daylight keeps every control in one bar at the bottom, for one hand.
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
    if (loaded) {
      root.build(properties, node);
      root.layout(size);
    }
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

TEST_P(ImageSkinTest, KeysTextsAndTheDisabledLookOfTheZoomAndLandscapeButtons) {
  BuiltNode screen(GetParam().name, u"Image", {480, 800});
  ASSERT_TRUE(screen.loaded);
  EXPECT_EQ(screen.button(u"btnBack").bind_key(), key_code_from_skin_name(u"SOFT_LEFT"));
  EXPECT_EQ(screen.button(u"btnMenu").bind_key(), key_code_from_skin_name(u"SOFT_RIGHT"));
  // The texts the screen sets reach a text widget; the properties wrap.
  screen.button(u"btnNumText").set_text(u"3 of 12");
  EXPECT_EQ(text_of(screen.button(u"btnNumText"), u"#text"), u"3 of 12");
  EXPECT_TRUE(
      dynamic_cast<RichTextElement&>(screen.button(u"btnProperties").find_required(u"#text"))
          .wrap());
  // A disabled look drawn over the icon, which stays where the screen put it.
  for (const char16_t* id : {u"btnMinus", u"btnPlus", u"chkLandscape"}) {
    ButtonElement& button = screen.button(id);
    const Element* disabled = button.find_by_id(u"#disabled");
    EXPECT_TRUE(disabled && button.index_of(*disabled) == button.child_count() - 1) << to_utf8(id);
  }
}

// The bars slide out of their own edge and hold their buttons; every button
// keeps the skin's target and none overlaps another, in every shape.
TEST_P(ImageSkinTest, BarsHoldFingerSizedButtonsInEveryShape) {
  const SkinCase& skin = GetParam();
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(describe(shape));
    BuiltNode screen(skin.name, u"Image", shape.size, shape.dpi);
    ASSERT_TRUE(screen.loaded);
    const Rect whole{0, 0, shape.size.width, shape.size.height};
    for (const char16_t* id : {u"size_image", u"left", u"center", u"right"})
      EXPECT_EQ(screen.rect(id), whole) << to_utf8(id);
    std::vector<Rect> placed;
    for (const Bar& bar_case : skin.bars) {
      Element& bar = screen.root.find_required(bar_case.id);
      EXPECT_EQ(bar_case.id == std::u16string_view(u"bar_top")
                    ? bar.rect().top
                    : bar.rect().bottom - shape.size.height,
                0);
      EXPECT_NE(bar.visibility_animation(), nullptr) << to_utf8(bar_case.id);
      for (const char16_t* id : bar_case.buttons) {
        const Rect r = screen.rect(id);
        EXPECT_TRUE(inside(r, bar.rect())) << to_utf8(id);
        EXPECT_GE(std::min(r.width(), r.height()), skin.target * shape.unit) << to_utf8(id);
        for (const Rect& other : placed)
          EXPECT_TRUE(r.left >= other.right || r.right <= other.left || r.top >= other.bottom ||
                      r.bottom <= other.top)
              << to_utf8(id) << " overlaps a button before it";
        placed.push_back(r);
      }
    }
    // The counter sits in the middle of its bar; the properties card stays
    // on the screen.
    EXPECT_NEAR(screen.rect(u"btnNumText").left + screen.rect(u"btnNumText").right,
                shape.size.width, 2);
    EXPECT_TRUE(inside(screen.rect(u"btnProperties"), whole));
  }
}

// A bar is drawn over the picture through its cache's blitter. Inside the
// buttons (away from the rounded corners) nothing of the picture may show,
// or it would shine through the faces, the icons' edges and the counter:
// the bar drawn over black and over white must come out the same there.
// Checked for every state a button can show, at both densities.
TEST_P(ImageSkinTest, ButtonsInTheBarsShowNothingOfThePictureInEveryState) {
  const SkinCase& skin = GetParam();
  for (const int32_t unit : {1, 2}) {
    BuiltNode screen(skin.name, u"Image", {480, 800}, 96 * unit);
    ASSERT_TRUE(screen.loaded);
    screen.button(u"btnNumText").set_text(u"10 of 12");
    const auto every_button = [&](const char* state) {
      for (const Bar& bar_case : skin.bars) {
        Element& bar = screen.root.find_required(bar_case.id);
        const RenderSurface& cache = bar.cached_surface();
        ASSERT_NE(cache.surface(), nullptr);
        static const CopyBlitter copy;
        RenderSurface over[2];
        for (int i = 0; i < 2; ++i) {
          over[i].recreate(int32_t(cache.surface()->width()), int32_t(cache.surface()->height()));
          over[i].surface()->fill(i ? 0xFFFF : 0x0000);
          cache.draw_onto(over[i], {0, 0}, bar.cache_blitter() ? *bar.cache_blitter() : copy);
        }
        for (const char16_t* id : bar_case.buttons) {
          const Rect r = screen.rect(id);
          // Clear of the rounded corners: the middle of each face.
          const int32_t inset_x = (id == std::u16string_view(u"btnNumText") ? 12 : 8) * unit;
          int32_t shows_through = 0;
          for (int32_t y = r.top + 8 * unit; y < r.bottom - 8 * unit; ++y)
            for (int32_t x = r.left + inset_x; x < r.right - inset_x; ++x) {
              const uint32_t bx = uint32_t(x - bar.position().x),
                             by = uint32_t(y - bar.position().y);
              shows_through += over[0].surface()->pixel(bx, by) != over[1].surface()->pixel(bx, by);
            }
          EXPECT_EQ(shows_through, 0) << to_utf8(id) << " " << state << " at scale " << unit;
        }
      }
    };
    // The screen shows exactly one state picture of a check box.
    for (const int state : {0, 1}) {
      for (const char16_t* check : {u"chkLandscape", u"chkSlideShow"}) {
        screen.button(check).find_required(u"ptr_state_0").set_visible(state == 0);
        screen.button(check).find_required(u"ptr_state_1").set_visible(state == 1);
      }
      every_button(state ? "checked" : "normal");
    }
    for (const Bar& bar : skin.bars)
      for (const char16_t* id : bar.buttons) {
        const Point p = centre_of(screen.root.find_required(id));
        screen.button(id).on_pointer_button(PointerEvent{p.x, p.y, 0, 0, 1, 0});
      }
    every_button("pressed");
    for (const char16_t* id : {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow"})
      screen.button(id).set_enabled(false);
    every_button("disabled");
  }
}

// The other languages hold exactly the English keys (checked with the
// language files themselves).
TEST(ImageScreenTexts, EveryTextOfTheScreenExists) {
  LanguageTable language;
  ASSERT_TRUE(language.load(from_utf8(binary_path("english.lng"))));
  for (const char16_t* key :
       {u"NoPicture", u"DeleteFailed", u"DeleteReadOnly", u"SendFailed", u"SlideShow",
        u"Landscape", u"Options",      u"Delete",         u"Send",       u"Properties",
        u"Cancel",    u"Original",     u"Large",          u"Medium",     u"Small",
        u"Name",      u"Folder",       u"Resolution",     u"Size",       u"Date",
        u"Time",      u"byte",         u"kbyte",          u"mbyte",      u"of"}) {
    const auto found = language.texts().find(std::u16string_view(key));
    EXPECT_TRUE(found != language.texts().end() && !found->second.empty()) << to_utf8(key);
  }
}

// --- The daylight skin ------------------------------------------------------------

// The visible buttons of a tree, buttons inside buttons included.
void visible_buttons(Element& element, std::vector<ButtonElement*>& out) {
  if (!element.visible()) return;
  if (auto* button = dynamic_cast<ButtonElement*>(&element)) out.push_back(button);
  for (size_t i = 0; i < element.child_count(); ++i) visible_buttons(element.child(i), out);
}

TEST(DaylightSkin, ControlsAreFingerSizedAndTheBrowsingOnesSitInTheBottomBar) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(describe(shape));
    const int32_t target = 48 * shape.unit;
    const int32_t bar_top = shape.size.height - 72 * shape.unit;  // the bottom bar's height
    for (const char16_t* name : {u"Main", u"Folder"}) {
      BuiltNode screen("daylight", name, shape.size, shape.dpi);
      std::vector<ButtonElement*> buttons;
      visible_buttons(screen.root, buttons);
      EXPECT_EQ(buttons.size(), name == std::u16string_view(u"Main") ? 2u : 1u) << to_utf8(name);
      for (const ButtonElement* button : buttons) {
        const Rect r = button->rect();
        EXPECT_TRUE(r.width() >= target && r.height() >= target && r.top >= bar_top &&
                    r.bottom <= shape.size.height)
            << to_utf8(button->id()) << " is small or not in the bottom bar";
      }
      if (Element* filter = screen.root.find_by_id(u"editFilter")) {
        EXPECT_GE(filter->rect().top, bar_top);
        EXPECT_GE(filter->rect().height(), target);
        EXPECT_GT(filter->rect().width(), 2 * target) << "no room to type";
      }
    }
    // Rows: each is a target as a whole, and the main menu's tiles and the
    // grid's cells each on their own.
    Properties skin;
    ASSERT_TRUE(load_skin(skin, "daylight", shape.size, shape.dpi));
    for (const char16_t* name :
         {u"AlbumElement", u"MenuElement", u"MenuElementRed", u"MenuElementDisabled",
          u"MenuElement4Buttons", u"FolderElement"}) {
      ScreenRoot row;
      row.build(skin, name);
      // The grid shows the cells that the width holds, as the folder screen does.
      if (name == std::u16string_view(u"FolderElement")) {
        for (int32_t c = folder_columns(shape.size.width, skin.scale()); c < kFolderMaxColumns; ++c)
          row.find_required(u"button" + std::u16string(1, char16_t(u'0' + c))).set_visible(false);
      }
      const int32_t height = row.height_range().preferred;
      EXPECT_GE(height, target) << to_utf8(name);
      row.layout({shape.size.width, height});
      std::vector<ButtonElement*> buttons;
      visible_buttons(row, buttons);
      for (const ButtonElement* button : buttons)
        EXPECT_TRUE(button->rect().width() >= target && button->rect().height() >= target)
            << to_utf8(name) << " " << to_utf8(button->id());
    }
  }
}

// Pictures drawn with the copy or the key blitter ("alpha" -1 or below 64)
// show their pixels as they are; a see-through one there is a dark speck.
int32_t see_through_pixels(const Picture& picture) {
  const Surface* pixels = picture.bitmap->surface();
  int32_t count = 0;
  for (int32_t y = picture.p0.y >> picture.scale; pixels && y < picture.p3.y >> picture.scale; ++y)
    for (int32_t x = picture.p0.x >> picture.scale; x < picture.p3.x >> picture.scale; ++x) {
      const uint16_t p = pixels->pixel(uint32_t(x), uint32_t(y));
      count += p != rgb565::kKey && (p & rgb565::kOpaqueBit) == 0;
    }
  return count;
}

void check_images(const Properties& skin, const SkinNode* node, const std::string& path) {
  const std::string here = path + "/" + to_utf8(read_string(skin, node, u"id"));
  if (read_string(skin, node, u"type") == u"image" && skin.get_integer(node, u"alpha", -1) < 64) {
    EXPECT_EQ(see_through_pixels(skin.get_picture(node, u"src", empty_picture())), 0) << here;
  }
  for (uint32_t i = 0; i < skin.child_count(node); ++i)
    check_images(skin, skin.child(node, i), here);
}

TEST(DaylightSkin, PicturesDrawnWithTheColourKeyAloneHaveNoSeeThroughPixels) {
  Properties skin;
  ASSERT_TRUE(load_skin(skin, "daylight", {480, 800}));
  for (const char16_t* name : {u"Splash", u"Main", u"AlbumElement", u"Folder", u"FolderElement",
                               u"Image", u"About", u"Menu", u"MenuElement", u"MenuElementDisabled",
                               u"MenuElementRed", u"MenuElement4Buttons"}) {
    const SkinNode* node = skin.find_node(name);
    ASSERT_NE(node, nullptr) << to_utf8(name);
    check_images(skin, node, to_utf8(name));
  }
  // The viewer repeats its placeholders over the view with the key blitter.
  for (const char* placeholder : {"daylight.load.bmp", "daylight.bad.bmp"}) {
    FileStream file(from_utf8(binary_path(std::string("skins/bin/") + placeholder)),
                    OpenMode::read);
    const Picture art = picture_from_surface(read_bitmap(file));
    ASSERT_FALSE(art.empty()) << placeholder;
    EXPECT_EQ(see_through_pixels(art), 0) << placeholder;
  }
}

// The buttons' faces and the filter field are painted on the bar's colour;
// their corners must be that very colour in 16 bits, or each control would
// sit in a faint square.
TEST(DaylightSkin, ArtOnTheBarsMeetsTheBarColourToThePixel) {
  struct Case {
    const char16_t* screen;
    const char16_t* bar;
    std::vector<const char16_t*> controls;
  };
  for (const Case& c : {Case{u"Main", u"bottom_bar", {u"btnSearch", u"btnMenu", u"editFilter"}},
                        Case{u"Folder", u"bottom_bar", {u"btnBack"}},
                        Case{u"Image",
                             u"bar_bottom",
                             {u"chkLandscape", u"btnMinus", u"btnPlus", u"chkSlideShow", u"btnBack",
                              u"btnNumText", u"btnMenu"}}}) {
    ScreenRig rig;
    BuiltNode screen("daylight", c.screen, {480, 800});
    rig.render(screen.root, {480, 800});
    const Rect bar = screen.rect(c.bar);
    // Below the hairline at its top, at the left edge.
    const uint16_t bar_colour = rig.pixel(bar.left + 1, bar.top + 4);
    for (const char16_t* id : c.controls) {
      const Rect r = screen.rect(id);
      for (const Point corner : {Point{r.left, r.top}, Point{r.right - 1, r.top},
                                 Point{r.left, r.bottom - 1}, Point{r.right - 1, r.bottom - 1}})
        EXPECT_EQ(rig.pixel(corner), bar_colour)
            << to_utf8(c.screen) << " " << to_utf8(id) << " at " << corner.x << "," << corner.y;
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
    std::filesystem::create_directories(m_base + "/src");
    m_skin.add_reload_listener(&m_listener);
  }
  void TearDown() override { m_skin.remove_reload_listener(&m_listener); }

  void languages(std::initializer_list<const char*> names) {
    for (const char* name : names)
      test::write_file(m_base + "/" + name + ".lng", "Which=" + std::string(name) + "\n");
  }
  void skins(std::initializer_list<const char*> names) {
    for (const std::string name : names) {
      const std::string source = m_base + "/src/" + name + ".json";
      test::write_file(source, R"({"nodes": {"Main": {"string": {"id": "main"}}}})");
      skinc::CompiledSkin compiled;
      std::string error;
      ASSERT_TRUE(skinc::compile_skin(source, name, compiled, error) &&
                  skinc::write_compiled_skin(compiled, m_base + "/skins/bin", error))
          << error;
    }
  }
  void remember(std::u16string_view name, std::u16string_view value) {
    ASSERT_TRUE(set_string(key(), name, value));
  }
  std::u16string file(const std::string& relative) const { return from_utf8(m_base + relative); }

  std::u16string key() const {
    return std::u16string(kKaruKey) + u"\\SkinChoice_" +
           from_utf8(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  std::u16string remembered(std::u16string_view name) const {
    std::u16string value = u"<unset>";
    get_string(key(), name, value);
    return value;
  }
  SkinChoice choice(Properties& skin) {
    return SkinChoice(skin.language(), skin, key().substr(kKaruKey.size() + 1), file(""));
  }
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
      (std::vector<std::u16string>{file("/skins/bin/bad.skin"), file("/skins/bin/default.skin"),
                                   file("/skins/bin/ocean.skin")}));

  EXPECT_EQ(started_skin(), file("/skins/bin/default.skin"));
  remember(u"Skin", u"OCEAN");  // names match ignoring case
  EXPECT_EQ(started_skin(), file("/skins/bin/ocean.skin"));
  for (std::u16string_view unsafe : {u"splash", u"..", u"../bin/ocean", u"bad"}) {
    remember(u"Skin", unsafe);
    EXPECT_EQ(started_skin(), file("/skins/bin/default.skin")) << to_utf8(std::u16string(unsafe));
  }
  // Without "default" the search passes SPLASH and the broken skin.
  std::filesystem::remove(m_base + "/skins/bin/default.skin");
  EXPECT_EQ(started_skin(), file("/skins/bin/ocean.skin"));
  std::filesystem::remove(m_base + "/skins/bin/ocean.skin");
  EXPECT_EQ(started_skin(), u"<none>");
}

TEST_F(SkinChoiceTest, MenusListTheFilesByPathWithTheCurrentOneChecked) {
  languages({"russian", "English", "deutsch"});
  skins({"ocean", "Splash", "default"});
  SkinChoice menus = choice(m_skin);
  std::vector<MenuItem> items;
  menus.fill_skin_menu(items, u"");
  EXPECT_EQ(summary(items), u"Skin#default:: Skin#ocean:: Cancel:: ");  // nothing loaded yet

  ASSERT_TRUE(m_skin.language().load(file("/ENGLISH.lng")));
  remember(u"Skin", u"OCEAN");
  ASSERT_TRUE(menus.load_skin_at_start(m_screen));
  items.clear();
  menus.fill_language_menu(items, u"MenuElementRed");
  EXPECT_EQ(summary(items),
            u"Language#English[x]:English: Language#deutsch:deutsch: Language#russian:russian: "
            u"Cancel::MenuElementRed ");
  items.clear();
  menus.fill_skin_menu(items, u"");
  EXPECT_EQ(summary(items), u"Skin#default:: Skin#ocean[x]:: Cancel:: ");
}

TEST_F(SkinChoiceTest, ChoosingLoadsAndTellsTheListenersOnlyOnAChangeAndRemembersWhenAsked) {
  languages({"english", "russian"});
  skins({"default", "ocean", "splash"});
  test::write_file(m_base + "/skins/bin/broken.skin", "not a skin");
  SkinChoice menu = choice(m_skin);
  ASSERT_TRUE(menu.load_language_at_start());
  ASSERT_TRUE(menu.load_skin_at_start(m_screen));

  EXPECT_FALSE(menu.choose(u"Skin#DEFAULT", m_screen));  // the current ones
  EXPECT_FALSE(menu.choose(u"Language#English", m_screen));
  EXPECT_EQ(m_listener.calls, 0);

  ASSERT_TRUE(menu.choose(u"Skin#ocean", m_screen));
  EXPECT_EQ(m_listener.calls, 1);
  ASSERT_TRUE(menu.choose(u"Language#russian", m_screen));
  EXPECT_EQ(m_listener.calls, 2);
  // Remembered only when the caller says the screens took it.
  EXPECT_EQ(remembered(u"Skin") + remembered(u"Language"), u"<unset><unset>");
  menu.remember_current(u"Skin#anything");
  menu.remember_current(u"Language#anything");
  EXPECT_EQ(remembered(u"Skin") + u" " + remembered(u"Language"), u"ocean russian");

  for (std::u16string_view id :
       {u"Skin#broken", u"Skin#missing", u"Skin#splash", u"Skin#../bin/default", u"Skin#",
        u"Skin#..", u"Language#missing", u"Language#skins/bin/x", u"Language#", u"Skin", u"Exit"})
    EXPECT_FALSE(menu.choose(id, m_screen)) << to_utf8(std::u16string(id));
  EXPECT_EQ(m_skin.path(), file("/skins/bin/ocean.skin"));
  EXPECT_EQ(m_skin.language().path(), file("/russian.lng"));
  EXPECT_EQ(remembered(u"Skin") + u" " + remembered(u"Language"), u"ocean russian");
  EXPECT_EQ(m_listener.calls, 2);

  EXPECT_EQ(started_skin(), file("/skins/bin/ocean.skin"));  // what the next start picks
  EXPECT_EQ(started_language(), u"russian");
}

}  // namespace
}  // namespace lv::test::screens
