#include "library/jpeg_markers.h"

#include <gtest/gtest.h>

#include <vector>

#include "library/jpeg_decoder.h"
#include "library/jpeg_own_test_support.h"

namespace lv::jpeg {
namespace {

using namespace lv::test::own_jpeg;

struct Segment {
  uint8_t marker;
  std::vector<uint8_t> payload;
};

// A small libjpeg picture split into its header segments and its scan data.
struct Picture {
  std::vector<Segment> segments;  // up to and including SOS
  std::vector<uint8_t> data;      // after SOS

  static Picture make(const EncodeOptions& o = {}) {
    const auto pixels = make_pixels(40, 24, o.components, Content::photo);
    const auto bytes = encode(pixels, 40, 24, o);
    Picture p;
    size_t at = 2;
    for (;;) {
      const uint8_t marker = bytes[at + 1];
      const size_t len = (bytes[at + 2] << 8) | bytes[at + 3];
      p.segments.push_back({marker, {bytes.begin() + at + 4, bytes.begin() + at + 2 + len}});
      at += 2 + len;
      if (marker == 0xDA) break;
    }
    p.data.assign(bytes.begin() + at, bytes.end());
    return p;
  }
  Segment* find(uint8_t marker) {
    for (auto& s : segments)
      if (s.marker == marker) return &s;
    return nullptr;
  }
  void erase(uint8_t marker) {
    std::erase_if(segments, [&](const Segment& s) { return s.marker == marker; });
  }
  std::vector<uint8_t> bytes(int length_delta = 0, uint8_t delta_marker = 0) const {
    std::vector<uint8_t> out = {0xFF, 0xD8};
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

Parsed parse(const std::vector<uint8_t>& bytes) {
  Parsed p;
  p.ok = parse_header(ByteSource(bytes.data(), bytes.size()), p.header, p.failure, p.message);
  return p;
}

TEST(JpegMarkers, ParsesAFrame) {
  Picture pic = Picture::make();
  const auto bytes = pic.bytes();
  const Parsed p = parse(bytes);
  ASSERT_TRUE(p.ok) << p.message;
  EXPECT_EQ(p.header.width, 40);
  EXPECT_EQ(p.header.height, 24);
  EXPECT_EQ(p.header.component_count, 3);
  EXPECT_EQ(p.header.components[0].h, 2);
  EXPECT_EQ(p.header.components[0].v, 2);
  EXPECT_TRUE(p.header.jfif);
  EXPECT_EQ(p.header.transform, ColorTransform::ycbcr);
  EXPECT_EQ(p.header.scan_offset, bytes.size() - pic.data.size());
  EXPECT_TRUE(p.header.quant_defined[0]);
  EXPECT_TRUE(p.header.dc_specs[0].defined);
}

TEST(JpegMarkers, EveryTruncationOfTheHeaderIsCorrupt) {
  const auto bytes = Picture::make().bytes();
  const size_t header = bytes.size() - Picture::make().data.size();
  for (size_t n = 0; n < header; ++n) {
    // Exactly the bytes, so a read past them would show under ASan.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
    const Parsed p = parse(cut);
    EXPECT_FALSE(p.ok) << n;
    EXPECT_EQ(p.failure, n < 2 ? Failure::not_jpeg : Failure::corrupt) << n;
  }
}

TEST(JpegMarkers, SegmentLengthsAreChecked) {
  Picture pic = Picture::make();
  for (uint8_t marker : {0xDB, 0xC4, 0xC0, 0xDA}) {
    for (int delta : {-1, 1}) {
      // A DQT segment one byte short is a short table, which libjpeg takes.
      if (marker == 0xDB && delta == -1) continue;
      const Parsed p = parse(pic.bytes(delta, marker));
      EXPECT_FALSE(p.ok) << std::hex << int{marker} << " " << delta;
      EXPECT_EQ(p.failure, Failure::corrupt) << std::hex << int{marker};
    }
  }
  Picture with_dri = Picture::make(EncodeOptions{.restart_interval = 3});
  ASSERT_NE(with_dri.find(0xDD), nullptr);
  EXPECT_EQ(parse(with_dri.bytes()).header.restart_interval, 3u);
  EXPECT_EQ(parse(with_dri.bytes(1, 0xDD)).failure, Failure::corrupt);
  // A segment longer than the file.
  std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 1, 2, 3};
  EXPECT_EQ(parse(bytes).failure, Failure::corrupt);
}

TEST(JpegMarkers, RefusesOtherProcessesAsUnsupported) {
  const std::pair<uint8_t, const char*> processes[] = {
      {0xC2, "progressive"}, {0xC3, "lossless"},   {0xC5, "hierarchical"},
      {0xC9, "arithmetic"},  {0xCA, "arithmetic"}, {0xCE, "arithmetic"}};
  for (const auto& [marker, word] : processes) {
    Picture pic = Picture::make();
    pic.find(0xC0)->marker = marker;
    const Parsed p = parse(pic.bytes());
    EXPECT_EQ(p.failure, Failure::unsupported) << std::hex << int{marker};
    EXPECT_NE(p.message.find(word), std::string::npos) << p.message;
  }
  Picture ext = Picture::make();
  ext.find(0xC0)->marker = 0xC1;  // extended sequential is taken
  EXPECT_TRUE(parse(ext.bytes()).ok);
}

TEST(JpegMarkers, FrameChecks) {
  auto with_frame = [](auto change) {
    Picture pic = Picture::make();
    change(pic.find(0xC0)->payload);
    return parse(pic.bytes());
  };
  EXPECT_EQ(with_frame([](auto& f) { f[0] = 12; }).failure, Failure::unsupported);
  EXPECT_EQ(with_frame([](auto& f) { f[1] = f[2] = 0; }).failure, Failure::corrupt);  // DNL
  EXPECT_EQ(with_frame([](auto& f) { f[3] = f[4] = 0; }).failure, Failure::corrupt);
  EXPECT_EQ(with_frame([](auto& f) { f[3] = 0xFF, f[4] = 0xDD; }).failure,
            Failure::unsupported);                                                    // 65501
  EXPECT_EQ(with_frame([](auto& f) { f[7] = 0x50; }).failure, Failure::corrupt);      // h = 5
  EXPECT_EQ(with_frame([](auto& f) { f[7] = 0x20; }).failure, Failure::corrupt);      // v = 0
  EXPECT_EQ(with_frame([](auto& f) { f[7] = 0x41; }).failure, Failure::unsupported);  // 4:1:1
  EXPECT_EQ(with_frame([](auto& f) { f[10] = 0x21; }).failure, Failure::unsupported);
  EXPECT_EQ(with_frame([](auto& f) { f[8] = 4; }).failure, Failure::corrupt);  // table 4
  EXPECT_EQ(with_frame([](auto& f) { f[8] = 2; }).failure, Failure::corrupt);  // undefined
  // Four components.
  const Parsed four = with_frame([](auto& f) {
    f[5] = 4;
    f.insert(f.end(), {4, 0x11, 1});
  });
  EXPECT_EQ(four.failure, Failure::unsupported);
  // Two frame headers.
  Picture pic = Picture::make();
  pic.segments.insert(pic.segments.begin(), *pic.find(0xC0));
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
}

TEST(JpegMarkers, ScanChecks) {
  auto with_scan = [](auto change) {
    Picture pic = Picture::make();
    change(pic.find(0xDA)->payload);
    return parse(pic.bytes());
  };
  EXPECT_EQ(with_scan([](auto& s) { s[1] = 9; }).failure, Failure::corrupt);     // unknown id
  EXPECT_EQ(with_scan([](auto& s) { s[3] = s[1]; }).failure, Failure::corrupt);  // id twice
  EXPECT_EQ(with_scan([](auto& s) { s[2] = 0x22; }).failure, Failure::corrupt);  // no table 2
  EXPECT_EQ(with_scan([](auto& s) { s[2] = 0x40; }).failure, Failure::corrupt);  // no table 4
  // One component of three: the others come in later scans.
  const Parsed partial = with_scan([](auto& s) {
    s[0] = 1;
    s.erase(s.begin() + 3, s.begin() + 7);
  });
  EXPECT_EQ(partial.failure, Failure::unsupported);
  // SOS before SOF.
  Picture pic = Picture::make();
  pic.erase(0xC0);
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
}

TEST(JpegMarkers, TableChecks) {
  Picture pic = Picture::make();
  pic.find(0xC4)->payload[0] = 0x24;  // class 2
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
  pic = Picture::make();
  pic.find(0xC4)->payload[0] = 0x04;  // slot 4
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
  pic = Picture::make();
  pic.find(0xC4)->payload[16] = 200;  // more values than the segment holds
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
  pic = Picture::make();
  pic.find(0xDB)->payload[0] = 0x05;
  EXPECT_EQ(parse(pic.bytes()).failure, Failure::corrupt);
  // A quantisation table short of values is taken as libjpeg does, 1s for
  // the rest.
  pic = Picture::make();
  Segment& dqt = *pic.find(0xDB);
  dqt.payload = {0x00, 16, 11, 10};
  const Parsed short_table = parse(pic.bytes());
  ASSERT_TRUE(short_table.ok) << short_table.message;
  EXPECT_EQ(short_table.header.quant[0][0], 16);
  EXPECT_EQ(short_table.header.quant[0][1], 11);
  EXPECT_EQ(short_table.header.quant[0][8], 10);  // zig-zag index 2
  EXPECT_EQ(short_table.header.quant[0][63], 1);
  // Missing Huffman tables of slots 0 and 1 are the standard ones.
  pic = Picture::make();
  pic.erase(0xC4);
  EXPECT_TRUE(parse(pic.bytes()).ok);
  Decoder d;
  const auto bytes = pic.bytes();
  EXPECT_TRUE(d.open(ByteSource(bytes.data(), bytes.size())));
}

TEST(JpegMarkers, ColourSpaceAsLibjpegGuessesIt) {
  auto transform_of = [](auto change) {
    Picture pic = Picture::make(EncodeOptions{.luma_h = 1, .luma_v = 1});
    change(pic);
    const Parsed p = parse(pic.bytes());
    EXPECT_TRUE(p.ok) << p.message;
    return p.header.transform;
  };
  EXPECT_EQ(transform_of([](Picture&) {}), ColorTransform::ycbcr);
  const std::vector<uint8_t> adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0};
  EXPECT_EQ(transform_of([&](Picture& p) {
              p.erase(0xE0);
              p.segments.insert(p.segments.begin(), Segment{0xEE, adobe});
            }),
            ColorTransform::rgb);
  EXPECT_EQ(transform_of([&](Picture& p) {
              p.erase(0xE0);
              auto a = adobe;
              a[11] = 1;
              p.segments.insert(p.segments.begin(), Segment{0xEE, a});
            }),
            ColorTransform::ycbcr);
  auto rgb_ids = [](Picture& p) {
    auto& f = p.find(0xC0)->payload;
    auto& s = p.find(0xDA)->payload;
    const uint8_t ids[] = {'R', 'G', 'B'};
    for (int i = 0; i < 3; ++i) f[6 + 3 * i] = s[1 + 2 * i] = ids[i];
  };
  EXPECT_EQ(transform_of([&](Picture& p) {
              p.erase(0xE0);
              rgb_ids(p);
            }),
            ColorTransform::rgb);
  // JFIF wins over the ids.
  EXPECT_EQ(transform_of(rgb_ids), ColorTransform::ycbcr);
  EXPECT_EQ(parse(Picture::make(EncodeOptions{.components = 1}).bytes()).header.transform,
            ColorTransform::grayscale);
}

TEST(JpegMarkers, SkipsGarbageAndFillBytesBetweenMarkers) {
  Picture pic = Picture::make();
  auto bytes = pic.bytes();
  // Junk and fill bytes before the first DQT.
  const std::vector<uint8_t> junk = {0x00, 0x12, 0xFF, 0x00, 0xFF, 0xFF};
  size_t app0_end = 4 + pic.segments[0].payload.size() + 2;
  bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(app0_end), junk.begin(), junk.end());
  const Parsed p = parse(bytes);
  EXPECT_TRUE(p.ok) << p.message;
  EXPECT_EQ(p.header.scan_offset, bytes.size() - pic.data.size());
  // Other markers are refused.
  std::vector<uint8_t> eoi = {0xFF, 0xD8, 0xFF, 0xD9};
  EXPECT_EQ(parse(eoi).failure, Failure::corrupt);
  std::vector<uint8_t> soi = {0xFF, 0xD8, 0xFF, 0xD8};
  EXPECT_EQ(parse(soi).failure, Failure::corrupt);
  std::vector<uint8_t> unknown = {0xFF, 0xD8, 0xFF, 0x05, 0x00, 0x02};
  EXPECT_EQ(parse(unknown).failure, Failure::corrupt);
}

TEST(JpegMarkers, HeaderMustStartTheStream) {
  const auto bytes = Picture::make().bytes();
  FrameHeader h;
  Failure f;
  std::string message;
  EXPECT_FALSE(
      parse_header(ByteSource(bytes.data(), bytes.size(), 5, bytes.size() + 5), h, f, message));
  EXPECT_EQ(f, Failure::corrupt);
}

}  // namespace
}  // namespace lv::jpeg
