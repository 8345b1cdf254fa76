#pragma once

// The key-value text file shared by the language files and folders.ini.
//
// Encoding: a leading FF FE makes the rest UTF-16LE (an odd last byte is
// dropped); otherwise each byte is one Latin-1 character. Lines end at CR or
// LF. On a line, leading blanks are skipped and the key runs to the first
// blank or '='. After '=' the value starts at once (blanks kept); after a
// blank the separating blanks are skipped. The value runs to the end of the
// line. Lines without a key are ignored, a repeated key keeps its last value,
// and there are no comments or escapes.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace lv {

// Ordered by plain comparison of UTF-16 code units; transparent, so lookups
// take a string view without building a string.
using KeyValueMap = std::map<std::u16string, std::u16string, std::less<>>;

// Larger files are refused rather than read: no language file or folder list
// comes near this.
inline constexpr size_t kMaxKeyValueFileBytes = size_t{16} << 20;

// The file's bytes as text, by the encoding rule above.
std::u16string decode_key_value_bytes(std::string_view bytes);

// Adds the lines of the text to the map, replacing values of keys present.
void parse_key_value_text(std::u16string_view text, KeyValueMap& out);

// Reads the file (path macros expanded) into a fresh map that replaces out.
// False, with out untouched, when the file cannot be opened or read or is
// larger than kMaxKeyValueFileBytes. A file without a single key is a success.
bool read_key_value_file(std::u16string_view path, KeyValueMap& out);

}  // namespace lv
