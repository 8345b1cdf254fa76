#include "skin/surface.h"

#include <algorithm>
#include <new>

namespace lv {

namespace {

bool side_ok(int32_t side) {
  return side >= 1 && side <= Surface::kMaxSide;
}

}  // namespace

Surface::Surface(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t pitch, bool owns)
    : m_width(width), m_height(height), m_pitch(pitch), m_pixels(pixels), m_owns_pixels(owns) {}

Surface::~Surface() {
  if (m_owns_pixels) delete[] reinterpret_cast<uint32_t*>(m_pixels);
}

std::unique_ptr<Surface> Surface::create(int32_t width, int32_t height) {
  if (!side_ok(width) || !side_ok(height)) return nullptr;
  const uint32_t pitch = pitch_for(static_cast<uint32_t>(width));
  const uint64_t bytes = uint64_t{pitch} * static_cast<uint64_t>(height);
  // Allocated as words so every row, starting at a multiple of 4, is aligned.
  auto* words = new (std::nothrow) uint32_t[bytes / 4]();
  if (!words) return nullptr;
  return std::unique_ptr<Surface>(new Surface(reinterpret_cast<uint8_t*>(words),
                                              static_cast<uint32_t>(width),
                                              static_cast<uint32_t>(height), pitch, true));
}

std::unique_ptr<Surface> Surface::wrap(void* pixels, int32_t width, int32_t height,
                                       uint32_t pitch) {
  if (!pixels || !side_ok(width) || !side_ok(height)) return nullptr;
  if (pitch % 2 != 0 || pitch < uint32_t(width) * 2) return nullptr;
  return std::unique_ptr<Surface>(new Surface(static_cast<uint8_t*>(pixels),
                                              static_cast<uint32_t>(width),
                                              static_cast<uint32_t>(height), pitch, false));
}

std::unique_ptr<Surface> Surface::view(Surface& parent, const Rect& area) {
  const int32_t left = std::max(area.left, 0);
  const int32_t top = std::max(area.top, 0);
  const int32_t right = std::min<int64_t>(area.right, parent.m_width);
  const int32_t bottom = std::min<int64_t>(area.bottom, parent.m_height);
  if (right <= left || bottom <= top) return nullptr;
  uint8_t* start = parent.m_pixels + size_t(top) * parent.m_pitch + size_t(left) * 2;
  return std::unique_ptr<Surface>(new Surface(start, static_cast<uint32_t>(right - left),
                                              static_cast<uint32_t>(bottom - top), parent.m_pitch,
                                              false));
}

void Surface::fill(uint16_t value) {
  for (uint32_t y = 0; y < m_height; ++y) std::fill_n(row(y), m_width, value);
}

}  // namespace lv
