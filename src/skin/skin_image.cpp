#include "skin/skin_image.h"

#include <algorithm>

namespace lv {

using namespace skin_format;

uint8_t SkinImage::u8(uint64_t offset) const {
  return contains(offset, 1) ? m_bytes[offset] : 0;
}

uint16_t SkinImage::u16(uint64_t offset) const {
  if (!contains(offset, 2)) return 0;
  return static_cast<uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8);
}

uint32_t SkinImage::u32(uint64_t offset) const {
  if (!contains(offset, 4)) return 0;
  return uint32_t{m_bytes[offset]} | uint32_t{m_bytes[offset + 1]} << 8 |
         uint32_t{m_bytes[offset + 2]} << 16 | uint32_t{m_bytes[offset + 3]} << 24;
}

bool SkinImage::read_header(SkinHeader& out) const {
  if (size() < kHeaderSize) return false;
  for (size_t i = 0; i < kMagic.size(); ++i)
    if (u16(2 * i) != kMagic[i]) return false;
  out.root = u32(kRootOffset);
  out.picture_count = u32(kPictureCountOffset);
  out.font_count = u32(kFontCountOffset);
  out.string_pool = u32(kStringPoolOffset);
  out.string_count = u32(kStringCountOffset);
  return true;
}

std::optional<uint32_t> SkinImage::string_length(uint64_t offset) const {
  for (uint64_t at = offset; contains(at, 2); at += 2)
    if (u16(at) == 0) return static_cast<uint32_t>((at - offset) / 2);
  return std::nullopt;
}

std::u16string SkinImage::string_at(uint64_t offset) const {
  std::u16string text;
  for (uint64_t at = offset; contains(at, 2); at += 2) {
    const char16_t unit = u16(at);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

int SkinImage::compare_name(uint64_t offset, std::u16string_view key) const {
  uint64_t at = offset;
  for (size_t i = 0;; ++i, at += 2) {
    const bool stored_ends = !contains(at, 2) || u16(at) == 0;
    const bool key_ends = i == key.size();
    if (stored_ends || key_ends) return stored_ends && key_ends ? 0 : (stored_ends ? -1 : 1);
    const uint16_t a = u16(at);
    const uint16_t b = static_cast<uint16_t>(key[i]);
    if (a != b) return a < b ? -1 : 1;
  }
}

bool SkinImage::section(uint32_t body, Section which, uint32_t& first, uint32_t& count) const {
  if (!contains(body, kBodyHeaderSize)) return false;
  const size_t index = static_cast<size_t>(which);
  const uint32_t begin = u16(uint64_t{body} + 2 * index);
  const uint32_t end = u16(uint64_t{body} + 2 * index + 2);
  const uint32_t record = kRecordSizes[index];
  if (end < begin || (end - begin) % record != 0 || !contains(uint64_t{body} + begin, end - begin))
    return false;
  first = body + begin;
  count = (end - begin) / record;
  return true;
}

std::optional<SkinRecord> SkinImage::find_record(uint32_t body, Section which,
                                                 std::u16string_view key) const {
  uint32_t first = 0, count = 0;
  if (!section(body, which, first, count)) return std::nullopt;
  const uint32_t record = record_size(which);
  uint32_t lo = 0, hi = count;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const uint32_t at = first + mid * record;
    const int order = compare_name(u16(at), key);
    if (order == 0) return SkinRecord{at};
    // The stored name is greater: the key lies below.
    if (order > 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  return std::nullopt;
}

uint32_t SkinImage::child_count(uint32_t body) const {
  if (!contains(body, kBodyHeaderSize)) return 0;
  const uint32_t count = u16(uint64_t{body} + kChildCountOffset);
  if (!contains(uint64_t{body} + kBodyHeaderSize, uint64_t{count} * kChildOffsetSize)) return 0;
  return count;
}

std::optional<uint32_t> SkinImage::child(uint32_t body, uint32_t index) const {
  if (index >= child_count(body)) return std::nullopt;
  const uint32_t offset =
      u32(uint64_t{body} + kBodyHeaderSize + uint64_t{index} * kChildOffsetSize);
  if (!contains(offset, kBodyHeaderSize)) return std::nullopt;
  return offset;
}

std::optional<uint32_t> SkinImage::find_named(uint32_t root, std::u16string_view name,
                                              uint32_t max_steps) const {
  uint32_t entry = root;
  for (uint32_t step = 0; step < max_steps && entry != kNoEntry; ++step) {
    if (!contains(entry, kEntrySize + kBodyHeaderSize)) return std::nullopt;
    const int order = compare_name(u32(uint64_t{entry} + kEntryName), name);
    if (order == 0) return entry + kEntrySize;
    entry = u32(uint64_t{entry} + (order > 0 ? kEntryLeft : kEntryRight));
  }
  return std::nullopt;
}

std::vector<NamedNode> SkinImage::named_nodes(uint32_t root, uint32_t max_entries) const {
  std::vector<NamedNode> out;
  std::vector<uint32_t> pending;
  uint32_t entry = root;
  uint32_t visits = 0;
  auto usable = [&](uint32_t at) {
    return at != kNoEntry && contains(at, kEntrySize + kBodyHeaderSize);
  };
  while ((usable(entry) || !pending.empty()) && visits < max_entries) {
    while (usable(entry) && pending.size() < max_entries) {
      pending.push_back(entry);
      entry = u32(entry + kEntryLeft);
    }
    if (pending.empty()) break;
    entry = pending.back();
    pending.pop_back();
    out.push_back({entry, u32(uint64_t{entry} + kEntryName), entry + kEntrySize});
    ++visits;
    entry = u32(uint64_t{entry} + kEntryRight);
  }
  return out;
}

}  // namespace lv
