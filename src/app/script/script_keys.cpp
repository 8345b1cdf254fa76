#include "app/script/script_keys.h"

#include "base/input.h"
#include "platform/sdl_keys.h"

namespace lv {

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int script_key_code(std::string_view name) {
  if (const int code = key_code_by_name(name)) return code;
  for (int code = 1; code < kKeyCount; ++code)
    if (same_ignoring_case(key_name(code), name)) return code;
  return kKeyNone;
}

int virtual_key_for_code(int code) {
  if (code <= kKeyNone || code >= kKeyCount) return 0;
  // Virtual keys are bytes; those outside the translation table give 0.
  for (int vk = 8; vk <= 255; ++vk)
    if (translate_virtual_key(vk) == code && platform::sdl_key_for_virtual_key(vk)) return vk;
  return 0;
}

}  // namespace lv
