#pragma once

// A 16-bit RGB565 pixel buffer. Row y starts at pixels() + y * pitch() bytes;
// pitch is always in bytes. Surfaces the program allocates have 4-byte
// aligned rows; a view over foreign memory (the display's frame buffer, a
// sub-rectangle of another surface) takes the rows as they come.

#include <cstdint>
#include <memory>

#include "skin/geometry.h"

namespace lv {

class Surface {
 public:
  // Largest width or height of any surface: keeps pitch * height far below
  // the point where a size computation could wrap into a small allocation.
  static constexpr int32_t kMaxSide = 16384;

  // (width * 2 + 3) rounded down to a multiple of 4.
  static constexpr uint32_t pitch_for(uint32_t width) { return (width * 2 + 3) & ~3u; }

  // A new zero-filled surface, or none when a side is not in 1..kMaxSide or
  // memory runs out.
  static std::unique_ptr<Surface> create(int32_t width, int32_t height);

  // A surface laid over memory owned elsewhere, which must outlive it. None
  // when the pointer is null, a side is out of range, or the pitch is odd or
  // shorter than a row.
  static std::unique_ptr<Surface> wrap(void* pixels, int32_t width, int32_t height, uint32_t pitch);

  // A view of the part of `parent` inside `area` (cut to the parent), sharing
  // its pixels and pitch. None when nothing of `area` lies inside.
  static std::unique_ptr<Surface> view(Surface& parent, const Rect& area);

  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  virtual ~Surface();

  uint32_t width() const { return m_width; }
  uint32_t height() const { return m_height; }
  uint32_t pitch() const { return m_pitch; }
  Size size() const { return {static_cast<int32_t>(m_width), static_cast<int32_t>(m_height)}; }
  bool owns_pixels() const { return m_owns_pixels; }

  uint8_t* bytes() { return m_pixels; }
  const uint8_t* bytes() const { return m_pixels; }

  // No bounds checks below: callers have clipped already.
  uint16_t* row(uint32_t y) { return reinterpret_cast<uint16_t*>(m_pixels + size_t{y} * m_pitch); }
  const uint16_t* row(uint32_t y) const {
    return reinterpret_cast<const uint16_t*>(m_pixels + size_t{y} * m_pitch);
  }
  uint16_t pixel(uint32_t x, uint32_t y) const { return row(y)[x]; }
  void set_pixel(uint32_t x, uint32_t y, uint16_t value) { row(y)[x] = value; }

  void fill(uint16_t value);

 private:
  Surface(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t pitch, bool owns);

  uint32_t m_width;
  uint32_t m_height;
  uint32_t m_pitch;
  uint8_t* m_pixels;
  bool m_owns_pixels;
};

}  // namespace lv
