#include "base/settings.h"

#include <array>

#include "base/log.h"
#include "platform/paths.h"
#include "platform/settings_file.h"
#include "platform/text.h"

namespace lv {

namespace {

// Tested as prefixes in this order; the sub-key starts one character after
// the root name, whatever that character is.
constexpr std::array<std::u16string_view, 4> kRootNames = {
    u"HKEY_CLASSES_ROOT", u"HKEY_LOCAL_MACHINE", u"HKEY_USERS", u"HKEY_CURRENT_USER"};

// The key as the settings file names it (root name, '\', sub-key), or ""
// when the path begins with no root name.
std::u16string file_key(std::u16string_view key) {
  for (std::u16string_view root : kRootNames) {
    if (!starts_with(key, root)) continue;
    std::u16string result(root);
    if (key.size() > root.size() + 1) {
      result.push_back(u'\\');
      result.append(key.substr(root.size() + 1));
    }
    return result;
  }
  return {};
}

constexpr size_t kMaxPath = 1024;

size_t last_separator(std::u16string_view path) {
  return path.find_last_of(u"/\\");
}

struct Macro {
  std::u16string_view name;
  std::u16string (*value)();
};

const std::array<Macro, 9> kMacros = {{
    {u"%app_full_name%", [] { return module_file_name(); }},
    {u"%app_path%", [] { return app_path(); }},
    {u"%app_name%", [] { return app_name(); }},
    {u"%my_documents%", [] { return special_folder(SpecialFolder::personal); }},
    {u"%windows%", [] { return special_folder(SpecialFolder::windows); }},
    {u"%startup%", [] { return special_folder(SpecialFolder::startup); }},
    {u"%programs%", [] { return special_folder(SpecialFolder::programs); }},
    {u"%start_menu%", [] { return special_folder(SpecialFolder::start_menu); }},
    {u"%program_files%", [] { return special_folder(SpecialFolder::program_files); }},
}};

// Case pairs of the scripts the program's languages use: Latin-1, Latin
// Extended-A, basic Greek and Cyrillic. Letters without a one-to-one partner
// (sharp s, dotted and dotless i) stay as they are; final sigma upper-cases
// to sigma.
char16_t lower_char(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return c % 2 == 0 ? c + 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
    return c % 2 == 0 ? c + 1 : c;
  if (c == 0x4C0) return 0x4CF;
  if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 1 ? c + 1 : c;
  return c;
}

char16_t upper_char(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x101 && c <= 0x12F) || (c >= 0x133 && c <= 0x137) || (c >= 0x14B && c <= 0x177))
    return c % 2 == 1 ? c - 1 : c;
  if ((c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E)) return c % 2 == 0 ? c - 1 : c;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if ((c >= 0x461 && c <= 0x481) || (c >= 0x48B && c <= 0x4BF) || (c >= 0x4D1 && c <= 0x52F))
    return c % 2 == 1 ? c - 1 : c;
  if (c == 0x4CF) return 0x4C0;
  if (c >= 0x4C2 && c <= 0x4CE) return c % 2 == 0 ? c - 1 : c;
  return c;
}

}  // namespace

bool get_string(std::u16string_view key, std::u16string_view name, std::u16string& out) {
  const std::u16string path = file_key(key);
  return !path.empty() && platform::settings_file().get_string(path, name, out);
}

bool get_number(std::u16string_view key, std::u16string_view name, uint32_t& out) {
  const std::u16string path = file_key(key);
  return !path.empty() && platform::settings_file().get_number(path, name, out);
}

bool set_string(std::u16string_view key, std::u16string_view name, std::u16string_view text) {
  const std::u16string path = file_key(key);
  return !path.empty() && platform::settings_file().set_string(path, name, text);
}

bool set_number(std::u16string_view key, std::u16string_view name, uint32_t value) {
  const std::u16string path = file_key(key);
  return !path.empty() && platform::settings_file().set_number(path, name, value);
}

std::u16string app_settings_key() {
  std::u16string key(kKaruKey);
  key.push_back(u'\\');
  key.append(kAppName);
  return key;
}

const std::u16string& module_file_name() {
  static const std::u16string name = [] {
    std::u16string path = platform::from_utf8(platform::executable_path());
    if (path.size() >= kMaxPath) fatal_stop(u"path is more then MAX_PATH long", u"get_app_path()");
    return path;
  }();
  return name;
}

const std::u16string& app_path() {
  static const std::u16string path = [] {
    const std::u16string& full = module_file_name();
    const size_t sep = last_separator(full);
    return sep == std::u16string::npos ? std::u16string() : full.substr(0, sep);
  }();
  return path;
}

const std::u16string& app_name() {
  static const std::u16string name = [] {
    const std::u16string& full = module_file_name();
    const size_t sep = last_separator(full);
    return sep == std::u16string::npos ? full : full.substr(sep + 1);
  }();
  return name;
}

std::u16string special_folder(SpecialFolder folder) {
  std::string path;
  switch (folder) {
    case SpecialFolder::personal:
      path = platform::pictures_folder();
      break;
    case SpecialFolder::windows:
      path = "/usr/bin";
      break;
    case SpecialFolder::startup:
      path = platform::config_folder();
      if (!path.empty()) path += "/autostart";
      break;
    case SpecialFolder::programs:
    case SpecialFolder::start_menu:
      path = platform::data_folder();
      if (!path.empty()) path += "/applications";
      break;
    case SpecialFolder::program_files:
      path = platform::install_prefix();
      break;
  }
  return platform::from_utf8(path);
}

std::u16string expand_path(std::u16string_view text) {
  std::u16string result;
  for (const Macro& macro : kMacros) {
    if (starts_with(text, macro.name)) {
      result = macro.value();
      text.remove_prefix(macro.name.size());
      break;
    }
  }
  result.reserve(result.size() + text.size());
  for (char16_t c : text) result.push_back(c == u'\\' ? u'/' : c);
  return result;
}

bool starts_with(std::u16string_view text, std::u16string_view prefix) {
  return text.starts_with(prefix);
}

std::u16string to_lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = lower_char(c);
  return out;
}

std::u16string to_upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = upper_char(c);
  return out;
}

std::u16string folder_of(std::u16string_view path) {
  const size_t sep = last_separator(path);
  return sep == std::u16string_view::npos ? std::u16string()
                                          : std::u16string(path.substr(0, sep + 1));
}

}  // namespace lv
