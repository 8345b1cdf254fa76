#include "widgets/skin_values.h"

#include <charconv>
#include <cmath>

#include "base/input.h"
#include "skin/properties.h"

namespace lv {

std::u16string read_string(const Properties& properties, const SkinNode* node,
                           std::u16string_view key) {
  static const std::u16string kNone;
  return properties.get_string(node, key, kNone);
}

std::u16string translated(const Properties& properties, std::u16string_view text) {
  if (text.empty()) return {};
  return properties.language().lookup(text);
}

std::u16string read_text(const Properties& properties, const SkinNode* node,
                         std::u16string_view key) {
  return translated(properties, read_string(properties, node, key));
}

namespace {

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Skips a run of digits; answers how many there were.
size_t skip_digits(std::u16string_view text, size_t& at) {
  const size_t start = at;
  while (at < text.size() && is_digit(text[at])) ++at;
  return at - start;
}

}  // namespace

bool parse_decimal(std::u16string_view text, double& value) {
  size_t at = 0;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) ++at;
  size_t digits = skip_digits(text, at);
  if (at < text.size() && text[at] == u'.') {
    ++at;
    digits += skip_digits(text, at);
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
    ++at;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) ++at;
    if (skip_digits(text, at) == 0) return false;
  }
  if (at != text.size()) return false;

  // Only ASCII is left, so the narrowing is exact. from_chars takes no '+',
  // and the syntax above allows one only where dropping it changes nothing.
  std::string ascii;
  ascii.reserve(text.size());
  for (char16_t c : text)
    if (c != u'+') ascii += static_cast<char>(c);
  double parsed = 0.0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return false;
  if (!std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

int key_code_from_skin_name(std::u16string_view name) {
  if (name.empty() || name.size() > 32) return kKeyNone;
  std::string ascii;
  for (char16_t c : name) {
    if (c >= 0x80) return kKeyNone;
    ascii += static_cast<char>(c);
  }
  return key_code_by_name(ascii);
}

}  // namespace lv
