#include "platform/sdl_events.h"

#include <SDL.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/clock.h"
#include "platform/sdl_keys.h"
#include "platform/text.h"

namespace lv::platform {

namespace {

enum UserCode : int32_t {
  kCodeWake = 1,
  kCodeCommandLine = 2,
  kCodeWindowMessage = 3,
  kCodeScriptMarker = 4,
};

uint32_t user_event_type() {
  static std::once_flag once;
  static uint32_t type = 0;
  std::call_once(once, [] {
    const Uint32 registered = SDL_RegisterEvents(1);
    if (registered != static_cast<Uint32>(-1)) type = registered;
  });
  return type;
}

std::atomic<bool> g_wake_pending{false};

// Command lines wait here; their event only says that one is waiting, so no
// heap text hangs on an SDL event that might never be taken.
struct CommandLines {
  std::mutex mutex;
  std::deque<std::pair<uint64_t, std::u16string>> texts;
  uint64_t next_id = 1;
};
CommandLines& command_lines() {
  static auto* lines = new CommandLines;
  return *lines;
}

bool push(SDL_Event& event) {
  return SDL_PushEvent(&event) == 1;
}

bool push_user(int32_t code, uint32_t value) {
  const uint32_t type = user_event_type();
  if (type == 0) return false;
  SDL_Event event{};
  event.type = type;
  event.user.code = code;
  event.user.data1 = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
  return push(event);
}

uint32_t key_data(const SDL_KeyboardEvent& key) {
  uint32_t data = 1u | (static_cast<uint32_t>(key.keysym.scancode) & 0xFFu) << 16;
  if (key.type == SDL_KEYUP) return data | kKeyDataPreviouslyDown | kKeyDataReleased;
  if (key.repeat) data |= kKeyDataPreviouslyDown;
  return data;
}

// The handheld's message translation makes characters of these keys too.
bool key_makes_character(int virtual_key) {
  return virtual_key == 8 || virtual_key == 9 || virtual_key == 13 || virtual_key == 27;
}

void translate_key(const SDL_KeyboardEvent& key, std::deque<WindowEvent>& out) {
  WindowEvent event;
  event.type = key.type == SDL_KEYDOWN ? EventType::key_down : EventType::key_up;
  event.virtual_key = virtual_key_from_sdl(key.keysym.sym, key.keysym.scancode);
  event.key_data = key_data(key);
  out.push_back(event);
  if (event.type == EventType::key_down && key_makes_character(event.virtual_key)) {
    WindowEvent character;
    character.type = EventType::character;
    character.text = std::u16string(1, static_cast<char16_t>(event.virtual_key));
    character.key_data = event.key_data;
    out.push_back(std::move(character));
  }
}

void translate_text(const char* utf8, std::deque<WindowEvent>& out) {
  const std::u16string text = from_utf8(utf8);
  for (size_t i = 0; i < text.size();) {
    const bool pair = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    const size_t length = pair ? 2 : 1;
    WindowEvent event;
    event.type = EventType::character;
    event.text = text.substr(i, length);
    event.key_data = 1;
    out.push_back(std::move(event));
    i += length;
  }
}

// SDL counts the composition's cursor in characters.
void translate_composition(const SDL_TextEditingEvent& editing, std::deque<WindowEvent>& out) {
  WindowEvent event;
  event.type = EventType::composition;
  event.text =
      from_utf8(std::string_view(editing.text, strnlen(editing.text, sizeof editing.text)));
  size_t unit = 0;
  for (int32_t c = 0; c < editing.start && unit < event.text.size(); ++c) {
    const char16_t first = event.text[unit];
    unit += first >= 0xD800 && first <= 0xDBFF && unit + 1 < event.text.size() ? 2 : 1;
  }
  event.x = static_cast<int32_t>(unit);
  out.push_back(std::move(event));
}

void translate_window(const SDL_WindowEvent& window, std::deque<WindowEvent>& out) {
  WindowEvent event;
  switch (window.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      event.type = EventType::focus_gained;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      event.type = EventType::focus_lost;
      break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
      event.type = EventType::shown;
      break;
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
      event.type = EventType::hidden;
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      event.type = EventType::exposed;
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      event.type = EventType::resized;
      event.x = window.data1;
      event.y = window.data2;
      break;
    case SDL_WINDOWEVENT_CLOSE:
      event.type = EventType::close_requested;
      break;
    default:
      return;
  }
  out.push_back(event);
}

void translate_user(const SDL_UserEvent& user, std::deque<WindowEvent>& out) {
  WindowEvent event;
  const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user.data1));
  switch (user.code) {
    case kCodeWake:
      // Cleared before the queue is emptied: a post from now on wakes again.
      g_wake_pending.store(false);
      event.type = EventType::wake;
      break;
    case kCodeCommandLine: {
      CommandLines& lines = command_lines();
      std::lock_guard lock(lines.mutex);
      if (lines.texts.empty()) return;
      event.type = EventType::command_line;
      event.text = std::move(lines.texts.front().second);
      lines.texts.pop_front();
      break;
    }
    case kCodeWindowMessage:
      event.type = EventType::window_message;
      event.message = value;
      break;
    case kCodeScriptMarker:
      event.type = EventType::script_marker;
      event.message = value;
      break;
    default:
      return;
  }
  out.push_back(std::move(event));
}

