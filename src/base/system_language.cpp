#include "base/system_language.h"

#include <array>
#include <cstdlib>

namespace lv {

namespace {

struct SystemLanguage {
  uint32_t id;
  std::string_view code;
  std::u16string_view name;
};

// Primary language identifiers as the Windows LANG_* constants number them;
// 0x30, 0x31, 0x33, 0x3D, 0x55 and 0x5C have no constant.
constexpr std::array kLanguages = {
    SystemLanguage{0x01, "ar", u"ARABIC"},     SystemLanguage{0x02, "bg", u"BULGARIAN"},
    SystemLanguage{0x03, "ca", u"CATALAN"},    SystemLanguage{0x04, "zh", u"CHINESE"},
    SystemLanguage{0x05, "cs", u"CZECH"},      SystemLanguage{0x06, "da", u"DANISH"},
    SystemLanguage{0x07, "de", u"GERMAN"},     SystemLanguage{0x08, "el", u"GREEK"},
    SystemLanguage{0x09, "en", u"ENGLISH"},    SystemLanguage{0x0A, "es", u"SPANISH"},
    SystemLanguage{0x0B, "fi", u"FINNISH"},    SystemLanguage{0x0C, "fr", u"FRENCH"},
    SystemLanguage{0x0D, "he", u"HEBREW"},     SystemLanguage{0x0E, "hu", u"HUNGARIAN"},
    SystemLanguage{0x0F, "is", u"ICELANDIC"},  SystemLanguage{0x10, "it", u"ITALIAN"},
    SystemLanguage{0x11, "ja", u"JAPANESE"},   SystemLanguage{0x12, "ko", u"KOREAN"},
    SystemLanguage{0x13, "nl", u"DUTCH"},      SystemLanguage{0x14, "nb", u"NORWEGIAN"},
    SystemLanguage{0x15, "pl", u"POLISH"},     SystemLanguage{0x16, "pt", u"PORTUGUESE"},
    SystemLanguage{0x17, "rm", u"ROMANSH"},    SystemLanguage{0x18, "ro", u"ROMANIAN"},
    SystemLanguage{0x19, "ru", u"RUSSIAN"},    SystemLanguage{0x1A, "hr", u"CROATIAN"},
    SystemLanguage{0x1B, "sk", u"SLOVAK"},     SystemLanguage{0x1C, "sq", u"ALBANIAN"},
    SystemLanguage{0x1D, "sv", u"SWEDISH"},    SystemLanguage{0x1E, "th", u"THAI"},
    SystemLanguage{0x1F, "tr", u"TURKISH"},    SystemLanguage{0x20, "ur", u"URDU"},
    SystemLanguage{0x21, "id", u"INDONESIAN"}, SystemLanguage{0x22, "uk", u"UKRAINIAN"},
    SystemLanguage{0x23, "be", u"BELARUSIAN"}, SystemLanguage{0x24, "sl", u"SLOVENIAN"},
    SystemLanguage{0x25, "et", u"ESTONIAN"},   SystemLanguage{0x26, "lv", u"LATVIAN"},
    SystemLanguage{0x27, "lt", u"LITHUANIAN"}, SystemLanguage{0x28, "tg", u"TAJIK"},
    SystemLanguage{0x29, "fa", u"FARSI"},      SystemLanguage{0x2A, "vi", u"VIETNAMESE"},
    SystemLanguage{0x2B, "hy", u"ARMENIAN"},   SystemLanguage{0x2C, "az", u"AZERI"},
    SystemLanguage{0x2D, "eu", u"BASQUE"},     SystemLanguage{0x2E, "hsb", u"UPPER_SORBIAN"},
    SystemLanguage{0x2F, "mk", u"MACEDONIAN"}, SystemLanguage{0x32, "tn", u"TSWANA"},
    SystemLanguage{0x34, "xh", u"XHOSA"},      SystemLanguage{0x35, "zu", u"ZULU"},
    SystemLanguage{0x36, "af", u"AFRIKAANS"},  SystemLanguage{0x37, "ka", u"GEORGIAN"},
    SystemLanguage{0x38, "fo", u"FAEROESE"},   SystemLanguage{0x39, "hi", u"HINDI"},
    SystemLanguage{0x3A, "mt", u"MALTESE"},    SystemLanguage{0x3B, "se", u"SAMI"},
    SystemLanguage{0x3C, "ga", u"IRISH"},      SystemLanguage{0x3E, "ms", u"MALAY"},
    SystemLanguage{0x3F, "kk", u"KAZAK"},      SystemLanguage{0x40, "ky", u"KYRGYZ"},
    SystemLanguage{0x41, "sw", u"SWAHILI"},    SystemLanguage{0x42, "tk", u"TURKMEN"},
    SystemLanguage{0x43, "uz", u"UZBEK"},      SystemLanguage{0x44, "tt", u"TATAR"},
    SystemLanguage{0x45, "bn", u"BENGALI"},    SystemLanguage{0x46, "pa", u"PUNJABI"},
    SystemLanguage{0x47, "gu", u"GUJARATI"},   SystemLanguage{0x48, "or", u"ORIYA"},
    SystemLanguage{0x49, "ta", u"TAMIL"},      SystemLanguage{0x4A, "te", u"TELUGU"},
    SystemLanguage{0x4B, "kn", u"KANNADA"},    SystemLanguage{0x4C, "ml", u"MALAYALAM"},
    SystemLanguage{0x4D, "as", u"ASSAMESE"},   SystemLanguage{0x4E, "mr", u"MARATHI"},
    SystemLanguage{0x4F, "sa", u"SANSKRIT"},   SystemLanguage{0x50, "mn", u"MONGOLIAN"},
    SystemLanguage{0x51, "bo", u"TIBETAN"},    SystemLanguage{0x52, "cy", u"WELSH"},
    SystemLanguage{0x53, "km", u"KHMER"},      SystemLanguage{0x54, "lo", u"LAO"},
    SystemLanguage{0x56, "gl", u"GALICIAN"},   SystemLanguage{0x57, "kok", u"KONKANI"},
    SystemLanguage{0x58, "mni", u"MANIPURI"},  SystemLanguage{0x59, "sd", u"SINDHI"},
    SystemLanguage{0x5A, "syr", u"SYRIAC"},    SystemLanguage{0x5B, "si", u"SINHALESE"},
    SystemLanguage{0x5D, "iu", u"INUKTITUT"},  SystemLanguage{0x5E, "am", u"AMHARIC"},
    SystemLanguage{0x5F, "tzm", u"TAMAZIGHT"}, SystemLanguage{0x60, "ks", u"KASHMIRI"},
    SystemLanguage{0x61, "ne", u"NEPALI"},
};

// Further codes that Windows files under an identifier of the table.
struct CodeAlias {
  std::string_view code;
  uint32_t id;
};
constexpr std::array kAliases = {
    CodeAlias{"no", 0x14}, CodeAlias{"nn", 0x14}, CodeAlias{"sr", 0x1A},  CodeAlias{"bs", 0x1A},
    CodeAlias{"iw", 0x0D}, CodeAlias{"in", 0x21}, CodeAlias{"dsb", 0x2E},
};

const SystemLanguage* find_entry(uint32_t primary_id) {
  if (primary_id == 0 || primary_id >= kSystemLanguageLimit) return nullptr;
  for (const auto& entry : kLanguages)
    if (entry.id == primary_id) return &entry;
  return nullptr;
}

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::u16string_view system_language_name(uint32_t primary_id) {
  const SystemLanguage* entry = find_entry(primary_id);
  return entry ? entry->name : std::u16string_view();
}

std::string_view system_language_code(uint32_t primary_id) {
  const SystemLanguage* entry = find_entry(primary_id);
  return entry ? entry->code : std::string_view();
}

uint32_t primary_language_of_code(std::string_view code) {
  if (code.size() < 2 || code.size() > 3) return 0;
  char lower[3] = {};
  for (size_t i = 0; i < code.size(); ++i) {
    if (!is_ascii_letter(code[i])) return 0;
    lower[i] = ascii_lower(code[i]);
  }
  const std::string_view key(lower, code.size());
  for (const auto& entry : kLanguages)
    if (entry.code == key) return entry.id;
  for (const auto& alias : kAliases)
    if (alias.code == key) return alias.id;
  return 0;
}

uint32_t primary_language_of_locale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  const size_t end = locale.find_first_of("_.@");
  return primary_language_of_code(locale.substr(0, end));
}

std::u16string user_language_name() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    // The first one set decides, as for every other program of the session.
    return std::u16string(system_language_name(primary_language_of_locale(value)));
  }
  return {};
}

}  // namespace lv
