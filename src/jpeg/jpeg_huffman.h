#pragma once

// Huffman tables of the own baseline decoder (ITU T.81 Annex C and F.2.2),
// checked when built and expanded into lookup tables for the decoding loops.

#include <cstdint>

namespace lv::jpeg {

enum class TableClass { dc, ac };

// A DHT table as it appears in the stream.
struct HuffmanSpec {
  bool defined = false;
  uint8_t counts[16] = {};  // codes of length 1 .. 16
  uint8_t values[256] = {};
  int value_count = 0;
};

// The tables of ITU T.81 Annex K.3, which Motion-JPEG streams leave out.
// Slot 0 is the luminance table, slot 1 the chrominance table.
HuffmanSpec standard_huffman_spec(TableClass table_class, int slot);

struct HuffmanTable {
  static constexpr int kLookupBits = 11;
  static constexpr int kLookupSize = 1 << kLookupBits;

  // Code length and value of every code of at most kLookupBits bits, by the
  // next kLookupBits bits of the stream: (length << 8) | value, 0 when the
  // code is longer.
  uint16_t lookup[kLookupSize];
  // Code and extra bits together within kLookupBits bits, with a magnitude
  // category above 0: (coefficient << 16) | (run << 8) | total length; 0 when
  // they do not fit (or for EOB and ZRL). For DC tables the run is 0.
  int32_t fast[kLookupSize];
  // For skipping AC coefficients without their values (any code of at most
  // kLookupBits bits): total bits of code and extra bits (low 5 bits) and the
  // advance of the coefficient index (bits 5 and up: run + 1, 16 for ZRL,
  // 64 for the end of the block); 0 when the code is longer. Made by
  // build_skip_runs().
  uint16_t skip[kLookupSize];

  // For skipping AC coefficients several codes at a time, by the next
  // kRunBits bits: every code that lies within them with its extra bits
  // (the last one's extra bits may reach past them), up to and including an
  // end of block. Total bits (low 5 bits), the advance of the coefficient
  // index of the codes before any end of block (bits 5 .. 11) and kRunEnd
  // when the run ends the block; 0 when the first code is longer. Made by
  // build_skip_runs(), for index scans only.
  static constexpr int kRunBits = 12;
  static constexpr uint16_t kRunEnd = 1 << 12;
  uint16_t skip_run[1 << kRunBits];

  // Canonical decoding of longer codes: largest code of each length (-1 when
  // none; entry 17 is a sentinel) and the offset from a code to its value.
  int32_t max_code[18];
  int32_t value_offset[17];
  uint8_t values[256];
  // Codes of each length, for the bit-serial decoder.
  uint8_t counts[17];

  // False for a table that is not a usable prefix code: more than 256
  // values, more codes of a length than fit (over-subscribed), a code of all
  // 1 bits, or (for DC) a magnitude category above 15.
  bool build(const HuffmanSpec& spec, TableClass table_class);

  // The value of a code longer than kLookupBits bits, given the next 16 bits;
  // sets its length. A bit sequence that is no code counts as 17 bits and
  // gives 0, as libjpeg does.
  int decode_long(uint32_t next16, int& length) const;

  // Fills skip and skip_run from a table that build() accepted as an AC
  // table.
  void build_skip_runs();
};

}  // namespace lv::jpeg