void translate_mouse_button(const SDL_MouseButtonEvent& button, std::deque<WindowEvent>& out) {
  if (button.button != SDL_BUTTON_LEFT) return;
  WindowEvent event;
  event.type = button.type == SDL_MOUSEBUTTONDOWN ? EventType::pointer_down : EventType::pointer_up;
  event.x = button.x;
  event.y = button.y;
  event.from_touch = button.which == SDL_TOUCH_MOUSEID;
  out.push_back(event);
}

void translate_wheel(const SDL_MouseWheelEvent& wheel, std::deque<WindowEvent>& out) {
#if SDL_VERSION_ATLEAST(2, 0, 18)
  double steps = wheel.preciseY;
#else
  double steps = wheel.y;
#endif
  // Sideways turns (and values no wheel makes) are not the program's.
  if (steps == 0 || !std::isfinite(steps)) return;
  if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
  WindowEvent event;
  event.type = EventType::wheel;
  event.amount = steps;
#if SDL_VERSION_ATLEAST(2, 26, 0)
  event.x = wheel.mouseX;
  event.y = wheel.mouseY;
#else
  SDL_GetMouseState(&event.x, &event.y);
#endif
  out.push_back(event);
}

void translate_finger(const SDL_TouchFingerEvent& finger, std::deque<WindowEvent>& out) {
  // Touches SDL makes of the mouse are the stylus already.
  if (finger.touchId == SDL_MOUSE_TOUCHID) return;
  if (!std::isfinite(finger.x) || !std::isfinite(finger.y)) return;
  WindowEvent event;
  event.type = finger.type == SDL_FINGERDOWN ? EventType::finger_down
               : finger.type == SDL_FINGERUP ? EventType::finger_up
                                             : EventType::finger_move;
  event.touch_device = finger.touchId;
  event.finger = finger.fingerId;
  event.finger_x = finger.x;
  event.finger_y = finger.y;
  out.push_back(event);
}

// Cuts UTF-8 text into pieces that fit SDL's text event, at character starts.
size_t text_piece_length(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length == 0 ? limit : length;
}

}  // namespace

void translate_sdl_event(const SDL_Event& event, std::deque<WindowEvent>& out) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      translate_key(event.key, out);
      return;
    case SDL_TEXTINPUT:
      translate_text(event.text.text, out);
      return;
    case SDL_TEXTEDITING:
      translate_composition(event.edit, out);
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      translate_mouse_button(event.button, out);
      return;
    case SDL_MOUSEMOTION: {
      WindowEvent move;
      move.type = EventType::pointer_move;
      move.x = event.motion.x;
      move.y = event.motion.y;
      move.from_touch = event.motion.which == SDL_TOUCH_MOUSEID;
      out.push_back(move);
      return;
    }
    case SDL_MOUSEWHEEL:
      translate_wheel(event.wheel, out);
      return;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
      translate_finger(event.tfinger, out);
      return;
    case SDL_WINDOWEVENT:
      translate_window(event.window, out);
      return;
    case SDL_QUIT:
    case SDL_APP_TERMINATING: {
      WindowEvent quit;
      quit.type = EventType::quit;
      out.push_back(quit);
      return;
    }
    default:
      if (event.type == user_event_type() && event.type != 0) translate_user(event.user, out);
      return;
  }
}

std::optional<WindowEvent> SdlEventSource::take_pending() {
  if (m_pending.empty()) return std::nullopt;
  WindowEvent event = std::move(m_pending.front());
  m_pending.pop_front();
  return event;
}

std::optional<WindowEvent> SdlEventSource::poll() {
  SDL_Event event;
  while (m_pending.empty() && SDL_PollEvent(&event)) translate_sdl_event(event, m_pending);
  return take_pending();
}

std::optional<WindowEvent> SdlEventSource::wait(int timeout_ms) {
  if (timeout_ms == 0) return poll();
  const uint64_t deadline =
      SDL_GetTicks64() + static_cast<uint64_t>(timeout_ms > 0 ? timeout_ms : 0);
  SDL_Event event;
  while (m_pending.empty()) {
    int got = 0;
    if (timeout_ms < 0) {
      got = SDL_WaitEvent(&event);
      // An error (no event queue) must not turn into a busy loop.
      if (!got) {
        SDL_Delay(10);
        return std::nullopt;
      }
    } else {
      const uint64_t now = SDL_GetTicks64();
      if (now >= deadline) return poll();
      got = SDL_WaitEventTimeout(&event, static_cast<int>(deadline - now));
      if (!got) return poll();
    }
    translate_sdl_event(event, m_pending);
  }
  return take_pending();
}

