#pragma once

// The settings store: one text file in the REGEDIT4 syntax
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\KARU]
//   "Log"=dword:00000001
//   "Skin"="default"
//
// Key paths and value names compare without regard to ASCII case and keep the
// case they were first written with. Every lookup checks the file's identity
// (one stat) and re-reads it when it changed, so edits made from outside are
// seen at once. Every write re-reads the file, changes it and replaces it
// atomically. A damaged file never stops the program: whatever can be read is
// read, the rest reads as absent, and the next write keeps every readable value.
// All operations may be called from any thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lv::platform {

class SettingsFile {
 public:
  // The file need not exist yet; its folder is made by the first write.
  explicit SettingsFile(std::string path);
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  const std::string& path() const;

  // False, with `out` unchanged, when the value is absent or of another kind.
  // An empty name is the key's default value ("@" in the file).
  bool get_string(std::u16string_view key, std::u16string_view name, std::u16string& out);
  bool get_number(std::u16string_view key, std::u16string_view name, uint32_t& out);

  // False when the file cannot be written, or when it exists but cannot be
  // read (replacing it would lose its values). A string is stored up to its
  // first U+0000, as the registry hands it back.
  bool set_string(std::u16string_view key, std::u16string_view name, std::u16string_view text);
  bool set_number(std::u16string_view key, std::u16string_view name, uint32_t value);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The program's settings file, at settings_file_path() as the environment
// tells it on first use.
SettingsFile& settings_file();

}  // namespace lv::platform
