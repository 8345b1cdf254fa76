#include "app/main_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "app/text_box.h"
#include "app/window_test_support.h"
#include "base/log_capture.h"
#include "display/display.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"
#include "platform/single_instance.h"
#include "skin/png_writer.h"

namespace lv {
namespace {

using platform::EventType;
using platform::WindowEvent;

EditTarget edit_target(const void* element, Rect rect = {}, std::u16string text = {},
                       FontRef font = {}) {
  EditTarget target;
  std::tie(target.element, target.rect, target.text, target.font) =
      std::tie(element, rect, text, font);
  return target;
}

class MainWindowTest : public ::testing::Test {
 protected:
  // Dispatches everything that waits in the window's queue.
  void pump() {
    while (auto event = events.poll()) window->dispatch(*event);
  }
  void push_key(uint32_t type, SDL_Keycode sym, bool repeat = false, SDL_Scancode code = {}) {
    SDL_Event event{};
    event.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym = {code ? code : SDL_GetScancodeFromKey(sym), sym, 0, 0};
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  }
  void tap_key(SDL_Keycode sym) {
    push_key(SDL_KEYDOWN, sym);
    push_key(SDL_KEYUP, sym);
  }
  // At `ms` on the clock when it is given.
  void dispatch(EventType type, int32_t x = 0, int32_t y = 0, uint32_t ms = 0) {
    if (ms) clock.set(ms);
    WindowEvent event;
    event.type = type;
    event.x = x;
    event.y = y;
    window->dispatch(event);
  }

