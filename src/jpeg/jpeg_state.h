#pragma once

// The state of the own baseline decoder at one reporting point, and its
// 17-byte form in the index blocks of the cache files.
//
// Entries are always written in one canonical form, so that an index depends
// only on the picture and never on how the decoder happened to refill its bit
// buffer:
//  - `bits` < 8: the valid bits are the low bits of the last data byte before
//    the resume offset (whole buffered bytes are handed back to the stream,
//    with their FF 00 stuffing); zero bits padded in after a marker or the
//    end of the data are never counted;
//  - `marker` is 0: a marker already read is put back, the offset then being
//    its FF (before any fill FF bytes);
//  - an entry is taken before a restart that falls at that point is
//    processed, so `mcus_left` can be 0;
//  - `bytes_left` counts to the end of the whole stream, so the resume
//    offset is the stream size minus `bytes_left`.
// Entry 0 has no bits and its offset is the first byte after the SOS segment.

#include <array>
#include <cstddef>
#include <cstdint>

namespace lv::jpeg {

struct StateEntry {
  static constexpr size_t kSize = 17;

  int16_t dc[3] = {};        // DC predictors of the scan's components (low 16 bits)
  uint8_t bits = 0;          // valid bits of the bit buffer
  uint32_t mcus_left = 0;    // MCUs left in the restart interval (0 without restarts)
  uint32_t bytes_left = 0;   // stream bytes not yet consumed
  uint8_t next_restart = 0;  // number of the next expected RST marker, 0..7
  uint8_t marker = 0;        // marker code read but not yet processed

  // Little-endian: DC 0, 1, 2 (2 bytes each), bits (1), MCUs left (4),
  // bytes left (4), next restart (1), marker (1).
  void encode(uint8_t* out) const;
  std::array<uint8_t, kSize> bytes() const;
  static StateEntry decode(const uint8_t* in);

  bool operator==(const StateEntry&) const = default;
};

}  // namespace lv::jpeg
