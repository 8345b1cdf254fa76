#pragma once

// The EXIF orientation of a JPEG picture and the eight transforms it names.
//
// The reader walks the marker segments before the first scan and takes the
// first APP1 segment that carries the "Exif\0\0" identifier. Every access is
// bounded by the bytes actually read, never by the lengths the file claims.
// Anything missing, malformed or out of range gives 1 (shown as stored), so
// the result is always 1 ... 8.

#include <cstddef>
#include <cstdint>

namespace lv {

class FileStream;

// TIFF bytes of the Exif segment that are looked at; the orientation sits in
// the first IFD, near the start.
inline constexpr size_t kExifMaxTiffBytes = 2048;
// Marker segments passed over before the search gives up.
inline constexpr int kExifMaxSegments = 64;

// From the leading bytes of a JPEG file (the whole file or any prefix).
int exif_orientation(const uint8_t* data, size_t size);
// From an open file, read through a 4096-byte buffer from its start; the
// file is rewound to its start afterwards.
int exif_orientation(FileStream& file);
// From the TIFF structure that follows "Exif\0\0" in an APP1 segment.
int exif_orientation_of_tiff(const uint8_t* tiff, size_t size);

struct ExifPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ExifPoint&) const = default;
};

// One of the eight EXIF transforms applied to a width x height grid (of
// pixels or of tiles): 1 unchanged, 2 mirrored left-right, 3 turned 180
// degrees, 4 mirrored top-bottom, 5 transposed, 6 turned 90 degrees
// clockwise, 7 transversed, 8 turned 90 degrees counter-clockwise.
class ExifTransform {
 public:
  ExifTransform(int orientation, int width, int height);

  int orientation() const { return m_orientation; }
  bool swaps_axes() const { return m_orientation >= 5; }
  // The size of the turned grid.
  int width() const { return swaps_axes() ? m_source_height : m_source_width; }
  int height() const { return swaps_axes() ? m_source_width : m_source_height; }

  // The source cell shown at (x, y) of the turned grid.
  ExifPoint source_of(int x, int y) const;
  // Where source cell (x, y) lands in the turned grid.
  ExifPoint destination_of(int x, int y) const;

 private:
  int m_orientation;
  int m_source_width;
  int m_source_height;
};

ExifTransform exif_transform(int orientation, int width, int height);

// Turns width x height RGB565 pixels into the transform's destination size
// (height x width for orientations 5 ... 8). Pitches are in bytes; the two
// buffers must not overlap.
void exif_transform_rgb565(int orientation, const uint16_t* source, int width, int height,
                           size_t source_pitch, uint16_t* destination, size_t destination_pitch);

}  // namespace lv
