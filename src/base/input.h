#pragma once

// The program's own key codes and the two input events every screen sees.
// Platform keys are translated into these codes once, in the window; the
// rest of the program (skins bind buttons to keys by name) never sees a
// platform code.

#include <cstdint>
#include <string_view>

namespace lv {

enum KeyCode : int {
  kKeyNone = 0,
  kKeyShift = 1,
  kKeyCtrl = 2,
  kKeyAlt = 3,
  kKeyLeft = 4,
  kKeyRight = 5,
  kKeyUp = 6,
  kKeyDown = 7,
  kKeyEsc = 8,
  kKeyEnter = 9,
  kKeySpace = 10,
  kKeyBackspace = 11,
  kKeyDel = 12,
  kKeyInsert = 13,
  kKeyHome = 14,
  kKeyEnd = 15,
  kKeyPageDown = 16,
  kKeyPageUp = 17,
  kKeyTab = 18,
  kKeyContextMenu = 19,
  kKeyA = 20,  // "A" to "Z" are 20 to 45
  kKey0 = 46,  // "0" to "9" are 46 to 55
  kKeyStar = 56,
  kKeyPound = 57,
  kKeyCallMake = 58,
  kKeyCallEnd = 59,
  kKeySlide = 60,
  kKeySoftLeft = 61,
  kKeySoftRight = 62,
  kKeyVolumeUp = 63,
  kKeyVolumeDown = 64,
  kKeyPlus = 65,
  kKeyMinus = 66,
};

inline constexpr int kKeyCount = 67;

// "Backspace", "A", "SOFT_LEFT", ...; "None" for codes outside 0..66.
std::string_view key_name(int code);
// The code whose name is `name` (exact, case-sensitive); 0 when none is.
int key_code_by_name(std::string_view name);
// The handheld's virtual-key numbers (VK_BACK = 8, ... VK_F9 = 120, and the
// plus and minus keys VK_ADD = 107, VK_SUBTRACT = 109, VK_OEM_PLUS = 187,
// VK_OEM_MINUS = 189) to program codes; every number not in the table
// gives 0.
int translate_virtual_key(int virtual_key);

struct KeyEvent {
  int key = kKeyNone;
  bool pressed = false;
  bool first = true;  // false for an auto-repeated press
};

struct PointerEvent {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t time = 0;      // the window's millisecond tick for the event
  uint32_t reserved = 0;  // always 0
  uint8_t pressed = 0;    // 1 while the stylus is down
  uint8_t cancelled = 0;  // 1 when the press ended without a release position
};

struct WheelEvent {
  int32_t x = 0;  // the pointer's position, window pixels
  int32_t y = 0;
  double steps = 0;   // notches (fractions for smooth wheels); positive: turned away from the user
  uint32_t time = 0;  // the window's millisecond tick
};

// Two fingers on the screen. A gesture is one begin, any number of moves
// and one end; scale and movement are relative to the event before, so
// that they multiply and add up over the gesture.
struct PinchEvent {
  enum class Phase : uint8_t { begin, move, end };
  Phase phase = Phase::move;
  double x = 0;  // the fingers' centre, window pixels
  double y = 0;
  double scale = 1;  // finger distance now / at the previous event of this gesture
  double dx = 0;     // the centre's movement since the previous event, pixels
  double dy = 0;
  uint32_t time = 0;
};

}  // namespace lv
