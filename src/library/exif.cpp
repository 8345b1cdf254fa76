#include "library/exif.h"

#include <cstring>

#include "base/file_util.h"

namespace lv {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeLong = 4;

// Sequential input with the two operations the segment walk needs.
class ByteInput {
 public:
  virtual ~ByteInput() = default;
  virtual size_t read(uint8_t* out, size_t n) = 0;
  virtual bool skip(size_t n) = 0;

  int get() {
    uint8_t byte;
    return read(&byte, 1) == 1 ? byte : -1;
  }
};

class MemoryInput final : public ByteInput {
 public:
  MemoryInput(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}
  size_t read(uint8_t* out, size_t n) override {
    size_t count = n < m_size - m_position ? n : m_size - m_position;
    if (count) std::memcpy(out, m_data + m_position, count);
    m_position += count;
    return count;
  }
  bool skip(size_t n) override {
    if (n > m_size - m_position) {
      m_position = m_size;
      return false;
    }
    m_position += n;
    return true;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_position = 0;
};

class ReaderInput final : public ByteInput {
 public:
  explicit ReaderInput(BufferedReader& reader) : m_reader(reader) {}
  size_t read(uint8_t* out, size_t n) override { return m_reader.read(out, n); }
  bool skip(size_t n) override { return m_reader.skip(n); }

 private:
  BufferedReader& m_reader;
};

struct TiffReader {
  const uint8_t* data;
  size_t size;
  bool little_endian;

  // Callers check that [offset, offset + 2) or [offset, offset + 4) is inside.
  uint16_t u16(size_t offset) const {
    const uint8_t* p = data + offset;
    return little_endian ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                         : static_cast<uint16_t>((p[0] << 8) | p[1]);
  }
  uint32_t u32(size_t offset) const {
    const uint8_t* p = data + offset;
    return little_endian ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                            uint32_t(p[3]) << 24)
                         : (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                            uint32_t(p[3]));
  }
};

int valid_or_1(uint32_t value) {
  return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

bool is_standalone_marker(int marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

int orientation_from(ByteInput& input) {
  uint8_t start[2];
  if (input.read(start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) return 1;
  for (int segment = 0; segment < kExifMaxSegments; ++segment) {
    if (input.get() != 0xFF) return 1;
    int marker = input.get();
    while (marker == 0xFF) marker = input.get();                   // fill bytes
    if (marker < 0 || marker == 0xD9 || marker == 0xDA) return 1;  // end of data, EOI, SOS
    if (is_standalone_marker(marker)) continue;
    uint8_t length_bytes[2];
    if (input.read(length_bytes, 2) != 2) return 1;
    size_t length = static_cast<size_t>(length_bytes[0] << 8 | length_bytes[1]);
    if (length < 2) return 1;
    size_t body = length - 2;
    if (marker == 0xE1 && body >= 6) {
      uint8_t identifier[6];
      if (input.read(identifier, 6) != 6) return 1;
      body -= 6;
      if (std::memcmp(identifier, "Exif\0\0", 6) == 0) {
        uint8_t tiff[kExifMaxTiffBytes];
        size_t want = body < sizeof tiff ? body : sizeof tiff;
        size_t got = input.read(tiff, want);
        return exif_orientation_of_tiff(tiff, got);
      }
    }
    if (!input.skip(body)) return 1;
  }
  return 1;
}

}  // namespace

int exif_orientation_of_tiff(const uint8_t* data, size_t size) {
  if (!data || size < 12) return 1;
  TiffReader tiff{data, size, true};
  if (std::memcmp(data, "II\x2A\x00", 4) == 0)
    tiff.little_endian = true;
  else if (std::memcmp(data, "MM\x00\x2A", 4) == 0)
    tiff.little_endian = false;
  else
    return 1;
  uint64_t ifd = tiff.u32(4);
  if (ifd + 2 > size) return 1;
  unsigned count = tiff.u16(static_cast<size_t>(ifd));
  uint64_t entry = ifd + 2;
  for (unsigned i = 0; i < count; ++i, entry += 12) {
    if (entry + 12 > size) return 1;
    size_t at = static_cast<size_t>(entry);
    if (tiff.u16(at) != kOrientationTag) continue;
    // The tag is a SHORT; some writers store a LONG, whose value then fills
    // the whole four-byte field.
    uint32_t value = tiff.u16(at + 2) == kTypeLong ? tiff.u32(at + 8) : tiff.u16(at + 8);
    return valid_or_1(value);
  }
  return 1;
}

int exif_orientation(const uint8_t* data, size_t size) {
  MemoryInput input(data, size);
  return orientation_from(input);
}

int exif_orientation(FileStream& file) {
  if (!file.is_open() || !file.seek(0)) return 1;
  int orientation;
  {
    BufferedReader reader(file);
    ReaderInput input(reader);
    orientation = orientation_from(input);
  }
  file.seek(0);
  return orientation;
}

ExifTransform::ExifTransform(int orientation, int width, int height)
    : m_orientation(orientation >= 1 && orientation <= 8 ? orientation : 1),
      m_source_width(width > 0 ? width : 0),
      m_source_height(height > 0 ? height : 0) {}

ExifPoint ExifTransform::source_of(int x, int y) const {
  const int w = m_source_width - 1;
  const int h = m_source_height - 1;
  switch (m_orientation) {
    case 2:
      return {w - x, y};
    case 3:
      return {w - x, h - y};
    case 4:
      return {x, h - y};
    case 5:
      return {y, x};
    case 6:
      return {y, h - x};
    case 7:
      return {w - y, h - x};
    case 8:
      return {w - y, x};
    default:
      return {x, y};
  }
}

ExifPoint ExifTransform::destination_of(int x, int y) const {
  // The inverse transform, read from the turned grid: the quarter turns undo
  // each other, every other transform undoes itself.
  const int inverse = m_orientation == 6 ? 8 : m_orientation == 8 ? 6 : m_orientation;
  return ExifTransform(inverse, width(), height()).source_of(x, y);
}

ExifTransform exif_transform(int orientation, int width, int height) {
  return ExifTransform(orientation, width, height);
}

void exif_transform_rgb565(int orientation, const uint16_t* source, int width, int height,
                           size_t source_pitch, uint16_t* destination, size_t destination_pitch) {
  if (!source || !destination || width <= 0 || height <= 0) return;
  const ExifTransform transform(orientation, width, height);
  const auto* source_bytes = reinterpret_cast<const uint8_t*>(source);
  auto* destination_bytes = reinterpret_cast<uint8_t*>(destination);
  // Walk the source in order and scatter: each source row is read once.
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const uint16_t*>(source_bytes + y * source_pitch);
    for (int x = 0; x < width; ++x) {
      ExifPoint to = transform.destination_of(x, y);
      reinterpret_cast<uint16_t*>(destination_bytes + to.y * destination_pitch)[to.x] = in[x];
    }
  }
}

}  // namespace lv
