#include "jpeg/jpeg_markers.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "jpeg/jpeg_test_support.h"

namespace lv::jpeg {
namespace {

using test::Bytes;
using test::EncodeOptions;

struct Segment {
  uint8_t marker;
  Bytes payload;
};

// A small libjpeg picture split into its header segments and its scan data.
struct Picture {
  std::vector<Segment> segments;  // up to and including SOS
  Bytes data;                     // after SOS

  explicit Picture(const EncodeOptions& o = {}) {
    const Bytes bytes = test::encode_picture(40, 24, o, test::Content::noise);
    for (size_t at = 2, end = 0; !data.size(); at = end) {
      end = at + 2 + ((bytes[at + 2] << 8) | bytes[at + 3]);
      segments.push_back({bytes[at + 1], {bytes.begin() + at + 4, bytes.begin() + end}});
      if (bytes[at + 1] == 0xDA) data.assign(bytes.begin() + end, bytes.end());
    }
  }
  Bytes& payload(uint8_t m) { return std::ranges::find(segments, m, &Segment::marker)->payload; }
  Bytes bytes() const {
    Bytes out = {0xFF, 0xD8};
    for (const auto& [marker, payload] : segments) {
      const size_t len = payload.size() + 2;
      out.insert(out.end(), {0xFF, marker, uint8_t(len >> 8), uint8_t(len)});
      out.insert(out.end(), payload.begin(), payload.end());
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
};

struct Parsed {
  bool ok;
  Failure failure;
  std::string message;
  FrameHeader header;
};

Parsed parse(const Bytes& bytes) {
  Parsed p;
  p.ok = parse_header(ByteSource(bytes.data(), bytes.size()), p.header, p.failure, p.message);
  return p;
}

Parsed parse_changed(const std::function<void(Picture&)>& change, const EncodeOptions& o = {}) {
  Picture pic(o);
  change(pic);
  return parse(pic.bytes());
}

TEST(JpegMarkers, ParsesAFrameAndEveryTruncationOfItsHeaderIsCorrupt) {
  const Picture pic;
  const Bytes bytes = pic.bytes();
  const Parsed p = parse(bytes);
  const FrameHeader& h = p.header;
  ASSERT_TRUE(p.ok) << p.message;
  EXPECT_TRUE(h.width == 40 && h.height == 24 && h.component_count == 3 && h.jfif &&
              h.components[0].h == 2 && h.components[0].v == 2 && h.quant_defined[0] &&
              h.dc_specs[0].defined && h.scan_offset == bytes.size() - pic.data.size());
  for (size_t n = 0; n < h.scan_offset; ++n) {
    // Exactly the bytes, so a read past them would show under ASan.
    const Parsed cut = parse(Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(n)));
    EXPECT_TRUE(!cut.ok && cut.failure == (n < 2 ? Failure::not_jpeg : Failure::corrupt)) << n;
  }
}

TEST(JpegMarkers, OtherProcessesAreUnsupported) {
  // Extended sequential (C1) is taken; the others are left to libjpeg, and
  // the refusal names the process.
  for (const auto& [marker, process] :
       {std::pair{0xC1, ""}, {0xC2, "progressive"}, {0xC8, "extension"}, {0xC9, "arithmetic"}}) {
    const Parsed p = parse_changed([m = marker](Picture& pic) { pic.segments[3].marker = m; });
    EXPECT_EQ(p.failure, *process ? Failure::unsupported : Failure::none) << std::hex << marker;
    EXPECT_NE(p.message.find(process), std::string::npos) << p.message;
  }
}

TEST(JpegMarkers, FrameScanAndTableFaultsAreCorruptOrUnsupported) {
  // How a picture with one changed byte in a segment's payload is refused.
  auto refusal = [](uint8_t segment, const std::function<void(Bytes&)>& change) {
    const Parsed p =
        parse_changed([&](Picture& pic) { change(pic.payload(segment)); }, {.restart_interval = 3});
    return p.ok ? Failure::none : p.failure;
  };
  const uint8_t sof = 0xC0, sos = 0xDA, dht = 0xC4;
  const Failure corrupt = Failure::corrupt, unsupported = Failure::unsupported;
  const auto four_components = [](Bytes& f) { f[5] = 4, f.insert(f.end(), {4, 0x11, 1}); };
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[1] = f[2] = 0; }), corrupt);   // height 0 (DNL)
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[3] = f[4] = 0; }), corrupt);   // width 0
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[7] = 0x50; }), corrupt);       // h = 5
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[7] = 0x20; }), corrupt);       // v = 0
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[7] = 0x41; }), unsupported);   // 4:1:1
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[10] = 0x21; }), unsupported);  // sampled chroma
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[8] = 4; }), corrupt);          // quant table 4
  EXPECT_EQ(refusal(sof, [](Bytes& f) { f[8] = 2; }), corrupt);          // undefined quant table
  EXPECT_EQ(refusal(sof, four_components), unsupported);
  EXPECT_EQ(refusal(sos, [](Bytes& s) { s[1] = 9; }), corrupt);         // unknown id
  EXPECT_EQ(refusal(sos, [](Bytes& s) { s[3] = s[1]; }), corrupt);      // id twice
  EXPECT_EQ(refusal(sos, [](Bytes& s) { s[2] = 0x22; }), corrupt);      // no table 2
  EXPECT_EQ(refusal(sos, [](Bytes& s) { s[2] = 0x40; }), corrupt);      // no table 4
  EXPECT_EQ(refusal(dht, [](Bytes& t) { t[0] = 0x24; }), corrupt);      // class 2
  EXPECT_EQ(refusal(dht, [](Bytes& t) { t[0] = 0x04; }), corrupt);      // slot 4
  EXPECT_EQ(refusal(dht, [](Bytes& t) { t[16] = 200; }), corrupt);      // more values than held
  EXPECT_EQ(refusal(0xDB, [](Bytes& t) { t[0] = 0x05; }), corrupt);     // quant slot 5
  EXPECT_EQ(refusal(0xDD, [](Bytes& t) { t.push_back(0); }), corrupt);  // DRI one byte long
  // Two frame headers; a scan before the frame.
  auto two_frames = [](Picture& pic) {
    pic.segments.insert(pic.segments.begin(), pic.segments[3]);
  };
  EXPECT_EQ(parse_changed(two_frames).failure, corrupt);
  auto no_frame = [](Picture& pic) { pic.segments.erase(pic.segments.begin() + 3); };
  EXPECT_EQ(parse_changed(no_frame).failure, corrupt);
}

