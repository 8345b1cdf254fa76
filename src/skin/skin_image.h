#pragma once

// A read-only view over the bytes of a skin file in which every read is
// checked against the image's length: a read that would leave the image
// answers 0, an empty result or "not found", never touches memory outside.
// The loader checks a whole skin with check_skin (skin_check.h) before using
// it; the lookups still go through this view, so a node handle from another
// image or a file the check let through cannot make them read astray.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "skin/skin_format.h"

namespace lv {

struct SkinHeader {
  uint32_t root = skin_format::kNoEntry;
  uint32_t picture_count = 0;
  uint32_t font_count = 0;
  uint32_t string_pool = 0;
  uint32_t string_count = 0;
};

// A record found in a node: its image offset.
struct SkinRecord {
  uint32_t offset = 0;
};

// One entry of the named-node tree.
struct NamedNode {
  uint32_t entry = 0;  // image offset of the NamedNodeEntry
  uint32_t name = 0;   // image offset of the name
  uint32_t body = 0;   // image offset of the SkinNode body
};

class SkinImage {
 public:
  SkinImage() = default;
  explicit SkinImage(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

  std::span<const uint8_t> bytes() const { return m_bytes; }
  uint64_t size() const { return m_bytes.size(); }
  bool contains(uint64_t offset, uint64_t length) const {
    return offset <= size() && length <= size() - offset;
  }

  // Little-endian fields; 0 when any byte lies outside the image.
  uint8_t u8(uint64_t offset) const;
  uint16_t u16(uint64_t offset) const;
  uint32_t u32(uint64_t offset) const;
  int16_t i16(uint64_t offset) const { return static_cast<int16_t>(u16(offset)); }
  int32_t i32(uint64_t offset) const { return static_cast<int32_t>(u32(offset)); }

  // False when the image is shorter than the header or the magic differs.
  bool read_header(SkinHeader& out) const;

  // Code units before the NUL of the string at offset; none when the image
  // ends first.
  std::optional<uint32_t> string_length(uint64_t offset) const;
  // The string at offset, up to its NUL or the end of the image.
  std::u16string string_at(uint64_t offset) const;
  // The stored name at offset against key in name order (unsigned code
  // units, a prefix first): negative, 0 or positive. A name that runs to the
  // end of the image ends there.
  int compare_name(uint64_t offset, std::u16string_view key) const;

  // The records of one section of the body at `body`: the image offset of the
  // first and their count. False (and nothing) when the body's section
  // bounds are out of order, not whole records, or leave the image.
  bool section(uint32_t body, skin_format::Section which, uint32_t& first, uint32_t& count) const;
  // Binary search of the section for the key; none when absent.
  std::optional<SkinRecord> find_record(uint32_t body, skin_format::Section which,
                                        std::u16string_view key) const;

  // Children of a body: their count (0 when the offsets array does not fit
  // in the image) and the image offset of the i-th child body.
  uint32_t child_count(uint32_t body) const;
  std::optional<uint32_t> child(uint32_t body, uint32_t index) const;

  // Searches the named-node tree from `root`, visiting at most max_steps
  // entries; answers the body of the entry with that name.
  std::optional<uint32_t> find_named(uint32_t root, std::u16string_view name,
                                     uint32_t max_steps) const;

  // Every entry of the named-node tree in tree order (left, entry, right),
  // at most max_entries of them; entries that lie outside the image end
  // their branch.
  std::vector<NamedNode> named_nodes(uint32_t root, uint32_t max_entries) const;

 private:
  std::span<const uint8_t> m_bytes;
};

}  // namespace lv
