#include "base/key_value_file.h"

#include <string>

#include "base/file_util.h"
#include "base/log.h"

namespace lv {

namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

bool is_line_end(char16_t c) {
  return c == u'\r' || c == u'\n';
}

void parse_line(std::u16string_view line, KeyValueMap& out) {
  size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  const size_t key_begin = i;
  while (i < line.size() && !is_blank(line[i]) && line[i] != u'=') ++i;
  if (i == key_begin) return;
  std::u16string key(line.substr(key_begin, i - key_begin));
  if (i < line.size() && line[i] == u'=') {
    ++i;
  } else {
    while (i < line.size() && is_blank(line[i])) ++i;
  }
  out.insert_or_assign(std::move(key), std::u16string(line.substr(i)));
}

}  // namespace

std::u16string decode_key_value_bytes(std::string_view bytes) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    const size_t units = (bytes.size() - 2) / 2;
    text.resize(units);
    for (size_t u = 0; u < units; ++u) {
      const auto lo = static_cast<unsigned char>(bytes[2 + 2 * u]);
      const auto hi = static_cast<unsigned char>(bytes[3 + 2 * u]);
      text[u] = static_cast<char16_t>(lo | (hi << 8));
    }
    return text;
  }
  // Widened through unsigned char: bytes 0x80..0xFF are U+0080..U+00FF.
  text.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
  return text;
}

void parse_key_value_text(std::u16string_view text, KeyValueMap& out) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && !is_line_end(text[end])) ++end;
    parse_line(text.substr(begin, end - begin), out);
    begin = end + 1;
  }
}

bool read_key_value_file(std::u16string_view path, KeyValueMap& out) {
  std::string bytes;
  if (!read_whole_file(path, bytes, kMaxKeyValueFileBytes)) {
    log() << u"read_key_value_file failed " << path << u"\n";
    return false;
  }
  KeyValueMap table;
  parse_key_value_text(decode_key_value_bytes(bytes), table);
  out = std::move(table);
  return true;
}

}  // namespace lv
