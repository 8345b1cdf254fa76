#pragma once

// Helpers of the cache file and tile source tests: a drive in a temporary
// folder, pictures on it with a chosen EXIF orientation, and the reference
// computations (2 x 2 reduction, thumbnail window, EXIF turns) done the
// plain way, pixel by pixel, to hold the program's results against.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "jpeg/jpeg_test_support.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv::test {

// Out of range reads 0 (and fails the test): a broken file must not crash
// the test that looks at it.
inline uint32_t get32(const Bytes& b, size_t at) {
  if (at + 4 > b.size()) {
    ADD_FAILURE() << "get32 at " << at << " of " << b.size();
    return 0;
  }
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline Bytes slice(const Bytes& b, size_t offset, size_t size) {
  return offset + size > b.size() ? Bytes{} : Bytes(b.begin() + offset, b.begin() + offset + size);
}

// The picture with an APP1 Exif segment naming `orientation` right after SOI.
inline Bytes with_orientation(const Bytes& jpeg, int orientation) {
  Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f',  0, 0, 'I',
               'I',  0x2A, 0,    8,    0,    0,    0,   1,   0,   0x12, 1, 3, 0,
               1,    0,    0,    0,    0,    0,    0,   0,   0,   0,    0, 0};
  out[30] = static_cast<uint8_t>(orientation);
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

inline const uint8_t* pixel_at(const RgbPicture& p, int x, int y) {
  return p.rgb.data() + (static_cast<size_t>(y) * p.width + x) * 3;
}
inline RgbPicture decode_reference(const Bytes& jpeg, int scale = 1) {
  RgbPicture p;
  EXPECT_TRUE(libjpeg_decode(jpeg, p, scale));
  return p;
}

// 2 x 2 means, each side halved but never below 1 (a side of 1 is used twice).
inline RgbPicture reduce_reference(const RgbPicture& in) {
  RgbPicture out{std::max(1, in.width / 2), std::max(1, in.height / 2), 0, {}};
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const int x1 = std::min(2 * x + 1, in.width - 1), y1 = std::min(2 * y + 1, in.height - 1);
        const int sum = pixel_at(in, 2 * x, 2 * y)[c] + pixel_at(in, x1, 2 * y)[c] +
                        pixel_at(in, 2 * x, y1)[c] + pixel_at(in, x1, y1)[c];
        out.rgb.push_back(uint8_t((sum + 2) >> 2));
      }
  return out;
}

// The 64 x 64 window with its top-left at (x0, y0), black outside the image.
inline RgbPicture window_reference(const RgbPicture& in, int x0, int y0) {
  RgbPicture out{64, 64, 0, Bytes(64 * 64 * 3, 0)};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if (x0 + x >= 0 && y0 + y >= 0 && x0 + x < in.width && y0 + y < in.height)
        std::memcpy(&out.rgb[(y * 64 + x) * 3], pixel_at(in, x0 + x, y0 + y), 3);
  return out;
}

inline Bytes encode_reference(const RgbPicture& image, int quality) {
  Bytes out;
  EXPECT_TRUE(encode_jpeg(image.rgb.data(), image.width, image.height,
                          static_cast<size_t>(image.width) * 3, quality, out));
  return out;
}

struct Image565 {
  int width = 0, height = 0;
  std::vector<uint16_t> pixels;
  uint16_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Image565 to565(const RgbPicture& in) {
  Image565 out{in.width, in.height, {}};
  for (size_t i = 0; i < in.rgb.size(); i += 3)
    out.pixels.push_back(
        uint16_t(((in.rgb[i] & 0xF8) << 8) | ((in.rgb[i + 1] & 0xFC) << 3) | (in.rgb[i + 2] >> 3)));
  return out;
}

inline Image565 pixels_of(const Surface& s) {
  Image565 image{static_cast<int>(s.width()), static_cast<int>(s.height()), {}};
  for (uint32_t y = 0; y < s.height(); ++y)
    for (uint32_t x = 0; x < s.width(); ++x) image.pixels.push_back(s.pixel(x, y));
  return image;
}
inline std::vector<uint16_t> tile_pixels(const std::unique_ptr<RenderSurface>& tile) {
  return tile ? pixels_of(*tile->surface()).pixels : std::vector<uint16_t>{};
}

// The EXIF turns written out: the source pixel shown at (x, y).
inline Image565 turn_reference(const Image565& in, int orientation) {
  const int w = in.width, h = in.height, o = orientation >= 1 && orientation <= 8 ? orientation : 1;
  Image565 out{o >= 5 ? h : w, o >= 5 ? w : h, {}};
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      const int mx = w - 1 - x, my = h - 1 - y, ty = w - 1 - y, tx = h - 1 - x;
      const int sources[9][2] = {{x, y}, {x, y},  {mx, y},  {mx, my}, {x, my},
                                 {y, x}, {y, tx}, {ty, tx}, {ty, x}};
      out.pixels.push_back(in.at(sources[o][0], sources[o][1]));
    }
  return out;
}

// The level streams of a cache file: the picture, then each level's image.
inline std::vector<Bytes> level_streams(const Bytes& picture, const Bytes& cache) {
  std::vector<Bytes> streams{picture};
  for (int i = 1; i <= cache[4]; ++i)
    streams.push_back(slice(cache, get32(cache, 6 + 16 * i), get32(cache, 10 + 16 * i)));
  return streams;
}

// A drive in a temporary folder with the pictures in its "pics" folder.
class DriveTest : public testing::Test {
 protected:
  void SetUp() override {
    m_drive = make_temp_dir("drive") + "/";
    std::filesystem::create_directories(m_drive + "pics");
  }
  std::string put(const std::string& name, const Bytes& jpeg) {
    write_bytes(m_drive + "pics/" + name, jpeg);
    return m_drive + "pics/" + name;
  }
  std::u16string drive() const { return from_utf8(m_drive); }
  std::string cache_of(const std::string& picture) const {
    return to_utf8(cache_name(from_utf8(picture), drive()));
  }
  CacheBuildResult build(const std::string& picture, const StopRequest& stop = {}) {
    return make_cache_file(from_utf8(picture), drive(), stop);
  }
  // Puts and builds the picture; answers its path.
  std::string built(const std::string& name, const Bytes& jpeg) {
    const std::string path = put(name, jpeg);
    EXPECT_EQ(build(path), CacheBuildResult::built) << name;
    return path;
  }
  std::string m_drive;
};

}  // namespace lv::test
