// Any bytes given to the bitmap reader: no read or write outside a buffer,
// and a surface only when the file can account for its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "skin/bitmap_file.h"
#include "skin/surface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto surface = lv::read_bitmap(std::span<const uint8_t>(data, size));
  if (!surface) return 0;
  const uint64_t bytes = uint64_t{surface->pitch()} * surface->height();
  if (size <= lv::kBitmapHeadersSize || bytes > 4 * (size - lv::kBitmapHeadersSize)) std::abort();
  volatile uint16_t sink = 0;
  for (uint32_t y = 0; y < surface->height(); ++y)
    sink = sink + surface->row(y)[surface->width() - 1];
  return 0;
}
