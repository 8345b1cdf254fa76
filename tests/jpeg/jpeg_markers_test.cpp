#include "jpeg/jpeg_markers.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "jpeg/jpeg_decoder.h"
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

  static Picture make(const EncodeOptions& o = {}) {
    const Bytes bytes = test::encode_picture(40, 24, o, test::Content::noise);
    Picture p;
    for (size_t at = 2;;) {
      const uint8_t marker = bytes[at + 1];
      const size_t len = (bytes[at + 2] << 8) | bytes[at + 3];
      p.segments.push_back({marker, {bytes.begin() + at + 4, bytes.begin() + at + 2 + len}});
      at += 2 + len;
      if (marker == 0xDA) {
        p.data.assign(bytes.begin() + at, bytes.end());
        return p;
      }
    }
  }
  Bytes& payload(uint8_t marker) {
    for (auto& s : segments)
      if (s.marker == marker) return s.payload;
    throw std::runtime_error("no such segment");
  }
  void erase(uint8_t marker) {
    std::erase_if(segments, [&](const Segment& s) { return s.marker == marker; });
  }
  Bytes bytes(int length_delta = 0, uint8_t delta_marker = 0) const {
    Bytes out = {0xFF, 0xD8};
    for (const auto& s : segments) {
      const size_t len = s.payload.size() + 2 + (s.marker == delta_marker ? length_delta : 0);
      out.insert(out.end(),
                 {0xFF, s.marker, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)});
      out.insert(out.end(), s.payload.begin(), s.payload.end());
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
  Picture pic = Picture::make(o);
  change(pic);
  return parse(pic.bytes());
}

TEST(JpegMarkers, ParsesAFrameAndEveryTruncationOfItsHeaderIsCorrupt) {
  Picture pic = Picture::make();
  const Bytes bytes = pic.bytes();
  const Parsed p = parse(bytes);
  ASSERT_TRUE(p.ok) << p.message;
  EXPECT_EQ(p.header.width, 40);
  EXPECT_EQ(p.header.height, 24);
  EXPECT_EQ(p.header.component_count, 3);
  EXPECT_EQ(p.header.components[0].h, 2);
  EXPECT_EQ(p.header.components[0].v, 2);
  EXPECT_TRUE(p.header.jfif);
  EXPECT_EQ(p.header.scan_offset, bytes.size() - pic.data.size());
  EXPECT_TRUE(p.header.quant_defined[0]);
  EXPECT_TRUE(p.header.dc_specs[0].defined);
  for (size_t n = 0; n < p.header.scan_offset; ++n) {
    // Exactly the bytes, so a read past them would show under ASan.
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
    const Parsed c = parse(cut);
    EXPECT_FALSE(c.ok) << n;
    EXPECT_EQ(c.failure, n < 2 ? Failure::not_jpeg : Failure::corrupt) << n;
  }
  // The header must start the stream.
  FrameHeader h;
  Failure f;
  std::string message;
  EXPECT_FALSE(
      parse_header(ByteSource(bytes.data(), bytes.size(), 5, bytes.size() + 5), h, f, message));
  EXPECT_EQ(f, Failure::corrupt);
}

TEST(JpegMarkers, SegmentLengthsAreChecked) {
  Picture pic = Picture::make();
  for (uint8_t marker : {0xDB, 0xC4, 0xC0, 0xDA})
    for (int delta : {-1, 1}) {
      // A DQT segment one byte short is a short table, which libjpeg takes.
      if (marker == 0xDB && delta == -1) continue;
      EXPECT_EQ(parse(pic.bytes(delta, marker)).failure, Failure::corrupt)
          << std::hex << int{marker} << " " << delta;
    }
  Picture with_dri = Picture::make(EncodeOptions{.restart_interval = 3});
  EXPECT_EQ(parse(with_dri.bytes()).header.restart_interval, 3u);
  EXPECT_EQ(parse(with_dri.bytes(1, 0xDD)).failure, Failure::corrupt);
  EXPECT_EQ(parse({0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 1, 2, 3}).failure, Failure::corrupt);
}

