#pragma once

// Where things live on this system. Paths are UTF-8, absolute, and carry no
// trailing '/'. Everything except the executable's path is read from the
// environment on each call, so a change of HOME or XDG_* takes effect at once.

#include <string>

namespace lv::platform {

// The running executable (/proc/self/exe, symlinks resolved), or "" when the
// system cannot tell. Computed once per process.
const std::string& executable_path();

// $HOME, else the password database's home folder, else "".
std::string home_folder();

// The XDG base folders: the variable when it holds an absolute path, else the
// usual default under the home folder ("" when there is no home folder).
std::string config_folder();  // $XDG_CONFIG_HOME, ~/.config
std::string state_folder();   // $XDG_STATE_HOME, ~/.local/state
std::string cache_folder();   // $XDG_CACHE_HOME, ~/.cache
std::string data_folder();    // $XDG_DATA_HOME, ~/.local/share

// $XDG_RUNTIME_DIR, else ${TMPDIR:-/tmp}/lumiview-$UID, created with mode 0700.
// A fallback folder that exists but is not a private folder of this user is
// refused (""), so another user cannot plant sockets or lock files there.
std::string runtime_folder();

// The process's working folder (physical: no links), or "" when it cannot
// be told (it was removed, or lies beyond the process's reach).
std::string working_folder();

// ${TMPDIR:-/tmp}.
std::string temp_folder();

// The user's pictures: $LUMIVIEW_PICTURES; else XDG_PICTURES_DIR from
// user-dirs.dirs in the config folder; else ~/Pictures when it exists; else
// the home folder.
std::string pictures_folder();

// The folder that holds the program's folder (the executable's folder's
// parent: <prefix>/lib for an installed program), else "/usr".
std::string install_prefix();

// $XDG_CONFIG_HOME/lumiview/registry.reg, where the settings are kept.
std::string settings_file_path();

}  // namespace lv::platform
