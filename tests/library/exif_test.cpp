#include "library/exif.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/file_util.h"
#include "jpeg/jpeg_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

using test::Bytes;

// TIFF data written field by field in either byte order.
class Tiff {
 public:
  explicit Tiff(bool little) : m_little(little) {}
  Tiff& u16(uint16_t v) { return m_little ? put(v & 0xFF).put(v >> 8) : put(v >> 8).put(v & 0xFF); }
  Tiff& u32(uint32_t v) {
    return m_little ? u16(v & 0xFFFF).u16(v >> 16) : u16(v >> 16).u16(v & 0xFFFF);
  }
  Tiff& header(uint32_t ifd_offset) {
    (m_little ? put('I').put('I').put(0x2A).put(0) : put('M').put('M').put(0).put(0x2A));
    return u32(ifd_offset);
  }
  // An IFD entry; a SHORT value fills the first half of the field.
  Tiff& entry(uint16_t tag, uint16_t type, uint32_t value) {
    u16(tag).u16(type).u32(1);
    return type == 3 ? u16(static_cast<uint16_t>(value)).u16(0) : u32(value);
  }
  Tiff& pad_to(size_t size) {
    m_bytes.resize(std::max(size, m_bytes.size()), 0);
    return *this;
  }
  const Bytes& bytes() const { return m_bytes; }

 private:
  Tiff& put(int b) {
    m_bytes.push_back(static_cast<uint8_t>(b));
    return *this;
  }
  bool m_little;
  Bytes m_bytes;
};

// A first IFD at offset 8 with the orientation after two unrelated entries.
Bytes tiff_with(bool little, uint16_t value, uint16_t type = 3) {
  return Tiff(little)
      .header(8)
      .u16(3)
      .entry(0x010F, 2, 0x26)
      .entry(0x0110, 2, 0x2A)
      .entry(0x0112, type, value)
      .u32(0)
      .bytes();
}

void append_segment(Bytes& out, uint8_t marker, const Bytes& body, int declared_length = -1) {
  const size_t length = declared_length >= 0 ? size_t(declared_length) : body.size() + 2;
  out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length & 0xFF)});
  out.insert(out.end(), body.begin(), body.end());
}

Bytes exif_body(const Bytes& tiff) {
  Bytes body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  return body;
}

// SOI, the segments, then the start of a scan.
Bytes jpeg_with(const std::vector<std::pair<uint8_t, Bytes>>& segments) {
  Bytes out = {0xFF, 0xD8};
  for (const auto& [marker, body] : segments) append_segment(out, marker, body);
  append_segment(out, 0xDA, {1, 1, 0, 0, 63, 0});
  return out;
}
Bytes jpeg_with_exif(const Bytes& tiff) {
  return jpeg_with({{0xE1, exif_body(tiff)}});
}

// Reads through an exactly sized heap copy, so that ASan sees any overrun.
int orientation_of(const Bytes& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return exif_orientation(exact.get(), bytes.size());
}

TEST(ExifOrientation, FindsTheFirstExifSegmentBeforeTheScan) {
  const Bytes tiff = tiff_with(false, 6);
  const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};
  const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'};
  EXPECT_EQ(
      orientation_of(jpeg_with({{0xE0, jfif}, {0xE2, Bytes(300, 0x11)}, {0xE1, exif_body(tiff)}})),
      6);
  EXPECT_EQ(orientation_of(jpeg_with({{0xE1, xmp}, {0xE1, exif_body(tiff)}})), 6);
  // Fill bytes before a marker are allowed.
  Bytes filled = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
  const Bytes rest = jpeg_with_exif(tiff);
  filled.insert(filled.end(), rest.begin() + 3, rest.end());
  EXPECT_EQ(orientation_of(filled), 6);
  EXPECT_EQ(
      orientation_of(jpeg_with({{0xE1, exif_body(tiff_with(true, 3))}, {0xE1, exif_body(tiff)}})),
      3);
  // Not after the first scan, nor behind more segments than any real
  // picture has.
  Bytes late = {0xFF, 0xD8};
  append_segment(late, 0xDA, {1, 1, 0, 0, 63, 0});
  append_segment(late, 0xE1, exif_body(tiff));
  EXPECT_EQ(orientation_of(late), 1);
  std::vector<std::pair<uint8_t, Bytes>> many(kExifMaxSegments, {0xE2, Bytes(4, 0)});
  many.push_back({0xE1, exif_body(tiff)});
  EXPECT_EQ(orientation_of(jpeg_with(many)), 1);
  many.erase(many.begin());
  EXPECT_EQ(orientation_of(jpeg_with(many)), 6);
}

