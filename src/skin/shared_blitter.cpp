#include <algorithm>

#include "skin/row_blitter.h"

namespace lv {

const RowBlitter& shared_instance(SharedKind kind) {
  static const KeyBlitter key;
  static const KeyQuarterBlitter key_quarter;
  static const KeyHalfBlitter key_half;
  static const KeyThreeQuarterBlitter key_three_quarter;
  static const OpaqueOnlyBlitter opaque_only;
  static const RowBlitter* const table[kSharedKindCount] = {&key, &key_quarter, &key_half,
                                                            &key_three_quarter, &opaque_only};
  const auto index = std::clamp<int32_t>(static_cast<int32_t>(kind), 0, kSharedKindCount - 1);
  return *table[index];
}

void SharedBlitter::copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                             int32_t src_y) const {
  m_target->copy_row(dst, dst_end, src, src_x, src_y);
}

void SharedBlitter::scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                               int32_t start, int32_t step, int32_t src_y) const {
  m_target->scaled_row(dst, dst_end, src_row, start, step, src_y);
}

void SharedBlitter::magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                  int32_t count, int32_t shift, int32_t src_y) const {
  m_target->magnified_row(dst, src_row, start_x, count, shift, src_y);
}

void SharedBlitter::tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                        int32_t count, int32_t shift, int32_t wrap_from,
                                        int32_t wrap_at, int32_t src_y) const {
  m_target->tiled_magnified_row(dst, src_row, start_x, count, shift, wrap_from, wrap_at, src_y);
}

std::unique_ptr<RowBlitter> SharedBlitter::clone() const {
  return std::make_unique<SharedBlitter>(m_kind);
}

std::unique_ptr<RowBlitter> blitter_for_cache_alpha(int32_t cache_alpha) {
  if (cache_alpha == -1) return std::make_unique<CopyBlitter>();
  const int32_t index = std::clamp<int32_t>(cache_alpha / 64, 0, kSharedKindCount - 1);
  return std::make_unique<SharedBlitter>(static_cast<SharedKind>(index));
}

}  // namespace lv
