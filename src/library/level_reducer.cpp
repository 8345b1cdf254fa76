#include "library/level_reducer.h"

#include <cstring>

namespace lv {

LevelReducer::LevelReducer(LevelSize input, RowSink sink)
    : m_input(input), m_output(reduced_size(input)), m_sink(std::move(sink)) {
  for (auto& row : m_rows) row.resize(static_cast<size_t>(input.width) * 3);
  m_out.resize(static_cast<size_t>(m_output.width) * 3);
}

void LevelReducer::reduce_pair(const uint8_t* top, const uint8_t* bottom) {
  uint8_t* out = m_out.data();
  const int pairs = m_input.width / 2;
  for (int x = 0; x < pairs; ++x, top += 6, bottom += 6, out += 3) {
    out[0] = static_cast<uint8_t>((top[0] + top[3] + bottom[0] + bottom[3] + 2) >> 2);
    out[1] = static_cast<uint8_t>((top[1] + top[4] + bottom[1] + bottom[4] + 2) >> 2);
    out[2] = static_cast<uint8_t>((top[2] + top[5] + bottom[2] + bottom[5] + 2) >> 2);
  }
  if (pairs == 0) {  // a single column is averaged with itself
    for (int c = 0; c < 3; ++c)
      out[c] = static_cast<uint8_t>((2 * top[c] + 2 * bottom[c] + 2) >> 2);
  }
}

uint8_t* LevelReducer::row_buffer() {
  return m_rows[m_rows_in % 2].data();
}

bool LevelReducer::push_row() {
  if (m_failed || m_rows_in >= m_input.height) return m_failed = true, false;
  if (m_rows_in++ % 2 == 0) return true;
  reduce_pair(m_rows[0].data(), m_rows[1].data());
  ++m_rows_out;
  if (!m_sink(m_out.data())) return m_failed = true, false;
  return true;
}

bool LevelReducer::push(const uint8_t* rgb) {
  if (m_failed || m_rows_in >= m_input.height) return m_failed = true, false;
  std::memcpy(row_buffer(), rgb, m_rows[0].size());
  return push_row();
}

bool LevelReducer::finish() {
  if (m_failed || m_rows_in != m_input.height) return false;
  if (m_input.height == 1 && m_rows_out == 0) {
    reduce_pair(m_rows[0].data(), m_rows[0].data());
    ++m_rows_out;
    if (!m_sink(m_out.data())) return m_failed = true, false;
  }
  return m_rows_out == m_output.height;
}

}  // namespace lv
