#include "platform/sdl_events.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/sdl_window.h"
#include "support/scoped_env.h"

namespace lv::platform {
namespace {

std::deque<WindowEvent> translate(const SDL_Event& event) {
  std::deque<WindowEvent> out;
  translate_sdl_event(event, out);
  return out;
}

SDL_Event key_event(uint32_t type, SDL_Keycode sym, SDL_Scancode scancode, bool repeat) {
  SDL_Event event{};
  event.type = type;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym.sym = sym;
  event.key.keysym.scancode = scancode;
  return event;
}

TEST(SdlEvents, KeysCarryTheHandheldMessageDataAndControlKeysACharacter) {
  const uint32_t data = 1u | (SDL_SCANCODE_A << 16);
  auto down = translate(key_event(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, false));
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].type, EventType::key_down);
  EXPECT_EQ(down[0].virtual_key, 65);
  EXPECT_EQ(down[0].key_data, data);
  EXPECT_EQ(translate(key_event(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, true))[0].key_data,
            data | kKeyDataPreviouslyDown);
  auto up = translate(key_event(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A, false));
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].type, EventType::key_up);
  EXPECT_EQ(up[0].key_data, data | kKeyDataPreviouslyDown | kKeyDataReleased);

  // Back, tab, return and escape also make a character, space does not.
  const std::tuple<SDL_Keycode, SDL_Scancode, char16_t> keys[] = {
      {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8},
      {SDLK_TAB, SDL_SCANCODE_TAB, 9},
      {SDLK_RETURN, SDL_SCANCODE_RETURN, 13},
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27}};
  for (auto [sym, scancode, character] : keys) {
    auto events = translate(key_event(SDL_KEYDOWN, sym, scancode, true));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].type, EventType::character);
    EXPECT_EQ(events[1].text, std::u16string(1, character));
    EXPECT_EQ(events[1].key_data, events[0].key_data);
    EXPECT_EQ(translate(key_event(SDL_KEYUP, sym, scancode, false)).size(), 1u);
  }
  EXPECT_EQ(translate(key_event(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE, false)).size(), 1u);
}

TEST(SdlEvents, TheLeftButtonIsTheStylusAndWindowEventsKeepTheirMeaning) {
  SDL_Event event{};
  event.type = SDL_MOUSEBUTTONDOWN;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.x = -12;
  event.button.y = 340;
  auto down = translate(event);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].type, EventType::pointer_down);
  EXPECT_EQ(down[0].x, -12);
  EXPECT_EQ(down[0].y, 340);
  event.button.button = SDL_BUTTON_RIGHT;
  EXPECT_TRUE(translate(event).empty());
  event.type = SDL_MOUSEBUTTONUP;
  event.button.button = SDL_BUTTON_LEFT;
  EXPECT_EQ(translate(event)[0].type, EventType::pointer_up);

  const std::pair<uint8_t, EventType> cases[] = {
      {SDL_WINDOWEVENT_FOCUS_GAINED, EventType::focus_gained},
      {SDL_WINDOWEVENT_RESTORED, EventType::shown},
      {SDL_WINDOWEVENT_MINIMIZED, EventType::hidden},
      {SDL_WINDOWEVENT_CLOSE, EventType::close_requested}};
  event = {};
  event.type = SDL_WINDOWEVENT;
  for (const auto& [which, type] : cases) {
    event.window.event = which;
    auto out = translate(event);
    ASSERT_EQ(out.size(), 1u) << int(which);
    EXPECT_EQ(out[0].type, type) << int(which);
  }
  event.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  event.window.data1 = 800;
  event.window.data2 = 480;
  auto resized = translate(event);
  ASSERT_EQ(resized.size(), 1u);
  EXPECT_EQ(resized[0].type, EventType::resized);
  EXPECT_EQ(resized[0].x, 800);
  EXPECT_EQ(resized[0].y, 480);
  event.window.event = SDL_WINDOWEVENT_MOVED;
  EXPECT_TRUE(translate(event).empty());
}

