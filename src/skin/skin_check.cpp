#include "skin/skin_check.h"

namespace lv {

using namespace skin_format;

namespace {

class Checker {
 public:
  Checker(const SkinImage& image, SkinLayout& layout, std::string& reason)
      : m_image(image), m_layout(layout), m_reason(reason) {}

  bool run() {
    if (!m_image.read_header(m_layout.header)) return fail("not a skin file");
    mark_terminated_strings();
    return check_pool() && check_nodes();
  }

 private:
  struct Pending {
    uint32_t body;
    uint32_t depth;
  };

  bool fail(const char* why) {
    m_reason = why;
    return false;
  }

  // m_terminated[o]: a NUL unit follows o (at o, o + 2, ...) inside the image,
  // so the string at o ends. One backward pass makes every later question O(1)
  // however many names share or overlap each other.
  void mark_terminated_strings() {
    const uint64_t size = m_image.size();
    m_terminated.assign(size, false);
    for (uint64_t o = size; o-- > 0;) {
      if (!m_image.contains(o, 2)) continue;
      m_terminated[o] = m_image.u16(o) == 0 || (o + 2 < size && m_terminated[o + 2]);
    }
  }

  bool terminated(uint64_t offset) const {
    return offset < m_terminated.size() && m_terminated[offset];
  }

  bool check_pool() {
    const SkinHeader& h = m_layout.header;
    const uint64_t total = uint64_t{h.picture_count} + h.font_count + h.string_count;
    const uint64_t size = m_image.size();
    if (h.string_pool > size) return fail("string pool starts past the end");
    // Every string takes at least its NUL: the counts cannot exceed that.
    if (total > (size - h.string_pool) / 2) return fail("string pool runs past the end");
    m_layout.pool.clear();
    m_layout.pool.reserve(static_cast<size_t>(total));
    uint64_t at = h.string_pool;
    for (uint64_t i = 0; i < total; ++i) {
      const std::optional<uint32_t> length = m_image.string_length(at);
      if (!length) return fail("string pool runs past the end");
      m_layout.pool.push_back(static_cast<uint32_t>(at));
      at += 2 * (uint64_t{*length} + 1);
    }
    return true;
  }

  bool check_nodes() {
    const uint64_t size = m_image.size();
    m_seen_entry.assign(size, false);
    m_seen_body.assign(size, false);
    std::vector<uint32_t> entries;
    if (m_layout.header.root != kNoEntry) entries.push_back(m_layout.header.root);
    std::vector<Pending> bodies;
    while (!entries.empty()) {
      const uint32_t entry = entries.back();
      entries.pop_back();
      if (!m_image.contains(entry, kEntrySize + kBodyHeaderSize))
        return fail("named node lies past the end");
      if (m_seen_entry[entry]) return fail("named-node tree has a loop");
      m_seen_entry[entry] = true;
      ++m_layout.named_count;
      if (!terminated(m_image.u32(uint64_t{entry} + kEntryName)))
        return fail("node name runs past the end");
      bodies.push_back({entry + kEntrySize, 0});
      for (uint32_t side : {kEntryLeft, kEntryRight}) {
        const uint32_t next = m_image.u32(uint64_t{entry} + side);
        if (next != kNoEntry) entries.push_back(next);
      }
    }
    while (!bodies.empty()) {
      const Pending node = bodies.back();
      bodies.pop_back();
      if (!check_body(node, bodies)) return false;
    }
    return true;
  }

  bool check_body(const Pending& node, std::vector<Pending>& bodies) {
    const uint32_t body = node.body;
    if (!m_image.contains(body, kBodyHeaderSize)) return fail("node lies past the end");
    if (m_seen_body[body]) return fail("node is reached twice (a cycle or a shared node)");
    m_seen_body[body] = true;
    ++m_layout.node_count;

    const uint32_t children = m_image.u16(uint64_t{body} + kChildCountOffset);
    uint32_t bounds[kSectionCount + 1];
    for (int i = 0; i <= kSectionCount; ++i) bounds[i] = m_image.u16(uint64_t{body} + 2 * i);
    if (bounds[0] < kBodyHeaderSize + children * kChildOffsetSize)
      return fail("node records overlap its child offsets");
    for (int i = 0; i < kSectionCount; ++i) {
      if (bounds[i + 1] < bounds[i] || (bounds[i + 1] - bounds[i]) % kRecordSizes[i] != 0)
        return fail("node sections are out of order");
    }
    if (!m_image.contains(body, bounds[kSectionCount]))
      return fail("node records run past the end");
    // Legitimate nodes never share bytes, so all of them together claim at
    // most the image; a crafted file of overlapping nodes cannot make the
    // check quadratic.
    m_claimed += bounds[kSectionCount];
    if (m_claimed > m_image.size()) return fail("nodes overlap");

    for (Section which : kSections) {
      uint32_t first = 0, count = 0;
      m_image.section(body, which, first, count);
      for (uint32_t i = 0; i < count; ++i)
        if (!check_record(which, first + i * record_size(which))) return false;
    }
    if (children > 0 && node.depth + 1 > kMaxNodeDepth) return fail("nodes nest too deep");
    for (uint32_t i = 0; i < children; ++i) {
      const uint32_t child =
          m_image.u32(uint64_t{body} + kBodyHeaderSize + uint64_t{i} * kChildOffsetSize);
      bodies.push_back({child, node.depth + 1});
    }
    return true;
  }

  bool check_record(Section which, uint32_t at) {
    if (!terminated(m_image.u16(at))) return fail("key name runs past the end");
    const SkinHeader& h = m_layout.header;
    switch (which) {
      case Section::font: {
        const int32_t index = m_image.i32(uint64_t{at} + kValueOffset);
        if (index < 0 || static_cast<uint32_t>(index) >= h.font_count)
          return fail("font index out of range");
        break;
      }
      case Section::string:
        if (m_image.u16(uint64_t{at} + kStringIndexOffset) >= h.string_count)
          return fail("string index out of range");
        break;
      case Section::picture:
        if (m_image.u8(uint64_t{at} + kPictureIndexOffset) >= h.picture_count)
          return fail("picture index out of range");
        break;
      default:
        break;
    }
    return true;
  }

  const SkinImage& m_image;
  SkinLayout& m_layout;
  std::string& m_reason;
  std::vector<bool> m_terminated;
  std::vector<bool> m_seen_entry;
  std::vector<bool> m_seen_body;
  uint64_t m_claimed = 0;
};

}  // namespace

bool check_skin(const SkinImage& image, SkinLayout& layout, std::string& reason) {
  layout = SkinLayout{};
  reason.clear();
  return Checker(image, layout, reason).run();
}

}  // namespace lv
