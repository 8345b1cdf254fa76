#pragma once

// Halves a picture as its rows stream past, for the next level of a cache
// file: each output pixel is the rounded mean (a + b + c + d + 2) >> 2 of a
// 2 x 2 block, per channel. An odd last row or column is dropped, except that
// a side of 1 stays 1 (its one row or column is averaged with itself), so
// that no level of a long panorama loses all its rows.

#include <cstdint>
#include <functional>
#include <vector>

#include "library/cache_file.h"

namespace lv {

class LevelReducer {
 public:
  // Receives one reduced row of output_size().width RGB888 pixels; false
  // stops the reduction.
  using RowSink = std::function<bool(const uint8_t* rgb)>;

  LevelReducer(LevelSize input, RowSink sink);

  LevelSize output_size() const { return m_output; }
  // Where the next input row of input.width RGB888 pixels goes, for a
  // decoder to write into; push_row() then takes it. Saves a copy per row.
  uint8_t* row_buffer();
  // False when the sink refused a row or more rows came than the input has.
  bool push_row();
  // The same from a row held elsewhere.
  bool push(const uint8_t* rgb);
  // After the last input row: emits what a one-row input still owes.
  bool finish();
  int rows_pushed() const { return m_rows_in; }

 private:
  void reduce_pair(const uint8_t* top, const uint8_t* bottom);

  LevelSize m_input;
  LevelSize m_output;
  RowSink m_sink;
  std::vector<uint8_t> m_rows[2];  // an even row and its odd partner
  std::vector<uint8_t> m_out;
  int m_rows_in = 0;
  int m_rows_out = 0;
  bool m_failed = false;
};

}  // namespace lv
