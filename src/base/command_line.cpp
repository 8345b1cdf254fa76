#include "base/command_line.h"

#include "base/settings.h"
#include "platform/text.h"

namespace lv {

namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

bool needs_quotes(std::u16string_view argument) {
  return argument.empty() || argument.find_first_of(u" \t\"") != std::u16string_view::npos;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// RFC 3986 percent decoding of a URI's path; an escape that is not two hex
// digits stays as written. False for a NUL, which no path may hold.
bool percent_decode(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
    const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
    if (low < 0) {
      out += text[i];
      continue;
    }
    const char byte = static_cast<char>(high * 16 + low);
    if (byte == '\0') return false;
    out += byte;
    i += 2;
  }
  return true;
}

// The path of a "file:" URI of this machine (RFC 8089: "file:///p",
// "file://localhost/p", "file:/p"); "" for anything else.
std::u16string file_uri_path(std::u16string_view argument) {
  const std::string uri = to_utf8(argument);
  if (uri.size() < 5 || to_lower(argument.substr(0, 5)) != u"file:") return {};
  std::string_view rest = std::string_view(uri).substr(5);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return {};
    const std::string host(rest.substr(0, slash));
    if (!host.empty() && to_lower(from_utf8(host)) != u"localhost") return {};
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with('/')) return {};
  // A query or a fragment is no part of the file's name.
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string path;
  if (!percent_decode(rest, path)) return {};
  const std::u16string decoded = from_utf8(path);
  if (to_utf8(decoded) != path) return {};  // not UTF-8: no name the program can show
  return decoded;
}

// "scheme://...": a URI, never a relative path (RFC 3986 scheme characters).
bool has_uri_scheme(std::u16string_view argument) {
  const size_t colon = argument.find(u"://");
  if (colon == 0 || colon == std::u16string_view::npos) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char16_t c = argument[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return true;
}

}  // namespace

std::u16string join_command_line(const std::vector<std::u16string>& arguments) {
  std::u16string line;
  for (const std::u16string& argument : arguments) {
    if (!line.empty()) line += u' ';
    if (!needs_quotes(argument)) {
      line += argument;
      continue;
    }
    line += u'"';
    for (char16_t c : argument) {
      if (c == u'"' || c == u'\\') line += u'\\';
      line += c;
    }
    line += u'"';
  }
  return line;
}

std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) break;
    std::u16string argument;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
      const char16_t c = line[i];
      if (c == u'"') {
        quoted = !quoted;
      } else if (quoted && c == u'\\' && i + 1 < line.size() &&
                 (line[i + 1] == u'"' || line[i + 1] == u'\\')) {
        argument += line[++i];
      } else {
        argument += c;
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::u16string absolute_argument(std::u16string_view argument, std::u16string_view working_folder) {
  if (argument.empty()) return {};
  if (std::u16string path = file_uri_path(argument); !path.empty()) return path;
  // Without a working folder a relative path is best left to this process,
  // whose folder it is.
  if (argument.front() == u'/' || has_uri_scheme(argument) ||
      to_lower(argument.substr(0, 5)) == u"file:" || working_folder.empty())
    return std::u16string(argument);
  std::u16string path(working_folder);
  if (path.back() != u'/') path += u'/';
  path += argument;
  return path;
}

}  // namespace lv
