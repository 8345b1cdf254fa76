#include <SDL.h>
#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/sdl_events.h"
#include "platform/sdl_keys.h"
#include "platform/sdl_window.h"
#include "platform/text.h"

// The events below name only the fields that matter; the rest are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace lv::platform {
namespace {

// One line for what a test expects of some events: the type and every field
// that is not at its default.
template <typename Events>
std::string describe(const Events& events) {
  static const char* const kNames[] = {
      "key_down",     "key_up",         "character",    "composition",     "pointer_down",
      "pointer_move", "pointer_up",     "focus_gained", "focus_lost",      "shown",
      "hidden",       "exposed",        "resized",      "close_requested", "quit",
      "command_line", "window_message", "wake",         "script_marker",   "wheel",
      "finger_down",  "finger_move",    "finger_up"};
  std::ostringstream out;
  for (const WindowEvent& e : events) {
    out << (out.tellp() > 0 ? "; " : "") << kNames[static_cast<int>(e.type)];
    if (e.virtual_key) out << " vk=" << e.virtual_key;
    if (e.key_data) out << " data=" << std::hex << e.key_data << std::dec;
    if (!e.text.empty()) out << " text=" << to_utf8(e.text);
    if (e.x || e.y) out << " at " << e.x << "," << e.y;
    if (e.message) out << " message=" << e.message;
    if (e.amount) out << " amount=" << e.amount;
    if (e.touch_device || e.finger)
      out << " finger " << e.touch_device << "/" << e.finger << " at " << e.finger_x << ","
          << e.finger_y;
    if (e.from_touch) out << " touch";
  }
  return out.str();
}

std::string translate(const SDL_Event& event) {
  std::deque<WindowEvent> out;
  translate_sdl_event(event, out);
  return describe(out);
}

SDL_Event key(uint32_t type, SDL_Keycode sym, SDL_Scancode scancode, bool repeat = false) {
  const uint8_t state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  return {.key = {.type = type, .state = state, .repeat = repeat, .keysym = {scancode, sym}}};
}

SDL_Event window_event(SDL_WindowEventID which) {
  return {.window = {.type = SDL_WINDOWEVENT, .event = uint8_t(which)}};
}

SDL_Event button(uint32_t type, uint8_t which_button, uint32_t mouse = 0) {
  return {.button = {.type = type, .which = mouse, .button = which_button, .x = -12, .y = 340}};
}

SDL_Event finger(uint32_t type, SDL_TouchID device) {
  return {.tfinger = {.type = type, .touchId = device, .fingerId = 3, .x = 0.25f, .y = 0.75f}};
}

SDL_Event wheel(float y, uint32_t flip = SDL_MOUSEWHEEL_NORMAL) {
  SDL_Event event{.wheel = {.type = SDL_MOUSEWHEEL, .y = int(y), .direction = flip}};
  event.wheel.preciseY = y, event.wheel.mouseX = 30, event.wheel.mouseY = 410;
  return event;
}

TEST(SdlEvents, TranslateToTheHandheldsEvents) {
  // Key data: repeat count 1, the scan code in bits 16..23, bit 30 when the
  // key was down before, bit 31 on release. Back and return also make a
  // character (tab and escape too: the main window's test shows them).
  // Showing, hiding and resizing are the window test's below.
  const std::pair<SDL_Event, std::string> cases[] = {
      {key(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A), "key_down vk=65 data=40001"},
      {key(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A), "key_up vk=65 data=c0040001"},
      {key(SDL_KEYDOWN, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, true),
       "key_down vk=8 data=402a0001; character data=402a0001 text=\b"},
      {key(SDL_KEYDOWN, SDLK_RETURN, SDL_SCANCODE_RETURN),
       "key_down vk=13 data=280001; character data=280001 text=\r"},
      // The left button is the stylus; the stylus SDL makes of the first
      // finger says so. Touches SDL makes of the mouse are the stylus already.
      {button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), "pointer_down at -12,340"},
      {button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, SDL_TOUCH_MOUSEID),
       "pointer_up at -12,340 touch"},
      {{.motion = {.type = SDL_MOUSEMOTION, .which = SDL_TOUCH_MOUSEID}}, "pointer_move touch"},
      {finger(SDL_FINGERDOWN, 7), "finger_down finger 7/3 at 0.25,0.75"},
      {finger(SDL_FINGERUP, 7), "finger_up finger 7/3 at 0.25,0.75"},
      {finger(SDL_FINGERDOWN, SDL_MOUSE_TOUCHID), ""},
      {window_event(SDL_WINDOWEVENT_FOCUS_GAINED), "focus_gained"},
      {window_event(SDL_WINDOWEVENT_CLOSE), "close_requested"},
      // The cursor of a composition counts code units: two characters (the
      // emoji and "o") are three, and a cursor beyond the end is at the end.
      {{.edit = {.type = SDL_TEXTEDITING, .text = "\xF0\x9F\x98\x80ok", .start = 2}},
       "composition text=\xF0\x9F\x98\x80ok at 3,0"},
      {{.edit = {.type = SDL_TEXTEDITING, .text = "ab", .start = 40}},
       "composition text=ab at 2,0"},
      {{.edit = {.type = SDL_TEXTEDITING}}, "composition"},  // the composition is over
      // The wheel turns in notches away from the user, at the pointer, also
      // with "natural scrolling" (the opposite sign).
      {wheel(1.25f), "wheel at 30,410 amount=1.25"},
      {wheel(1.25f, SDL_MOUSEWHEEL_FLIPPED), "wheel at 30,410 amount=-1.25"}};
  for (const auto& [event, expected] : cases) EXPECT_EQ(translate(event), expected);
}

