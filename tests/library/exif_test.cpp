#include "library/exif.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "app/base/file_util.h"
#include "library/libjpeg_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- crafting EXIF segments byte by byte ----

struct IfdEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;  // for SHORT: the first short of the field
};

class TiffWriter {
 public:
  explicit TiffWriter(bool little_endian) : m_little(little_endian) {}
  TiffWriter& u16(uint16_t v) {
    if (m_little) {
      put(v & 0xFF), put(v >> 8);
    } else {
      put(v >> 8), put(v & 0xFF);
    }
    return *this;
  }
  TiffWriter& u32(uint32_t v) {
    if (m_little) {
      u16(v & 0xFFFF), u16(v >> 16);
    } else {
      u16(v >> 16), u16(v & 0xFFFF);
    }
    return *this;
  }
  TiffWriter& header(uint32_t ifd_offset) {
    if (m_little)
      put('I'), put('I'), put(0x2A), put(0x00);
    else
      put('M'), put('M'), put(0x00), put(0x2A);
    return u32(ifd_offset);
  }
  TiffWriter& entry(const IfdEntry& e) {
    u16(e.tag).u16(e.type).u32(e.count);
    if (e.type == 3)
      u16(static_cast<uint16_t>(e.value)).u16(0);
    else
      u32(e.value);
    return *this;
  }
  TiffWriter& pad_to(size_t size) {
    while (m_bytes.size() < size) put(0);
    return *this;
  }
  const Bytes& bytes() const { return m_bytes; }

 private:
  void put(int b) { m_bytes.push_back(static_cast<uint8_t>(b)); }
  bool m_little;
  Bytes m_bytes;
};

// A first IFD at offset 8 with the given entries after two unrelated ones.
Bytes tiff_with_orientation(bool little, uint16_t value, uint16_t type = 3) {
  TiffWriter t(little);
  t.header(8).u16(3);
  t.entry({0x010F, 2, 4, 0x26});  // Make
  t.entry({0x0110, 2, 4, 0x2A});  // Model
  t.entry({0x0112, type, 1, value});
  t.u32(0);  // no next IFD
  return t.bytes();
}

void append_segment(Bytes& out, uint8_t marker, const Bytes& body, int declared_length = -1) {
  size_t length = declared_length >= 0 ? static_cast<size_t>(declared_length) : body.size() + 2;
  out.insert(out.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8),
                         static_cast<uint8_t>(length & 0xFF)});
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

TEST(ExifOrientation, ReadsBothByteOrders) {
  for (uint16_t value = 1; value <= 8; ++value) {
    EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(true, value))), value);
    EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(false, value))), value);
  }
  // A LONG where a SHORT belongs: the value is the whole field.
  EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(false, 6, 4))), 6);
  EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(true, 3, 4))), 3);
}

// 0 is an invalid tag on a picture that is otherwise fine: shown as stored.
TEST(ExifOrientation, ValuesOutsideOneToEightCountAsOne) {
  for (uint16_t value : {0, 9, 255, 0x0106, 0xFFFF})
    EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(true, value))), 1) << value;
  EXPECT_EQ(orientation_of(jpeg_with_exif(tiff_with_orientation(false, 0))), 1);
  EXPECT_EQ(exif_orientation_of_tiff(tiff_with_orientation(true, 0).data(), 50), 1);
}

TEST(ExifOrientation, FindsTheExifSegmentAfterOtherSegments) {
  Bytes tiff = tiff_with_orientation(false, 6);
  Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};
  Bytes icc(300, 0x11);
  Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'};
  EXPECT_EQ(orientation_of(jpeg_with({{0xE0, jfif}, {0xE2, icc}, {0xE1, exif_body(tiff)}})), 6);
  EXPECT_EQ(orientation_of(jpeg_with({{0xE1, xmp}, {0xE1, exif_body(tiff)}})), 6);
  // Fill bytes before a marker are allowed.
  Bytes filled = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
  Bytes rest = jpeg_with_exif(tiff);
  filled.insert(filled.end(), rest.begin() + 3, rest.end());
  EXPECT_EQ(orientation_of(filled), 6);
  // The first Exif segment decides.
  EXPECT_EQ(orientation_of(jpeg_with(
                {{0xE1, exif_body(tiff_with_orientation(true, 3))}, {0xE1, exif_body(tiff)}})),
            3);
  // An Exif segment after the first scan is not looked for.
  Bytes late = {0xFF, 0xD8};
  append_segment(late, 0xDA, {1, 1, 0, 0, 63, 0});
  append_segment(late, 0xE1, exif_body(tiff));
  EXPECT_EQ(orientation_of(late), 1);
  // Nor behind more segments than any real picture has.
  std::vector<std::pair<uint8_t, Bytes>> many(kExifMaxSegments, {0xE2, Bytes(4, 0)});
  many.push_back({0xE1, exif_body(tiff)});
  EXPECT_EQ(orientation_of(jpeg_with(many)), 1);
  many.erase(many.begin());
  EXPECT_EQ(orientation_of(jpeg_with(many)), 6);
}

