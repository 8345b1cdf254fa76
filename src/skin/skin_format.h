#pragma once

// The layout of a ".skin" file, shared by the loader and the skin compiler.
// All integers are little-endian; strings are UTF-16LE ended by one NUL unit.
// "Image offset" is a byte offset from the first byte of the file.

#include <array>
#include <cstdint>
#include <string_view>

namespace lv::skin_format {

// "Скин"
inline constexpr std::array<char16_t, 4> kMagic = {0x0421, 0x043A, 0x0438, 0x043D};

inline constexpr uint32_t kHeaderSize = 92;
// Header fields. Bytes 8..71 are free; the compiler writes its signature there.
inline constexpr uint32_t kFreeBytesOffset = 8;
inline constexpr uint32_t kFreeBytesSize = 64;
inline constexpr uint32_t kRootOffset = 72;
inline constexpr uint32_t kPictureCountOffset = 76;
inline constexpr uint32_t kFontCountOffset = 80;
inline constexpr uint32_t kStringPoolOffset = 84;
inline constexpr uint32_t kStringCountOffset = 88;

inline constexpr uint32_t kNoEntry = 0xFFFFFFFF;

// NamedNodeEntry: left, right, name offset; the node body follows directly.
inline constexpr uint32_t kEntrySize = 12;
inline constexpr uint32_t kEntryLeft = 0;
inline constexpr uint32_t kEntryRight = 4;
inline constexpr uint32_t kEntryName = 8;

// SkinNode body: seven 16-bit section bounds relative to the body, the child
// count, then one 32-bit image offset per child.
inline constexpr uint32_t kBodyHeaderSize = 16;
inline constexpr uint32_t kChildCountOffset = 14;
inline constexpr uint32_t kChildOffsetSize = 4;

enum class Section : uint8_t { integer = 0, font, point, string, picture, color };
inline constexpr int kSectionCount = 6;
inline constexpr std::array<Section, kSectionCount> kSections = {Section::integer, Section::font,
                                                                 Section::point,   Section::string,
                                                                 Section::picture, Section::color};

// Record sizes, indexed by Section.
inline constexpr std::array<uint32_t, kSectionCount> kRecordSizes = {8, 8, 8, 4, 20, 8};
constexpr uint32_t record_size(Section section) {
  return kRecordSizes[static_cast<size_t>(section)];
}

// The names the skin sources use for the sections.
inline constexpr std::array<std::string_view, kSectionCount> kSectionNames = {
    "integer", "font", "point", "string", "picture", "color"};
constexpr std::string_view section_name(Section section) {
  return kSectionNames[static_cast<size_t>(section)];
}

// Every record starts with the 16-bit image offset of its key name, so key
// names lie in the first 64 KiB; a body's records end within 65,535 bytes.
inline constexpr uint32_t kKeyNameLimit = 65536;
inline constexpr uint32_t kMaxRecordsEnd = 65535;

// Offsets of the fields after the key, within a record.
inline constexpr uint32_t kValueOffset = 4;  // integer, font index, point x, colour red
inline constexpr uint32_t kPointYOffset = 6;
inline constexpr uint32_t kStringIndexOffset = 2;    // 16-bit
inline constexpr uint32_t kPicturePointsOffset = 2;  // eight 16-bit coordinates
inline constexpr uint32_t kPictureIndexOffset = 18;  // one byte
inline constexpr uint32_t kPictureFlagOffset = 19;   // one byte

// The picture index is one byte.
inline constexpr uint32_t kMaxPictures = 256;

}  // namespace lv::skin_format