TEST(ExifOrientation, StructuralFaultsGiveOne) {
  const Bytes good = tiff_with(true, 6);
  Bytes not_exif = exif_body(good), cut_tiff(good.begin(), good.begin() + 11);
  not_exif[4] = 'X';
  std::vector<Bytes> files = {
      {},
      {0xFF, 0xD8},
      {0x89, 'P', 'N', 'G'},
      jpeg_with({{0xE0, Bytes(14, 0)}}),  // no APP1
      jpeg_with({{0xE1, not_exif}}),
      jpeg_with_exif(cut_tiff),
      jpeg_with_exif(Tiff(true).header(8).u16(0).pad_to(40).bytes()),  // no entries
      // A segment length below 2 stops the walk, and so does a byte of no marker.
      {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 'E', 'x', 'i', 'f', 0, 0},
      {0xFF, 0xD8, 0x12, 0x34},
  };
  // Byte order marks and the magic number.
  for (auto [offset, value] : {std::pair<size_t, uint8_t>{0, 'M'}, {1, 'X'}, {2, 0x2B}, {3, 1}}) {
    Bytes bad = good;
    bad[offset] = value;
    files.push_back(jpeg_with_exif(bad));
  }
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(orientation_of(files[i]), 1) << i;
}

// Lengths in the file are claims; only bytes that were read are looked at.
TEST(ExifOrientation, BoundsEveryAccessByTheBytesReadAndReadsFromAnOpenFileRewindingIt) {
  // Every prefix of a valid file is read safely; only the full entry counts.
  const Bytes whole = jpeg_with({{0xE0, Bytes(14, 0)}, {0xE1, exif_body(tiff_with(false, 8))}});
  const size_t entry_end = 2 + 18 + 4 + 6 + 8 + 2 + 36;
  for (size_t n = 0; n <= whole.size(); ++n)
    EXPECT_EQ(orientation_of(Bytes(whole.begin(), whole.begin() + n)), n >= entry_end ? 8 : 1) << n;

  // An IFD at 3000 lies past the TIFF bytes read (the file ends first, and
  // only 2048 are read); at 2000 it is inside; an entry crossing byte 2048
  // is not read.
  const auto ifd_at = [](uint32_t offset) {
    return Tiff(true).header(offset).pad_to(offset).u16(1).entry(0x0112, 3, 6);
  };
  const Tiff far = ifd_at(3000);
  Bytes far_cut = {0xFF, 0xD8};
  append_segment(far_cut, 0xE1, exif_body(Bytes(far.bytes().begin(), far.bytes().begin() + 100)),
                 60000);
  EXPECT_EQ(orientation_of(far_cut), 1);
  Bytes padded = far.bytes();
  padded.resize(59992, 0);
  EXPECT_EQ(orientation_of(jpeg_with_exif(padded)), 1);
  EXPECT_EQ(orientation_of(jpeg_with_exif(ifd_at(2000).u32(0).bytes())), 6);
  EXPECT_EQ(orientation_of(jpeg_with_exif(ifd_at(2040).pad_to(4000).bytes())), 1);
  // An IFD offset whose upper half is set; an entry count far beyond the
  // entries present.
  for (const Tiff& hostile :
       {Tiff(true).header(0x00010008).u16(1).entry(0x0112, 3, 6),
        Tiff(false).header(8).u16(0xFFFF).entry(0x010F, 2, 0).entry(0x0110, 2, 0)})
    EXPECT_EQ(orientation_of(jpeg_with_exif(hostile.bytes())), 1);
  const std::string path = test::make_temp_dir("exif") + "/six.jpg";
  test::write_bytes(path,
                    jpeg_with({{0xE0, Bytes(5000, 0)}, {0xE1, exif_body(tiff_with(true, 6))}}));
  FileStream file(from_utf8(path), OpenMode::read);
  ASSERT_TRUE(file.is_open() && file.seek(123));
  EXPECT_EQ(exif_orientation(file), 6);
  EXPECT_EQ(file.tell(), 0);
  FileStream closed;
  EXPECT_EQ(exif_orientation(closed), 1);
}

}  // namespace
}  // namespace lv