TEST(SdlEvents, ACompositionCarriesItsTextAndItsCursorInCodeUnits) {
  SDL_Event event{};
  event.type = SDL_TEXTEDITING;
  std::snprintf(event.edit.text, sizeof event.edit.text, "%s",
                "\xF0\x9F\x98\x80"
                "ab");
  event.edit.start = 2;  // characters: after the emoji and "a"
  auto out = translate(event);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, EventType::composition);
  EXPECT_EQ(out[0].text, u"\U0001F600ab");
  EXPECT_EQ(out[0].x, 3);
  event.edit.start = 40;
  EXPECT_EQ(translate(event)[0].x, 4);
  event.edit.text[0] = '\0';
  event.edit.start = 0;
  out = translate(event);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].text, u"") << "the composition is over";
}

TEST(SdlEvents, TheWheelTurnsInNotchesAwayFromTheUserAtThePointer) {
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = 1;
  event.wheel.preciseY = 1.25f;  // a smooth wheel
  event.wheel.mouseX = 30;
  event.wheel.mouseY = 410;
  auto out = translate(event);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, EventType::wheel);
  EXPECT_DOUBLE_EQ(out[0].amount, 1.25);
  EXPECT_EQ(out[0].x, 30);
  EXPECT_EQ(out[0].y, 410);
  // "Natural scrolling" reports the opposite sign; the hand moved the same.
  event.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
  EXPECT_DOUBLE_EQ(translate(event)[0].amount, -1.25);
  // Only sideways: not a turn the program uses.
  event.wheel.y = 0;
  event.wheel.preciseY = 0;
  event.wheel.preciseX = 2;
  EXPECT_TRUE(translate(event).empty());
}

TEST(SdlEvents, FingersKeepTheirIdentityAndTheirStylusIsMarked) {
  SDL_Event event{};
  event.type = SDL_FINGERDOWN;
  event.tfinger.touchId = 7;
  event.tfinger.fingerId = 3;
  event.tfinger.x = 0.25f;
  event.tfinger.y = 0.75f;
  auto down = translate(event);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].type, EventType::finger_down);
  EXPECT_EQ(down[0].touch_device, 7);
  EXPECT_EQ(down[0].finger, 3);
  EXPECT_DOUBLE_EQ(down[0].finger_x, 0.25);
  EXPECT_DOUBLE_EQ(down[0].finger_y, 0.75);
  event.type = SDL_FINGERMOTION;
  EXPECT_EQ(translate(event)[0].type, EventType::finger_move);
  event.type = SDL_FINGERUP;
  EXPECT_EQ(translate(event)[0].type, EventType::finger_up);
  // Touches SDL makes of the mouse are the stylus already.
  event.tfinger.touchId = SDL_MOUSE_TOUCHID;
  EXPECT_TRUE(translate(event).empty());

  // The stylus SDL makes of the first finger says so; the mouse's does not.
  SDL_Event mouse{};
  mouse.type = SDL_MOUSEBUTTONDOWN;
  mouse.button.button = SDL_BUTTON_LEFT;
  mouse.button.which = SDL_TOUCH_MOUSEID;
  EXPECT_TRUE(translate(mouse)[0].from_touch);
  mouse.button.which = 0;
  EXPECT_FALSE(translate(mouse)[0].from_touch);
  mouse = {};
  mouse.type = SDL_MOUSEMOTION;
  mouse.motion.which = SDL_TOUCH_MOUSEID;
  EXPECT_TRUE(translate(mouse)[0].from_touch);
}

class SdlQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    window = Window::create(u"test", {64, 48}, WindowBackend::headless);
    ASSERT_TRUE(window);
  }
  std::vector<WindowEvent> drain() {
    std::vector<WindowEvent> got;
    while (auto event = events.poll()) got.push_back(*event);
    return got;
  }
  std::unique_ptr<Window> window;
  SdlEventSource events;
};

