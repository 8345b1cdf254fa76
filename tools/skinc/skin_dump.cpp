#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "skin/skin_check.h"
#include "skinc/skin_compiler.h"

namespace lv::skinc {

using nlohmann::ordered_json;
using namespace skin_format;

namespace {

class Dumper {
 public:
  Dumper(const SkinImage& image, const SkinLayout& layout, const std::string& name)
      : m_image(image), m_layout(layout), m_prefix(from_utf8(name + "/")) {}

  ordered_json run() const {
    ordered_json nodes = ordered_json::object();
    for (const NamedNode& named : m_image.named_nodes(m_layout.header.root, m_layout.named_count))
      nodes[text(m_image.string_at(named.name))] = node(named.body);
    ordered_json root = ordered_json::object();
    root["nodes"] = std::move(nodes);
    return root;
  }

 private:
  static std::string text(const std::u16string& wide) { return to_utf8(wide); }

  std::u16string pool_string(uint64_t index) const {
    return index < m_layout.pool.size() ? m_image.string_at(m_layout.pool[index])
                                        : std::u16string();
  }

  ordered_json node(uint32_t body) const {
    ordered_json out = ordered_json::object();
    for (Section which : kSections) {
      uint32_t first = 0, count = 0;
      if (!m_image.section(body, which, first, count) || count == 0) continue;
      ordered_json values = ordered_json::object();
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = first + i * record_size(which);
        values[text(m_image.string_at(m_image.u16(at)))] = value(which, at);
      }
      out[std::string(section_name(which))] = std::move(values);
    }
    const uint32_t children = m_image.child_count(body);
    if (children > 0) {
      ordered_json list = ordered_json::array();
      for (uint32_t i = 0; i < children; ++i) list.push_back(node(*m_image.child(body, i)));
      out["children"] = std::move(list);
    }
    return out;
  }

  ordered_json value(Section which, uint32_t at) const {
    const SkinHeader& h = m_layout.header;
    switch (which) {
      case Section::integer:
        return m_image.i32(at + kValueOffset);
      case Section::font:
        return text(pool_string(uint64_t{h.picture_count} + m_image.u32(at + kValueOffset)));
      case Section::point:
        return ordered_json::array(
            {m_image.i16(at + kValueOffset), m_image.i16(at + kPointYOffset)});
      case Section::string:
        return text(pool_string(uint64_t{h.picture_count} + h.font_count +
                                m_image.u16(at + kStringIndexOffset)));
      case Section::picture:
        return picture(at);
      case Section::color: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", m_image.u8(at + kValueOffset),
                      m_image.u8(at + kValueOffset + 1), m_image.u8(at + kValueOffset + 2));
        return hex;
      }
    }
    return nullptr;
  }

  ordered_json picture(uint32_t at) const {
    std::u16string name = pool_string(m_image.u8(at + kPictureIndexOffset));
    if (name.starts_with(m_prefix)) name.erase(0, m_prefix.size());
    uint16_t p[8];
    for (uint32_t i = 0; i < 8; ++i) p[i] = m_image.u16(at + kPicturePointsOffset + 2 * i);
    ordered_json out = ordered_json::object();
    out["file"] = text(name);
    out["region"] = ordered_json::array({p[0], p[1], p[6], p[7]});
    out["inner"] = ordered_json::array({p[2], p[3], p[4], p[5]});
    const uint8_t flag = m_image.u8(at + kPictureFlagOffset);
    if (flag != 0) out["flag"] = flag;
    return out;
  }

  const SkinImage& m_image;
  const SkinLayout& m_layout;
  std::u16string m_prefix;
};

// Like ordered_json::dump(2), but a list of plain values (a point, a region)
// stays on one line.
void print(const ordered_json& value, int indent, std::string& out) {
  const std::string inner(size_t(indent) + 2, ' ');
  if (value.is_object() && !value.empty()) {
    out += "{\n";
    bool first = true;
    for (const auto& [key, item] : value.items()) {
      out += first ? "" : ",\n";
      first = false;
      out += inner + ordered_json(key).dump() + ": ";
      print(item, indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "}";
    return;
  }
  const bool plain = std::all_of(value.begin(), value.end(),
                                 [](const ordered_json& item) { return item.is_primitive(); });
  if (value.is_array() && !value.empty() && !plain) {
    out += "[\n";
    for (size_t i = 0; i < value.size(); ++i) {
      out += (i ? ",\n" : "") + inner;
      print(value[i], indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "]";
    return;
  }
  if (value.is_array()) {
    out += "[";
    for (size_t i = 0; i < value.size(); ++i) out += (i ? ", " : "") + value[i].dump();
    out += "]";
    return;
  }
  out += value.dump();
}

}  // namespace

bool dump_skin(std::span<const uint8_t> bytes, const std::string& name, std::string& text,
               std::string& error) {
  const SkinImage image(bytes);
  SkinLayout layout;
  std::string reason;
  if (!check_skin(image, layout, reason)) {
    error = "not a sound skin: " + reason;
    return false;
  }
  text.clear();
  print(Dumper(image, layout, name).run(), 0, text);
  text += "\n";
  return true;
}

}  // namespace lv::skinc