void SdlEventSource::idle_sleep(uint32_t ms) {
  sleep_ms(ms);
}

bool post_wake() {
  if (g_wake_pending.exchange(true)) return true;
  if (push_user(kCodeWake, 0)) return true;
  g_wake_pending.store(false);
  return false;
}

void forget_queued_wake() {
  g_wake_pending.store(false);
}

bool post_command_line(std::u16string command_line) {
  CommandLines& lines = command_lines();
  uint64_t id = 0;
  {
    std::lock_guard lock(lines.mutex);
    id = lines.next_id++;
    lines.texts.emplace_back(id, std::move(command_line));
  }
  if (push_user(kCodeCommandLine, 0)) return true;
  std::lock_guard lock(lines.mutex);
  for (auto it = lines.texts.begin(); it != lines.texts.end(); ++it) {
    if (it->first == id) {
      lines.texts.erase(it);
      break;
    }
  }
  return false;
}

bool post_window_message(uint32_t message) {
  return push_user(kCodeWindowMessage, message);
}

bool post_script_marker(uint32_t id) {
  return push_user(kCodeScriptMarker, id);
}

bool post_quit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  return push(event);
}

namespace {

bool push_pointer(uint32_t window_id, PointerAction action, int32_t x, int32_t y, Uint32 which) {
  SDL_Event event{};
  if (action == PointerAction::move) {
    event.type = SDL_MOUSEMOTION;
    event.motion.windowID = window_id;
    event.motion.which = which;
    event.motion.state = SDL_BUTTON_LMASK;
    event.motion.x = x;
    event.motion.y = y;
    return push(event);
  }
  const bool press = action == PointerAction::press;
  event.type = press ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.windowID = window_id;
  event.button.which = which;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.state = press ? SDL_PRESSED : SDL_RELEASED;
  event.button.clicks = 1;
  event.button.x = x;
  event.button.y = y;
  return push(event);
}

// The touch screen that scripted fingers are on.
constexpr SDL_TouchID kScriptTouchDevice = 1;

}  // namespace

bool inject_pointer(uint32_t window_id, PointerAction action, int32_t x, int32_t y) {
  return push_pointer(window_id, action, x, y, 0);
}

bool inject_touch_stylus(uint32_t window_id, PointerAction action, int32_t x, int32_t y) {
  return push_pointer(window_id, action, x, y, SDL_TOUCH_MOUSEID);
}

bool inject_finger(uint32_t window_id, PointerAction action, int64_t finger, double x, double y) {
  SDL_Event event{};
  event.type = action == PointerAction::press  ? SDL_FINGERDOWN
               : action == PointerAction::move ? SDL_FINGERMOTION
                                               : SDL_FINGERUP;
  event.tfinger.touchId = kScriptTouchDevice;
  event.tfinger.fingerId = finger;
  event.tfinger.x = static_cast<float>(x);
  event.tfinger.y = static_cast<float>(y);
  event.tfinger.pressure = action == PointerAction::release ? 0.0f : 1.0f;
  event.tfinger.windowID = window_id;
  return push(event);
}

bool inject_wheel(uint32_t window_id, int32_t x, int32_t y, double steps) {
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.windowID = window_id;
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  event.wheel.y = static_cast<Sint32>(steps);
#if SDL_VERSION_ATLEAST(2, 0, 18)
  event.wheel.preciseY = static_cast<float>(steps);
#endif
#if SDL_VERSION_ATLEAST(2, 26, 0)
  event.wheel.mouseX = x;
  event.wheel.mouseY = y;
#else
  (void)x;
  (void)y;
#endif
  return push(event);
}

bool inject_key(uint32_t window_id, int virtual_key, bool pressed, bool repeat) {
  const std::optional<SdlKey> key = sdl_key_for_virtual_key(virtual_key);
  if (!key) return false;
  SDL_Event event{};
  event.type = pressed ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.windowID = window_id;
  event.key.state = pressed ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = pressed && repeat ? 1 : 0;
  event.key.keysym.sym = key->sym;
  event.key.keysym.scancode = static_cast<SDL_Scancode>(key->scancode);
  return push(event);
}

bool inject_text(uint32_t window_id, std::u16string_view text) {
  std::string utf8 = to_utf8(text);
  std::string_view rest(utf8);
  constexpr size_t kLimit = sizeof(SDL_TextInputEvent::text) - 1;
  while (!rest.empty()) {
    const size_t length = text_piece_length(rest, kLimit);
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = window_id;
    std::memcpy(event.text.text, rest.data(), length);
    event.text.text[length] = '\0';
    if (!push(event)) return false;
    rest.remove_prefix(length);
  }
  return true;
}

bool inject_close(uint32_t window_id) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_CLOSE;
  event.window.windowID = window_id;
  return push(event);
}

}  // namespace lv::platform
