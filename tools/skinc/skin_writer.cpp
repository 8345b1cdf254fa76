#include "skinc/skin_writer.h"

#include <limits>
#include <map>
#include <unordered_map>

#include "platform/text.h"

namespace lv::skinc {

using namespace skin_format;

namespace {

class ImageWriter {
 public:
  ImageWriter(const SkinSource& source, const SkinTables& tables)
      : m_source(source), m_tables(tables) {}

  std::string run() {
    collect_names();
    uint64_t at = kHeaderSize;
    at = place_names(at);
    const uint64_t pool = at;
    for (const auto* table : {&m_tables.pictures, &m_tables.fonts, &m_tables.strings})
      for (const std::u16string& text : *table) at += 2 * (text.size() + 1);
    at = (at + 3) & ~uint64_t{3};
    const int64_t root = place_nodes(at);
    if (m_end > std::numeric_limits<uint32_t>::max() - 1)
      throw CompileError(describe(m_source.file, "", "", "the skin would exceed 4 GiB"));

    m_bytes.assign(static_cast<size_t>(m_end), '\0');
    write_header(root, pool);
    for (const auto& [name, offset] : m_name_offsets) put_text(offset, name);
    at = pool;
    for (const auto* table : {&m_tables.pictures, &m_tables.fonts, &m_tables.strings})
      for (const std::u16string& text : *table) at = put_text(at, text);
    write_entries();
    return std::move(m_bytes);
  }

 private:
  struct Entry {
    const SourceNode* node;
    uint32_t offset;
  };

  void collect_keys(const SourceNode& node) {
    for (const auto& section : node.sections)
      for (const SourceValue& value : section)
        m_keys.try_emplace(value.key, FirstUse{&node, &value});
    for (const SourceNode& child : node.children) collect_keys(child);
  }

  void collect_names() {
    for (const auto& [name, node] : m_source.nodes) collect_keys(node);
  }

  // Key names first, in name order, so that as many as possible lie in the
  // 64 KiB the 16-bit key offsets reach; node names (32-bit offsets) after.
  uint64_t place_names(uint64_t at) {
    for (const auto& [key, first_use] : m_keys) {
      const uint64_t end = at + 2 * (key.size() + 1);
      if (end > kKeyNameLimit) {
        throw CompileError(describe(m_source.file, first_use.node->path, first_use.value->key_text,
                                    "the key names of the skin do not fit in the first 64 KiB"));
      }
      m_name_offsets.emplace(key, static_cast<uint32_t>(at));
      at = end;
    }
    for (const auto& [name, node] : m_source.nodes) {
      if (m_name_offsets.contains(name)) continue;
      m_name_offsets.emplace(name, static_cast<uint32_t>(at));
      at += 2 * (name.size() + 1);
    }
    return at;
  }

  uint32_t records_size(const SourceNode& node) const {
    uint32_t size = 0;
    for (Section s : kSections)
      size += record_size(s) * static_cast<uint32_t>(node.sections[size_t(s)].size());
    return size;
  }

  uint64_t place_body(const SourceNode& node, uint64_t at) {
    if (node.children.size() > 0xFFFF)
      throw CompileError(describe(m_source.file, node.path, "", "more than 65,535 children"));
    const uint64_t size =
        kBodyHeaderSize + kChildOffsetSize * node.children.size() + records_size(node);
    if (size > kMaxRecordsEnd)
      throw CompileError(describe(m_source.file, node.path, "",
                                  "the node's records end beyond 65,535 bytes of its body"));
    m_bodies[&node] = static_cast<uint32_t>(at);
    at += size;
    for (const SourceNode& child : node.children) at = place_body(child, at);
    return at;
  }

  // Entries in name order, each followed by its body and its children's;
  // answers the index of the tree's root entry, -1 when there are none.
  int64_t place_nodes(uint64_t at) {
    for (const auto& [name, node] : m_source.nodes) {
      m_entries.push_back({&node, static_cast<uint32_t>(at)});
      m_entry_names.push_back(&name);
      at = place_body(node, at + kEntrySize);
    }
    m_end = at;
    m_left.assign(m_entries.size(), -1);
    m_right.assign(m_entries.size(), -1);
    return link(0, static_cast<int64_t>(m_entries.size()));
  }

  int64_t link(int64_t lo, int64_t hi) {
    if (lo >= hi) return -1;
    const int64_t mid = lo + (hi - lo) / 2;
    m_left[mid] = link(lo, mid);
    m_right[mid] = link(mid + 1, hi);
    return mid;
  }

