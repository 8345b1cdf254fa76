#pragma once

// The system-language table: the handheld's primary language identifiers
// (Windows numbering, 1 to 97) with their ISO 639 codes and upper-case
// English names, which double as the default language file names.

#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

// Identifiers from this one up have no entry.
inline constexpr uint32_t kSystemLanguageLimit = 98;

// "GERMAN" for 7; "" for 0, for identifiers without a language and for
// kSystemLanguageLimit and above.
std::u16string_view system_language_name(uint32_t primary_id);

// The ISO 639 code of the identifier: two letters where ISO 639-1 has one
// ("de"), else three ("kok"); "" when there is no entry.
std::string_view system_language_code(uint32_t primary_id);

// The primary identifier of an ISO 639 code, ignoring case ("de", "DE",
// "nb" and "no" give 0x14); 0 when unknown.
uint32_t primary_language_of_code(std::string_view code);

// The primary identifier of a POSIX locale name ("de_DE.UTF-8", "pt_BR",
// "sr@latin"); 0 for "C", "POSIX" and anything unknown.
uint32_t primary_language_of_locale(std::string_view locale);

// The user's language as a language file name: the first non-empty of
// LC_ALL, LC_MESSAGES and LANG, mapped through the table. "" when none names
// a known language.
std::u16string user_language_name();

}  // namespace lv
