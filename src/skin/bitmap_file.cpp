#include "skin/bitmap_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "base/file_util.h"
#include "skin/surface.h"

namespace lv {

namespace {

// Field offsets from the start of the file.
constexpr size_t kPixelOffsetField = 10;
constexpr size_t kWidthField = 14 + 4;
constexpr size_t kHeightField = 14 + 8;
constexpr size_t kBitsPerPixelField = 14 + 14;

// A cut-short file still loads, its missing rows black, as long as it holds
// at least this fraction (1 / n) of the pixel data its header declares.
constexpr uint64_t kMaxDeclaredPerHeld = 4;

uint32_t read_u32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t read_u16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void put_u16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put_u32(std::string& out, uint32_t v) {
  put_u16(out, v & 0xFFFF);
  put_u16(out, v >> 16);
}

// Bytes of one row in the file: 16 bits a pixel, padded to 4 bytes.
constexpr uint64_t file_row_bytes(uint64_t width) {
  return ((16 * width + 31) / 32) * 4;
}

struct Layout {
  uint32_t pixel_offset = 0;
  int32_t width = 0;
  int32_t rows = 0;
  bool top_down = false;
};

// Validates the headers against the bytes the file holds from its start.
bool plan(const uint8_t (&headers)[kBitmapHeadersSize], uint64_t total, Layout& out) {
  if (read_u16(headers + kBitsPerPixelField) != 16) return false;
  const uint32_t offset = read_u32(headers + kPixelOffsetField);
  const int32_t width = static_cast<int32_t>(read_u32(headers + kWidthField));
  const int32_t height = static_cast<int32_t>(read_u32(headers + kHeightField));
  if (width < 1 || height == 0 || height == INT32_MIN) return false;
  if (offset < kBitmapHeadersSize || offset >= total) return false;
  const int64_t rows = height < 0 ? -int64_t{height} : int64_t{height};
  if (width > Surface::kMaxSide || rows > Surface::kMaxSide) return false;
  const uint64_t declared = file_row_bytes(static_cast<uint64_t>(width)) * uint64_t(rows);
  const uint64_t held = total - offset;
  if (declared > held * kMaxDeclaredPerHeld) return false;
  out.pixel_offset = offset;
  out.width = width;
  out.rows = static_cast<int32_t>(rows);
  out.top_down = height < 0;
  return true;
}

// Reads from a file through its buffer.
class StreamSource {
 public:
  explicit StreamSource(FileStream& stream) : m_reader(stream) {}
  size_t read(void* out, size_t n) { return m_reader.read(out, n); }
  bool skip(uint64_t n) { return m_reader.skip(n); }

 private:
  BufferedReader m_reader;
};

class MemorySource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  size_t read(void* out, size_t n) {
    const size_t take = std::min(n, m_bytes.size() - m_at);
    if (take > 0) std::memcpy(out, m_bytes.data() + m_at, take);
    m_at += take;
    return take;
  }
  bool skip(uint64_t n) {
    const uint64_t left = m_bytes.size() - m_at;
    m_at += static_cast<size_t>(std::min(n, left));
    return n <= left;
  }

 private:
  std::span<const uint8_t> m_bytes;
  size_t m_at = 0;
};

// total: the bytes available from the source's current position.
template <typename Source>
std::unique_ptr<Surface> read_from(Source& source, uint64_t total) {
  uint8_t headers[kBitmapHeadersSize] = {};
  if (source.read(headers, sizeof headers) != sizeof headers) return nullptr;
  Layout layout;
  if (!plan(headers, total, layout)) return nullptr;
  source.skip(layout.pixel_offset - kBitmapHeadersSize);

  // A new surface is zero-filled, so rows a short file does not hold stay 0.
  std::unique_ptr<Surface> surface = Surface::create(layout.width, layout.rows);
  if (!surface) return nullptr;
  const size_t pixel_bytes = size_t(layout.width) * 2;
  const uint64_t padding = file_row_bytes(uint64_t(layout.width)) - pixel_bytes;
  for (int32_t i = 0; i < layout.rows; ++i) {
    const int32_t y = layout.top_down ? i : layout.rows - 1 - i;
    auto* dest = reinterpret_cast<uint8_t*>(surface->row(uint32_t(y)));
    const size_t got = source.read(dest, pixel_bytes);
    if constexpr (std::endian::native == std::endian::big) {
      for (size_t b = 0; b + 1 < got; b += 2) std::swap(dest[b], dest[b + 1]);
    }
    if (got < pixel_bytes) {
      const size_t whole_pixels = got & ~size_t{1};  // a half-read pixel is dropped
      std::memset(dest + whole_pixels, 0, pixel_bytes - whole_pixels);
      break;
    }
    if (!source.skip(padding)) break;
  }
  return surface;
}

}  // namespace

std::unique_ptr<Surface> read_bitmap(FileStream& stream) {
  if (!stream.is_open()) return nullptr;
  const int64_t size = stream.size();
  const int64_t start = stream.tell();
  // Without a known size nothing bounds what the header may claim.
  if (size < 0 || start < 0 || start > size) return nullptr;
  StreamSource source(stream);
  return read_from(source, uint64_t(size - start));
}

std::unique_ptr<Surface> read_bitmap(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  return read_from(source, bytes.size());
}

std::string encode_bitmap_565(const Surface& surface) {
  constexpr uint32_t kMasksSize = 12;
  constexpr uint32_t kPixelOffset = kBitmapHeadersSize + kMasksSize;
  constexpr uint32_t kBiBitfields = 3;
  constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch
  const uint32_t width = surface.width();
  const uint32_t height = surface.height();
  const uint32_t row_bytes = static_cast<uint32_t>(file_row_bytes(width));
  const uint32_t image_bytes = row_bytes * height;

  std::string out;
  out.reserve(kPixelOffset + image_bytes);
  out += "BM";
  put_u32(out, kPixelOffset + image_bytes);
  put_u32(out, 0);
  put_u32(out, kPixelOffset);
  put_u32(out, 40);
  put_u32(out, width);
  put_u32(out, height);  // positive: bottom-up
  put_u16(out, 1);       // planes
  put_u16(out, 16);
  put_u32(out, kBiBitfields);
  put_u32(out, image_bytes);
  put_u32(out, kPixelsPerMetre);
  put_u32(out, kPixelsPerMetre);
  put_u32(out, 0);  // colours used
  put_u32(out, 0);  // colours important
  put_u32(out, 0xF800);
  put_u32(out, 0x07E0);
  put_u32(out, 0x001F);
  for (uint32_t i = 0; i < height; ++i) {
    const uint16_t* row = surface.row(height - 1 - i);
    for (uint32_t x = 0; x < width; ++x) put_u16(out, row[x]);
    out.append(row_bytes - width * 2, '\0');
  }
  return out;
}

bool write_bitmap_565(std::u16string_view path, const Surface& surface) {
  if (surface.width() == 0 || surface.height() == 0) return false;
  return write_file_atomic(path, encode_bitmap_565(surface));
}

}  // namespace lv
