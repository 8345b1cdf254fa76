#include "platform/paths.h"

#include <errno.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace lv::platform {

namespace {

std::string env_value(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string strip_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string read_link(const char* path) {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink(path, buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string resolve_executable() {
  std::string path = read_link("/proc/self/exe");
  // A program file replaced while it runs (an upgrade) is reported with this
  // suffix; its folder is still the program's folder.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.ends_with(kDeleted) &&
      ::access(path.c_str(), F_OK) != 0)
    path.resize(path.size() - kDeleted.size());
  if (!path.empty() && path[0] == '/') return path;

  // Without /proc, the name the program was started by.
  const char* exec_name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (!exec_name) return {};
  char* real = ::realpath(exec_name, nullptr);
  if (!real) return {};
  std::string result(real);
  ::free(real);
  return result;
}

std::string xdg_folder(const char* variable, const char* default_below_home) {
  std::string value = env_value(variable);
  if (!value.empty() && value[0] == '/') return strip_trailing_slashes(value);
  const std::string home = home_folder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/" + default_below_home;
}

// One line of user-dirs.dirs: XDG_PICTURES_DIR="$HOME/Photos". The value is a
// quoted shell word: absolute, or starting with $HOME, with '\' escapes.
std::string parse_user_dir_value(std::string_view value, const std::string& home) {
  if (value.size() < 2 || value.front() != '"') return {};
  std::string text;
  bool closed = false;
  for (size_t i = 1; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      text.push_back(value[++i]);
    } else if (c == '"') {
      closed = true;
      break;
    } else {
      text.push_back(c);
    }
  }
  if (!closed) return {};
  if (text.starts_with("$HOME")) {
    if (home.empty()) return {};
    const std::string rest = text.substr(5);
    if (!rest.empty() && rest[0] != '/') return {};
    text = home + rest;
  }
  if (text.empty() || text[0] != '/') return {};
  return strip_trailing_slashes(text);
}

std::string user_dirs_pictures(const std::string& home) {
  const std::string config = config_folder();
  if (config.empty()) return {};
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  std::string found;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    std::string_view rest(line);
    rest.remove_prefix(start);
    constexpr std::string_view kKey = "XDG_PICTURES_DIR";
    if (!rest.starts_with(kKey)) continue;
    rest.remove_prefix(kKey.size());
    if (rest.empty() || rest[0] != '=') continue;
    rest.remove_prefix(1);
    std::string value = parse_user_dir_value(rest, home);
    if (!value.empty()) found = value;  // the last assignment wins, as in a shell
  }
  return found;
}

}  // namespace

const std::string& executable_path() {
  static const std::string path = resolve_executable();
  return path;
}

std::string home_folder() {
  std::string home = env_value("HOME");
  if (!home.empty() && home[0] == '/') return strip_trailing_slashes(home);
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && result->pw_dir[0] == '/')
    return strip_trailing_slashes(result->pw_dir);
  return {};
}

std::string config_folder() {
  return xdg_folder("XDG_CONFIG_HOME", ".config");
}
std::string state_folder() {
  return xdg_folder("XDG_STATE_HOME", ".local/state");
}
std::string cache_folder() {
  return xdg_folder("XDG_CACHE_HOME", ".cache");
}
std::string data_folder() {
  return xdg_folder("XDG_DATA_HOME", ".local/share");
}

std::string working_folder() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size())) return buffer.data();
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string temp_folder() {
  std::string tmp = env_value("TMPDIR");
  if (tmp.empty() || tmp[0] != '/') return "/tmp";
  return strip_trailing_slashes(tmp);
}

std::string runtime_folder() {
  std::string runtime = env_value("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime[0] == '/') return strip_trailing_slashes(runtime);

  const uid_t uid = getuid();
  std::string tmp = temp_folder();
  const std::string path = (tmp == "/" ? std::string() : tmp) + "/lumiview-" + std::to_string(uid);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid) return {};
  if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return {};
  return path;
}

std::string pictures_folder() {
  std::string pictures = env_value("LUMIVIEW_PICTURES");
  if (!pictures.empty()) return strip_trailing_slashes(pictures);
  const std::string home = home_folder();
  std::string from_user_dirs = user_dirs_pictures(home);
  if (!from_user_dirs.empty()) return from_user_dirs;
  if (home.empty()) return {};
  const std::string default_pictures = (home == "/" ? std::string() : home) + "/Pictures";
  if (is_directory(default_pictures)) return default_pictures;
  return home;
}

std::string install_prefix() {
  const std::string& exe = executable_path();
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/usr";
  const std::string folder = exe.substr(0, slash);
  const size_t parent = folder.rfind('/');
  if (parent == std::string::npos) return "/usr";
  std::string prefix = parent == 0 ? std::string("/") : folder.substr(0, parent);
  // An installed program lives in <prefix>/lib/lumiview/.
  if (prefix.size() > 4 && prefix.compare(prefix.size() - 4, 4, "/lib") == 0)
    prefix.resize(prefix.size() - 4);
  return prefix.empty() ? std::string("/") : prefix;
}

std::string settings_file_path() {
  const std::string config = config_folder();
  if (config.empty()) return {};
  return config + "/lumiview/registry.reg";
}

}  // namespace lv::platform
