#include "app/application.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_test_support.h"
#include "app/element_types.h"
#include "app/text_box.h"
#include "base/settings.h"
#include "platform/sdl_events.h"
#include "platform/text.h"
#include "screens/skin_choice.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "skin/skin_exceptions.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "support/test_env.h"
#include "widgets/edit_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

constexpr char kNodes[] = R"({
  "Red": {"children": [{"string": {"type": "color"}, "color": {"color": "#ff0000"}}]},
  "GreenBox": {"children": [{"string": {"type": "color", "anchor_x": "CENTER", "anchor_y": "CENTER"},
    "color": {"color": "#00ff00"}, "point": {"design_size": [40, 40]}}]},
  "Fields": {"children": [
    {"string": {"type": "edit", "id": "edit", "text": "typed", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
     "point": {"border_min": [20, 30], "design_size": [100, 24]}, "font": {"font": "10 0 0 0 DejaVu Sans"}}]}
})";

const uint16_t kRed = test::rgb565_of({255, 0, 0});
const uint16_t kGreen = test::rgb565_of({0, 255, 0});
const auto key_down = [](int code) { return KeyEvent{code, true, true}; };
const auto press_at = [](int32_t x, int32_t y) { return PointerEvent{x, y, 0, 0, 1, 0}; };

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    unregister_widget_types();  // the application registers its own
    app = std::make_unique<Application>(u"Lumiview", skin.properties(), test::headless_options());
    ASSERT_TRUE(skin.load_nodes(kNodes));
    red.build(skin.properties(), u"Red");
    green.build(skin.properties(), u"GreenBox");
    app->set_listener(&listener);
  }
  void TearDown() override {
    if (!app) return;
    app->set_listener(nullptr);
    for (ScreenRoot* screen : {&red, &green}) app->forget_screen(*screen);
  }

  uint16_t pixel(uint32_t x, uint32_t y) {
    target.recreate(test::kClient.width, test::kClient.height);
    app->render(target, RedrawScope::everything);
    return target.surface()->pixel(x, y);
  }
  void add(ScreenRoot& screen, ScreenLayer layer = ScreenLayer::replace,
           ScreenAnimation animation = ScreenAnimation::none) {
    app->add_screen(screen, layer, animation);
  }
  void remove(ScreenRoot& screen, ScreenAnimation animation = ScreenAnimation::none) {
    app->remove_screen(screen, animation);
  }

  test::TestSkin skin;
  std::unique_ptr<Application> app;
  test::RecordingListener listener;
  test::ProbeScreen red, green;
  RenderSurface target;
};

TEST_F(ApplicationTest, TheFourteenTypesLiveAsLongAsTheApplication) {
  EXPECT_TRUE(Application::instance() == app.get() && &screen_host() == app.get());
  for (bool alive : {true, false}) {
    for (std::u16string_view name : kElementTypeNames)
      EXPECT_EQ(NodeTypeRegistry::instance().contains(name), alive) << to_utf8(name);
    TearDown();
    app.reset();
  }
  EXPECT_TRUE(Application::instance() == nullptr && &screen_host() != nullptr);

  // A type registered before: no half-registered application, and nothing
  // of it left in the way of the next.
  NodeTypeRegistry::instance().register_type(u"vlist", [] { return nullptr; });
  EXPECT_THROW(Application(u"Lumiview", skin.properties(), test::headless_options()),
               jobser::NodeAlreadyRegistered);
  EXPECT_FALSE(NodeTypeRegistry::instance().contains(u"button") || Application::instance());
  NodeTypeRegistry::instance().unregister_type(u"vlist");
  app = std::make_unique<Application>(u"Lumiview", skin.properties(), test::headless_options());
  EXPECT_TRUE(NodeTypeRegistry::instance().contains(u"vlist"));
}

// Input and time go to the top screen; an overlay leaves the screen below
// drawn, a replacing one hides it until it leaves.
TEST_F(ApplicationTest, TheTopScreenGetsInputAndTimeAndOverlaysLeaveTheScreenBelowDrawn) {
  add(red);
  add(green, ScreenLayer::overlay);
  EXPECT_EQ(listener.added, (std::vector<ScreenRoot*>{&red, &green}));
  app->key(key_down(kKeyEnter));
  app->character(u"x");
  app->pointer_button(press_at(5, 6));
  app->pointer_move(press_at(7, 8));
  app->update(0.04);
  EXPECT_EQ(green.log,
            "key " + std::to_string(kKeyEnter) + "; char x; button 5,6; move 7,8; timer 0.04");
  EXPECT_TRUE(red.log.empty() && pixel(3, 3) == kRed && pixel(120, 160) == kGreen &&
              !app->needs_redraw());
  remove(green, ScreenAnimation::animated);
  EXPECT_TRUE(app->current_screen() == &red && app->needs_redraw());
  EXPECT_EQ(listener.removed, std::vector<ScreenRoot*>{&green}) << "animated";
  // A screen that is not on the stack: nothing changes, nobody is told.
  remove(green);
  EXPECT_TRUE(listener.removed.size() == 1u && app->screens().size() == 1u);

  add(green);  // the background around the box, not the red screen
  EXPECT_TRUE(!red.visible() && pixel(3, 3) == 0x0000);
  // Put on again, a screen moves to the top instead of appearing twice.
  add(red);
  EXPECT_TRUE(app->screens().size() == 2u && app->current_screen() == &red);
  EXPECT_TRUE(red.visible() && !green.visible());
  remove(red);
  EXPECT_TRUE(green.visible());
  app->forget_screen(green);
  app->key(key_down(kKeyEnter));  // no screen: nowhere, harmlessly
  app->quit();
  EXPECT_TRUE(app->current_screen() == nullptr && app->window()->finished());
}