  test::FakeClock clock{1000};
  test::RecordingClient client;
  platform::SdlEventSource events;
  std::unique_ptr<MainWindow> window = test::headless_window({240, 320}, &client);
};

// Which SDL key gives which program key is the platform's table; the
// window hands them on and logs each as the handheld's messages: scan code
// 41 in bits 16..23, bit 30 on a repeat and on every key-up; a control
// character only in the log.
TEST_F(MainWindowTest, KeysAndCharactersReachTheClientControlCharactersOnlyTheLog) {
  test::start_fresh_log();
  clock.set(5000);
  push_key(SDL_KEYDOWN, SDLK_ESCAPE, false, SDL_SCANCODE_ESCAPE);
  push_key(SDL_KEYDOWN, SDLK_ESCAPE, true, SDL_SCANCODE_ESCAPE);
  push_key(SDL_KEYUP, SDLK_ESCAPE, false, SDL_SCANCODE_ESCAPE);
  ASSERT_TRUE(platform::inject_text(0, u"\u0416"));
  pump();
  EXPECT_EQ(client.log, "Backspace down; Backspace repeat; Backspace up; char '\xD0\x96'");
  auto lines = test::read_log_lines();
  std::erase(lines, u"");
  EXPECT_EQ(lines,
            (std::vector<std::u16string>{u"WM_KEYDOWN = 27(Backspace) lParam=2686977 ticks=5000",
                                         u"WM_CHAR=\x1b lParam=2686977 ticks=5000",
                                         u"WM_KEYDOWN = 27(Backspace) lParam=1076428801 ticks=5000",
                                         u"WM_CHAR=\x1b lParam=1076428801 ticks=5000",
                                         u"WM_KEYUP = 27(Backspace) lParam=3223912449 ticks=5000",
                                         u"WM_CHAR=\u0416 lParam=1 ticks=5000"}));
}

TEST_F(MainWindowTest, StylusPressMoveAndReleaseGoThroughTheCaptureAndLosingItCancels) {
  client.with_times = true;
  dispatch(EventType::pointer_move, 1, 1);  // hover: no stylus
  dispatch(EventType::pointer_down, 10, 20, 2000);
  dispatch(EventType::pointer_move, 15, -25, 2016);  // outside the window, still captured
  dispatch(EventType::pointer_up, 16, 26, 2030);
  EXPECT_EQ(window->release_position(), (Point{16, 26}));
  dispatch(EventType::pointer_up, 17, 27);  // no press: nothing to end
  dispatch(EventType::pointer_move, 18, 28);
  // Losing the focus or being minimised ends a press without a release.
  dispatch(EventType::pointer_down, 30, 40);
  dispatch(EventType::focus_lost);
  dispatch(EventType::pointer_up, 31, 41);  // too late: already ended
  dispatch(EventType::focus_gained);
  dispatch(EventType::pointer_down, 5, 6);
  window->minimize();
  pump();
  EXPECT_EQ(client.log,
            "down 10,20 @2000; drag 15,-25 @2016; up 16,26 @2030; down 30,40 @2030; cancel @2030; "
            "deactivated; activated; down 5,6 @2030; cancel @2030");
  EXPECT_TRUE(window->active() && !window->visible());
}

TEST_F(MainWindowTest, CommandLinesAreHandedOnThroughThePrivateMessage) {
  ASSERT_TRUE(platform::post_command_line(platform::kCommandLineEmpty));
  pump();  // the private message: an empty line goes nowhere
  // The line's own message takes it; later ones find nothing.
  ASSERT_TRUE(platform::post_command_line(u"--slide \"/pictures/2024\"") &&
              platform::post_window_message(kMessageOpenCommandLine) &&
              platform::post_window_message(kMessageOpenCommandLine));
  pump();
  EXPECT_EQ(client.log, "line --slide \"/pictures/2024\"");
}

// A refused close leaves the window open; a quit ends it without asking.
TEST_F(MainWindowTest, ClosingAsksTheClientAndQuittingDoesNot) {
  client.allow_close = false;
  ASSERT_TRUE(platform::inject_close(0));
  pump();
  EXPECT_FALSE(window->finished());
  ASSERT_TRUE(platform::post_quit());
  pump();
  EXPECT_TRUE(client.log == "close?" && window->finished());
}

// Full-screen the display is open; windowed, or without a display, timer
// one keeps the screens going.
TEST_F(MainWindowTest, PresentationSwitchesOpenAndCloseTheDisplay) {
  EXPECT_FALSE(window->display());
  window->go_full_screen(0);
  const Display* display = window->display();
  ASSERT_TRUE(display && !window->windowed());
  window->frame_tick(TickKind::normal);
  window->go_full_screen(0);  // nothing changes
  EXPECT_TRUE(window->display() == display && display->frames_presented() == 1u);
  window->go_full_screen(1);  // another orientation: opened again
  EXPECT_EQ(window->display()->frames_presented(), 0u);
  window->go_windowed(Taskbar::shown);
  EXPECT_FALSE(window->display());

  window = test::headless_window({240, 320}, &client, [](platform::Window&, DisplayParameters&) {
    return std::unique_ptr<Display>();
  });
  window->go_full_screen(0);
  EXPECT_FALSE(window->display() || window->windowed() || window->wants_polling());
  clock.advance(kWindowTimerMs);
  window->run_timer(clock.now());
  EXPECT_TRUE(client.updates.size() == 2u && window->frame_view().pixels);
}

TEST_F(MainWindowTest, TheFrameTickDrawsOnlyWhenSomethingWaits) {
  auto tick = [&](uint32_t ms, TickKind kind = TickKind::normal) {
    clock.advance(ms);
    window->frame_tick(kind);
  };
  window->go_full_screen(0);
  tick(16);  // the display was just opened: everything is drawn
  tick(10);  // nothing waits
  client.dirty = true;
  client.background = 0x1234;
  tick(10);
  EXPECT_EQ(window->display()->contents().pixel(0, 0), 0x1234);
  client.dirty = true;
  tick(0, TickKind::forced);  // the same millisecond: nothing at all
  window->request_full_redraw();
  tick(1, TickKind::forced);
  EXPECT_EQ(client.updates, (std::vector<double>{0.016, 0.01, 0.01, 0.001}));
  using enum RedrawScope;
  EXPECT_EQ(client.scopes, (std::vector<RedrawScope>{everything, changes, everything}));
}

TEST_F(MainWindowTest, TimerOneUpdatesAndPaintsWhileWindowed) {
  auto fire_at = [&, start = clock.now()](uint32_t ms) {
    clock.set(start + ms);
    window->run_timer(clock.now());
  };
  fire_at(39);
  fire_at(40);
  fire_at(80);   // nothing changed: updated without painting
  fire_at(500);  // late: fires once and starts a new period
  EXPECT_EQ(client.updates, (std::vector<double>{0.04, 0.04, 0.1}));
  EXPECT_TRUE(client.scopes.size() == 1u && window->ms_until_timer(clock.now()) == 40);
  window->minimize();
  pump();
  EXPECT_EQ(window->ms_until_timer(clock.now()), -1);
}

TEST_F(MainWindowTest, TheNativeEditBoxTakesTheWindowOffTheDisplay) {
  window->go_full_screen(0);
  int element = 0, other = 0;
  EditTarget target = edit_target(&element, {10, 20, 200, 44}, u"one\r\ntwo");
  target.multi_line = true;
  window->edit(&target, EditBox::create);
  EXPECT_TRUE(window->editing() && !window->display());
  ASSERT_TRUE(window->edit_box());
  const TextBox& box = *window->edit_box();
  auto selected = [&] { return box.selection_end() - box.selection_start(); };
  EXPECT_TRUE(box.text() == u"one\ntwo" && box.lines() == TextBox::Lines::multiple);
  EXPECT_EQ(selected(), 7u) << "all of it selected";
  window->go_full_screen(1);
  EXPECT_FALSE(window->display()) << "switching presentation while editing";

  target = edit_target(&element, {10, 60, 200, 84}, u"three");
  window->edit(&target, EditBox::existing);
  // New text from the same element: nothing selected.
  EXPECT_TRUE(box.rect().top == 60 && box.text() == u"three" && selected() == 0u);
  target.element = &other;
  window->edit(&target, EditBox::existing);
  EXPECT_EQ(selected(), 5u);

  window->edit(nullptr, EditBox::existing);
  EXPECT_FALSE(window->editing() || window->edit_box());
  ASSERT_TRUE(window->display());
  window->edit(nullptr, EditBox::existing);  // not editing: nothing
  EXPECT_EQ(client.log, "") << "the client ended it: nothing to tell";
}

// SDL's events while the box is up: what reaches the box, what the client.
// What the box does with them is the box's own test.
class EditBoxWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    window->edit(&target, EditBox::create);
    ASSERT_TRUE(window->edit_box());
  }
  void push_text(const char* utf8, bool composing = false, int32_t cursor = 0) {
    SDL_Event event{};
    event.type = composing ? SDL_TEXTEDITING : SDL_TEXTINPUT;
    std::snprintf(event.text.text, sizeof event.text.text, "%s", utf8);
    if (composing) event.edit.start = cursor;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  }
  void with(SDL_Keycode modifier, SDL_Keycode sym) {
    push_key(SDL_KEYDOWN, modifier);
    tap_key(sym);
    push_key(SDL_KEYUP, modifier);
  }
  const TextBox& box() { return *window->edit_box(); }

