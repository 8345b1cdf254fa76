#pragma once

// Colour conversion of the own baseline decoder: box (replicating) chroma
// upsampling and YCbCr to RGB with the fixed-point tables of the JFIF
// conversion as libjpeg computes them (16 fractional bits, rounded), giving
// RGB888 or RGB565 rows.

#include <cstdint>

#include "jpeg/jpeg_markers.h"

namespace lv::jpeg {

enum class PixelFormat {
  rgb888,  // 3 bytes per pixel: R, G, B
  rgb565,  // one native-endian 16-bit word per pixel
};

constexpr int bytes_per_pixel(PixelFormat format) {
  return format == PixelFormat::rgb888 ? 3 : 2;
}

// The RGB565 word of an RGB pixel: ((R & 0xF8) << 8) | ((G & 0xFC) << 3) | (B >> 3).
constexpr uint16_t rgb565(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

// Converts `count` pixels of one output row. `c0` holds the first component
// at full resolution; `c1` and `c2` the others, each of whose samples covers
// 1 << chroma_shift pixels of the row (unused for grayscale).
void convert_row(ColorTransform transform, PixelFormat format, int chroma_shift, const uint8_t* c0,
                 const uint8_t* c1, const uint8_t* c2, int count, uint8_t* out);

}  // namespace lv::jpeg
