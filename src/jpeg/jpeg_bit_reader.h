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

#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_huffman.h"

namespace lv::jpeg {

namespace detail {

inline uint64_t load_be64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

inline bool has_ff_byte(uint64_t w) {
  const uint64_t x = ~w;
  return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

}  // namespace detail

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
    if (m_count < 32 && !refill_word(m_acc, m_count)) refill_bytes();
  }
  uint32_t peek() const { return peek_of(m_acc); }
  uint32_t peek_run() const { return peek_run_of(m_acc); }
  void consume(int n) { consume_of(m_acc, m_count, n); }
  // After ensure(): one Huffman symbol (at most 17 bits).
  int symbol(const HuffmanTable& table) { return symbol_of(m_acc, m_count, table); }
  // After ensure() and at most 17 bits of symbol: s (1 .. 15) bits as a
  // signed value (ITU T.81 F.2.2.1 EXTEND).
  int receive(int s) { return receive_of(m_acc, m_count, s); }
  void skip(int s) { consume(s); }
  // No real bits left and a marker (or the end of the data) next.
  bool exhausted() {
    if (m_count > m_pad) return false;
    if (!m_hit) {
      if (!refill_word(m_acc, m_count)) refill_bytes();
      if (m_count > m_pad) return false;
    }
    return true;
  }

  // The same operations on a copy of the bit buffer held in the cursor, for
  // a loop over one block: the compiler keeps it in registers, which it
  // cannot do with the reader itself once a slow path has taken its
  // address. The reader gets the buffer back when the cursor goes.
  class Cursor {
   public:
    static constexpr bool kLookahead = true;

    explicit Cursor(FastBitReader& reader)
        : m_reader(reader), m_acc(reader.m_acc), m_count(reader.m_count) {}
    ~Cursor() {
      m_reader.m_acc = m_acc;
      m_reader.m_count = m_count;
    }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    void ensure() {
      if (m_count < 32 && !m_reader.refill_word(m_acc, m_count)) {
        m_reader.m_acc = m_acc;
        m_reader.m_count = m_count;
        m_reader.refill_bytes();
        m_acc = m_reader.m_acc;
        m_count = m_reader.m_count;
      }
    }
    uint32_t peek() const { return peek_of(m_acc); }
    uint32_t peek_run() const { return peek_run_of(m_acc); }
    void consume(int n) { consume_of(m_acc, m_count, n); }
    int symbol(const HuffmanTable& table) { return symbol_of(m_acc, m_count, table); }
    int receive(int s) { return receive_of(m_acc, m_count, s); }
    void skip(int s) { consume(s); }

   private:
    FastBitReader& m_reader;
    uint64_t m_acc;
    int m_count;
  };

 private:
  static uint32_t peek_of(uint64_t acc) {
    return static_cast<uint32_t>(acc >> (64 - HuffmanTable::kLookupBits));
  }
  static uint32_t peek_run_of(uint64_t acc) {
    return static_cast<uint32_t>(acc >> (64 - HuffmanTable::kRunBits));
  }
  static void consume_of(uint64_t& acc, int& count, int n) {
    acc <<= n;
    count -= n;
  }
  static int symbol_of(uint64_t& acc, int& count, const HuffmanTable& table) {
    const uint32_t e = table.lookup[peek_of(acc)];
    if (e) {
      consume_of(acc, count, static_cast<int>(e >> 8));
      return static_cast<int>(e & 0xff);
    }
    int length = 0;
    const int value = table.decode_long(static_cast<uint32_t>(acc >> 48), length);
    consume_of(acc, count, length);
    return value;
  }
  static int receive_of(uint64_t& acc, int& count, int s) {
    const int v = static_cast<int>(acc >> (64 - s));
    consume_of(acc, count, s);
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
  }
  // The common refill, inline: eight bytes without an FF among them, taken
  // whole into the buffer. False when the byte-wise path must do it.
  bool refill_word(uint64_t& acc, int& count) {
    if (m_hit || m_size - m_pos < 8) return false;
    const uint64_t w = detail::load_be64(m_data + m_pos);
    if (detail::has_ff_byte(w)) return false;
    const int take = (63 - count) >> 3;
    const uint64_t taken = w & ~(~uint64_t{0} >> (8 * take));
    acc |= taken >> count;
    m_pos += static_cast<size_t>(take);
    count += 8 * take;
    return true;
  }
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
