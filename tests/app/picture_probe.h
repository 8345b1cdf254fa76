#pragma once

// How the end-to-end tests tell that a screenshot shows a picture: libjpeg's
// decode of the picture file, turned as the screens turn it, against the
// screenshot in 8 x 8 blocks.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/program_run.h"
#include "base/file_util.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"
#include "skin/rgb565.h"
#include "support/picture_reference.h"

namespace lv::test {

// Mean channel error over 8 x 8 blocks of the screenshot's rows from `top`
// to `bottom` (by default those between the image screen's bars at
// 480 x 800), with the picture shown at `scale` (screen pixels per picture
// pixel) and its point (cx, cy) in the middle of the screen. Blocks off the
// picture count as black.
inline double error_against(const Shot& shot, const Image& picture, double scale, double cx,
                            double cy, int32_t top = 70, int32_t bottom = 720) {
  double total = 0;
  int count = 0;
  for (int by = top; by + 8 <= bottom; by += 8)
    for (int bx = 0; bx + 8 <= shot.width; bx += 8) {
      int got[3] = {0, 0, 0}, want[3] = {0, 0, 0};
      for (int y = by; y < by + 8; ++y)
        for (int x = bx; x < bx + 8; ++x) {
          const uint16_t a = shot.at(x, y);
          const int px = int(std::floor(cx + (x + 0.5 - shot.width / 2.0) / scale));
          const int py = int(std::floor(cy + (y + 0.5 - shot.height / 2.0) / scale));
          const bool inside = px >= 0 && py >= 0 && px < picture.width && py < picture.height;
          const uint16_t b = inside ? picture.at(px, py) : 0;
          got[0] += rgb565::red8(a), got[1] += rgb565::green8(a), got[2] += rgb565::blue8(a);
          want[0] += rgb565::red8(b), want[1] += rgb565::green8(b), want[2] += rgb565::blue8(b);
        }
      for (int c = 0; c < 3; ++c) total += std::abs(got[c] - want[c]) / 64.0;
      ++count;
    }
  return count ? total / count : 1e9;
}

}  // namespace lv::test
