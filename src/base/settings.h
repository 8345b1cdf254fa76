#pragma once

// The settings store (the handheld's registry, kept in a REGEDIT4 text file)
// and the path macros.

#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

inline constexpr std::u16string_view kKaruKey = u"HKEY_CURRENT_USER\\Software\\KARU";
inline constexpr std::u16string_view kAppName = u"Lumiview";

// Key paths name their root first ("HKEY_CURRENT_USER\\Software\\KARU").
// A path without a known root fails every operation. Reading a value of the
// other kind fails and leaves the out value unchanged.
bool get_string(std::u16string_view key, std::u16string_view name, std::u16string& out);
bool get_number(std::u16string_view key, std::u16string_view name, uint32_t& out);
bool set_string(std::u16string_view key, std::u16string_view name, std::u16string_view text);
bool set_number(std::u16string_view key, std::u16string_view name, uint32_t value);

// "HKEY_CURRENT_USER\\Software\\KARU\\Lumiview": where Language and Skin live.
std::u16string app_settings_key();

// Expands a macro at the very start ("%app_path%", "%my_documents%", ...)
// and turns every separator into '/'.
std::u16string expand_path(std::u16string_view text);

// The executable's full path, its folder (no trailing '/') and its file name.
const std::u16string& module_file_name();
const std::u16string& app_path();
const std::u16string& app_name();

enum class SpecialFolder { personal, windows, startup, programs, start_menu, program_files };
std::u16string special_folder(SpecialFolder folder);  // "" when it cannot be told

bool starts_with(std::u16string_view text, std::u16string_view prefix);
std::u16string to_lower(std::u16string_view text);
std::u16string to_upper(std::u16string_view text);

// The folder of a path: the longest prefix ending in '/' or '\\' (separator
// included), or "" when there is none.
std::u16string folder_of(std::u16string_view path);

}  // namespace lv
