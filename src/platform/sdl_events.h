#pragma once

// SDL's events as the handheld's window messages. The window procedure of
// the program sees only WindowEvent: key down/up with the virtual key and a
// message-data word laid out as the handheld's, one character per event,
// stylus press/move/release, the mouse wheel, fingers on a touch screen,
// activation, visibility, resize, close. Scripted
// input and other threads feed the same queue (SDL's event queue), so an
// injected tap takes exactly the path of a real one.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

union SDL_Event;

namespace lv::platform {

enum class EventType {
  key_down,
  key_up,
  character,     // text: one character (a surrogate pair stays together)
  composition,   // text: what an input method is composing, "" when done;
                 // x: its cursor, in code units of the text
  pointer_down,  // x, y
  pointer_move,
  pointer_up,
  focus_gained,
  focus_lost,
  shown,   // shown or restored
  hidden,  // hidden or minimised
  exposed,
  resized,          // x, y: the new size
  close_requested,  // the user closes the window
  quit,             // the session or a signal ends the program
  command_line,     // text: a second instance's command line
  window_message,   // message: a private message the window posted itself
  wake,             // the main queue has messages
  script_marker,    // message: the scripted step whose events are all taken
  wheel,            // x, y: the pointer; amount: notches
  finger_down,      // touch_device, finger, finger_x, finger_y
  finger_move,
  finger_up,
};

struct WindowEvent {
  EventType type = EventType::wake;
  int virtual_key = 0;
  // The handheld's key message data: repeat count 1 in bits 0..15, the scan
  // code in 16..23, bit 30 set when the key was already down (auto-repeat,
  // and every key-up), bit 31 set for a key-up.
  uint32_t key_data = 0;
  std::u16string text;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t message = 0;
  // The wheel's turn in notches, positive away from the user whatever the
  // system's "natural scrolling" setting.
  double amount = 0;
  // A finger's position as a fraction of the window's width and height (a
  // finger's x and y stay 0: the window knows its size) and its identity.
  double finger_x = 0;
  double finger_y = 0;
  int64_t touch_device = 0;
  int64_t finger = 0;
  // A stylus event that SDL made from the first finger on a touch screen.
  bool from_touch = false;
};

inline constexpr uint32_t kKeyDataPreviouslyDown = 1u << 30;
inline constexpr uint32_t kKeyDataReleased = 1u << 31;

// The window messages of one SDL event, appended to `out` (none for events
// the program does not use). Main thread.
void translate_sdl_event(const SDL_Event& event, std::deque<WindowEvent>& out);

// Where the main loop takes its messages. An interface so that the loop's
// choice between waiting and polling can be tested with a scripted source.
class EventSource {
 public:
  virtual ~EventSource() = default;
  virtual std::optional<WindowEvent> poll() = 0;
  // Waits up to timeout_ms (negative: without limit); none on timeout.
  virtual std::optional<WindowEvent> wait(int timeout_ms) = 0;
  // The pause of the polling loop between frames.
  virtual void idle_sleep(uint32_t ms) = 0;
};

class SdlEventSource : public EventSource {
 public:
  std::optional<WindowEvent> poll() override;
  std::optional<WindowEvent> wait(int timeout_ms) override;
  void idle_sleep(uint32_t ms) override;

 private:
  std::optional<WindowEvent> take_pending();
  std::deque<WindowEvent> m_pending;
};

// Posting: any thread, once a window exists (SDL's queue is running). False
// when the queue is not running or full.
bool post_wake();  // coalesced: at most one wake waits in the queue
// The queue was emptied (a new window flushes it): the next wake must post.
void forget_queued_wake();
bool post_command_line(std::u16string command_line);
bool post_window_message(uint32_t message);
bool post_script_marker(uint32_t id);
bool post_quit();

// Scripted input: SDL events as the devices would send them, for the window
// with this id. Main thread.
enum class PointerAction { press, move, release };
bool inject_pointer(uint32_t window_id, PointerAction action, int32_t x, int32_t y);
// False for a virtual key that no SDL key gives.
bool inject_key(uint32_t window_id, int virtual_key, bool pressed, bool repeat);
bool inject_text(uint32_t window_id, std::u16string_view text);
bool inject_close(uint32_t window_id);
// A wheel turned by `steps` notches with the pointer at (x, y).
bool inject_wheel(uint32_t window_id, int32_t x, int32_t y, double steps);
// A finger of a touch screen; x and y are fractions of the window's size.
bool inject_finger(uint32_t window_id, PointerAction action, int64_t finger, double x, double y);
// The stylus events SDL's touch-to-mouse emulation makes of the first
// finger on the screen.
bool inject_touch_stylus(uint32_t window_id, PointerAction action, int32_t x, int32_t y);

}  // namespace lv::platform
