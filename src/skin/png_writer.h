#pragma once

// Saves RGB565 pixels as an 8-bit RGB PNG file: screenshots, and the images
// tests write when a drawing assertion fails. Channels widen by repeating
// their top bits, so full white stays 255, 255, 255.

#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

class Surface;

// Rows of RGB565 words owned elsewhere; pitch in bytes.
struct PixelView {
  const void* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t pitch = 0;
};

PixelView pixel_view(const Surface& surface);

// The PNG file's bytes, or false for an empty or inconsistent view (null
// pixels, a side below 1, a pitch shorter than a row) or when libpng fails.
bool encode_png(const PixelView& view, std::string& out);

// Writes atomically (temporary file, fsync, rename): on any failure an
// existing file at the path is left as it was.
bool write_png(std::u16string_view path, const PixelView& view);
bool write_png(std::u16string_view path, const Surface& surface);

}  // namespace lv