TEST(JpegMarkers, OtherProcessesAreUnsupportedAndNamed) {
  const std::pair<uint8_t, const char*> processes[] = {
      {0xC2, "progressive"}, {0xC3, "lossless"},   {0xC5, "hierarchical"},
      {0xC9, "arithmetic"},  {0xCA, "arithmetic"}, {0xCE, "arithmetic"}};
  for (const auto& [marker, word] : processes) {
    const Parsed p = parse_changed([m = marker](Picture& pic) {
      for (auto& s : pic.segments)
        if (s.marker == 0xC0) s.marker = m;
    });
    EXPECT_EQ(p.failure, Failure::unsupported) << std::hex << int{marker};
    EXPECT_NE(p.message.find(word), std::string::npos) << p.message;
  }
  EXPECT_TRUE(parse_changed([](Picture& pic) {  // extended sequential is taken
                for (auto& s : pic.segments)
                  if (s.marker == 0xC0) s.marker = 0xC1;
              })
                  .ok);
}

TEST(JpegMarkers, FrameScanAndTableFaultsAreCorruptOrUnsupported) {
  using Change = std::function<void(Bytes&)>;
  struct Case {
    uint8_t segment;
    const char* what;
    Change change;
    Failure expected;
  };
  const Case cases[] = {
      {0xC0, "12-bit", [](Bytes& f) { f[0] = 12; }, Failure::unsupported},
      {0xC0, "height 0 (DNL)", [](Bytes& f) { f[1] = f[2] = 0; }, Failure::corrupt},
      {0xC0, "width 0", [](Bytes& f) { f[3] = f[4] = 0; }, Failure::corrupt},
      {0xC0, "width 65501", [](Bytes& f) { f[3] = 0xFF, f[4] = 0xDD; }, Failure::unsupported},
      {0xC0, "h = 5", [](Bytes& f) { f[7] = 0x50; }, Failure::corrupt},
      {0xC0, "v = 0", [](Bytes& f) { f[7] = 0x20; }, Failure::corrupt},
      {0xC0, "4:1:1", [](Bytes& f) { f[7] = 0x41; }, Failure::unsupported},
      {0xC0, "sampled chroma", [](Bytes& f) { f[10] = 0x21; }, Failure::unsupported},
      {0xC0, "quant table 4", [](Bytes& f) { f[8] = 4; }, Failure::corrupt},
      {0xC0, "undefined quant table", [](Bytes& f) { f[8] = 2; }, Failure::corrupt},
      {0xC0, "four components",
       [](Bytes& f) {
         f[5] = 4;
         f.insert(f.end(), {4, 0x11, 1});
       },
       Failure::unsupported},
      {0xDA, "unknown id", [](Bytes& s) { s[1] = 9; }, Failure::corrupt},
      {0xDA, "id twice", [](Bytes& s) { s[3] = s[1]; }, Failure::corrupt},
      {0xDA, "no table 2", [](Bytes& s) { s[2] = 0x22; }, Failure::corrupt},
      {0xDA, "no table 4", [](Bytes& s) { s[2] = 0x40; }, Failure::corrupt},
      {0xDA, "one component of three",
       [](Bytes& s) {
         s[0] = 1;
         s.erase(s.begin() + 3, s.begin() + 7);
       },
       Failure::unsupported},
      {0xC4, "class 2", [](Bytes& t) { t[0] = 0x24; }, Failure::corrupt},
      {0xC4, "slot 4", [](Bytes& t) { t[0] = 0x04; }, Failure::corrupt},
      {0xC4, "more values than held", [](Bytes& t) { t[16] = 200; }, Failure::corrupt},
      {0xDB, "quant slot 5", [](Bytes& t) { t[0] = 0x05; }, Failure::corrupt},
  };
  for (const Case& c : cases) {
    const Parsed p = parse_changed([&](Picture& pic) { c.change(pic.payload(c.segment)); });
    EXPECT_FALSE(p.ok) << c.what;
    EXPECT_EQ(p.failure, c.expected) << c.what;
  }
  // Two frame headers; a scan before the frame.
  EXPECT_EQ(parse_changed([](Picture& pic) {
              pic.segments.insert(pic.segments.begin(), Segment{0xC0, pic.payload(0xC0)});
            }).failure,
            Failure::corrupt);
  EXPECT_EQ(parse_changed([](Picture& pic) { pic.erase(0xC0); }).failure, Failure::corrupt);
}

