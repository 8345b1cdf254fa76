#include "widgets/rich_text_element.h"

#include <algorithm>

#include "skin/canvas.h"
#include "skin/properties.h"
#include "widgets/layout.h"
#include "widgets/skin_values.h"
#include "widgets/text_element.h"
#include "widgets/text_lines.h"

namespace lv {

namespace {

constexpr size_t kNone = SIZE_MAX;
// The width a line of a growing rich text is measured at: no wrapping but
// at line feeds.
constexpr int32_t kUnbounded = INT32_MAX / 2;

bool is_blank(char16_t c) {
  return c <= 0x20 || c == 0x200B;
}

}  // namespace

// A piece of a run's text. Presses on link pieces and the ends of those
// presses go to the rich text.
class RichTextElement::Piece final : public TextElement {
 public:
  explicit Piece(RichTextElement& owner) : m_owner(owner) {
    set_flags(false, false, false, false);
    set_alignment(HAlign::left, VAlign::top);
  }

  bool on_pointer_button(const PointerEvent& event) override {
    // After a new layout this piece may show another run than the one that
    // was pressed: the end of a press always goes to the owner, which knows.
    const bool press = event.pressed && !event.cancelled;
    if (press ? !m_link : m_owner.m_pressed_run == kNone) return false;
    m_owner.link_pointer(m_run, event);
    return true;
  }

  void show(size_t run, bool link) {
    m_run = run;
    m_link = link;
  }
  size_t run() const { return m_run; }

 private:
  RichTextElement& m_owner;
  size_t m_run = 0;
  bool m_link = false;
};

// Where everything goes at one width, before the alignment moves the lines.
struct RichTextElement::Flow {
  struct Placed {
    Element* element = nullptr;  // null: a piece of text
    size_t run = 0;
    size_t start = 0;  // the piece's part of the run's text
    size_t length = 0;
    int32_t x = 0;  // its left edge, from the element's left
    int32_t width = 0;
    int32_t height = 0;
    int32_t border_min = 0;  // along y
    int32_t border_max = 0;
    AnchorMode anchor = AnchorMode::max_side;
    size_t line = 0;
  };
  struct Line {
    int32_t height = 0;
    int64_t right = 0;  // the right edge of its last item
    bool paragraph_end = true;
  };
  std::vector<Placed> placed;
  std::vector<Line> lines{Line{}};
  int64_t pen = 0;  // where the next item goes on the last line

  void new_line(bool paragraph_end) {
    lines.back().paragraph_end = paragraph_end;
    lines.emplace_back();
    pen = 0;
  }
  void place(Placed item) {
    item.line = lines.size() - 1;
    Line& line = lines.back();
    line.height = std::max(
        line.height, clamp_to_int32(int64_t{item.border_min} + item.height + item.border_max));
    line.right = std::max(line.right, int64_t{item.x} + item.width);
    placed.push_back(item);
  }

  int64_t total_height() const {
    int64_t total = 0;
    for (const Line& line : lines) total += line.height;
    return total;
  }
  int64_t widest() const {
    int64_t widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.right);
    return widest;
  }
};

RichTextElement::RichTextElement() : m_font(default_font()) {}

RichTextElement::~RichTextElement() = default;

void RichTextElement::load(const Properties& properties, const SkinNode* node) {
  m_items.clear();
  m_runs.clear();
  m_pieces.clear();
  m_used_pieces = 0;
  m_laid_out.reset();
  m_pressed_run = kNone;
  Element::load(properties, node);
  m_grow = properties.get_integer(node, u"grow", 0) != 0;
  m_wrap = properties.get_integer(node, u"wrap", 0) != 0;
  const FontRef fallback = default_font();
  m_font = properties.get_font(node, u"font", fallback);
  m_color = properties.get_color(node, u"color", Color{0, 0, 0, 255});
  m_halign = halign_from_name(read_string(properties, node, u"halign"));
  m_valign = valign_from_name(read_string(properties, node, u"valign"));
  const std::u16string text = read_text(properties, node, u"text");
  if (!text.empty()) add_text(text, m_font, m_color);
}

