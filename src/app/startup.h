#pragma once

#include <string>
#include <string_view>

namespace lv {

// The program's entry after argument conversion: runs start-up, the message
// loop and tear-down in their fixed order and answers the exit code (0 on
// every ordinary path, including a hand-over to a running instance; 1 when
// scripted input (LUMIVIEW_SCRIPT) met an error).
int win_main(const std::u16string& command_line);

// The command line as one text (base/command_line.h) with every
// argument a path the running instance can open from its own working
// folder: relative paths made absolute against `working_folder`, "file:"
// URIs decoded. Empty arguments are left out.
std::u16string command_line_of(int argc, const char* const* argv,
                               std::u16string_view working_folder);

}  // namespace lv
