#include "skinc/skin_source.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "skin/skin_check.h"

namespace lv::skinc {

using nlohmann::json;
using skin_format::kSectionCount;
using skin_format::Section;

std::string describe(std::string_view file, std::string_view node_path, std::string_view key,
                     std::string_view message) {
  std::string text(file);
  if (!node_path.empty()) text += ": node \"" + std::string(node_path) + "\"";
  if (!key.empty()) text += ": key \"" + std::string(key) + "\"";
  text += ": ";
  text += message;
  return text;
}

namespace {

constexpr std::string_view kChildren = "children";

std::optional<Section> section_named(std::string_view name) {
  for (Section s : skin_format::kSections)
    if (skin_format::section_name(s) == name) return s;
  return std::nullopt;
}

// Finds keys that occur twice in one JSON object while the text is parsed:
// the parser itself keeps only the last one, silently.
class DuplicateFinder {
 public:
  explicit DuplicateFinder(const std::string& file) : m_file(file) {}

  bool on_event(json::parse_event_t event, const json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        count_element();
        m_frames.push_back({event == json::parse_event_t::array_start, -1, {}, {}});
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        if (!m_frames.empty()) m_frames.pop_back();
        break;
      case json::parse_event_t::key: {
        Frame& frame = m_frames.back();
        frame.key = parsed.get<std::string>();
        if (!frame.keys.insert(frame.key).second && m_error.empty()) m_error = duplicate_message();
        break;
      }
      case json::parse_event_t::value:
        count_element();
        break;
    }
    return true;
  }

  const std::string& error() const { return m_error; }

 private:
  struct Frame {
    bool array;
    int64_t index;
    std::set<std::string> keys;
    std::string key;
  };

  void count_element() {
    if (!m_frames.empty() && m_frames.back().array) ++m_frames.back().index;
  }

  // The path of the object holding the duplicate, as the compiler names
  // nodes: "nodes/<name>/children/<i>/..." becomes "<name>/children/<i>".
  std::string duplicate_message() const {
    std::vector<std::string> parts;
    for (size_t i = 0; i + 1 < m_frames.size(); ++i)
      parts.push_back(m_frames[i].array ? std::to_string(m_frames[i].index) : m_frames[i].key);
    std::string where;
    if (!parts.empty() && section_named(parts.back())) {
      where = " in the " + parts.back() + " section";
      parts.pop_back();
    }
    std::string path;
    for (size_t i = parts.empty() || parts.front() != "nodes" ? 0 : 1; i < parts.size(); ++i)
      path += (path.empty() ? "" : "/") + parts[i];
    return describe(m_file, path, m_frames.back().key, "duplicate key" + where);
  }

  const std::string& m_file;
  std::vector<Frame> m_frames;
  std::string m_error;
};

class SourceReader {
 public:
  explicit SourceReader(const std::string& file) : m_file(file) {}

  SkinSource read(const json& root) {
    SkinSource source;
    source.file = m_file;
    if (!root.is_object()) fail("", "", "the source must be a JSON object");
    for (const auto& [key, value] : root.items()) {
      if (key != "nodes") fail("", key, "unknown top-level key (expected \"nodes\")");
    }
    const auto nodes = root.find("nodes");
    if (nodes == root.end()) return source;
    if (!nodes->is_object()) fail("", "nodes", "expected an object of named nodes");
    for (const auto& [name, body] : nodes->items()) {
      std::u16string wide = name_text(name, "", name);
      source.nodes.emplace(std::move(wide), read_node(body, name));
    }
    return source;
  }

 private:
  [[noreturn]] void fail(std::string_view path, std::string_view key, std::string_view why) const {
    throw CompileError(describe(m_file, path, key, why));
  }

  // Names and texts are NUL-terminated in the skin, so they cannot hold NUL.
  std::u16string name_text(const std::string& text, std::string_view path,
                           std::string_view key) const {
    std::u16string wide = from_utf8(text);
    if (wide.find(u'\0') != std::u16string::npos) fail(path, key, "text may not contain NUL");
    return wide;
  }

  SourceNode read_node(const json& body, const std::string& path, uint32_t depth = 0) const {
    SourceNode node;
    node.path = path;
    if (!body.is_object()) fail(path, "", "a node must be a JSON object");
    // The loader refuses deeper skins: elements are built recursively.
    if (depth > kMaxNodeDepth)
      fail(path, "", "children nest deeper than " + std::to_string(kMaxNodeDepth) + " levels");
    for (const auto& [kind, values] : body.items()) {
      if (kind == kChildren) {
        if (!values.is_array()) fail(path, kind, "expected an array of child nodes");
        for (size_t i = 0; i < values.size(); ++i)
          node.children.push_back(
              read_node(values[i], path + "/children/" + std::to_string(i), depth + 1));
        continue;
      }
      const std::optional<Section> section = section_named(kind);
      if (!section)
        fail(path, kind,
             "unknown value kind (expected integer, font, point, string, picture, color or "
             "children)");
      if (!values.is_object()) fail(path, kind, "expected an object of keys and values");
      auto& out = node.sections[static_cast<size_t>(*section)];
      for (const auto& [key, value] : values.items())
        out.push_back(read_value(*section, key, value, path));
      std::sort(out.begin(), out.end(),
                [](const SourceValue& a, const SourceValue& b) { return a.key < b.key; });
    }
    return node;
  }