TEST(ExifOrientation, StructuralFaultsGiveOne) {
  Bytes good = tiff_with_orientation(true, 6);
  EXPECT_EQ(orientation_of({}), 1);
  EXPECT_EQ(orientation_of({0xFF, 0xD8}), 1);
  EXPECT_EQ(orientation_of({0x89, 'P', 'N', 'G'}), 1);
  // No APP1 at all, only the scan.
  EXPECT_EQ(orientation_of(jpeg_with({{0xE0, Bytes(14, 0)}})), 1);
  // Not the Exif identifier.
  Bytes body = exif_body(good);
  body[4] = 'X';
  EXPECT_EQ(orientation_of(jpeg_with({{0xE1, body}})), 1);
  // Byte order marks and the magic number.
  for (auto [offset, value] : {std::pair<size_t, uint8_t>{0, 'M'}, {1, 'X'}, {2, 0x2B}, {3, 1}}) {
    Bytes bad = good;
    bad[offset] = value;
    EXPECT_EQ(orientation_of(jpeg_with_exif(bad)), 1) << offset;
  }
  // Fewer than 12 TIFF bytes.
  EXPECT_EQ(orientation_of(jpeg_with_exif(Bytes(good.begin(), good.begin() + 11))), 1);
  // An entry count of 0.
  TiffWriter empty(true);
  empty.header(8).u16(0).pad_to(40);
  EXPECT_EQ(orientation_of(jpeg_with_exif(empty.bytes())), 1);
  // A segment length below 2 stops the walk.
  Bytes short_length = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 'E', 'x', 'i', 'f', 0, 0};
  EXPECT_EQ(orientation_of(short_length), 1);
  // The walk meets a byte that is no marker.
  Bytes junk = {0xFF, 0xD8, 0x12, 0x34};
  EXPECT_EQ(orientation_of(junk), 1);
}

// Lengths in the file are claims; only bytes that were read are looked at.
TEST(ExifOrientation, BoundsEveryAccessByTheBytesRead) {
  // The IFD holds 3 entries but the data ends inside the second one.
  Bytes tiff = tiff_with_orientation(true, 6);
  Bytes cut(tiff.begin(), tiff.begin() + 8 + 2 + 12 + 5);
  Bytes jpeg = {0xFF, 0xD8};
  append_segment(jpeg, 0xE1, exif_body(cut), 2 + 6 + static_cast<int>(tiff.size()));
  EXPECT_EQ(orientation_of(jpeg), 1);
  // The same with the orientation entry complete but a segment that claims more.
  Bytes whole_entry(tiff.begin(), tiff.begin() + 8 + 2 + 36);
  Bytes claims_more = {0xFF, 0xD8};
  append_segment(claims_more, 0xE1, exif_body(whole_entry), 60000);
  EXPECT_EQ(orientation_of(claims_more), 6);

  // A segment length of 60000 with an IFD offset of 3000: the IFD lies past
  // what was read (the file ends first, and only 2048 TIFF bytes are read).
  TiffWriter far(true);
  far.header(3000).pad_to(3000).u16(1).entry({0x0112, 3, 1, 6});
  Bytes far_jpeg = {0xFF, 0xD8};
  append_segment(far_jpeg, 0xE1, exif_body(Bytes(far.bytes().begin(), far.bytes().begin() + 100)),
                 60000);
  EXPECT_EQ(orientation_of(far_jpeg), 1);
  Bytes far_whole = {0xFF, 0xD8};
  Bytes padded = far.bytes();
  padded.resize(59992, 0);
  append_segment(far_whole, 0xE1, exif_body(padded));
  EXPECT_EQ(orientation_of(far_whole), 1);
  // At 2000 it is inside the TIFF bytes read.
  TiffWriter near(true);
  near.header(2000).pad_to(2000).u16(1).entry({0x0112, 3, 1, 6}).u32(0);
  EXPECT_EQ(orientation_of(jpeg_with_exif(near.bytes())), 6);
  // ... but an entry that would cross byte 2048 of the TIFF data is not read.
  TiffWriter edge(true);
  edge.header(2040).pad_to(2040).u16(1).entry({0x0112, 3, 1, 6}).pad_to(4000);
  EXPECT_EQ(orientation_of(jpeg_with_exif(edge.bytes())), 1);

  // An IFD offset whose upper half is set.
  TiffWriter huge_offset(true);
  huge_offset.header(0x00010008).u16(1).entry({0x0112, 3, 1, 6});
  EXPECT_EQ(orientation_of(jpeg_with_exif(huge_offset.bytes())), 1);

  // An entry count far beyond the entries present.
  TiffWriter overflow(false);
  overflow.header(8).u16(0xFFFF).entry({0x010F, 2, 4, 0}).entry({0x0110, 2, 4, 0});
  EXPECT_EQ(orientation_of(jpeg_with_exif(overflow.bytes())), 1);
}

