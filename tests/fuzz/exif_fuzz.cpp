// libFuzzer target over the EXIF orientation reader: the input is taken as
// the leading bytes of a JPEG file and, separately, as bare TIFF data.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized copy, so that a read one past the end is caught.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(exact.get(), data, size);

  int orientation = lv::exif_orientation(exact.get(), size);
  if (orientation < 1 || orientation > 8) std::abort();
  orientation = lv::exif_orientation_of_tiff(exact.get(), size);
  if (orientation < 1 || orientation > 8) std::abort();

  // The transform of that orientation is a permutation of a small grid.
  const int width = 1 + (size % 7), height = 1 + (size % 5);
  lv::ExifTransform transform = lv::exif_transform(orientation, width, height);
  for (int y = 0; y < transform.height(); ++y)
    for (int x = 0; x < transform.width(); ++x) {
      lv::ExifPoint source = transform.source_of(x, y);
      if (source.x < 0 || source.x >= width || source.y < 0 || source.y >= height) std::abort();
      if (!(transform.destination_of(source.x, source.y) == lv::ExifPoint{x, y})) std::abort();
    }
  return 0;
}
