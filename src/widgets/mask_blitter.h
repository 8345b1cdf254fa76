#pragma once

// The row blitter of an image with a mask: the low five bits (blue) of the
// mask pixel at the same source position weigh the source against the
// destination, 0 keeping the destination, 31 writing the source, and values
// between mixing each channel as d + (s - d) * m / 32. A source position
// outside the mask writes the source.

#include <cstdint>
#include <memory>

#include "skin/bitmap.h"
#include "skin/row_blitter.h"

namespace lv {

class MaskBlitter final : public RowBlitter {
 public:
  // Keeps its own reference to the mask's bitmap.
  explicit MaskBlitter(const Picture& mask) : m_mask(mask.bitmap) {}

  void copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                int32_t src_y) const override;
  void scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row, int32_t start,
                  int32_t step, int32_t src_y) const override;
  void magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                     int32_t shift, int32_t src_y) const override;
  void tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                           int32_t shift, int32_t wrap_from, int32_t wrap_at,
                           int32_t src_y) const override;
  std::unique_ptr<RowBlitter> clone() const override;

  // One pixel: the source weighed by the mask value's low five bits.
  static uint16_t mix(uint16_t source, uint16_t destination, uint16_t mask);

 private:
  // The mask pixel at a source position; all ones (write the source) outside.
  uint16_t mask_at(int64_t x, int64_t y) const;

  BitmapRef m_mask;
};

}  // namespace lv