TEST_F(SdlQueue, PostsFromOtherThreadsArriveInOrderAndWakesAreCoalesced) {
  std::thread poster([] {
    post_command_line(u"--first");
    post_window_message(1058);
    post_script_marker(7);
  });
  poster.join();
  auto a = events.wait(1000), b = events.wait(1000), c = events.wait(1000);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->type, EventType::command_line);
  EXPECT_EQ(a->text, u"--first");
  EXPECT_EQ(b->type, EventType::window_message);
  EXPECT_EQ(b->message, 1058u);
  EXPECT_EQ(c->type, EventType::script_marker);
  EXPECT_EQ(c->message, 7u);
  EXPECT_FALSE(events.wait(5)) << "a wait ends at its timeout";

  EXPECT_TRUE(post_wake() && post_wake() && post_wake());
  auto wake = events.poll();
  ASSERT_TRUE(wake);
  EXPECT_EQ(wake->type, EventType::wake);
  EXPECT_FALSE(events.poll());
  EXPECT_TRUE(post_wake());  // once taken, the next post wakes again
  EXPECT_TRUE(events.poll());
}

// The script player's taps, keys and gestures go through these; what
// reaches the window of each is the script player's to check.
TEST_F(SdlQueue, InjectedInputTakesTheWayOfRealInput) {
  ASSERT_TRUE(inject_key(0, 113, true, true));
  EXPECT_FALSE(inject_key(0, 200, true, false));
  // Longer than one SDL text event holds, with a two-byte letter at the cut.
  const std::u16string text = u"abcdefghijklmnopqrstuvwxyz01234\u00E9z";
  ASSERT_TRUE(inject_text(0, text));
  ASSERT_TRUE(inject_touch_stylus(0, PointerAction::press, 8, 9));

  std::vector<WindowEvent> got = drain();
  ASSERT_EQ(got.size(), 1u + text.size() + 1);
  EXPECT_EQ(got[0].virtual_key, 113);
  EXPECT_NE(got[0].key_data & kKeyDataPreviouslyDown, 0u);
  std::u16string typed;
  for (size_t i = 1; i < 1 + text.size(); ++i) typed += got[i].text;
  EXPECT_EQ(typed, text);
  EXPECT_EQ(got.back().type, EventType::pointer_down);
  EXPECT_TRUE(got.back().from_touch);

  // The headless window acts out the window manager.
  window->set_size({200, 100});
  window->set_size({0, 100});  // refused
  window->minimize();
  window->bring_to_front();
  std::vector<EventType> types;
  for (const WindowEvent& event : drain()) types.push_back(event.type);
  EXPECT_EQ(types,
            (std::vector<EventType>{EventType::resized, EventType::hidden, EventType::shown}));
  EXPECT_EQ(window->client_size(), (WindowSize{200, 100}));
}

TEST(SdlWindow, SizesAndDotsPerInchFromTheEnvironment) {
  WindowSize size;
  EXPECT_TRUE(parse_window_size("320X240", size));
  EXPECT_EQ(size, (WindowSize{320, 240}));
  for (const char* bad : {"800x", "0x480", "16385x10", "-4x4", "8x8x8"}) {
    EXPECT_FALSE(parse_window_size(bad, size)) << bad;
    EXPECT_EQ(size, (WindowSize{320, 240})) << bad;
  }
  test::ScopedEnv env;
  env.unset("LUMIVIEW_SCREEN");
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{480, 800}));
  env.set("LUMIVIEW_SCREEN", "640x360");
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{640, 360}));
  env.set("LUMIVIEW_SCREEN", "big");
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{480, 800}));

  auto window = Window::create(u"dpi", {10, 10}, WindowBackend::headless);
  ASSERT_TRUE(window);
  for (auto [dpi, expected] : {std::pair{"", 96}, {"192", 192}, {"0", 96}, {"300dpi", 96}}) {
    env.set("LUMIVIEW_DPI", dpi);
    EXPECT_EQ(window->vertical_dpi(), expected) << dpi;
  }
  EXPECT_EQ(backend_from_environment(), WindowBackend::headless);  // set by the test main
}

}  // namespace
}  // namespace lv::platform
