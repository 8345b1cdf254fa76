#pragma once

// Windows bitmap files holding 16-bit pixels, the form every skin picture
// takes. The pixels are copied as they stand and taken as RGB565: the skin
// tools write the display's layout, whatever masks the header declares, so a
// file that says 5-5-5 is still read as 5-6-5.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace lv {

class FileStream;
class Surface;

// File header (14 bytes) plus information header (40 bytes).
inline constexpr uint32_t kBitmapHeadersSize = 54;

// Reads a 16-bit bitmap from the stream's current position. None when it is
// not one: headers cut short, another bit depth, a width below 1, a height of
// 0 or INT32_MIN, a pixel data offset inside the headers or at or past the
// end, a side beyond Surface::kMaxSide, or a declared pixel area the file
// holds less than a quarter of (a header claiming far more pixels than the
// file could carry is a broken file, not a picture). Rows, or the end of a
// row, that a cut-short file does not hold come out as zeros.
std::unique_ptr<Surface> read_bitmap(FileStream& stream);

// The same, from a whole file in memory.
std::unique_ptr<Surface> read_bitmap(std::span<const uint8_t> bytes);

// A 16-bit bitmap file of the surface: bottom-up rows padded to 4 bytes and
// the BI_BITFIELDS masks of RGB565, which read_bitmap reads back unchanged.
std::string encode_bitmap_565(const Surface& surface);

// Writes encode_bitmap_565 atomically (temporary file, rename): on failure an
// existing file at the path stays as it was.
bool write_bitmap_565(std::u16string_view path, const Surface& surface);

}  // namespace lv
