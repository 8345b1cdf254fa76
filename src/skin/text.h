#pragma once

// Measuring and drawing single lines of text in a realised font. Text is
// UTF-16; a surrogate pair is one character, a lone surrogate draws as
// U+FFFD, and control characters take no room (a single line has no breaks).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "skin/color.h"
#include "skin/geometry.h"

namespace lv {

class Canvas;
class FontRef;

// Alignment indices as skins give them in "halign" and "valign".
enum class HAlign : int32_t { left = 0, center = 1, right = 2, justify = 3 };
enum class VAlign : int32_t { top = 0, vcenter = 1, bottom = 2 };

struct AlignName {
  int32_t index;
  std::u16string_view name;
};

inline constexpr std::array<AlignName, 4> kHAlignNames{
    {{0, u"LEFT"}, {1, u"CENTER"}, {2, u"RIGHT"}, {3, u"JUSTIFY"}}};
inline constexpr std::array<AlignName, 3> kVAlignNames{
    {{0, u"TOP"}, {1, u"VCENTER"}, {2, u"BOTTOM"}}};

// Out-of-range indices give left and top.
HAlign halign_from_index(int32_t index);
VAlign valign_from_index(int32_t index);

// Whether a line too wide for its box ends in "..." inside the box.
enum class Ellipsis : bool { none = false, end = true };

struct TextExtent {
  int32_t width = 0;   // of the whole text
  int32_t height = 0;  // the font's cell height, whatever the text
  int32_t fit = 0;     // code units whose cumulative extent is within the maximum
};

// With extents, the vector gets one entry per code unit: the width of the
// text up to and including that unit (both units of a surrogate pair get the
// width after the pair). A negative max_extent means no maximum.
TextExtent measure_text(const FontRef& font, std::u16string_view text, int32_t max_extent = -1,
                        std::vector<int32_t>* extents = nullptr);

// The text as it is drawn in a box of this width with Ellipsis::end: itself
// when it fits, else its longest start (trailing spaces dropped) followed by
// "..." that fits, or as many dots as fit.
std::u16string fit_with_ellipsis(const FontRef& font, std::u16string_view text, int32_t width);

// Draws one line of text in the box (pos, box) within the canvas's clip,
// anti-aliased in the colour (its alpha is not used) over what the canvas
// holds. Every pixel the text changes is marked opaque. Nothing happens for
// an empty text, a box of no area, or a font without glyphs. JUSTIFY is drawn
// as LEFT. Call on the thread that draws the user interface.
void draw_text(const FontRef& font, Canvas& canvas, Color color, std::u16string_view text,
               Point pos, Size box, HAlign halign, VAlign valign, Ellipsis ellipsis);

// Size of the process-wide scratch surface the drawing renders into;
// (0, 0) before the first drawing.
Size text_scratch_size();
// Frees the scratch surface; the next drawing makes a new one.
void release_text_scratch();

}  // namespace lv