// --- Content -------------------------------------------------------------------

void RichTextElement::add_run(TextRun run) {
  if (!m_wrap) std::replace(run.text.begin(), run.text.end(), u'\n', u' ');
  m_items.push_back(Item{nullptr, m_runs.size()});
  m_runs.push_back(std::move(run));
  invalidate_layout();
}

void RichTextElement::add_text(std::u16string_view text, const FontRef& font, Color color) {
  add_run(TextRun{RunKind::text, std::u16string(text), font, font, color, 0});
}

void RichTextElement::add_link(std::u16string_view text, const FontRef& font,
                               const FontRef& pressed_font, Color color, uint8_t flag) {
  add_run(TextRun{RunKind::link, std::u16string(text), font, pressed_font, color, flag});
}

void RichTextElement::clear_runs() {
  std::erase_if(m_items, [](const Item& item) { return item.element == nullptr; });
  m_runs.clear();
  m_pressed_run = kNone;
  invalidate_layout();
}

void RichTextElement::set_text_by_id(std::u16string_view id, std::u16string_view text) {
  if (id == this->id()) {
    clear_runs();
    add_text(text, m_font, m_color);
  }
  Element::set_text_by_id(id, text);
}

void RichTextElement::insert_child(std::unique_ptr<Element> child, size_t index,
                                   const Properties* properties, const SkinNode* node,
                                   std::u16string_view type_name) {
  if (!child) return;
  m_items.push_back(Item{child.get(), 0});
  Element::insert_child(std::move(child), index, properties, node, type_name);
}

std::unique_ptr<Element> RichTextElement::remove_child(Element& child, size_t index) {
  std::unique_ptr<Element> owned = Element::remove_child(child, index);
  if (owned) {
    std::erase_if(m_items, [&](const Item& item) { return item.element == owned.get(); });
    if (std::erase(m_pieces, owned.get()) > 0)
      m_used_pieces = std::min(m_used_pieces, m_pieces.size());
    m_laid_out.reset();
  }
  return owned;
}

void RichTextElement::on_child_visibility_changed() {
  // Pieces are shown and hidden by the layout itself.
  if (!m_in_layout) invalidate_layout();
}

size_t RichTextElement::piece_count() const {
  return m_used_pieces;
}

TextElement& RichTextElement::piece(size_t index) const {
  return *m_pieces[index];
}

size_t RichTextElement::piece_run(size_t index) const {
  return m_pieces[index]->run();
}

size_t RichTextElement::pressed_run() const {
  return m_pressed_run == kNone ? m_runs.size() : m_pressed_run;
}

const FontRef& RichTextElement::run_font(size_t run) const {
  const TextRun& r = m_runs[run];
  return run == m_pressed_run && r.kind == RunKind::link ? r.second_font : r.font;
}

// --- Layout --------------------------------------------------------------------

RichTextElement::Flow RichTextElement::flow(int32_t width) const {
  Flow flow;
  for (const Item& item : m_items) {
    if (item.element)
      flow_inline(flow, *item.element, width);
    else
      flow_run(flow, item.run, width);
  }
  return flow;
}

void RichTextElement::flow_inline(Flow& flow, Element& element, int32_t width) const {
  if (!element.visible()) return;
  const int32_t preferred = element.width_range().preferred;
  const int64_t room = int64_t{element.border_min().x} + preferred + element.border_max().x;
  if (m_wrap && flow.pen > 0 && flow.pen + room > width) flow.new_line(false);
  Flow::Placed placed;
  placed.element = &element;
  placed.x = clamp_to_int32(flow.pen + element.border_min().x);
  placed.width = preferred;
  placed.height = element.height_range().preferred;
  placed.border_min = element.border_min().y;
  placed.border_max = element.border_max().y;
  placed.anchor = element.anchor_y();
  flow.place(placed);
  flow.pen += room;
}

