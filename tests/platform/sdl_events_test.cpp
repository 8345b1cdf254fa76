#include "platform/sdl_events.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/sdl_window.h"

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

TEST(SdlEvents, KeyMessagesCarryTheHandheldMessageData) {
  auto down = translate(key_event(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, false));
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].type, EventType::key_down);
  EXPECT_EQ(down[0].virtual_key, 65);
  EXPECT_EQ(down[0].key_data, 1u | (SDL_SCANCODE_A << 16));

  auto repeated = translate(key_event(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, true));
  ASSERT_EQ(repeated.size(), 1u);
  EXPECT_EQ(repeated[0].key_data, 1u | (SDL_SCANCODE_A << 16) | kKeyDataPreviouslyDown);

  auto up = translate(key_event(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A, false));
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].type, EventType::key_up);
  EXPECT_EQ(up[0].key_data,
            1u | (SDL_SCANCODE_A << 16) | kKeyDataPreviouslyDown | kKeyDataReleased);
}

TEST(SdlEvents, BackTabReturnAndEscapeAlsoMakeACharacter) {
  const std::pair<SDL_Keycode, SDL_Scancode> keys[] = {{SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE},
                                                       {SDLK_TAB, SDL_SCANCODE_TAB},
                                                       {SDLK_RETURN, SDL_SCANCODE_RETURN},
                                                       {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE}};
  const char16_t expected[] = {8, 9, 13, 27};
  for (size_t i = 0; i < 4; ++i) {
    auto events = translate(key_event(SDL_KEYDOWN, keys[i].first, keys[i].second, true));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].type, EventType::character);
    EXPECT_EQ(events[1].text, std::u16string(1, expected[i]));
    EXPECT_EQ(events[1].key_data, events[0].key_data);
    EXPECT_EQ(translate(key_event(SDL_KEYUP, keys[i].first, keys[i].second, false)).size(), 1u);
  }
  EXPECT_EQ(translate(key_event(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE, false)).size(), 1u);
}

TEST(SdlEvents, TextBecomesOneMessagePerCharacter) {
  SDL_Event event{};
  event.type = SDL_TEXTINPUT;
  // "a", e acute, a smiling face outside the basic plane.
  std::strcpy(event.text.text, "a\xC3\xA9\xF0\x9F\x98\x80");
  auto events = translate(event);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].text, u"a");
  EXPECT_EQ(events[1].text, u"\u00E9");
  EXPECT_EQ(events[2].text, u"\U0001F600");
  EXPECT_EQ(events[2].text.size(), 2u);
  for (const auto& e : events) EXPECT_EQ(e.type, EventType::character);
}

TEST(SdlEvents, OnlyTheLeftButtonIsTheStylus) {
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
}

TEST(SdlEvents, WindowEventsBecomeActivationVisibilityResizeAndClose) {
  const std::pair<uint8_t, EventType> cases[] = {
      {SDL_WINDOWEVENT_FOCUS_GAINED, EventType::focus_gained},
      {SDL_WINDOWEVENT_FOCUS_LOST, EventType::focus_lost},
      {SDL_WINDOWEVENT_SHOWN, EventType::shown},
      {SDL_WINDOWEVENT_RESTORED, EventType::shown},
      {SDL_WINDOWEVENT_HIDDEN, EventType::hidden},
      {SDL_WINDOWEVENT_MINIMIZED, EventType::hidden},
      {SDL_WINDOWEVENT_EXPOSED, EventType::exposed},
      {SDL_WINDOWEVENT_CLOSE, EventType::close_requested},
  };
  SDL_Event event{};
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

class SdlQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    window = Window::create(u"test", {64, 48}, WindowBackend::headless);
    ASSERT_TRUE(window);
  }
  std::unique_ptr<Window> window;
  SdlEventSource events;
};

TEST_F(SdlQueue, PostsFromOtherThreadsArriveInOrder) {
  std::thread poster([] {
    post_command_line(u"--first");
    post_window_message(1058);
    post_command_line(u"");
    post_script_marker(7);
  });
  poster.join();
  auto a = events.wait(1000);
  auto b = events.wait(1000);
  auto c = events.wait(1000);
  auto d = events.wait(1000);
  ASSERT_TRUE(a && b && c && d);
  EXPECT_EQ(a->type, EventType::command_line);
  EXPECT_EQ(a->text, u"--first");
  EXPECT_EQ(b->type, EventType::window_message);
  EXPECT_EQ(b->message, 1058u);
  EXPECT_EQ(c->type, EventType::command_line);
  EXPECT_EQ(c->text, u"");
  EXPECT_EQ(d->type, EventType::script_marker);
  EXPECT_EQ(d->message, 7u);
  EXPECT_FALSE(events.poll());
}

