#pragma once

// Breaking a text into the lines of a wrapped text widget. Words end at
// every character up to U+0020 and at U+200B (zero-width space). A line feed
// always ends a line. A line that would grow wider than the width ends
// before the word that overflows it, the blank between them dropped; a word
// wider than the width on its own is broken between characters where it
// overflows (never inside a surrogate pair).

#include <cstdint>
#include <string_view>
#include <vector>

namespace lv {

struct TextLine {
  int32_t start = 0;
  int32_t length = 0;
  friend constexpr bool operator==(const TextLine&, const TextLine&) = default;
};

// extents[i] is the width of text[0..i] (as measure_text gives it); there is
// one per code unit. Always at least one line; the last runs to the end.
//
// With an indent the first line starts that far in, after what a line of
// flowing text already holds: it takes what fits into the rest of the width,
// and stays empty (length 0) when not even the first word or character
// does, so that the text starts on the next line.
std::vector<TextLine> break_lines(std::u16string_view text, const std::vector<int32_t>& extents,
                                  int32_t width, int32_t indent = 0);

}  // namespace lv