void RichTextElement::flow_run(Flow& flow, size_t run, int32_t width) const {
  const std::u16string& text = m_runs[run].text;
  std::vector<int32_t> extents;
  const int32_t line_height = measure_text(run_font(run), text, -1, &extents).height;
  auto extent_before = [&](size_t i) -> int64_t { return i > 0 ? extents[i - 1] : 0; };
  auto add_piece = [&](size_t start, size_t length, int64_t left) {
    Flow::Placed placed;
    placed.run = run;
    placed.start = start;
    placed.length = length;
    placed.x = clamp_to_int32(left);
    placed.width = clamp_to_int32(extents[start + length - 1] - extent_before(start));
    placed.height = line_height;
    flow.place(placed);
  };

  std::vector<TextLine> segments{TextLine{0, static_cast<int32_t>(text.size())}};
  if (m_wrap && extents.size() == text.size())
    segments = break_lines(text, extents, width, clamp_to_int32(flow.pen));
  for (size_t s = 0; s < segments.size(); ++s) {
    if (s > 0) {
      const auto before = static_cast<size_t>(segments[s - 1].start + segments[s - 1].length);
      flow.new_line(before < text.size() && text[before] == u'\n');
    }
    // An empty line of the run is still as high as its font.
    flow.lines.back().height = std::max(flow.lines.back().height, line_height);
    const auto start = static_cast<size_t>(segments[s].start);
    const auto end = start + static_cast<size_t>(segments[s].length);
    if (start == end || extents.size() < end) continue;
    const int64_t left = flow.pen - extent_before(start);
    if (m_halign != HAlign::justify) {
      add_piece(start, end - start, flow.pen);
    } else {
      for (size_t w = start; w < end;) {
        while (w < end && is_blank(text[w])) ++w;
        size_t w_end = w;
        while (w_end < end && !is_blank(text[w_end])) ++w_end;
        if (w_end > w) add_piece(w, w_end - w, left + extent_before(w));
        w = w_end;
      }
    }
    flow.pen = left + extents[end - 1];
  }
}

void RichTextElement::measure_width(SizeRange& range) {
  range.preferred = std::max(range.preferred, design_size().width);
  range.minimum = std::max(range.minimum, design_size().width);
  if (m_grow)
    range.preferred = std::max(range.preferred, clamp_to_int32(flow(kUnbounded).widest()));
}

void RichTextElement::measure_height(SizeRange& range) {
  range.preferred = std::max(range.preferred, design_size().height);
  range.minimum = std::max(range.minimum, design_size().height);
  if (m_grow)
    range.preferred = std::max(range.preferred, clamp_to_int32(flow(size().width).total_height()));
}

RichTextElement::Piece& RichTextElement::piece_for(size_t index) {
  if (index < m_pieces.size()) return *m_pieces[index];
  auto made = std::make_unique<Piece>(*this);
  Piece& piece = *made;
  // Straight to the base: a piece is not an inline element.
  Element::insert_child(std::move(made), child_count(), nullptr, nullptr, {});
  m_pieces.push_back(&piece);
  return piece;
}

// Each line moved by the alignment; with JUSTIFY the gaps between the
// items of a full line share what is left of the width.
void RichTextElement::align(Flow& f, int32_t width) const {
  std::vector<std::vector<size_t>> on_line(f.lines.size());
  for (size_t i = 0; i < f.placed.size(); ++i) on_line[f.placed[i].line].push_back(i);
  for (size_t l = 0; l < f.lines.size(); ++l) {
    const int64_t spare = std::max<int64_t>(int64_t{width} - f.lines[l].right, 0);
    const std::vector<size_t>& items = on_line[l];
    const bool last = l + 1 == f.lines.size() || f.lines[l].paragraph_end;
    for (size_t k = 0; k < items.size(); ++k) {
      int64_t shift = 0;
      if (m_halign == HAlign::center)
        shift = spare / 2;
      else if (m_halign == HAlign::right)
        shift = spare;
      else if (m_halign == HAlign::justify && !last && items.size() > 1)
        shift = spare * static_cast<int64_t>(k) / static_cast<int64_t>(items.size() - 1);
      f.placed[items[k]].x = clamp_to_int32(f.placed[items[k]].x + shift);
    }
  }
}

