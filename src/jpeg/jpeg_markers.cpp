#include "jpeg/jpeg_markers.h"

#include <cstring>

namespace lv::jpeg {

namespace {

constexpr int kMaxDimension = 65500;

enum Marker : uint8_t {
  kSof0 = 0xC0,
  kSof1 = 0xC1,
  kSof2 = 0xC2,
  kSof3 = 0xC3,
  kDht = 0xC4,
  kJpg = 0xC8,
  kDac = 0xCC,
  kSof15 = 0xCF,
  kRst0 = 0xD0,
  kRst7 = 0xD7,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kDqt = 0xDB,
  kDnl = 0xDC,
  kDri = 0xDD,
  kApp0 = 0xE0,
  kApp14 = 0xEE,
  kApp15 = 0xEF,
  kCom = 0xFE,
  kTem = 0x01,
};

class Parser {
 public:
  Parser(const uint8_t* data, size_t size, FrameHeader& header, Failure& failure,
         std::string& message)
      : m_data(data), m_size(size), m_header(header), m_failure(failure), m_message(message) {}

  bool run();

 private:
  bool fail(Failure failure, const char* message) {
    m_failure = failure;
    m_message = message;
    return false;
  }
  bool corrupt(const char* message) { return fail(Failure::corrupt, message); }
  uint32_t be16(size_t at) const { return (m_data[at] << 8) | m_data[at + 1]; }

