#pragma once

#include <string>

namespace lv {

// The program's entry after argument conversion: runs start-up, the message
// loop and tear-down in their fixed order and answers the exit code (0 on
// every ordinary path, including a hand-over to a running instance; 1 when
// scripted input (LUMIVIEW_SCRIPT) met an error).
int win_main(const std::u16string& command_line);

// The command line as one text: the arguments joined by blanks, each one
// holding a blank or a quote put in double quotes.
std::u16string join_command_line(int argc, const char* const* argv);

}  // namespace lv
