#pragma once

// The texts and rules of the image screen that need no screen: the size of
// a file as people read it, what the zoom buttons may do, and the
// properties of a picture.

#include <cstdint>
#include <string>
#include <string_view>

#include "skin/geometry.h"

namespace lv {

class LanguageTable;

// "512 bytes", "4.9 KB", "146 KB", "2.5 MB", with the language's words for
// "byte", "kbyte" and "mbyte": below 100 units one decimal, rounded (2047
// bytes is "2.0 KB"), from 100 on whole units.
std::u16string size_text(uint64_t bytes, const LanguageTable& language);

// Zoom out: one level below the target, never below the starting zoom.
double zoom_out_target(double zoom, double target, double starting_zoom);
// Zoom in: the next whole level above the zoom.
double zoom_in_target(double zoom);
bool can_zoom_out(double zoom, double starting_zoom);
bool can_zoom_in(double zoom, int top_level);

// "Name : IMG_0001.JPG\nFolder : /media/card/DCIM\n..." for a picture of
// this size as shown ((0, 0) leaves the resolution out).
std::u16string properties_text(std::u16string_view picture, Size resolution,
                               const LanguageTable& language);

}  // namespace lv
