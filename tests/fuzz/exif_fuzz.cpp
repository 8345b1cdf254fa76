// libFuzzer target over the EXIF orientation reader: the input is taken as
// the leading bytes of a JPEG file and, separately, as bare TIFF data. (What
// each orientation does to the pixels is the transform's unit test.)

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized copy, so that a read one past the end is caught.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(exact.get(), data, size);
  for (int orientation :
       {lv::exif_orientation(exact.get(), size), lv::exif_orientation_of_tiff(exact.get(), size)})
    if (orientation < 1 || orientation > 8) std::abort();
  return 0;
}