// Every prefix of a valid file is read safely; only the full entry counts.
TEST(ExifOrientation, EveryPrefixIsSafe) {
  Bytes jpeg =
      jpeg_with({{0xE0, Bytes(14, 0)}, {0xE1, exif_body(tiff_with_orientation(false, 8))}});
  const size_t entry_end = 2 + 18 + 4 + 6 + 8 + 2 + 36;
  for (size_t n = 0; n <= jpeg.size(); ++n) {
    Bytes prefix(jpeg.begin(), jpeg.begin() + n);
    EXPECT_EQ(orientation_of(prefix), n >= entry_end ? 8 : 1) << n;
  }
}

TEST(ExifOrientation, ReadsFromAnOpenFileAndRewindsIt) {
  std::string path = test::make_temp_dir("exif") + "/six.jpg";
  Bytes jpeg =
      jpeg_with({{0xE0, Bytes(5000, 0)}, {0xE1, exif_body(tiff_with_orientation(true, 6))}});
  test::write_file(path, std::string(jpeg.begin(), jpeg.end()));
  FileStream file(from_utf8(path), OpenMode::read);
  ASSERT_TRUE(file.is_open());
  file.seek(123);
  EXPECT_EQ(exif_orientation(file), 6);
  EXPECT_EQ(file.tell(), 0);
  FileStream closed;
  EXPECT_EQ(exif_orientation(closed), 1);
}

// ---- the test pictures ----

std::string manifest_field(const std::string& line, const std::string& key) {
  size_t at = line.find(key + "=");
  if (at == std::string::npos) return {};
  size_t start = at + key.size() + 1;
  return line.substr(start, line.find(' ', start) - start);
}