TEST(JpegMarkers, ShortAndMissingTablesAreTakenAsLibjpegTakesThem) {
  // A quantisation table short of values: 1s for the rest.
  const Parsed short_table = parse_changed([](Picture& pic) {
    pic.payload(0xDB) = {0x00, 16, 11, 10};
  });
  ASSERT_TRUE(short_table.ok) << short_table.message;
  EXPECT_EQ(short_table.header.quant[0][0], 16);
  EXPECT_EQ(short_table.header.quant[0][1], 11);
  EXPECT_EQ(short_table.header.quant[0][8], 10);  // zig-zag index 2
  EXPECT_EQ(short_table.header.quant[0][63], 1);
  // Missing Huffman tables of slots 0 and 1 are the standard ones: those
  // libjpeg writes by default.
  Picture pic = Picture::make();
  const Bytes original = pic.bytes();
  pic.erase(0xC4);
  test::RgbPicture a, b;
  ASSERT_TRUE(test::own_decode(original, a) && test::own_decode(pic.bytes(), b));
  EXPECT_EQ(a.rgb, b.rgb);
}

TEST(JpegMarkers, ColourSpaceAsLibjpegGuessesIt) {
  const EncodeOptions s444{.luma_h = 1, .luma_v = 1};
  auto transform_of = [&](const std::function<void(Picture&)>& change) {
    const Parsed p = parse_changed(change, s444);
    EXPECT_TRUE(p.ok) << p.message;
    return p.header.transform;
  };
  auto adobe = [](uint8_t transform) {
    return [transform](Picture& p) {
      p.erase(0xE0);
      p.segments.insert(p.segments.begin(),
                        Segment{0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform}});
    };
  };
  auto rgb_ids = [](Picture& p) {
    for (int i = 0; i < 3; ++i) p.payload(0xC0)[6 + 3 * i] = p.payload(0xDA)[1 + 2 * i] = "RGB"[i];
  };
  EXPECT_EQ(transform_of([](Picture&) {}), ColorTransform::ycbcr);
  EXPECT_EQ(transform_of(adobe(0)), ColorTransform::rgb);
  EXPECT_EQ(transform_of(adobe(1)), ColorTransform::ycbcr);
  EXPECT_EQ(transform_of([&](Picture& p) {
              p.erase(0xE0);
              rgb_ids(p);
            }),
            ColorTransform::rgb);
  EXPECT_EQ(transform_of(rgb_ids), ColorTransform::ycbcr);  // JFIF wins over the ids
  EXPECT_EQ(parse(Picture::make(EncodeOptions{.components = 1}).bytes()).header.transform,
            ColorTransform::grayscale);
}

TEST(JpegMarkers, SkipsGarbageAndFillBytesBetweenMarkersButNoOtherMarker) {
  Picture pic = Picture::make();
  Bytes bytes = pic.bytes();
  const Bytes junk = {0x00, 0x12, 0xFF, 0x00, 0xFF, 0xFF};
  const size_t app0_end = 4 + pic.segments[0].payload.size() + 2;
  bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(app0_end), junk.begin(), junk.end());
  const Parsed p = parse(bytes);
  EXPECT_TRUE(p.ok) << p.message;
  EXPECT_EQ(p.header.scan_offset, bytes.size() - pic.data.size());
  EXPECT_EQ(parse({0xFF, 0xD8, 0xFF, 0xD9}).failure, Failure::corrupt);
  EXPECT_EQ(parse({0xFF, 0xD8, 0xFF, 0xD8}).failure, Failure::corrupt);
  EXPECT_EQ(parse({0xFF, 0xD8, 0xFF, 0x05, 0x00, 0x02}).failure, Failure::corrupt);
}

}  // namespace
}  // namespace lv::jpeg
