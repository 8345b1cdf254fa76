#pragma once

// Scripted input (LUMIVIEW_SCRIPT): a text file of timed steps that the
// script player feeds into the window's event queue. The format is
// described in docs/scripted-input.md. Parsing never fails silently: the
// first bad line is reported with its number.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

struct ScriptStep {
  enum class Kind {
    wait,        // ms
    idle,        // ms (quiet time), max_ms
    press,       // x, y
    move,        // x, y
    release,     // x, y
    key_down,    // key (program code), repeat
    key_up,      // key
    text,        // text
    screenshot,  // path
    resize,      // x = width, y = height
    close,       // the user closes the window
    quit,
    find_id,       // text: a skin id (a menu row: its item's key)
    find_text,     // text: the text an element shows
    wheel,         // x, y, amount = notches
    fingers_down,  // x, y = the two fingers' centre, amount = their distance
    fingers_move,
    fingers_up,
  };

  Kind kind = Kind::wait;
  int line = 0;  // where the step was written (1-based)
  int32_t x = 0;
  int32_t y = 0;
  uint32_t ms = 0;
  uint32_t max_ms = 0;
  int key = 0;
  bool repeat = false;
  std::u16string text;  // typed text, the screenshot's path, or what a find seeks
  double amount = 0;
  // A press or release at the point the last find step found (x, y unused).
  bool at_found = false;
};

struct ScriptError {
  int line = 0;  // 0: not about one line (the file could not be read)
  std::string message;
};

// Default hold of a tap and duration of a drag, in milliseconds.
inline constexpr uint32_t kTapHoldMs = 50;
inline constexpr uint32_t kDragMs = 300;
// A drag moves the stylus, and a pinch the fingers, about this often.
inline constexpr uint32_t kDragStepMs = 16;
// The farther apart a scripted pinch's two fingers are, at its start or at
// its end.
inline constexpr double kPinchSpreadPixels = 200;

// Parses the whole text. Compound steps (tap, tapid, taptext, drag, pinch,
// key) come out as their primitive steps. Relative screenshot paths are taken relative to
// `base_folder` (none when it is empty). False, with `error`, on the first
// bad line.
bool parse_script(std::string_view text, std::u16string_view base_folder,
                  std::vector<ScriptStep>& steps, ScriptError& error);

// Reads and parses a script file; screenshot paths are relative to its folder.
bool load_script(std::u16string_view path, std::vector<ScriptStep>& steps, ScriptError& error);

// "FILE:LINE: message" (or "FILE: message" without a line).
std::string describe(const ScriptError& error, std::u16string_view path);

}  // namespace lv