TEST(ExifOrientation, OfEveryPictureWhoseNameStatesIt) {
  LV_REQUIRE_TESTDATA();
  const std::regex named(R"((landscape|portrait|hopper_orientation)_([1-8])\.jpg$)");
  int checked = 0;
  for (const char* folder : {"jpeg/exif-ianare/orientation", "jpeg/exif-pillow"}) {
    for (const std::string& path : test::files_under(test::testdata_path(folder), false)) {
      std::smatch match;
      if (!std::regex_search(path, match, named)) continue;
      SCOPED_TRACE(path);
      int expected = std::stoi(match[2]);
      Bytes bytes = test::read_bytes(path);
      EXPECT_EQ(orientation_of(bytes), expected);
      FileStream file(from_utf8(path), OpenMode::read);
      EXPECT_EQ(exif_orientation(file), expected);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 16 + 7);
}

// The manifest lists the orientation another EXIF reader found; absent or
// unreadable ones are 1 here.
TEST(ExifOrientation, AgreesWithTheManifestOnEveryFile) {
  LV_REQUIRE_TESTDATA();
  std::ifstream manifest(test::testdata_path("jpeg/MANIFEST.txt"));
  std::string line;
  int checked = 0, turned = 0;
  while (std::getline(manifest, line)) {
    std::string relative = line.substr(0, line.find(' '));
    if (relative.empty()) continue;
    std::string stated = manifest_field(line, "orient");
    int expected = stated.size() == 1 && stated[0] >= '1' && stated[0] <= '8' ? stated[0] - '0' : 1;
    SCOPED_TRACE(relative);
    EXPECT_EQ(orientation_of(test::read_bytes(test::testdata_path("jpeg/" + relative))), expected);
    ++checked;
    if (expected != 1) ++turned;
  }
  EXPECT_GT(checked, 2000);
  EXPECT_GE(turned, 24);
}

TEST(ExifOrientation, ExploitFilesOfOtherParsersAreHarmless) {
  LV_REQUIRE_TESTDATA();
  std::vector<std::string> files = test::files_under(test::testdata_path("jpeg/exiv2-poc"), false);
  ASSERT_GE(files.size(), 20u);
  for (const std::string& path : files) {
    Bytes bytes = test::read_bytes(path);
    int orientation = orientation_of(bytes);
    EXPECT_GE(orientation, 1) << path;
    EXPECT_LE(orientation, 8) << path;
    // Every prefix too, where the reader meets the damage at each cut.
    for (size_t n = 0; n < std::min<size_t>(bytes.size(), 600); n += 7)
      EXPECT_GE(orientation_of(Bytes(bytes.begin(), bytes.begin() + n)), 1);
  }
  EXPECT_EQ(
      orientation_of(test::read_bytes(test::testdata_path("jpeg/exiv2-poc/pr_1994_poc1.jpg"))), 8);
}

// ---- the eight transforms ----

// The grid cell read for the shown cell (c, r), from the tile table of the
// image viewer: C columns, R rows of the unturned grid.
ExifPoint table_cell(int orientation, int c, int r, int C, int R) {
  switch (orientation) {
    case 2:
      return {C - c - 1, r};
    case 3:
      return {C - c - 1, R - r - 1};
    case 4:
      return {c, R - r - 1};
    case 5:
      return {r, c};
    case 6:
      return {r, R - c - 1};
    case 7:
      return {C - r - 1, R - c - 1};
    case 8:
      return {C - r - 1, c};
    default:
      return {c, r};
  }
}

TEST(ExifTransform, MapsCellsAsTheTileTableSays) {
  const int C = 5, R = 3;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    ExifTransform t = exif_transform(orientation, C, R);
    ASSERT_EQ(t.width(), orientation >= 5 ? R : C);
    ASSERT_EQ(t.height(), orientation >= 5 ? C : R);
    std::vector<int> hits(C * R, 0);
    for (int y = 0; y < t.height(); ++y)
      for (int x = 0; x < t.width(); ++x) {
        ExifPoint source = t.source_of(x, y);
        ASSERT_EQ(source, table_cell(orientation, x, y, C, R)) << orientation;
        ASSERT_EQ(t.destination_of(source.x, source.y), (ExifPoint{x, y})) << orientation;
        ++hits[source.y * C + source.x];
      }
    for (int h : hits) ASSERT_EQ(h, 1);  // a permutation
  }
  // Out of range orientations are the identity.
  for (int bad : {0, 9, -1}) {
    ExifTransform t = exif_transform(bad, C, R);
    EXPECT_EQ(t.orientation(), 1);
    EXPECT_EQ(t.source_of(4, 1), (ExifPoint{4, 1}));
  }
}

TEST(ExifTransform, TurnsPixels) {
  // a b c
  // d e f
  const uint16_t a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
  const uint16_t source[] = {a, b, c, d, e, f};
  const std::vector<std::vector<uint16_t>> expected = {
      {a, b, c, d, e, f},  // 1
      {c, b, a, f, e, d},  // 2 mirrored left-right
      {f, e, d, c, b, a},  // 3 turned 180
      {d, e, f, a, b, c},  // 4 mirrored top-bottom
      {a, d, b, e, c, f},  // 5 transposed
      {d, a, e, b, f, c},  // 6 turned clockwise
      {f, c, e, b, d, a},  // 7 transversed
      {c, f, b, e, a, d},  // 8 turned counter-clockwise
  };
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const bool turned = orientation >= 5;
    const int out_width = turned ? 2 : 3;
    std::vector<uint16_t> out(6, 0);
    exif_transform_rgb565(orientation, source, 3, 2, 3 * 2, out.data(), out_width * 2);
    EXPECT_EQ(out, expected[orientation - 1]) << orientation;
  }
  // Pitches larger than the rows: the padding stays as it was.
  const uint16_t padded[] = {a, b, c, 99, d, e, f, 99};
  std::vector<uint16_t> out(3 * 4, 0xF81F);
  exif_transform_rgb565(6, padded, 3, 2, 4 * 2, out.data(), 4 * 2);
  EXPECT_EQ(out, (std::vector<uint16_t>{d, a, 0xF81F, 0xF81F, e, b, 0xF81F, 0xF81F, f, c, 0xF81F,
                                        0xF81F}));
}

}  // namespace
}  // namespace lv
