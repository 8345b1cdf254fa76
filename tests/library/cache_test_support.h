#pragma once

// Helpers of the cache file and tile source tests: pictures on disk with a
// chosen EXIF orientation, and the reference computations (2 x 2 reduction,
// thumbnail window, EXIF turns) done the plain way, pixel by pixel, to hold
// the program's results against.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "library/jpeg_own_test_support.h"
#include "support/test_env.h"

namespace lv::test::cache {

using Bytes = std::vector<uint8_t>;

inline Bytes read_bytes(const std::string& path) {
  const std::string s = read_file(path);
  return Bytes(s.begin(), s.end());
}

inline void write_bytes(const std::string& path, const Bytes& bytes) {
  write_file(path, std::string(bytes.begin(), bytes.end()));
}

inline uint32_t get32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

inline void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The picture with an APP1 Exif segment naming `orientation` right after SOI.
inline Bytes with_orientation(const Bytes& jpeg, int orientation) {
  const uint8_t app1[] = {0xFF,
                          0xE1,
                          0x00,
                          0x22,
                          'E',
                          'x',
                          'i',
                          'f',
                          0,
                          0,
                          'I',
                          'I',
                          0x2A,
                          0x00,
                          8,
                          0,
                          0,
                          0,
                          1,
                          0,
                          0x12,
                          0x01,
                          3,
                          0,
                          1,
                          0,
                          0,
                          0,
                          static_cast<uint8_t>(orientation),
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0};
  if (jpeg.size() < 2) return jpeg;
  Bytes out;
  out.reserve(jpeg.size() + sizeof app1);
  out.push_back(jpeg[0]);
  out.push_back(jpeg[1]);
  for (uint8_t b : app1) out.push_back(b);
  for (size_t i = 2; i < jpeg.size(); ++i) out.push_back(jpeg[i]);
  return out;
}

struct Rgb {
  int width = 0;
  int height = 0;
  Bytes pixels;  // RGB888 rows
  const uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * 3;
  }
};

inline Rgb decode_reference(const Bytes& jpeg) {
  own_jpeg::RgbPicture p;
  EXPECT_TRUE(own_jpeg::libjpeg_decode(jpeg, p));
  return Rgb{p.width, p.height, p.rgb};
}

// 2 x 2 means, each side halved but never below 1 (a side of 1 is used twice).
inline Rgb reduce_reference(const Rgb& in) {
  Rgb out{std::max(1, in.width / 2), std::max(1, in.height / 2), {}};
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const int x0 = 2 * x, x1 = std::min(2 * x + 1, in.width - 1);
        const int y0 = 2 * y, y1 = std::min(2 * y + 1, in.height - 1);
        const int sum = in.at(x0, y0)[c] + in.at(x1, y0)[c] + in.at(x0, y1)[c] + in.at(x1, y1)[c];
        out.pixels[(static_cast<size_t>(y) * out.width + x) * 3 + c] =
            static_cast<uint8_t>((sum + 2) >> 2);
      }
  return out;
}

// The 64 x 64 window of a decoded image with its top-left at (x0, y0),
// black outside the image.
inline Rgb window_reference(const Rgb& in, int x0, int y0) {
  Rgb out{64, 64, Bytes(64 * 64 * 3, 0)};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int sx = x0 + x, sy = y0 + y;
      if (sx < 0 || sy < 0 || sx >= in.width || sy >= in.height) continue;
      std::memcpy(&out.pixels[(static_cast<size_t>(y) * 64 + x) * 3], in.at(sx, sy), 3);
    }
  return out;
}

inline uint16_t to565(const uint8_t* rgb) {
  return static_cast<uint16_t>(((rgb[0] & 0xF8) << 8) | ((rgb[1] & 0xFC) << 3) | (rgb[2] >> 3));
}

struct Image565 {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> pixels;
  uint16_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Image565 to565(const Rgb& in) {
  Image565 out{in.width, in.height, {}};
  out.pixels.resize(static_cast<size_t>(in.width) * in.height);
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x)
      out.pixels[static_cast<size_t>(y) * in.width + x] = to565(in.at(x, y));
  return out;
}

// The EXIF turns written out: the source pixel shown at (x, y).
inline Image565 turn_reference(const Image565& in, int orientation) {
  const int w = in.width, h = in.height;
  const bool swaps = orientation >= 5 && orientation <= 8;
  Image565 out{swaps ? h : w, swaps ? w : h, {}};
  out.pixels.resize(in.pixels.size());
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y;
          sy = x;
          break;
        default:
          break;
      }
      out.pixels[static_cast<size_t>(y) * out.width + x] = in.at(sx, sy);
    }
  return out;
}

}  // namespace lv::test::cache