  SourceValue read_value(Section section, const std::string& key, const json& value,
                         const std::string& path) const {
    SourceValue out;
    out.key = name_text(key, path, key);
    out.key_text = key;
    switch (section) {
      case Section::integer:
        out.integer = static_cast<int32_t>(integer(value, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max(), path, key,
                                                   "an integer"));
        break;
      case Section::font:
      case Section::string:
        if (!value.is_string()) fail(path, key, "expected a text");
        out.text = name_text(value.get<std::string>(), path, key);
        break;
      case Section::point: {
        if (!value.is_array() || value.size() != 2) fail(path, key, "expected a point [x, y]");
        out.x = static_cast<int16_t>(integer(value[0], -32768, 32767, path, key, "a 16-bit x"));
        out.y = static_cast<int16_t>(integer(value[1], -32768, 32767, path, key, "a 16-bit y"));
        break;
      }
      case Section::color:
        read_color(value, path, key, out);
        break;
      case Section::picture:
        out.picture = read_picture(value, path, key);
        break;
    }
    return out;
  }

  int64_t integer(const json& value, int64_t low, int64_t high, std::string_view path,
                  std::string_view key, std::string_view what) const {
    const std::string expected = "expected " + std::string(what) + " from " + std::to_string(low) +
                                 " to " + std::to_string(high);
    if (value.is_number_unsigned()) {
      const uint64_t v = value.get<uint64_t>();
      if (v > static_cast<uint64_t>(high)) fail(path, key, expected);
      return static_cast<int64_t>(v);
    }
    if (!value.is_number_integer()) fail(path, key, expected);
    const int64_t v = value.get<int64_t>();
    if (v < low || v > high) fail(path, key, expected);
    return v;
  }

  void read_color(const json& value, std::string_view path, std::string_view key,
                  SourceValue& out) const {
    constexpr std::string_view kExpected = "expected a colour \"#rrggbb\" or [red, green, blue]";
    if (value.is_array()) {
      if (value.size() != 3) fail(path, key, kExpected);
      out.red = static_cast<uint8_t>(integer(value[0], 0, 255, path, key, "a red byte"));
      out.green = static_cast<uint8_t>(integer(value[1], 0, 255, path, key, "a green byte"));
      out.blue = static_cast<uint8_t>(integer(value[2], 0, 255, path, key, "a blue byte"));
      return;
    }
    if (!value.is_string()) fail(path, key, kExpected);
    const std::string text = value.get<std::string>();
    if (text.size() != 7 || text[0] != '#' ||
        !std::all_of(text.begin() + 1, text.end(),
                     [](char c) { return std::isxdigit(uint8_t(c)); }))
      fail(path, key, kExpected);
    const unsigned long rgb = std::stoul(text.substr(1), nullptr, 16);
    out.red = static_cast<uint8_t>(rgb >> 16);
    out.green = static_cast<uint8_t>(rgb >> 8);
    out.blue = static_cast<uint8_t>(rgb);
  }

  Box box(const json& value, std::string_view path, std::string_view key,
          std::string_view what) const {
    const std::string expected = "expected " + std::string(what) + " [left, top, right, bottom]";
    if (!value.is_array() || value.size() != 4) fail(path, key, expected);
    Box out{};
    for (size_t i = 0; i < 4; ++i) out[i] = integer(value[i], 0, 65535, path, key, "a coordinate");
    return out;
  }

  PictureSource read_picture(const json& value, std::string_view path, std::string_view key) const {
    PictureSource out;
    if (value.is_string()) {
      out.file = value.get<std::string>();
      return out;
    }
    if (!value.is_object()) fail(path, key, "expected a file name or {\"file\": ...}");
    for (const auto& [field, item] : value.items()) {
      if (field == "file") {
        if (!item.is_string()) fail(path, key, "\"file\" must be a text");
        out.file = item.get<std::string>();
      } else if (field == "region") {
        out.region = box(item, path, key, "a region");
      } else if (field == "inner") {
        out.inner = box(item, path, key, "an inner rectangle");
      } else if (field == "flag") {
        out.flag = item.is_boolean()
                       ? uint8_t{item.get<bool>()}
                       : static_cast<uint8_t>(integer(item, 0, 255, path, key, "a flag"));
      } else {
        fail(path, key, "unknown picture field \"" + field + "\"");
      }
    }
    if (out.file.empty()) fail(path, key, "a picture needs a \"file\"");
    if (out.inner && !out.region) fail(path, key, "an inner rectangle needs a region");
    return out;
  }

  const std::string& m_file;
};

}  // namespace

SkinSource parse_skin_source(std::string_view text, const std::string& file) {
  DuplicateFinder duplicates(file);
  json root;
  try {
    root = json::parse(
        text,
        [&](int, json::parse_event_t event, json& parsed) {
          return duplicates.on_event(event, parsed);
        },
        /*allow_exceptions=*/true, /*ignore_comments=*/true);
  } catch (const json::parse_error& e) {
    throw CompileError(describe(file, "", "", std::string("syntax error: ") + e.what()));
  }
  if (!duplicates.error().empty()) throw CompileError(duplicates.error());
  return SourceReader(file).read(root);
}

}  // namespace lv::skinc