  int element = 0;
  EditTarget target = edit_target(&element, {10, 20, 200, 44}, u"ab",
                                  create_font(FontDesc{.face = u"DejaVu Sans"}));
};

// One report per character and per deletion; the editing keys stay in the
// box, press and release, others go on, Ctrl with them; Enter ends the
// editing and the client is told; then typing is the client's again.
TEST_F(EditBoxWindowTest, TypingTheInputMethodAndCtrlGoToTheBoxAndEveryChangeToTheClient) {
  push_text("x");
  push_text("\xE3\x81\x8B", true, 1);  // a composition is no text yet
  pump();
  EXPECT_EQ(box().composition(), u"\u304B");
  push_text("", true);
  push_text("\xE6\xBC\xA2\xF0\x9F\x98\x80");
  for (SDL_Keycode key : {SDLK_BACKSPACE, SDLK_LEFT, SDLK_F1}) tap_key(key);
  pump();
  EXPECT_EQ(box().composition(), u"");
  with(SDLK_LCTRL, SDLK_a);
  with(SDLK_LCTRL, SDLK_x);
  tap_key(SDLK_v);  // without Ctrl: just a key
  with(SDLK_RCTRL, SDLK_v);
  tap_key(SDLK_RETURN);
  push_text("y");
  pump();
  EXPECT_FALSE(window->editing());
  EXPECT_EQ(client.log,
            "edited 'x'; edited 'x\xE6\xBC\xA2'; edited 'x\xE6\xBC\xA2\xF0\x9F\x98\x80'; "
            "edited 'x\xE6\xBC\xA2'; SOFT_LEFT down; SOFT_LEFT up; Ctrl down; Ctrl up; Ctrl down; "
            "edited ''; Ctrl up; V down; V up; Ctrl down; edited 'x\xE6\xBC\xA2'; Ctrl up; "
            "edit ended; char 'y'");
}

TEST_F(EditBoxWindowTest, APressInsideStaysInTheBoxAndOneOutsideEndsTheEditingAndGoesOn) {
  using enum platform::PointerAction;
  for (auto [action, x, y] : {std::tuple{press, 12, 30}, {move, 150, 30}, {release, 150, 30}})
    ASSERT_TRUE(platform::inject_pointer(0, action, x, y));
  pump();
  EXPECT_TRUE(client.log.empty() && window->editing());
  EXPECT_EQ(box().selection_end() - box().selection_start(), 2u) << "dragged over the whole text";
  ASSERT_TRUE(platform::inject_pointer(0, press, 100, 200) &&
              platform::inject_pointer(0, release, 100, 201));
  pump();
  EXPECT_FALSE(window->editing());
  EXPECT_EQ(client.log, "edit ended; down 100,200; up 100,201");
}

}  // namespace
}  // namespace lv
