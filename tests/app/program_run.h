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
  const bool ok = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  if (!ok) return shot;
  shot.width = int32_t(image.width);
  shot.height = int32_t(image.height);
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    shot.pixels.push_back(rgb565::from_rgb888(rgb[i], rgb[i + 1], rgb[i + 2]));
  return shot;
}

// "#rrggbb" as the frame holds it.
inline uint16_t rgb565_hex(uint32_t rgb) {
  return rgb565::from_rgb888(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

class ProgramRun {
 public:
  ProgramRun() : m_root(make_temp_dir("device")) {
    for (const char* folder :
         {"/home/Pictures", "/home/.config/lumiview", "/home/.state", "/run", "/tmp"})
      std::filesystem::create_directories(m_root + folder);
    std::filesystem::permissions(m_root + "/run", std::filesystem::perms::owner_all);
    set_settings("");
  }

  const std::string& root() const { return m_root; }
  std::string pictures() const { return m_root + "/home/Pictures"; }
  std::string path(const std::string& relative) const { return m_root + "/" + relative; }

  // The settings file: logging on, and these lines under the program's key.
  void set_settings(const std::string& program_values) {
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n";
    if (!program_values.empty())
      text += "\n[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n" + program_values;
    write_file(settings_path(), text);
  }
  std::string settings_path() const { return m_root + "/home/.config/lumiview/registry.reg"; }

  // Copies a shared test picture into a folder of the pictures folder.
  bool add_picture(const std::string& testdata, const std::string& folder,
                   const std::string& name = "") {
    const std::string from = testdata_path(testdata);
    if (from.empty()) return false;
    const std::filesystem::path to = std::filesystem::path(pictures()) / folder;
    std::filesystem::create_directories(to);
    std::error_code error;
    std::filesystem::copy_file(
        from, to / (name.empty() ? std::filesystem::path(from).filename().string() : name), error);
    return !error;
  }

  // A program folder of the test's own: the executable and the given files
  // of the build tree (relative paths; folders are copied whole).
  std::string make_program_folder(const std::vector<std::string>& build_files) {
    m_program = m_root + "/program";
    std::filesystem::create_directories(m_program);
    std::filesystem::copy_file(binary_path("lumiview"), m_program + "/lumiview");
    for (const std::string& file : build_files) {
      const std::filesystem::path to = std::filesystem::path(m_program) / file;
      std::filesystem::create_directories(to.parent_path());
      std::filesystem::copy(binary_path(file), to, std::filesystem::copy_options::recursive);
    }
    return m_program;
  }
  std::string program_folder() const { return m_program.empty() ? binary_path("") : m_program; }

  // Set for the runs that follow.
  void set_env(const std::string& name, const std::string& value) { m_env[name] = value; }

  struct Child {
    pid_t pid = -1;
    std::string stderr_path;
  };

  // Starts the program with the script (none when empty) and the arguments;
  // `tag` names the script and error files. A pid of -1 when it could not
  // be started.
  Child start(const std::string& script, const std::vector<std::string>& args = {},
              const std::string& tag = "run") {
    const std::string program = program_folder() + "/lumiview";
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    env["HOME"] = m_root + "/home";
    env["XDG_CONFIG_HOME"] = m_root + "/home/.config";
    env["XDG_STATE_HOME"] = m_root + "/home/.state";
    env["XDG_RUNTIME_DIR"] = m_root + "/run";
    env["TMPDIR"] = m_root + "/tmp";
    env["LUMIVIEW_DISPLAY"] = "offscreen";
    env["SDL_VIDEODRIVER"] = "dummy";
    env["LUMIVIEW_PICTURES"] = pictures();
    env["LUMIVIEW_CARDS"] = "";
    env.erase("LUMIVIEW_SCRIPT");
    if (!script.empty()) {
      write_file(m_root + "/" + tag + ".script", script);
      env["LUMIVIEW_SCRIPT"] = m_root + "/" + tag + ".script";
    }
    for (const auto& [name, value] : m_env) env[name] = value;

    std::vector<std::string> env_lines;
    for (const auto& [name, value] : env) env_lines.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& line : env_lines) envp.push_back(line.data());
    envp.push_back(nullptr);
    std::vector<std::string> arg_strings{program};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : arg_strings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    Child child;
    child.stderr_path = m_root + "/" + tag + ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, child.stderr_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
      child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    m_last = child;
    return child;
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
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -2;
  }

  int run(const std::string& script, const std::vector<std::string>& args = {}) {
    return wait(start(script, args));
  }

  std::string error_output() const { return read_file(m_last.stderr_path); }
  static std::string error_output(const Child& child) { return read_file(child.stderr_path); }

  // The log of the last run (or of the one whose TMPDIR is `tmp`), as lines
  // of ASCII ('?' for the rest).
  std::vector<std::string> log_lines(const std::string& tmp = "") const {
    const std::string bytes = read_file((tmp.empty() ? m_root + "/tmp" : tmp) + "/lumiview.txt");
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    std::vector<std::string> lines;
    std::string line;
    for (char16_t c : text) {
      if (c == u'\n') {
        lines.push_back(line);
        line.clear();
      } else if (c < 0x80) {
        line += char(c);
      } else {
        line += '?';
      }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  }

  Shot shot(const std::string& name) const { return read_shot(m_root + "/" + name); }

 private:
  std::string m_root;
  std::string m_program;
  std::map<std::string, std::string> m_env;
  Child m_last;
};

// Index of the first line at or after `from` that is the tick count
// followed by the text (or just the text when `ticked` is false); the line
// count when there is none.
inline size_t find_line(const std::vector<std::string>& lines, const std::string& text,
                        size_t from = 0, bool ticked = true) {
  for (size_t i = from; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!ticked) {
      if (line.find(text) != std::string::npos) return i;
      continue;
    }
    if (line.size() > text.size() && line.ends_with(text) &&
        line.find_first_not_of("0123456789") == line.size() - text.size())
      return i;
  }
  return lines.size();
}

// Waits (up to 30 s) for a line to appear in a log that another process is
// writing (the one whose TMPDIR is `tmp`, else the run's).
inline bool wait_for_log_line(const ProgramRun& run, const std::string& text, bool ticked = true,
                              const std::string& tmp = "") {
  for (int i = 0; i < 3000; ++i) {
    const auto lines = run.log_lines(tmp);
    if (find_line(lines, text, 0, ticked) < lines.size()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The lines of a log as one text, for failure messages.
inline std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Pixels of the area light in every channel (text on the default skin's
// dark page).
inline int32_t bright_pixels(const Shot& shot, const Rect& area) {
  int32_t count = 0;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) {
      const uint16_t p = shot.at(x, y);
      if (rgb565::red(p) >= 16 && rgb565::green(p) >= 32 && rgb565::blue(p) >= 16) ++count;
    }
  return count;
}

// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the screenshot is copied
// there under the name the documentation shows.
inline void copy_for_docs(const ProgramRun& run, const std::string& shot, const std::string& name) {
  const char* folder = std::getenv("LUMIVIEW_DOCS_SCREENSHOTS");
  if (!folder || !*folder) return;
  std::filesystem::copy_file(run.path(shot), std::filesystem::path(folder) / name,
                             std::filesystem::copy_options::overwrite_existing);
}

// The tick count in front of a start-up line.
inline uint32_t tick_of(const std::string& line) {
  return uint32_t(std::stoul(line.substr(0, line.find_first_not_of("0123456789"))));
}

}  // namespace lv::test
