#pragma once

// Bit readers of the own baseline decoder over the entropy-coded data of a
// byte window: FF 00 unstuffing, fill FF bytes, a latched marker after which
// only zero bits follow (never counted as data), restart marker processing
// with libjpeg's resynchronisation rules, and the canonical resume position
// of the state entries.
//
// Two refill strategies share the byte-level logic: `FastBitReader` keeps up
// to 64 bits and refills eight bytes at a time, and `SerialBitReader` takes
// one byte only when its next bit is needed and decodes Huffman codes bit by
// bit. Both must give the same symbols and the same canonical positions.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "library/jpeg_byte_source.h"
#include "library/jpeg_huffman.h"

namespace lv::jpeg {

class BitReaderBase {
 public:
  // Starts at `stream_offset` with an empty bit buffer. False when the offset
  // is outside the window.
  bool start(const ByteSource& window, uint64_t stream_offset);
  // Starts at `stream_offset` with `bits` valid bits rebuilt from the at most
  // six bytes before it (skipping FF 00 stuffing and FF D0 .. FF D9 marker
  // pairs), and `marker` as a marker read but not yet processed (0: none).
  // False when the bits cannot be rebuilt from the window.
  bool resume(const ByteSource& window, uint64_t stream_offset, int bits, uint8_t marker);

  // The canonical resume point: the stream offset after the last data byte
  // that still has valid bits, and how many (< 8) of its low bits are valid.
  void canonical_position(uint64_t& offset, uint8_t& bits) const;

  // Processes the restart marker due now: discards the buffered bits, finds
  // the next marker and handles it as libjpeg's resync_to_restart does.
  // Advances `next_restart`.
  void restart(uint8_t& next_restart);

 protected:
  static constexpr uint8_t kEoi = 0xD9;

  // The next data byte, or -1 when a marker or the end of the window is
  // reached (the reader then stays at that marker).
  int read_data_byte() {
    if (m_hit) return -1;
    if (m_pos < m_size) {
      const uint8_t b = m_data[m_pos];
      if (b != 0xFF) {
        ++m_pos;
        return b;
      }
    }
    return read_data_byte_slow();
  }
  int read_data_byte_slow();
  void latch(size_t marker_pos, size_t marker_end, uint8_t code);
  // Finds the next marker from m_pos as libjpeg's next_marker does and
  // latches it.
  void find_marker();
  // Real data bits (not padding) in the buffer.
  int64_t real_bits() const {
    const int64_t real = m_count - m_pad;
    return real > 0 ? real : 0;
  }

  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  uint64_t m_first = 0;
  size_t m_pos = 0;  // next byte to read; at a latched marker: its first FF

  uint64_t m_acc = 0;  // left-aligned: the next bit is bit 63; bits below m_count are 0
  int m_count = 0;
  int64_t m_pad = 0;  // zero bits padded in since the marker was latched

  bool m_hit = false;
  size_t m_marker_end = 0;  // after the marker code
  uint8_t m_marker = 0;
};

class FastBitReader : public BitReaderBase {
 public:
  static constexpr bool kLookahead = true;

  // At least 32 bits (real or padding) in the buffer.
  void ensure() {
    if (m_count < 32) refill();
  }
  uint32_t peek() const { return static_cast<uint32_t>(m_acc >> (64 - HuffmanTable::kLookupBits)); }
  void consume(int n) {
    m_acc <<= n;
    m_count -= n;
  }
  // After ensure(): one Huffman symbol (at most 17 bits).
  int symbol(const HuffmanTable& table) {
    const uint32_t e = table.lookup[peek()];
    if (e) {
      consume(static_cast<int>(e >> 8));
      return static_cast<int>(e & 0xff);
    }
    int length = 0;
    const int value = table.decode_long(static_cast<uint32_t>(m_acc >> 48), length);
    consume(length);
    return value;
  }
  // After ensure() and at most 17 bits of symbol: s (1 .. 15) bits as a
  // signed value (ITU T.81 F.2.2.1 EXTEND).
  int receive(int s) {
    const int v = static_cast<int>(m_acc >> (64 - s));
    consume(s);
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
  }
  void skip(int s) { consume(s); }
  // No real bits left and a marker (or the end of the data) next.
  bool exhausted() {
    if (m_count > m_pad) return false;
    if (!m_hit) {
      refill();
      if (m_count > m_pad) return false;
    }
    return true;
  }

 private:
  void refill();
  void refill_bytes();
};

class SerialBitReader : public BitReaderBase {
 public:
  static constexpr bool kLookahead = false;

  void ensure() {}
  int symbol(const HuffmanTable& table);
  int receive(int s) {
    int v = 0;
    for (int i = 0; i < s; ++i) v = (v << 1) | bit();
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
  }
  void skip(int s) {
    for (int i = 0; i < s; ++i) bit();
  }
  bool exhausted() {
    if (m_count > m_pad) return false;
    if (!m_hit) {
      load_byte();
      if (m_count > m_pad) return false;
    }
    return true;
  }

 private:
  void load_byte();
  int bit() {
    if (m_count == 0) load_byte();
    const int b = static_cast<int>(m_acc >> 63);
    m_acc <<= 1;
    --m_count;
    return b;
  }
};

}  // namespace lv::jpeg