  uint32_t entry_offset(int64_t index) const {
    return index < 0 ? kNoEntry : m_entries[size_t(index)].offset;
  }

  void put16(uint64_t at, uint16_t v) {
    m_bytes[at] = static_cast<char>(v & 0xFF);
    m_bytes[at + 1] = static_cast<char>(v >> 8);
  }
  void put32(uint64_t at, uint32_t v) {
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
  }
  uint64_t put_text(uint64_t at, std::u16string_view text) {
    for (char16_t c : text) {
      put16(at, c);
      at += 2;
    }
    put16(at, 0);
    return at + 2;
  }

  void write_header(int64_t root, uint64_t pool) {
    for (size_t i = 0; i < kMagic.size(); ++i) put16(2 * i, kMagic[i]);
    put_text(kFreeBytesOffset, kSkinSignature);
    put32(kRootOffset, entry_offset(root));
    put32(kPictureCountOffset, static_cast<uint32_t>(m_tables.pictures.size()));
    put32(kFontCountOffset, static_cast<uint32_t>(m_tables.fonts.size()));
    put32(kStringPoolOffset, static_cast<uint32_t>(pool));
    put32(kStringCountOffset, static_cast<uint32_t>(m_tables.strings.size()));
  }

  void write_entries() {
    for (size_t i = 0; i < m_entries.size(); ++i) {
      const uint32_t at = m_entries[i].offset;
      put32(at + kEntryLeft, entry_offset(m_left[i]));
      put32(at + kEntryRight, entry_offset(m_right[i]));
      put32(at + kEntryName, m_name_offsets.at(*m_entry_names[i]));
      write_body(*m_entries[i].node);
    }
  }

  void write_body(const SourceNode& node) {
    const uint32_t body = m_bodies.at(&node);
    uint32_t at = kBodyHeaderSize + kChildOffsetSize * static_cast<uint32_t>(node.children.size());
    put16(body, static_cast<uint16_t>(at));
    for (Section s : kSections) {
      for (const SourceValue& value : node.sections[size_t(s)]) {
        write_record(s, value, body + at);
        at += record_size(s);
      }
      put16(body + 2 + 2 * uint32_t(s), static_cast<uint16_t>(at));
    }
    put16(body + kChildCountOffset, static_cast<uint16_t>(node.children.size()));
    for (size_t i = 0; i < node.children.size(); ++i) {
      put32(body + kBodyHeaderSize + kChildOffsetSize * i, m_bodies.at(&node.children[i]));
      write_body(node.children[i]);
    }
  }

  void write_record(Section s, const SourceValue& v, uint32_t at) {
    put16(at, static_cast<uint16_t>(m_name_offsets.at(v.key)));
    switch (s) {
      case Section::integer:
        put32(at + kValueOffset, static_cast<uint32_t>(v.integer));
        break;
      case Section::font:
        put32(at + kValueOffset, v.index);
        break;
      case Section::point:
        put16(at + kValueOffset, static_cast<uint16_t>(v.x));
        put16(at + kPointYOffset, static_cast<uint16_t>(v.y));
        break;
      case Section::string:
        put16(at + kStringIndexOffset, static_cast<uint16_t>(v.index));
        break;
      case Section::picture:
        for (size_t i = 0; i < v.points.size(); ++i)
          put16(at + kPicturePointsOffset + 2 * i, v.points[i]);
        m_bytes[at + kPictureIndexOffset] = static_cast<char>(v.index);
        m_bytes[at + kPictureFlagOffset] = static_cast<char>(v.picture.flag);
        break;
      case Section::color:
        m_bytes[at + kValueOffset] = static_cast<char>(v.red);
        m_bytes[at + kValueOffset + 1] = static_cast<char>(v.green);
        m_bytes[at + kValueOffset + 2] = static_cast<char>(v.blue);
        break;
    }
  }

  struct FirstUse {
    const SourceNode* node;
    const SourceValue* value;
  };

  const SkinSource& m_source;
  const SkinTables& m_tables;
  std::map<std::u16string, FirstUse> m_keys;
  std::map<std::u16string, uint32_t> m_name_offsets;
  std::unordered_map<const SourceNode*, uint32_t> m_bodies;
  std::vector<Entry> m_entries;
  std::vector<const std::u16string*> m_entry_names;
  std::vector<int64_t> m_left, m_right;
  uint64_t m_end = 0;
  std::string m_bytes;
};

}  // namespace

std::string write_skin_image(const SkinSource& source, const SkinTables& tables) {
  return ImageWriter(source, tables).run();
}

}  // namespace lv::skinc
