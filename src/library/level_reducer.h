#pragma once

// Halves a picture as its rows stream past, for the next level of a cache
// file: each output pixel is the rounded mean (a + b + c + d + 2) >> 2 of a
// 2 x 2 block, per channel. An odd last row or column is dropped, except that
// a side of 1 stays 1 (its one row or column is averaged with itself), so
// that no level of a long panorama loses all its rows. Pixels are RGB888, or
// RGBX (four bytes, the fourth averaged like the others), which halves much
// faster.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "library/cache_file.h"

namespace lv {

class LevelReducer {
 public:
  // Receives one reduced row of output_size().width pixels; false stops the
  // reduction.
  using RowSink = std::function<bool(const uint8_t* rgb)>;

  // pixel_bytes: 3 (RGB888) or 4 (RGBX), for input and output alike.
  LevelReducer(LevelSize input, RowSink sink, int pixel_bytes = 3);

  LevelSize output_size() const { return m_output; }

  // Where the next input rows of input.width pixels go, row_pitch()
  // bytes apart, for a decoder to write into; push_rows() then takes them.
  // Saves a copy per row. There is room for rows_room() rows (1 or 2, fewer
  // only when the input has no more rows).
  uint8_t* rows_buffer();
  size_t row_pitch() const { return m_pitch; }
  int rows_room() const;
  // False when the sink refused a row or more rows came than there is room
  // for or than the input has.
  bool push_rows(int count);
  // One row held elsewhere.
  bool push(const uint8_t* rgb);
  // After the last input row: emits what a one-row input still owes.
  bool finish();
  int rows_pushed() const { return m_rows_in; }

 private:
  bool emit(const uint8_t* top, const uint8_t* bottom);

  LevelSize m_input;
  LevelSize m_output;
  RowSink m_sink;
  int m_pixel_bytes = 3;
  size_t m_pitch = 0;
  std::vector<uint8_t> m_pair;  // an even row and its odd partner
  std::vector<uint8_t> m_out;
  int m_filled = 0;  // rows of the pair already there
  int m_rows_in = 0;
  int m_rows_out = 0;
  bool m_failed = false;
};

}  // namespace lv