TEST_F(SdlQueue, WakesAreCoalescedUntilOneIsTaken) {
  EXPECT_TRUE(post_wake());
  EXPECT_TRUE(post_wake());
  EXPECT_TRUE(post_wake());
  auto wake = events.poll();
  ASSERT_TRUE(wake);
  EXPECT_EQ(wake->type, EventType::wake);
  EXPECT_FALSE(events.poll());
  // Once taken, the next post wakes again.
  EXPECT_TRUE(post_wake());
  ASSERT_TRUE(events.poll());
}

TEST_F(SdlQueue, InjectedInputTakesTheWayOfRealInput) {
  ASSERT_TRUE(inject_pointer(0, PointerAction::press, 10, 20));
  ASSERT_TRUE(inject_pointer(0, PointerAction::move, 11, 22));
  ASSERT_TRUE(inject_pointer(0, PointerAction::release, 12, 24));
  ASSERT_TRUE(inject_key(0, 113, true, true));
  ASSERT_TRUE(inject_key(0, 113, false, false));
  EXPECT_FALSE(inject_key(0, 200, true, false));
  // Longer than one SDL text event holds, with a two-byte letter at the cut.
  const std::u16string text = u"abcdefghijklmnopqrstuvwxyz01234\u00E9z";
  ASSERT_TRUE(inject_text(0, text));
  ASSERT_TRUE(inject_close(0));

  std::vector<WindowEvent> got;
  while (auto event = events.poll()) got.push_back(*event);
  ASSERT_EQ(got.size(), 5u + text.size() + 1);
  EXPECT_EQ(got[0].type, EventType::pointer_down);
  EXPECT_EQ(got[1].type, EventType::pointer_move);
  EXPECT_EQ(got[1].y, 22);
  EXPECT_EQ(got[2].type, EventType::pointer_up);
  EXPECT_EQ(got[2].x, 12);
  EXPECT_EQ(got[3].virtual_key, 113);
  EXPECT_NE(got[3].key_data & kKeyDataPreviouslyDown, 0u);
  EXPECT_EQ(got[4].type, EventType::key_up);
  std::u16string typed;
  for (size_t i = 5; i < 5 + text.size(); ++i) typed += got[i].text;
  EXPECT_EQ(typed, text);
  EXPECT_EQ(got.back().type, EventType::close_requested);
}

TEST_F(SdlQueue, TheHeadlessWindowActsOutTheWindowManager) {
  window->set_size({200, 100});
  EXPECT_EQ(window->client_size(), (WindowSize{200, 100}));
  window->set_size({0, 100});  // refused
  window->minimize();
  window->bring_to_front();
  window->hide();
  std::vector<EventType> types;
  while (auto event = events.poll()) types.push_back(event->type);
  EXPECT_EQ(types, (std::vector<EventType>{EventType::resized, EventType::hidden, EventType::shown,
                                           EventType::hidden}));
  EXPECT_EQ(window->client_size(), (WindowSize{200, 100}));
}

TEST_F(SdlQueue, WaitEndsAtItsTimeout) {
  EXPECT_FALSE(events.wait(5));
  EXPECT_FALSE(events.wait(0));
}

TEST(SdlWindow, SizesAndDotsPerInchFromTheEnvironment) {
  WindowSize size;
  EXPECT_TRUE(parse_window_size("800x480", size));
  EXPECT_EQ(size, (WindowSize{800, 480}));
  EXPECT_TRUE(parse_window_size("320X240", size));
  EXPECT_EQ(size, (WindowSize{320, 240}));
  for (const char* bad :
       {"", "x", "800x", "x480", "0x480", "800x0", "16385x10", "80 x48", "-4x4", "8x8x8", "axb"}) {
    EXPECT_FALSE(parse_window_size(bad, size)) << bad;
    EXPECT_EQ(size, (WindowSize{320, 240})) << bad;
  }

  unsetenv("LUMIVIEW_SCREEN");
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{480, 800}));
  setenv("LUMIVIEW_SCREEN", "640x360", 1);
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{640, 360}));
  setenv("LUMIVIEW_SCREEN", "big", 1);
  EXPECT_EQ(initial_size_from_environment(), (WindowSize{480, 800}));
  unsetenv("LUMIVIEW_SCREEN");

  auto window = Window::create(u"dpi", {10, 10}, WindowBackend::headless);
  ASSERT_TRUE(window);
  unsetenv("LUMIVIEW_DPI");
  EXPECT_EQ(window->vertical_dpi(), 96);
  setenv("LUMIVIEW_DPI", "192", 1);
  EXPECT_EQ(window->vertical_dpi(), 192);
  setenv("LUMIVIEW_DPI", "0", 1);
  EXPECT_EQ(window->vertical_dpi(), 96);
  setenv("LUMIVIEW_DPI", "300dpi", 1);
  EXPECT_EQ(window->vertical_dpi(), 96);
  unsetenv("LUMIVIEW_DPI");

  EXPECT_EQ(backend_from_environment(), WindowBackend::headless);  // set by the test main
}

}  // namespace
}  // namespace lv::platform
