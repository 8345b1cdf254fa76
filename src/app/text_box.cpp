#include "app/text_box.h"

#include <algorithm>
#include <vector>

#include "platform/clipboard.h"
#include "skin/canvas.h"
#include "skin/rgb565.h"
#include "skin/text.h"
#include "widgets/color_element.h"
#include "widgets/edit_element.h"
#include "widgets/text_lines.h"

namespace lv {

namespace {

// Room between the box's edges and the text.
constexpr int32_t kPadding = 3;

bool is_high_surrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool is_low_surrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

uint16_t pixel_of(Color color) {
  return rgb565::from_rgb888(color.red, color.green, color.blue);
}

}  // namespace

// The text as it is shown: the composition at the caret, measured and
// broken into lines.
struct TextBox::Layout {
  std::u16string shown;
  std::vector<int32_t> extents;  // one per code unit of `shown`
  std::vector<TextLine> lines;
  int32_t line_height = 0;
  size_t caret = 0;  // in `shown`
  size_t composition_start = 0;
  size_t composition_end = 0;

  int32_t width_to(size_t index) const {
    return index > 0 && index <= extents.size() ? extents[index - 1] : 0;
  }
  // The line that holds the index; at a wrap, the line it starts.
  size_t line_of(size_t index) const {
    size_t line = 0;
    while (line + 1 < lines.size() && static_cast<size_t>(lines[line + 1].start) <= index) ++line;
    return line;
  }
  // Pixels from the start of its line.
  int32_t x_in_line(size_t index) const {
    return width_to(index) - width_to(static_cast<size_t>(lines[line_of(index)].start));
  }
};

TextBox::TextBox(Rect rect, Lines lines, Look look)
    : m_rect(rect), m_lines(lines), m_look(std::move(look)) {}

// --- Text ----------------------------------------------------------------------

void TextBox::set_text(std::u16string_view text) {
  m_text = with_newline_ends(text);
  m_caret = m_anchor = m_text.size();
  m_composition.clear();
  m_composition_cursor = 0;
}

void TextBox::select_all() {
  m_anchor = 0;
  m_caret = m_text.size();
}

size_t TextBox::before(size_t index) const {
  if (index == 0) return 0;
  --index;
  if (index > 0 && is_low_surrogate(m_text[index]) && is_high_surrogate(m_text[index - 1])) --index;
  return index;
}

size_t TextBox::after(size_t index) const {
  if (index >= m_text.size()) return m_text.size();
  ++index;
  if (index < m_text.size() && is_low_surrogate(m_text[index]) &&
      is_high_surrogate(m_text[index - 1]))
    ++index;
  return index;
}

void TextBox::move_caret(size_t to, bool extend) {
  m_caret = std::min(to, m_text.size());
  if (!extend) m_anchor = m_caret;
}

// What the box takes of a text: line ends unified, and in a single-line box
// line feeds and tabs as blanks; other control characters are dropped.
std::u16string TextBox::accepted(std::u16string_view text) const {
  std::u16string out;
  for (char16_t c : with_newline_ends(text)) {
    if (c == u'\n' && m_lines == Lines::multiple)
      out += c;
    else if (c == u'\n' || c == u'\t')
      out += u' ';
    else if (c >= 0x20)
      out += c;
  }
  return out;
}

bool TextBox::replace_selection(std::u16string_view text) {
  const size_t start = selection_start();
  const size_t end = selection_end();
  if (start == end && text.empty()) return false;
  m_text.replace(start, end - start, text);
  m_caret = m_anchor = start + text.size();
  return true;
}

// --- Input ---------------------------------------------------------------------

size_t TextBox::line_start() const {
  if (m_lines == Lines::single || m_caret == 0) return 0;
  const size_t feed = m_text.rfind(u'\n', m_caret - 1);
  return feed == std::u16string::npos ? 0 : feed + 1;
}

size_t TextBox::line_end() const {
  if (m_lines == Lines::single) return m_text.size();
  const size_t feed = m_text.find(u'\n', m_caret);
  return feed == std::u16string::npos ? m_text.size() : feed;
}

void TextBox::copy(platform::Clipboard& clipboard) const {
  if (!has_selection()) return;
  clipboard.set_text(
      std::u16string_view(m_text).substr(selection_start(), selection_end() - selection_start()));
}

// Ctrl with a key: select all, copy, cut, paste.
TextBox::Change TextBox::command(int code, platform::Clipboard& clipboard) {
  Change change;
  change.handled = true;
  if (code == kKeyA) {
    select_all();
  } else if (code == kKeyA + ('C' - 'A') || code == kKeyInsert) {
    copy(clipboard);
  } else if (code == kKeyA + ('X' - 'A')) {
    copy(clipboard);
    change.text = replace_selection({});
  } else if (code == kKeyA + ('V' - 'A')) {
    change.text = replace_selection(accepted(clipboard.text()));
  } else {
    change.handled = false;
  }
  return change;
}

TextBox::Change TextBox::key(int code, Modifiers modifiers, platform::Clipboard& clipboard) {
  if (modifiers.ctrl) return command(code, clipboard);
  Change change;
  change.handled = true;
  const bool shift = modifiers.shift;
  switch (code) {
    case kKeyLeft:
      move_caret(has_selection() && !shift ? selection_start() : before(m_caret), shift);
      break;
    case kKeyRight:
      move_caret(has_selection() && !shift ? selection_end() : after(m_caret), shift);
      break;
    case kKeyHome:
      move_caret(line_start(), shift);
      break;
    case kKeyEnd:
      move_caret(line_end(), shift);
      break;
    case kKeyBackspace:
      if (!has_selection()) m_anchor = before(m_caret);
      change.text = replace_selection({});
      break;
    case kKeyDel:
      if (shift) copy(clipboard);
      if (!has_selection()) m_anchor = after(m_caret);
      change.text = replace_selection({});
      break;
    case kKeyInsert:
      if (shift)
        change.text = replace_selection(accepted(clipboard.text()));
      else
        change.handled = false;
      break;
    case kKeyEnter:
      change.finished = true;
      break;
    default:
      change.handled = false;
      break;
  }
  return change;
}

TextBox::Change TextBox::type(std::u16string_view text) {
  Change change;
  change.handled = true;
  m_composition.clear();
  m_composition_cursor = 0;
  change.text = replace_selection(accepted(text));
  return change;
}

void TextBox::compose(std::u16string_view text, int32_t cursor) {
  m_composition = accepted(text);
  m_composition_cursor =
      std::clamp<size_t>(static_cast<size_t>(std::max(cursor, 0)), 0, m_composition.size());
  // A composition takes the selection's place once it is committed; until
  // then it shows at the caret.
  if (!m_composition.empty() && has_selection()) m_anchor = m_caret;
}

void TextBox::press(Point point) {
  if (!m_composition.empty()) return;
  move_caret(boundary_at(point), false);
}

void TextBox::drag(Point point) {
  if (!m_composition.empty()) return;
  move_caret(boundary_at(point), true);
}

// --- Layout and drawing ----------------------------------------------------------

TextBox::Layout TextBox::layout() const {
  Layout layout;
  const size_t caret = std::min(m_caret, m_text.size());
  layout.shown = m_text.substr(0, caret) + m_composition + m_text.substr(caret);
  layout.composition_start = caret;
  layout.composition_end = caret + m_composition.size();
  layout.caret = caret + m_composition_cursor;
  const TextExtent extent = measure_text(m_look.font, layout.shown, -1, &layout.extents);
  layout.line_height = extent.height;
  if (layout.extents.size() != layout.shown.size()) layout.extents.assign(layout.shown.size(), 0);
  const int32_t inner = std::max(m_rect.width() - 2 * kPadding, 1);
  if (m_lines == Lines::multiple)
    layout.lines = break_lines(layout.shown, layout.extents, inner);
  else
    layout.lines = {TextLine{0, static_cast<int32_t>(layout.shown.size())}};
  return layout;
}

void TextBox::scroll_to_caret(const Layout& layout) {
  if (m_lines == Lines::single) {
    const int32_t inner = std::max(m_rect.width() - 2 * kPadding, 1);
    const int32_t caret = layout.width_to(layout.caret);
    const int32_t total = layout.width_to(layout.shown.size());
    if (caret - m_scroll >= inner) m_scroll = caret - inner + 1;
    if (caret < m_scroll) m_scroll = caret;
    // No room left empty at the end while text is scrolled out at the start.
    m_scroll = std::clamp(m_scroll, 0, std::max(total - inner + 1, 0));
    m_scroll = std::min(m_scroll, caret);
    return;
  }
  const int32_t inner = std::max(m_rect.height() - 2 * kPadding, layout.line_height);
  const int32_t top = static_cast<int32_t>(layout.line_of(layout.caret)) * layout.line_height;
  if (top + layout.line_height - m_scroll > inner) m_scroll = top + layout.line_height - inner;
  if (top < m_scroll) m_scroll = top;
  m_scroll = std::max(m_scroll, 0);
}

size_t TextBox::boundary_at(Point point) const {
  const Layout lay = layout();
  size_t line = 0;
  if (m_lines == Lines::multiple && lay.line_height > 0) {
    const int64_t row = (int64_t{point.y} - m_rect.top - kPadding + m_scroll) / lay.line_height;
    line = static_cast<size_t>(std::clamp<int64_t>(row, 0, int64_t(lay.lines.size()) - 1));
  }
  const auto start = static_cast<size_t>(lay.lines[line].start);
  const size_t end = start + static_cast<size_t>(lay.lines[line].length);
  const int64_t left = int64_t{m_rect.left} + kPadding - (m_lines == Lines::single ? m_scroll : 0);
  const int64_t x = int64_t{point.x} - left + lay.width_to(start);
  size_t best = start;
  for (size_t i = start; i <= end; ++i) {
    if (i < m_text.size() && i > 0 && is_low_surrogate(m_text[i]) &&
        is_high_surrogate(m_text[i - 1]))
      continue;
    if (std::abs(lay.width_to(i) - x) < std::abs(lay.width_to(best) - x)) best = i;
  }
  return best;
}

void TextBox::draw(Canvas& canvas) {
  const Point corner{m_rect.left, m_rect.top};
  const Size size{m_rect.width(), m_rect.height()};
  fill_rect(canvas, corner, size, pixel_of(m_look.background));
  const ClipGuard clip(canvas, corner, size);
  const Layout lay = layout();
  scroll_to_caret(lay);
  const int32_t height = lay.line_height;
  const FontRef& font = m_look.font;

  auto line_left = [&] {
    return m_rect.left + kPadding - (m_lines == Lines::single ? m_scroll : 0);
  };
  auto line_top = [&](size_t line) -> int32_t {
    if (m_lines == Lines::single) return m_rect.top + (m_rect.height() - height) / 2;
    return clamp_to_int32(int64_t{m_rect.top} + kPadding - m_scroll + int64_t(line) * height);
  };
  auto draw_part = [&](size_t from, size_t to, int32_t y, Color color) {
    if (to <= from) return;
    const int32_t x = line_left() + lay.x_in_line(from);
    const int32_t width = lay.width_to(to) - lay.width_to(from);
    draw_text(font, canvas, color, std::u16string_view(lay.shown).substr(from, to - from), {x, y},
              {width + height, height}, HAlign::left, VAlign::top, Ellipsis::none);
  };

  const bool composing = lay.composition_end > lay.composition_start;
  const size_t selected_from = composing ? 0 : selection_start();
  const size_t selected_to = composing ? 0 : selection_end();
  for (size_t line = 0; line < lay.lines.size(); ++line) {
    const int32_t y = line_top(line);
    if (y >= m_rect.bottom || int64_t{y} + height <= m_rect.top) continue;
    const auto start = static_cast<size_t>(lay.lines[line].start);
    const size_t end = start + static_cast<size_t>(lay.lines[line].length);
    draw_part(start, end, y, m_look.color);

    const size_t from = std::max(start, selected_from);
    const size_t to = std::min(end, selected_to);
    if (from < to) {
      const int32_t x = line_left() + lay.x_in_line(from);
      fill_rect(canvas, {x, y}, {lay.width_to(to) - lay.width_to(from), height},
                pixel_of(m_look.color));
      draw_part(from, to, y, m_look.background);
    }
    const size_t under_from = std::max(start, lay.composition_start);
    const size_t under_to = std::min(end, lay.composition_end);
    if (composing && under_from < under_to) {
      const int32_t x = line_left() + lay.x_in_line(under_from);
      const int32_t row = y + font->ascent() + std::max(font->underline_offset(), 1);
      fill_rect(canvas, {x, row},
                {lay.width_to(under_to) - lay.width_to(under_from),
                 std::max(font->underline_thickness(), 1)},
                pixel_of(m_look.color));
    }
  }
  const size_t caret_line = lay.line_of(lay.caret);
  fill_rect(canvas, {line_left() + lay.x_in_line(lay.caret), line_top(caret_line)},
            {std::max(height / 16, 1), height}, pixel_of(m_look.color));
}

}  // namespace lv