  bool next_marker(int& code);
  // The payload of the segment at m_pos (after the marker): its start and
  // length. Lenient segments (APPn, COM, ...) accept lengths below 2 as empty.
  bool segment(size_t& start, size_t& length, bool lenient);
  bool frame(size_t p, size_t n);
  bool huffman(size_t p, size_t n);
  bool quantization(size_t p, size_t n);
  bool scan(size_t p, size_t n);
  void app0(size_t p, size_t n);
  void app14(size_t p, size_t n);
  void decide_transform();

  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 2;
  bool m_have_frame = false;
  FrameHeader& m_header;
  Failure& m_failure;
  std::string& m_message;
};

bool Parser::next_marker(int& code) {
  // As libjpeg: bytes other than FF before a marker are skipped, fill FF
  // bytes are swallowed, and FF 00 is no marker.
  for (;;) {
    while (m_pos < m_size && m_data[m_pos] != 0xFF) ++m_pos;
    while (m_pos < m_size && m_data[m_pos] == 0xFF) ++m_pos;
    if (m_pos >= m_size) return corrupt("the file ends before the picture data");
    code = m_data[m_pos++];
    if (code != 0) return true;
  }
}

bool Parser::segment(size_t& start, size_t& length, bool lenient) {
  if (m_size - m_pos < 2) return corrupt("the file ends inside a marker segment");
  const size_t declared = be16(m_pos);
  if (declared < 2) {
    if (!lenient) return corrupt("a marker segment has a bad length");
    start = m_pos + 2;
    length = 0;
    m_pos += 2;
    return true;
  }
  if (declared > m_size - m_pos) return corrupt("the file ends inside a marker segment");
  start = m_pos + 2;
  length = declared - 2;
  m_pos += declared;
  return true;
}

bool Parser::run() {
  for (;;) {
    int code = 0;
    if (!next_marker(code)) return false;
    size_t p = 0, n = 0;
    if (code >= kSof0 && code <= kSof15 && code != kDht && code != kDac) {
      if (code != kSof0 && code != kSof1) {
        if (code == kSof2) return fail(Failure::unsupported, "progressive JPEG");
        if (code == kSof3) return fail(Failure::unsupported, "lossless JPEG");
        if (code == kJpg) return fail(Failure::unsupported, "JPEG extension");
        if (code >= 0xC9) return fail(Failure::unsupported, "arithmetic-coded JPEG");
        return fail(Failure::unsupported, "hierarchical JPEG");
      }
      if (m_have_frame) return corrupt("two frame headers");
      if (!segment(p, n, false) || !frame(p, n)) return false;
      m_have_frame = true;
      continue;
    }
    switch (code) {
      case kDht:
        if (!segment(p, n, false) || !huffman(p, n)) return false;
        break;
      case kDqt:
        if (!segment(p, n, false) || !quantization(p, n)) return false;
        break;
      case kDri:
        if (!segment(p, n, false)) return false;
        if (n != 2) return corrupt("a restart interval segment has a bad length");
        m_header.restart_interval = be16(p);
        break;
      case kSos:
        if (!segment(p, n, false)) return false;
        return scan(p, n);
      case kSoi:
        return corrupt("a second start of image");
      case kEoi:
        return corrupt("the picture has no image data");
      case kTem:
        break;
      default:
        if (code >= kRst0 && code <= kRst7) break;
        if ((code >= kApp0 && code <= kApp15) || code == kCom || code == kDnl || code == kDac) {
          if (!segment(p, n, true)) return false;
          if (code == kApp0) app0(p, n);
          if (code == kApp14) app14(p, n);
          break;
        }
        return corrupt("an unknown marker");
    }
  }
}

bool Parser::frame(size_t p, size_t n) {
  if (n < 6) return corrupt("the frame header is too short");
  const int precision = m_data[p];
  const int height = static_cast<int>(be16(p + 1));
  const int width = static_cast<int>(be16(p + 3));
  const int count = m_data[p + 5];
  if (height == 0 || width == 0 || count == 0) return corrupt("the picture is empty");
  if (n != 6 + 3 * static_cast<size_t>(count)) return corrupt("the frame header has a bad length");
  for (int i = 0; i < count; ++i) {
    const int hv = m_data[p + 7 + 3 * i];
    const int h = hv >> 4, v = hv & 15;
    if (h < 1 || h > 4 || v < 1 || v > 4) return corrupt("bad sampling factors");
    if (m_data[p + 8 + 3 * i] > 3) return corrupt("a bad quantisation table number");
  }
  if (precision != 8) return fail(Failure::unsupported, "samples of other than 8 bits");
  if (count != 1 && count != 3)
    return fail(Failure::unsupported, "neither one nor three components");
  if (width > kMaxDimension || height > kMaxDimension)
    return fail(Failure::unsupported, "the picture is too large");
  m_header.width = width;
  m_header.height = height;
  m_header.component_count = count;
  for (int i = 0; i < count; ++i) {
    FrameComponent& c = m_header.components[i];
    c.id = m_data[p + 6 + 3 * i];
    c.h = static_cast<uint8_t>(m_data[p + 7 + 3 * i] >> 4);
    c.v = static_cast<uint8_t>(m_data[p + 7 + 3 * i] & 15);
    c.quant_slot = m_data[p + 8 + 3 * i];
  }
  if (count == 3) {
    // Luma sampled 1 or 2 times in each direction, chroma once: MCUs of 8 or
    // 16 pixels.
    const FrameComponent* c = m_header.components;
    if (c[0].h > 2 || c[0].v > 2 || c[1].h != 1 || c[1].v != 1 || c[2].h != 1 || c[2].v != 1)
      return fail(Failure::unsupported, "chroma sampling other than 4:4:4, 4:2:2, 4:4:0 or 4:2:0");
  }
  return true;
}

bool Parser::huffman(size_t p, size_t n) {
  while (n > 16) {
    const int index = m_data[p];
    int count = 0;
    for (int i = 0; i < 16; ++i) count += m_data[p + 1 + i];
    p += 17;
    n -= 17;
    if (count > 256 || static_cast<size_t>(count) > n) return corrupt("a bad Huffman table");
    const int table_class = index >> 4;
    const int slot = index & 15;
    if (table_class > 1 || slot > 3) return corrupt("a bad Huffman table number");
    HuffmanSpec& spec = table_class == 0 ? m_header.dc_specs[slot] : m_header.ac_specs[slot];
    spec = HuffmanSpec{};
    spec.defined = true;
    std::memcpy(spec.counts, m_data + p - 16, 16);
    std::memcpy(spec.values, m_data + p, static_cast<size_t>(count));
    spec.value_count = count;
    p += static_cast<size_t>(count);
    n -= static_cast<size_t>(count);
  }
  if (n != 0) return corrupt("a Huffman table segment has a bad length");
  return true;
}

bool Parser::quantization(size_t p, size_t n) {
  while (n > 0) {
    const int pq = m_data[p] >> 4;
    const int slot = m_data[p] & 15;
    ++p;
    --n;
    if (slot > 3) return corrupt("a bad quantisation table number");
    uint16_t* table = m_header.quant[slot];
    const size_t width = pq ? 2 : 1;
    size_t count = 64;
    if (n < 64 * width) {
      // A short table, as libjpeg takes it: the missing values are 1.
      for (int i = 0; i < 64; ++i) table[i] = 1;
      count = n / width;
    }
    for (size_t i = 0; i < count; ++i) {
      const uint16_t v = pq ? static_cast<uint16_t>(be16(p + 2 * i)) : m_data[p + i];
      table[kNaturalOrder[i]] = v;
    }
    m_header.quant_defined[slot] = true;
    p += count * width;
    n -= count * width;
  }
  return true;
}

void Parser::app0(size_t p, size_t n) {
  if (n >= 14 && std::memcmp(m_data + p, "JFIF\0", 5) == 0) m_header.jfif = true;
}

void Parser::app14(size_t p, size_t n) {
  if (n >= 12 && std::memcmp(m_data + p, "Adobe", 5) == 0) {
    m_header.adobe = true;
    m_header.adobe_transform = m_data[p + 11];
  }
}

void Parser::decide_transform() {
  // The colour space as libjpeg guesses it: JFIF means YCbCr, an Adobe
  // marker's transform 0 means RGB, else component ids 'R' 'G' 'B' do.
  FrameHeader& h = m_header;
  if (h.component_count == 1) {
    h.transform = ColorTransform::grayscale;
  } else if (h.jfif) {
    h.transform = ColorTransform::ycbcr;
  } else if (h.adobe) {
    h.transform = h.adobe_transform == 0 ? ColorTransform::rgb : ColorTransform::ycbcr;
  } else {
    const FrameComponent* c = h.components;
    const bool rgb_ids = c[0].id == 'R' && c[1].id == 'G' && c[2].id == 'B';
    h.transform = rgb_ids ? ColorTransform::rgb : ColorTransform::ycbcr;
  }
}

bool Parser::scan(size_t p, size_t n) {
  if (!m_have_frame) return corrupt("image data before the frame header");
  if (n < 1) return corrupt("the scan header is too short");
  const int count = m_data[p];
  if (count < 1 || count > 4 || n != 4 + 2 * static_cast<size_t>(count))
    return corrupt("the scan header has a bad length");
  bool used[3] = {};
  for (int i = 0; i < count; ++i) {
    const int id = m_data[p + 1 + 2 * i];
    const int tables = m_data[p + 2 + 2 * i];
    int found = -1;
    for (int c = 0; c < m_header.component_count; ++c) {
      if (m_header.components[c].id == id && !used[c]) {
        found = c;
        break;
      }
    }
    if (found < 0) return corrupt("the scan names an unknown component");
    used[found] = true;
    m_header.scan[i].frame_index = static_cast<uint8_t>(found);
    m_header.scan[i].dc_slot = static_cast<uint8_t>(tables >> 4);
    m_header.scan[i].ac_slot = static_cast<uint8_t>(tables & 15);
  }
  if (count != m_header.component_count)
    return fail(Failure::unsupported, "components in separate scans");
  m_header.scan_component_count = count;
  for (int i = 0; i < count; ++i) {
    const ScanComponent& s = m_header.scan[i];
    if (!m_header.quant_defined[m_header.components[s.frame_index].quant_slot])
      return corrupt("a quantisation table is missing");
    HuffmanSpec fallback;
    if (!scan_table_spec(m_header, TableClass::dc, s.dc_slot, fallback) ||
        !scan_table_spec(m_header, TableClass::ac, s.ac_slot, fallback))
      return corrupt("a Huffman table is missing");
  }
  decide_transform();
  m_header.scan_offset = m_pos;
  return true;
}

}  // namespace

const HuffmanSpec* scan_table_spec(const FrameHeader& header, TableClass table_class, int slot,
                                   HuffmanSpec& fallback) {
  if (slot < 0 || slot > 3) return nullptr;
  const HuffmanSpec& spec =
      table_class == TableClass::dc ? header.dc_specs[slot] : header.ac_specs[slot];
  if (spec.defined) return &spec;
  if (slot > 1) return nullptr;
  fallback = standard_huffman_spec(table_class, slot);
  return &fallback;
}

bool parse_header(const ByteSource& source, FrameHeader& header, Failure& failure,
                  std::string& message) {
  header = FrameHeader{};
  failure = Failure::none;
  message.clear();
  const uint8_t* d = source.data();
  const size_t n = source.size();
  if (n < 2 || d[0] != 0xFF || d[1] != kSoi) {
    failure = Failure::not_jpeg;
    message = "not a JPEG file";
    return false;
  }
  if (!source.valid() || source.first() != 0) {
    failure = Failure::corrupt;
    message = "the header bytes do not start the stream";
    return false;
  }
  return Parser(d, n, header, failure, message).run();
}

}  // namespace lv::jpeg
