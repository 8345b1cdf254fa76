#pragma once

// The program's command line as one text: the form in which a start hands
// it to the running instance and in which the running one hands it to its
// home screen. The arguments are joined by blanks; an argument that is
// empty or holds a blank, a tab or a double quote is put in double quotes,
// with '"' and '\' inside them written as \" and \\, so that splitting
// gives back exactly the arguments that were joined.

#include <string>
#include <string_view>
#include <vector>

namespace lv {

std::u16string join_command_line(const std::vector<std::u16string>& arguments);

// The arguments of a joined command line. Outside double quotes a backslash
// is an ordinary character; an unclosed quote ends at the end of the text.
std::vector<std::u16string> split_command_line(std::u16string_view line);

// A path argument as another process can take it, whatever its working
// folder: a "file:" URI of this machine (no host, or "localhost") becomes
// its path with the percent escapes decoded; a relative path is made
// absolute against `working_folder` (when it is known). Anything else (an absolute path, a URI
// of another host or scheme, one that decodes to a NUL or to text that is
// not UTF-8) is kept as it is, so the running instance can say what it
// could not open.
std::u16string absolute_argument(std::u16string_view argument, std::u16string_view working_folder);

}  // namespace lv
