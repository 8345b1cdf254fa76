#pragma once

// Program keys as scripts name them, and the virtual key that a script
// presses to produce one.

#include <string_view>

namespace lv {

// The program key named (as key_name spells it, or differing only in letter
// case); kKeyNone when no key has that name.
int script_key_code(std::string_view name);

// The first virtual key that translates to the code and that some SDL key
// gives; 0 when there is none (Esc and SLIDE exist only as names).
int virtual_key_for_code(int code);

}  // namespace lv
