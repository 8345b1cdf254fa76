#pragma once

// Runs the real program as a user would start it, in a device of its own:
// a fresh home with a pictures folder, settings, state, runtime and
// temporary folders, the headless display and a script of input. The
// program folder is the build tree's, or one made for the test (the
// executable copied beside chosen language files and skins). Screenshots
// are read back as RGB565 words, the way the frame held them.

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "skin/geometry.h"
#include "skin/rgb565.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

extern char** environ;

namespace lv::test {

struct Shot {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint16_t> pixels;  // RGB565, row by row

  uint16_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  bool empty() const { return pixels.empty(); }
};

inline Shot read_shot(const std::string& path) {
  Shot shot;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return shot;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return shot;
  shot = {int32_t(image.width), int32_t(image.height), {}};
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    shot.pixels.push_back(rgb565::from_rgb888(rgb[i], rgb[i + 1], rgb[i + 2]));
  return shot;
}

// "#rrggbb" as the frame holds it.
inline uint16_t rgb565_hex(uint32_t rgb) {
  return rgb565::from_rgb888(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

// The log (UTF-16LE with its mark) as ASCII text, '?' for the rest.
inline std::string ascii_of_utf16(const std::string& bytes) {
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += bytes[i + 1] == 0 && uint8_t(bytes[i]) < 0x80 ? bytes[i] : '?';
  return text;
}

class ProgramRun {
 public:
  ProgramRun() : m_root(make_temp_dir("device")) {
    for (const char* folder : {"/home/Pictures", "/home/.config/lumiview", "/home/.state", "/tmp"})
      std::filesystem::create_directories(m_root + folder);
    std::filesystem::create_directory(m_root + "/run");  // the owner's alone
    std::filesystem::permissions(m_root + "/run", std::filesystem::perms::owner_all);
    // Logging on.
    write_file(settings_path(),
               "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n");
    // The runs' environment: this process's, for as long as the device lives.
    const std::string home = m_root + "/home";
    for (const auto& [name, value] :
         std::map<std::string, std::string>{{"HOME", home},
                                            {"XDG_CONFIG_HOME", home + "/.config"},
                                            {"XDG_STATE_HOME", home + "/.state"},
                                            {"XDG_RUNTIME_DIR", m_root + "/run"},
                                            {"TMPDIR", m_root + "/tmp"},
                                            {"LUMIVIEW_DISPLAY", "offscreen"},
                                            {"SDL_VIDEODRIVER", "dummy"},
                                            {"LUMIVIEW_PICTURES", pictures()},
                                            {"LUMIVIEW_CARDS", ""}})
      m_env.set(name.c_str(), value);
  }

  const std::string& root() const { return m_root; }
  std::string pictures() const { return m_root + "/home/Pictures"; }
  std::string path(const std::string& relative) const { return m_root + "/" + relative; }
  std::string settings_path() const { return m_root + "/home/.config/lumiview/registry.reg"; }

  // Copies a shared test picture into a folder of the pictures folder.
  bool add_picture(const std::string& testdata, const std::string& folder,
                   const std::string& name = "") {
    const std::filesystem::path from = testdata_path(testdata), to = pictures() + "/" + folder;
    std::error_code error;
    std::filesystem::create_directories(to, error);
    return !from.empty() &&
           std::filesystem::copy_file(
               from, to / (name.empty() ? from.filename() : std::filesystem::path(name)), error);
  }

  // A program folder of the test's own: the executable and the given files
  // of the build tree (relative paths; folders are copied whole).
  std::string make_program_folder(const std::vector<std::string>& build_files) {
    m_program = m_root + "/program";
    std::filesystem::create_directories(m_program);
    for (const std::string& file : build_files)
      std::filesystem::copy(binary_path(file), m_program + "/" + file,
                            std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(binary_path("lumiview"), m_program + "/lumiview");
    return m_program;
  }

  // Set for the runs that follow.
  void set_env(const char* name, const std::string& value) { m_env.set(name, value); }

  struct Child {
    pid_t pid = -1;
    std::string stderr_path;
  };

  // Starts the program with the script (none when empty) and the arguments;
  // `tag` names the script and error files. A pid of -1 when it could not
  // be started.
  Child start(const std::string& script, std::vector<std::string> args = {},
              const std::string& tag = "run") {
    args.insert(args.begin(), (m_program.empty() ? binary_path("") : m_program) + "/lumiview");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_env.unset("LUMIVIEW_SCRIPT");
    if (!script.empty()) {
      write_file(path(tag + ".script"), script);
      m_env.set("LUMIVIEW_SCRIPT", path(tag + ".script"));
    }
    Child child{-1, path(tag + ".stderr")};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, child.stderr_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
      child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return m_last = child;
  }

  // The exit code, or -1 when it had to be killed after the time limit (a
  // hang), -2 after a signal (a crash), -3 when it never started.
  static int wait(const Child& child, int limit_seconds = 90) {
    if (child.pid < 0) return -3;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    int status = 0;
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  }

  int run(const std::string& script) { return wait(start(script)); }

  std::string error_output() const { return read_file(m_last.stderr_path); }
  static std::string error_output(const Child& child) { return read_file(child.stderr_path); }
  // The log of the runs so far, as ASCII text.
  std::string log() const { return ascii_of_utf16(read_file(m_root + "/tmp/lumiview.txt")); }
  Shot shot(const std::string& name) const { return read_shot(path(name)); }

 private:
  std::string m_root, m_program;
  ScopedEnv m_env;
  Child m_last;
};

// Where the line that is the tick count followed by `text` begins, at or
// after `from`; npos when there is none.
inline size_t find_line(const std::string& log, const std::string& text, size_t from = 0) {
  for (size_t at = log.find(text + "\n", from); at != std::string::npos;
       at = log.find(text + "\n", at + 1)) {
    size_t begin = at;
    while (begin > 0 && log[begin - 1] >= '0' && log[begin - 1] <= '9') --begin;
    if (begin < at && (begin == 0 || log[begin - 1] == '\n')) return begin;
  }
  return std::string::npos;
}

// Waits (up to 30 s) for a text to appear in the log that a running
// program is writing.
inline bool wait_for_log(const ProgramRun& run, const std::string& text) {
  for (int i = 0; i < 3000 && run.log().find(text) == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return run.log().find(text) != std::string::npos;
}

// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the screenshots are
// copied there under the names the documentation shows (pairs of the
// screenshot and the name).
inline void copy_for_docs(const ProgramRun& run,
                          const std::vector<std::pair<std::string, std::string>>& shots) {
  const char* folder = std::getenv("LUMIVIEW_DOCS_SCREENSHOTS");
  for (const auto& [shot, name] : shots)
    if (folder && *folder)
      std::filesystem::copy_file(run.path(shot), std::filesystem::path(folder) / name,
                                 std::filesystem::copy_options::overwrite_existing);
}

}  // namespace lv::test
