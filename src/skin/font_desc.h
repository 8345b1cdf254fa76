#pragma once

// A skin's description of a font and the logical font it asks the platform
// for. Heights are in points before the skin's scale factor; the logical
// font gives pixels the way the handheld's font mapper did.

#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

struct FontDesc {
  int32_t height = 12;
  uint32_t scale_factor = 1;  // 2^skin scale: 1, 2 or 4
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
  std::u16string face = u"Tahoma";

  // The defaults with the factor 2^skin_scale (skin_scale clamped to 0..2).
  static FontDesc for_skin_scale(int32_t skin_scale);

  friend bool operator==(const FontDesc&, const FontDesc&) = default;
};

// Reads "height bold italic underline face name" (fields separated by white
// space; the face is the rest of the text, inner spaces kept) into desc.
// Each field that parses overwrites its value; parsing stops at the first
// field that is missing or not a decimal integer, leaving the rest as they
// were.
void parse_font_description(std::u16string_view text, FontDesc& desc);

// White space as the description's field separator: the Unicode White_Space
// characters.
bool is_font_space(char16_t c);

// Pixel heights of 0 to 19 points on the handheld's screen.
inline constexpr int32_t kPointPixelHeights[20] = {0,  1,  3,  4,  6,  7,  8,  10, 11, 12,
                                                   14, 15, 16, 18, 19, 20, 21, 23, 24, 25};

// Longest face name the platform takes.
inline constexpr size_t kMaxFaceLength = 31;

struct LogicalFont {
  // Negative: the character (em) height in pixels; positive: the cell height
  // (ascent + descent); 0: no font.
  int32_t height = 0;
  int32_t weight = 400;  // 700 when bold
  bool italic = false;
  bool underline = false;
  std::u16string face;  // at most kMaxFaceLength code units
};

// With n = height x scale factor: -kPointPixelHeights[n] for 0 <= n < 20,
// else -(n * 96 / 72) truncated toward zero. Computed in 64 bits and cut to
// the 32-bit range, so an absurd height cannot overflow.
int32_t logical_height(int32_t height, uint32_t scale_factor);

LogicalFont logical_font(const FontDesc& desc);

}  // namespace lv