TEST(JpegMarkers, ShortAndMissingTablesAreTakenAsLibjpegTakesThem) {
  // A quantisation table short of values: 1s for the rest.
  const Parsed p = parse_changed([](Picture& pic) { pic.payload(0xDB) = {0x00, 16, 11, 10}; });
  const uint16_t* quant = p.header.quant[0];  // in zig-zag order
  EXPECT_TRUE(p.ok && quant[0] == 16 && quant[1] == 11 && quant[8] == 10 && quant[63] == 1);
  // Missing Huffman tables of slots 0 and 1 are the standard ones: those
  // libjpeg writes by default.
  Picture pic;
  test::RgbPicture a, b;
  ASSERT_TRUE(test::own_decode(pic.bytes(), a));
  std::erase_if(pic.segments, [](const Segment& s) { return s.marker == 0xC4; });
  ASSERT_TRUE(test::own_decode(pic.bytes(), b));
  EXPECT_EQ(a.rgb, b.rgb);
}

TEST(JpegMarkers, AdobesTransformFlagSaysRgb) {
  // An Adobe APP14 in place of the JFIF APP0, with transform 0: no colour
  // transform, whatever the component ids say.
  const Parsed p = parse_changed([](Picture& pic) {
    pic.segments[0] = {0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0}};
  });
  EXPECT_TRUE(p.ok && !p.header.jfif && p.header.transform == ColorTransform::rgb) << p.message;
}

}  // namespace
}  // namespace lv::jpeg