TEST(SdlKeys, KeysGiveTheHandheldVirtualKeysAndScriptedKeysComeBack) {
  // Both ends of every range, second aliases, keys the handheld lacks (0),
  // and the place of a letter of another layout deciding its key. First
  // aliases come back in the round trip below.
  constexpr SDL_Scancode U = SDL_SCANCODE_UNKNOWN;
  // clang-format off
  const std::tuple<SDL_Keycode, SDL_Scancode, int> keys[] = {
      {SDLK_AC_BACK, U, 8}, {SDLK_KP_ENTER, U, 13}, {SDLK_RSHIFT, U, 16}, {SDLK_MENU, U, 93},
      {SDLK_0, U, 48}, {SDLK_9, U, 57}, {SDLK_KP_0, U, 48}, {SDLK_KP_7, U, 55}, {SDLK_a, U, 65},
      {SDLK_z, U, 90}, {SDLK_F1, U, 112}, {SDLK_F12, U, 123}, {SDLK_PLUS, U, 0xBB},
      {0x044F, SDL_SCANCODE_Z, 90}, {0x0022, SDL_SCANCODE_2, 50}, {0x0029, SDL_SCANCODE_0, 48},
      {0x0444, U, 0}};
  // clang-format on
  for (const auto& [sym, scancode, vk] : keys)
    EXPECT_EQ(virtual_key_from_sdl(sym, scancode), vk) << std::hex << sym;

  // 26 letters, 10 digits, F1..F12, and 25 others (back to delete, apps,
  // pause, caps lock, plus and minus on the main keys and the keypad).
  int found = 0;
  for (int vk = 0; vk < 256; ++vk)
    if (const auto key = sdl_key_for_virtual_key(vk); key && ++found) {
      EXPECT_EQ(virtual_key_from_sdl(key->sym, key->scancode), vk) << vk;
    }
  EXPECT_EQ(found, 26 + 10 + 12 + 25);
  EXPECT_EQ(sdl_key_for_virtual_key(49)->scancode, SDL_SCANCODE_1);  // SDL's digits start at 1
}

class SdlWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window); }
  std::string drain() {
    std::vector<WindowEvent> got;
    while (auto event = events.poll()) got.push_back(*event);
    return describe(got);
  }
  std::unique_ptr<Window> window = Window::create(u"test", {64, 48}, WindowBackend::headless);
  SdlEventSource events;
};

TEST_F(SdlWindowTest, PostsFromOtherThreadsArriveInOrderAndWakesAreCoalesced) {
  std::thread([] {
    post_command_line(u"--first");
    post_window_message(1058);
    post_script_marker(7);
  }).join();
  // Each wait takes one (a missing one throws).
  EXPECT_EQ(describe(std::vector{events.wait(1000).value(), events.wait(1000).value(),
                                 events.wait(1000).value()}),
            "command_line text=--first; window_message message=1058; script_marker message=7");
  EXPECT_FALSE(events.wait(5)) << "a wait ends at its timeout";

  EXPECT_TRUE(post_wake() && post_wake() && post_wake());
  EXPECT_EQ(drain(), "wake");
  EXPECT_TRUE(post_wake());  // once taken, the next post wakes again
  EXPECT_EQ(drain(), "wake");
}

// The script player's taps, keys and gestures go through these; what
// reaches the window of each is the script player's to check.
TEST_F(SdlWindowTest, InjectedInputTakesTheWayOfRealInput) {
  ASSERT_TRUE(inject_key(0, 113, true, true));
  EXPECT_FALSE(inject_key(0, 200, true, false));
  // Longer than one SDL text event holds, with a two-byte letter at the cut.
  const std::u16string typed = u"abcdefghijklmnopqrstuvwxyz01234\u00E9z";
  ASSERT_TRUE(inject_text(0, typed));
  ASSERT_TRUE(inject_touch_stylus(0, PointerAction::press, 8, 9));
  std::string expected = "key_down vk=113 data=403b0001";
  for (char16_t letter : typed)
    expected += "; character data=1 text=" + to_utf8(std::u16string(1, letter));
  EXPECT_EQ(drain(), expected + "; pointer_down at 8,9 touch");

  // The headless window acts out the window manager.
  window->set_size({200, 100});
  window->set_size({0, 100});  // refused
  window->minimize();
  window->bring_to_front();
  EXPECT_EQ(drain(), "resized at 200,100; hidden; shown");
}

}  // namespace
}  // namespace lv::platform
