#include "widgets/text_lines.h"

namespace lv {

namespace {

bool is_break(char16_t c) {
  return c <= 0x20 || c == 0x200B;
}

bool is_low_surrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::vector<TextLine> break_lines(std::u16string_view text, const std::vector<int32_t>& extents,
                                  int32_t width, int32_t indent) {
  std::vector<TextLine> lines;
  const auto length = static_cast<int32_t>(text.size());
  if (extents.size() < text.size()) {  // no widths to go by: one line
    lines.push_back({0, length});
    return lines;
  }
  auto extent_before = [&](int32_t index) -> int64_t { return index > 0 ? extents[index - 1] : 0; };
  auto span_width = [&](int32_t from, int32_t to_inclusive) -> int64_t {
    return int64_t{extents[to_inclusive]} - extent_before(from);
  };
  auto end_line = [&](int32_t start, int32_t end) { lines.push_back({start, end - start}); };
  auto room = [&]() -> int64_t { return lines.empty() ? int64_t{width} - indent : int64_t{width}; };

  int32_t line_start = 0;
  int32_t word_break = -1;  // the break character before the current word
  while (word_break < length) {
    const int32_t word_start = word_break + 1;
    int32_t word_end = word_start;
    while (word_end < length && !is_break(text[word_end])) ++word_end;
    const bool word_fits =
        word_end == word_start || span_width(word_start, word_end - 1) <= int64_t{width};

    for (int32_t c = word_start; c < word_end; ++c) {
      if (span_width(line_start, c) <= room()) continue;
      if (word_fits) {
        // The word moves to the next line; the blank before it goes.
        if (word_break >= line_start) {
          if (word_break > line_start) end_line(line_start, word_break);
          line_start = word_break + 1;
        }
      } else if (c > line_start && !is_low_surrogate(text[c])) {
        end_line(line_start, c);
        line_start = c;
      }
      // Nothing of it fits after the indent: the indented line stays empty.
      if (indent > 0 && lines.empty() && span_width(line_start, c) > room())
        end_line(line_start, line_start);
    }
    if (word_end < length && text[word_end] == u'\n') {
      end_line(line_start, word_end);
      line_start = word_end + 1;
    }
    word_break = word_end;
  }
  end_line(line_start, length);
  return lines;
}

}  // namespace lv
