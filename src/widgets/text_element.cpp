#include "widgets/text_element.h"

#include <algorithm>

#include "skin/canvas.h"
#include "skin/properties.h"
#include "widgets/skin_values.h"

namespace lv {

namespace {

constexpr char16_t kEllipsis = 0x2026;

bool is_blank(char16_t c) {
  return c <= 0x20 || c == 0x200B;
}

}  // namespace

HAlign halign_from_name(std::u16string_view name) {
  for (const AlignName& entry : kHAlignNames)
    if (entry.name == name) return halign_from_index(entry.index);
  return HAlign::center;
}

VAlign valign_from_name(std::u16string_view name) {
  for (const AlignName& entry : kVAlignNames)
    if (entry.name == name) return valign_from_index(entry.index);
  return VAlign::vcenter;
}

TextElement::TextElement() : m_font(default_font()) {}

void TextElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_text = read_text(properties, node, u"text");
  const FontRef fallback = default_font();
  m_font = properties.get_font(node, u"font", fallback);
  m_grow = properties.get_integer(node, u"grow", 0) != 0;
  m_grow_min = properties.get_integer(node, u"grow_min", 0) != 0;
  m_wrap = properties.get_integer(node, u"wrap", 0) != 0;
  m_ellipsis = properties.get_integer(node, u"ellipsis", 0) != 0;
  m_color = properties.get_color(node, u"color", Color{0, 0, 0, 255});
  m_halign = halign_from_name(read_string(properties, node, u"halign"));
  m_valign = valign_from_name(read_string(properties, node, u"valign"));
  forget_measures();
}

void TextElement::set_text_by_id(std::u16string_view id, std::u16string_view text) {
  if (id == this->id()) set_text(text);
  Element::set_text_by_id(id, text);
}

void TextElement::forget_measures() {
  m_text_width = -1;
  m_line_height = -1;
  m_lines.clear();
  m_extents.clear();
}

void TextElement::changed_look() {
  forget_measures();
  if (m_grow)
    invalidate_layout();
  else
    mark_redraw();
}

void TextElement::set_text(std::u16string_view text) {
  if (text == m_text) return;
  m_text = text;
  changed_look();
}

void TextElement::set_font(const FontRef& font) {
  if (font == m_font) return;
  m_font = font;
  changed_look();
}

void TextElement::set_color(Color color) {
  if (color == m_color) return;
  m_color = color;
  mark_redraw();
}

void TextElement::set_alignment(HAlign halign, VAlign valign) {
  if (halign == m_halign && valign == m_valign) return;
  m_halign = halign;
  m_valign = valign;
  mark_redraw();
}

void TextElement::set_flags(bool grow, bool grow_min, bool wrap, bool ellipsis) {
  m_grow = grow;
  m_grow_min = grow_min;
  m_wrap = wrap;
  m_ellipsis = ellipsis;
  forget_measures();
  invalidate_layout();
}

void TextElement::measure_text_once() {
  if (m_text_width >= 0 && m_line_height >= 0) return;
  const TextExtent extent = measure_text(m_font, m_text, -1, &m_extents);
  m_text_width = extent.width;
  m_line_height = extent.height;
  m_lines.clear();
}

int32_t TextElement::text_width() {
  measure_text_once();
  return m_text_width;
}

int32_t TextElement::line_height() {
  measure_text_once();
  return m_line_height;
}

const std::vector<TextLine>& TextElement::lines() {
  measure_text_once();
  // Wrapped lines depend on the width: a resized element breaks again.
  if (!m_lines.empty() && (!m_wrap || m_lines_width == size().width)) return m_lines;
  if (m_wrap)
    m_lines = break_lines(m_text, m_extents, size().width);
  else
    m_lines = {TextLine{0, static_cast<int32_t>(m_text.size())}};
  m_lines_width = size().width;
  return m_lines;
}

void TextElement::measure_width(SizeRange& range) {
  Element::measure_width(range);
  if (!m_grow) return;
  measure_text_once();
  range.preferred = std::max(range.preferred, m_text_width);
  if (m_grow_min) range.minimum = std::max(range.minimum, m_text_width);
}

void TextElement::measure_height(SizeRange& range) {
  Element::measure_height(range);
  if (!m_grow) return;
  const int64_t total = int64_t{line_height()} * static_cast<int64_t>(lines().size());
  range.preferred = std::max(range.preferred, clamp_to_int32(total));
  if (m_grow_min) range.minimum = std::max(range.minimum, clamp_to_int32(total));
}

void TextElement::draw_cut_line(Canvas& target, Point origin, int32_t y, const TextLine& line) {
  // The last line that fits shows that more follows: its text, shortened
  // until the ellipsis fits after it.
  std::u16string shown =
      m_text.substr(static_cast<size_t>(line.start), static_cast<size_t>(line.length));
  const int32_t width = size().width;
  for (;;) {
    while (!shown.empty() && is_blank(shown.back())) shown.pop_back();
    std::u16string candidate = shown + kEllipsis;
    if (shown.empty() || measure_text(m_font, candidate).width <= width) {
      shown = std::move(candidate);
      break;
    }
    shown.pop_back();
    if (!shown.empty() && shown.back() >= 0xD800 && shown.back() <= 0xDBFF) shown.pop_back();
  }
  draw_text(m_font, target, m_color, shown, {origin.x, y}, {width, m_line_height}, m_halign,
            VAlign::top, Ellipsis::end);
}

void TextElement::draw(Canvas& target, Point origin) {
  const std::vector<TextLine>& all = lines();
  const int32_t lh = m_line_height;
  const Size box = size();
  const int64_t total = int64_t{lh} * static_cast<int64_t>(all.size());
  const int64_t bottom = int64_t{origin.y} + box.height;
  // Cut text (wrap and ellipsis, more lines than room) starts at the top, so
  // that the lines shown are whole.
  const bool cut = m_wrap && m_ellipsis && total > box.height;

  int64_t y = origin.y;
  if (!cut) {
    if (m_valign == VAlign::vcenter)
      y += (box.height - total) / 2;
    else if (m_valign == VAlign::bottom)
      y += box.height - total;
  }
  for (size_t i = 0; i < all.size(); ++i) {
    if (y >= bottom) break;
    const int32_t line_top = clamp_to_int32(y);
    if (cut && y + lh > bottom) {
      draw_text(m_font, target, m_color, std::u16string_view(&kEllipsis, 1), origin, box, m_halign,
                VAlign::bottom, Ellipsis::none);
      break;
    }
    if (cut && i + 1 < all.size() && y + 2 * int64_t{lh} > bottom) {
      draw_cut_line(target, origin, line_top, all[i]);
      break;
    }
    const std::u16string_view text = std::u16string_view(m_text).substr(
        static_cast<size_t>(all[i].start), static_cast<size_t>(all[i].length));
    draw_text(m_font, target, m_color, text, {origin.x, line_top}, {box.width, lh}, m_halign,
              VAlign::top, m_ellipsis ? Ellipsis::end : Ellipsis::none);
    y += lh;
  }
}

}  // namespace lv