TEST_F(ApplicationTest, WindowEventsGoToTheListenerFirst) {
  add(red);
  listener.consume_key = kKeySoftLeft;
  app->key(key_down(kKeySoftLeft));
  app->key(key_down(kKeySoftRight));
  EXPECT_EQ(red.log, "key " + std::to_string(kKeySoftRight));
  listener.allow_close = false;
  EXPECT_FALSE(app->may_close());
  pixel(0, 0);  // drawn: nothing waits
  app->layout_changed(app->window()->measure_screen());
  EXPECT_TRUE(listener.layout_changes == 1 && app->needs_redraw());
}

// A fault mended: a command line that came during the splash was lost.
TEST_F(ApplicationTest, ACommandLineBeforeTheHomeScreenWaitsForItsFirstFrame) {
  add(red);
  app->set_listener(nullptr);
  app->open_command_line(u"/pictures/a.jpg");
  app->open_command_line(u"/pictures/b.jpg");
  app->update(0.04);
  // The splash sets the listener within a frame; the line goes out at the
  // next one, the latest only, and once.
  app->set_listener(&listener);
  EXPECT_TRUE(listener.command_lines.empty());
  app->update(0.04);
  app->update(0.04);
  EXPECT_EQ(listener.command_lines, std::vector<std::u16string>{u"/pictures/b.jpg"});
}

// A tap through the window on a field, as SDL brings it: the box over it,
// the typing back in the field, and the ways the editing ends.
TEST_F(ApplicationTest, AFieldTappedThroughTheWindowIsEditedUntilAnotherScreenComes) {
  platform::SdlEventSource events;
  auto send = [&](bool queued) {
    ASSERT_TRUE(queued);
    while (auto event = events.poll()) app->window()->dispatch(*event);
  };
  using enum platform::PointerAction;
  auto tap = [&] {
    send(platform::inject_pointer(0, press, 30, 40) &&
         platform::inject_pointer(0, release, 30, 40));
  };
  auto fields = std::make_unique<ScreenRoot>();
  fields->build(skin.properties(), u"Fields");
  add(*fields);
  auto& edit = dynamic_cast<EditElement&>(fields->find_required(u"edit"));
  tap();
  ASSERT_EQ(app->edited_element(), &edit);
  const TextBox* box = app->window()->edit_box();
  ASSERT_TRUE(box && box->rect() == (Rect{20, 30, 120, 54}) && box->text() == u"typed");
  send(platform::inject_text(0, u"xy"));
  EXPECT_EQ(edit.text(), u"xy");
  edit.set_text(u"new");
  EXPECT_EQ(box->text(), u"new") << "set from elsewhere";

  // A screen over it ends the editing; so does the field going away.
  add(green, ScreenLayer::overlay);
  EXPECT_FALSE(app->edited_element() || app->window()->editing());
  remove(green);
  tap();
  ASSERT_TRUE(app->window()->editing());
  app->forget_screen(*fields);
  fields.reset();
  EXPECT_FALSE(app->edited_element() || app->window()->editing());
}

// Rebuilds a screen from the skin's "Needed" on every skin change, as the
// album screen does with "Main".
class RebuildingScreen : public ReloadListener {
 public:
  void reload_skin(Properties& properties) override {
    ++reloads;
    screen.build(properties, u"Needed");
  }
  ScreenRoot screen;
  int reloads = 0;
};

TEST_F(ApplicationTest, AChosenSkinTheScreensCannotUseIsRefusedAndTheOldOneComesBack) {
  TearDown();
  app.reset();
  const std::string base = test::make_temp_dir("program");
  for (auto [name, nodes] :
       {std::pair{"default", R"({"Needed": {"color": {"outside_color": "#010203"}}})"},
        {"other", R"({"Needed": {"color": {"outside_color": "#040506"}}})"},
        {"broken", R"({"Elsewhere": {}})"}}) {
    const std::string source = test::make_temp_dir("source") + "/skin.json";
    test::write_file(source, std::string("{\"nodes\": ") + nodes + "}");
    skinc::CompiledSkin compiled;
    std::string error;
    ASSERT_TRUE(skinc::compile_skin(source, name, compiled, error) &&
                skinc::write_compiled_skin(compiled, base + "/skins/bin", error))
        << error;
  }
  Properties properties;
  Application::Options options = test::headless_options();
  options.base_folder = from_utf8(base);
  app = std::make_unique<Application>(u"Lumiview", properties, std::move(options));
  ASSERT_TRUE(app->skin_choice().load_skin_at_start(app->screen_info()));
  RebuildingScreen rebuilding;
  rebuilding.reload_skin(properties);
  properties.add_reload_listener(&rebuilding);

  // Refused: the default skin in use, on the screens and remembered.
  auto expect_default = [&] {
    EXPECT_EQ(rebuilding.screen.outside_color(), (Color{1, 2, 3, 255}));
    std::u16string remembered;
    EXPECT_TRUE(get_string(app_settings_key(), u"Skin", remembered) && remembered == u"default");
  };
  EXPECT_FALSE(app->choose(u"Skin#broken"));
  expect_default();
  EXPECT_TRUE(app->choose(u"Skin#other"));
  EXPECT_EQ(rebuilding.screen.outside_color(), (Color{4, 5, 6, 255}));
  EXPECT_EQ(rebuilding.reloads, 4);
  // The skin in use has gone from the folder meanwhile: the start's next
  // candidate that the screens take comes back, and is remembered.
  std::filesystem::remove(base + "/skins/bin/other.skin");
  EXPECT_FALSE(app->choose(u"Skin#broken"));
  expect_default();
  properties.remove_reload_listener(&rebuilding);
  app.reset();  // before the skin it was made with
}

}  // namespace
}  // namespace lv
