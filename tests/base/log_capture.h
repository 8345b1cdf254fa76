#pragma once

// Helpers for tests that switch logging through the settings file, as a
// user (or another process) would, and read the UTF-16 log file back.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/settings.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv::test {

inline std::string registry_file() {
  return std::string(std::getenv("XDG_CONFIG_HOME")) + "/lumiview/registry.reg";
}

// Replaces the settings file atomically with one holding Log=value. Every
// write gets a modification time of its own, so a reader that watches the
// time and size notices even a change of one digit.
inline void set_log_switch(uint32_t value) {
  static int64_t stamp = 1'600'000'000;
  const std::string path = registry_file(), temporary = path + ".writing";
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  char text[96];
  std::snprintf(text, sizeof text,
                "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:%08x\n", value);
  write_file(temporary, text);
  const timespec times[2] = {{stamp, 0}, {stamp++, 0}};
  ::utimensat(AT_FDCWD, temporary.c_str(), times, 0);
  std::filesystem::rename(temporary, path);
}

inline std::string log_file() {
  return std::string(std::getenv("TMPDIR")) + "/" + to_utf8(app_name()) + ".txt";
}

inline const std::string kByteOrderMark = "\xFF\xFE";

inline std::string utf16le(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

// What the log (and the language files) hold: FF FE, then UTF-16LE.
inline std::string utf16le_file(std::u16string_view text) {
  return kByteOrderMark + utf16le(text);
}

// The log's text after its byte-order mark ("" when the file is missing).
inline std::u16string read_log_text() {
  const std::string bytes = read_file(log_file());
  std::u16string text;
  for (size_t i = kByteOrderMark.size(); i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
  return text;
}

// The log's lines, without their line ends.
inline std::vector<std::u16string> read_log_lines() {
  std::vector<std::u16string> lines(1);
  for (char16_t c : read_log_text()) c == u'\n' ? lines.emplace_back() : lines.back() += c;
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

// Logging on with a fresh, empty log file.
inline void start_fresh_log() {
  set_log_switch(0);
  log();
  std::remove(log_file().c_str());
  set_log_switch(1);
  log();
}

}  // namespace lv::test
