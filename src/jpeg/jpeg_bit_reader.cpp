#include "jpeg/jpeg_bit_reader.h"

namespace lv::jpeg {

namespace {

constexpr uint8_t kRst0 = 0xD0;
constexpr uint8_t kRst7 = 0xD7;

}  // namespace

bool BitReaderBase::start(const ByteSource& window, uint64_t stream_offset) {
  return resume(window, stream_offset, 0, 0);
}

bool BitReaderBase::resume(const ByteSource& window, uint64_t stream_offset, int bits,
                           uint8_t marker) {
  m_data = window.data();
  m_size = window.size();
  m_first = window.first();
  m_acc = 0;
  m_count = 0;
  m_pad = 0;
  m_hit = false;
  m_marker = 0;
  if (!window.valid() || !window.contains(stream_offset) || bits < 0 || bits > 32) return false;
  const size_t at = static_cast<size_t>(stream_offset - m_first);
  m_pos = at;
  m_marker_end = at;

  // Walk back from the offset over at most six bytes, collecting the data
  // bytes that hold the valid bits: the nearest one gives bits 0 .. 7.
  const int needed = (bits + 7) / 8;
  const size_t lower = at >= 6 ? at - 6 : 0;
  uint64_t value = 0;
  size_t p = at;
  for (int got = 0; got < needed;) {
    if (p <= lower) return false;
    const uint8_t b = m_data[p - 1];
    if (p - 1 > lower && m_data[p - 2] == 0xFF) {
      if (b == 0x00) {
        value |= uint64_t{0xFF} << (8 * got++);
        p -= 2;
        continue;
      }
      if (b >= kRst0 && b <= kEoi) {
        p -= 2;
        continue;
      }
    }
    value |= uint64_t{b} << (8 * got++);
    p -= 1;
  }
  if (bits > 0) {
    value &= (uint64_t{1} << bits) - 1;
    m_acc = value << (64 - bits);
  }
  m_count = bits;
  if (marker != 0) latch(at, at, marker);
  return true;
}

void BitReaderBase::canonical_position(uint64_t& offset, uint8_t& bits) const {
  // The real bits all come from whole data bytes read since the last
  // restart, none after a marker; hand back the whole bytes among them.
  const int64_t real = real_bits();
  bits = static_cast<uint8_t>(real & 7);
  size_t p = m_pos;
  for (int64_t whole = real >> 3; whole > 0 && p > 0; --whole) {
    if (p >= 2 && m_data[p - 1] == 0x00 && m_data[p - 2] == 0xFF) {
      // A stuffed FF, with any fill FF bytes before it.
      p -= 2;
      while (p > 0 && m_data[p - 1] == 0xFF) --p;
    } else {
      --p;
    }
  }
  offset = m_first + p;
}

int BitReaderBase::read_data_byte_slow() {
  if (m_pos >= m_size) {
    latch(m_size, m_size, kEoi);
    return -1;
  }
  // At an FF: fill FF bytes, then 00 for a data FF or a marker code. The
  // end of the window counts as an EOI marker.
  size_t p = m_pos + 1;
  while (p < m_size && m_data[p] == 0xFF) ++p;
  if (p >= m_size) {
    latch(m_pos, m_size, kEoi);
    return -1;
  }
  if (m_data[p] == 0x00) {
    m_pos = p + 1;
    return 0xFF;
  }
  latch(m_pos, p + 1, m_data[p]);
  return -1;
}

void BitReaderBase::latch(size_t marker_pos, size_t marker_end, uint8_t code) {
  m_hit = true;
  m_pos = marker_pos;
  m_marker_end = marker_end;
  m_marker = code;
}

void BitReaderBase::find_marker() {
  for (;;) {
    while (m_pos < m_size && m_data[m_pos] != 0xFF) ++m_pos;
    if (m_pos >= m_size) {
      latch(m_size, m_size, kEoi);
      return;
    }
    size_t p = m_pos + 1;
    while (p < m_size && m_data[p] == 0xFF) ++p;
    if (p >= m_size) {
      latch(m_pos, m_size, kEoi);
      return;
    }
    if (m_data[p] != 0x00) {
      latch(m_pos, p + 1, m_data[p]);
      return;
    }
    m_pos = p + 1;  // FF 00 is data, not a marker
  }
}

void BitReaderBase::restart(uint8_t& next_restart) {
  m_acc = 0;
  m_count = 0;
  m_pad = 0;
  if (!m_hit) find_marker();
  const int expected = next_restart & 7;
  auto rst = [](int n) { return kRst0 + (n & 7); };
  for (;;) {
    const int m = m_marker;
    // 1: take the marker and go on after it; 2: skip it and look at the next
    // marker; 3: leave it pending, so the interval's data counts as missing.
    int action;
    if (m == rst(expected))
      action = 1;
    else if (m < 0xC0)
      action = 2;
    else if (m < kRst0 || m > kRst7)
      action = 3;
    else if (m == rst(expected + 1) || m == rst(expected + 2))
      action = 3;
    else if (m == rst(expected - 1) || m == rst(expected - 2))
      action = 2;
    else
      action = 1;
    if (action == 3) break;
    m_hit = false;
    m_pos = m_marker_end;
    if (action == 1) break;
    find_marker();
  }
  next_restart = static_cast<uint8_t>((expected + 1) & 7);
}

void FastBitReader::refill_bytes() {
  while (m_count <= 56) {
    const int b = read_data_byte();
    if (b < 0) {
      // Zero bits after the marker, as many as the buffer takes.
      m_pad += 64 - m_count;
      m_count = 64;
      return;
    }
    m_acc |= static_cast<uint64_t>(b) << (56 - m_count);
    m_count += 8;
  }
}

void SerialBitReader::load_byte() {
  const int b = read_data_byte();
  if (b < 0) {
    m_pad += 8;
    m_count += 8;
    return;
  }
  m_acc |= static_cast<uint64_t>(b) << (56 - m_count);
  m_count += 8;
}

int SerialBitReader::symbol(const HuffmanTable& table) {
  int32_t code = 0;
  for (int len = 1; len <= 16; ++len) {
    code = (code << 1) | bit();
    if (code <= table.max_code[len]) return table.values[(code + table.value_offset[len]) & 0xff];
  }
  bit();  // a sequence that is no code counts as 17 bits
  return 0;
}

}  // namespace lv::jpeg
