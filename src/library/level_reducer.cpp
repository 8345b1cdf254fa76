#include "library/level_reducer.h"

#include <algorithm>
#include <cstring>

namespace lv {

namespace {

inline uint8_t mean4(unsigned a, unsigned b, unsigned c, unsigned d) {
  return static_cast<uint8_t>((a + b + c + d + 2) >> 2);
}

// Pixel pairs per chunk: each chunk first averages every byte with the one
// three bytes on (the same channel of the next pixel), a loop the compiler
// turns into vector code, and then keeps the first pixel of each pair.
constexpr int kChunkPairs = 16;

void reduce_rgbx(const uint8_t* __restrict top, const uint8_t* __restrict bottom,
                 uint8_t* __restrict out, int pairs) {
  for (int x = 0; x < pairs; ++x) {
    const uint8_t* t = top + 8 * x;
    const uint8_t* b = bottom + 8 * x;
    for (int c = 0; c < 4; ++c) out[4 * x + c] = mean4(t[c], t[c + 4], b[c], b[c + 4]);
  }
}

void reduce_rgb(const uint8_t* __restrict top, const uint8_t* __restrict bottom,
                uint8_t* __restrict out, int pairs) {
  uint8_t means[kChunkPairs * 6];
  int x = 0;
  // Strictly below `pairs`: the last pair of a chunk reads three bytes past
  // it and its four-byte copy writes one byte past it, both inside the row.
  for (; x + kChunkPairs < pairs; x += kChunkPairs) {
    const uint8_t* t = top + 6 * x;
    const uint8_t* b = bottom + 6 * x;
    for (int j = 0; j < kChunkPairs * 6; ++j) means[j] = mean4(t[j], t[j + 3], b[j], b[j + 3]);
    uint8_t* o = out + 3 * x;
    for (int k = 0; k < kChunkPairs; ++k) std::memcpy(o + 3 * k, means + 6 * k, 4);
  }
  for (; x < pairs; ++x) {
    const uint8_t* t = top + 6 * x;
    const uint8_t* b = bottom + 6 * x;
    for (int c = 0; c < 3; ++c) out[3 * x + c] = mean4(t[c], t[c + 3], b[c], b[c + 3]);
  }
}

}  // namespace

LevelReducer::LevelReducer(LevelSize input, RowSink sink, int pixel_bytes)
    : m_input(input),
      m_output(reduced_size(input)),
      m_sink(std::move(sink)),
      m_pixel_bytes(pixel_bytes == 4 ? 4 : 3) {
  m_pitch = static_cast<size_t>(std::max(input.width, 0)) * m_pixel_bytes;
  m_pair.resize(m_pitch * 2);
  m_out.resize(static_cast<size_t>(m_output.width) * m_pixel_bytes);
}

bool LevelReducer::emit(const uint8_t* top, const uint8_t* bottom) {
  const int pairs = m_input.width / 2;
  if (pairs == 0) {  // a single column is averaged with itself
    for (int c = 0; c < m_pixel_bytes; ++c) m_out[c] = mean4(top[c], top[c], bottom[c], bottom[c]);
  } else if (m_pixel_bytes == 4) {
    reduce_rgbx(top, bottom, m_out.data(), pairs);
  } else {
    reduce_rgb(top, bottom, m_out.data(), pairs);
  }
  ++m_rows_out;
  if (!m_sink(m_out.data())) return m_failed = true, false;
  return true;
}

uint8_t* LevelReducer::rows_buffer() {
  return m_pair.data() + m_filled * m_pitch;
}

int LevelReducer::rows_room() const {
  if (m_failed) return 0;
  return std::min(2 - m_filled, m_input.height - m_rows_in);
}

bool LevelReducer::push_rows(int count) {
  if (m_failed || count < 1 || count > rows_room()) return m_failed = true, false;
  m_filled += count;
  m_rows_in += count;
  if (m_filled < 2) return true;
  m_filled = 0;
  return emit(m_pair.data(), m_pair.data() + m_pitch);
}

bool LevelReducer::push(const uint8_t* rgb) {
  if (rows_room() < 1) return m_failed = true, false;
  std::memcpy(rows_buffer(), rgb, m_pitch);
  return push_rows(1);
}

bool LevelReducer::finish() {
  if (m_failed || m_rows_in != m_input.height) return false;
  if (m_input.height == 1 && m_rows_out == 0 && !emit(m_pair.data(), m_pair.data())) return false;
  return m_rows_out == m_output.height;
}

}  // namespace lv