void RichTextElement::layout_children_x() {
  m_in_layout = true;
  const int32_t width = size().width;
  auto laid_out = std::make_unique<Flow>(flow(width));
  Flow& f = *laid_out;
  align(f, width);

  size_t pieces = 0;
  for (Flow::Placed& placed : f.placed) {
    if (!placed.element) {
      const TextRun& run = m_runs[placed.run];
      Piece& piece = piece_for(pieces++);
      piece.show(placed.run, run.kind == RunKind::link);
      piece.set_text(std::u16string_view(run.text).substr(placed.start, placed.length));
      piece.set_font(run_font(placed.run));
      piece.set_color(run.color);
      if (!piece.visible()) piece.set_visible(true);
      placed.element = &piece;
    }
    placed.element->set_x_width(saturating_add(position().x, placed.x), placed.width);
  }
  // Pieces left over from longer content are hidden rather than destroyed:
  // one of them may hold the pointer.
  for (size_t i = pieces; i < m_pieces.size(); ++i) m_pieces[i]->set_visible(false);
  m_used_pieces = pieces;
  m_laid_out = std::move(laid_out);
  m_in_layout = false;
}

void RichTextElement::layout_children_y() {
  if (!m_laid_out) return;
  const Flow& f = *m_laid_out;
  const int64_t height = size().height;
  const int64_t total = f.total_height();
  int64_t top = 0;
  if (m_valign == VAlign::vcenter)
    top = std::max<int64_t>((height - total) / 2, 0);
  else if (m_valign == VAlign::bottom)
    top = std::max<int64_t>(height - total, 0);

  std::vector<int64_t> line_top(f.lines.size());
  for (size_t l = 0; l < f.lines.size(); ++l) {
    line_top[l] = top;
    top += f.lines[l].height;
  }
  for (const Flow::Placed& placed : f.placed) {
    const int64_t line_start = line_top[placed.line];
    // Lines that start below the box are not placed again.
    if (line_start >= height) continue;
    const int64_t cell =
        int64_t{f.lines[placed.line].height} - placed.border_min - placed.border_max;
    int64_t offset = 0;
    int64_t size = placed.height;
    switch (placed.anchor) {
      case AnchorMode::center:
        offset = (cell - placed.height) / 2;
        break;
      case AnchorMode::max_side:
        offset = cell - placed.height;
        break;
      case AnchorMode::both_side:
        size = cell;
        break;
      default:
        break;
    }
    placed.element->set_y_height(
        clamp_to_int32(int64_t{position().y} + line_start + placed.border_min + offset),
        clamp_to_int32(std::max<int64_t>(size, 0)));
  }
}

void RichTextElement::draw(Canvas& target, Point origin) {
  const ClipGuard clip(target, origin, size());
  Element::draw(target, origin);
}

// --- Links ---------------------------------------------------------------------

void RichTextElement::set_pressed_run(size_t run) {
  if (run == m_pressed_run) return;
  m_pressed_run = run;
  invalidate_layout();
}

void RichTextElement::link_pointer(size_t pressed, const PointerEvent& event) {
  if (event.pressed && !event.cancelled) {
    set_pressed_run(pressed);
    return;
  }
  const size_t run = m_pressed_run;
  if (run == kNone) return;
  bool inside = false;
  if (!event.cancelled) {
    const Point point{event.x, event.y};
    for (Piece* piece : m_pieces)
      inside = inside || (piece->visible() && piece->run() == run && piece->hit_test(point));
  }
  set_pressed_run(kNone);
  // Last: the listener may rebuild the tree this element belongs to.
  if (inside && m_listener) m_listener->link_clicked(*this, run);
}

}  // namespace lv
