#pragma once

// What a test compares a shown picture with: libjpeg-turbo's decode of the
// picture file, turned by its EXIF orientation as the screens turn it.

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"

namespace lv::test {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> pixels;
  uint16_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// libjpeg's decode, turned by the EXIF orientation.
inline Image reference(const std::string& path) {
  JpegDecoder decoder;
  Image shown;
  if (!decoder.open(from_utf8(path)) || !decoder.start()) return shown;
  const int w = decoder.output_width(), h = decoder.output_height();
  std::vector<uint16_t> raw(size_t(w) * size_t(h));
  if (!decoder.read_rgb565(raw.data(), size_t(w) * 2)) return shown;
  FileStream file(from_utf8(path), OpenMode::read);
  const int orientation = shown_orientation(exif_orientation(file));
  const bool swap = orientation > 4;
  shown.width = swap ? h : w;
  shown.height = swap ? w : h;
  shown.pixels.resize(raw.size());
  exif_transform_rgb565(orientation, raw.data(), w, h, size_t(w) * 2, shown.pixels.data(),
                        size_t(shown.width) * 2);
  return shown;
}

}  // namespace lv::test
