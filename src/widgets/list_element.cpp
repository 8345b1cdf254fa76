#include "widgets/list_element.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "skin/canvas.h"
#include "skin/properties.h"
#include "widgets/list_motion.h"

namespace lv {

namespace {

// Rows that may slide open at the same time.
constexpr int32_t kMaxAppearing = 4;
// A drag past an end is followed pixel by pixel for at most this many list
// heights; beyond that the rubber band has long stopped moving anything.
constexpr double kMaxDampedDragHeights = 4.0;

int32_t floor_to_int(double value) {
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  if (!(value > lo)) return std::numeric_limits<int32_t>::min();
  if (value >= hi) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::floor(value));
}

int32_t clamp_to_int(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The height a row will have once its animation is over.
int32_t target_height(const ListRow& row) {
  return row.being_removed() ? 0 : row.full_height();
}

}  // namespace

// Every entry that may reach rows or the provider holds one of these; rows
// retired meanwhile are freed when the outermost one ends, after the
// handlers that might still be running on them have returned.
class ListElement::Dispatch {
 public:
  explicit Dispatch(ListElement& list) : m_list(list) { ++m_list.m_dispatch_depth; }
  ~Dispatch() {
    if (--m_list.m_dispatch_depth == 0) m_list.release_graveyard();
  }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

 private:
  ListElement& m_list;
};

ListElement::ListElement() = default;

ListElement::~ListElement() {
  m_pressed = nullptr;
  m_rows.clear();
  m_graveyard.clear();
}

void ListElement::release_graveyard() {
  while (!m_graveyard.empty()) {
    std::vector<std::unique_ptr<Element>> dying;
    dying.swap(m_graveyard);
    dying.clear();
  }
}

void ListElement::retire(std::unique_ptr<Element> element) {
  if (!element) return;
  if (m_dispatch_depth > 0)
    m_graveyard.push_back(std::move(element));
  else
    element.reset();
}

// --- Owner operations ----------------------------------------------------------

void ListElement::set_provider(ListProvider* provider) {
  m_provider = provider;
  reset(m_count);
  m_selected_index = -1;
}

void ListElement::reset(int32_t count) {
  const Dispatch dispatch(*this);
  cancel_press();
  m_count = std::max(count, 0);
  while (!m_rows.empty()) {
    std::unique_ptr<ListRow> row = std::move(m_rows.back());
    m_rows.pop_back();
    retire(std::move(row));
  }
  m_above_index = -1;
  m_next_index = 0;
  m_content_height = 0;
  m_realised_height = 0;
  m_appearing_count = 0;
  m_position = m_scroll_border_min;
  m_velocity = 0;
  if (m_grow)
    invalidate_layout();
  else
    mark_redraw();
}

void ListElement::rebind_row(int32_t index) {
  ListRow* found = row(index);
  if (!found) return;
  const Dispatch dispatch(*this);
  const int32_t old_height = found->full_height();
  bind(*found, index, false);
  refit(*found, old_height);
  resum();
  mark_redraw();
}

void ListElement::rebind_all() {
  const Dispatch dispatch(*this);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    ListRow& r = *m_rows[i];
    if (r.being_removed()) continue;
    const int32_t old_height = r.full_height();
    bind(r, r.index(), false);
    refit(r, old_height);
  }
  resum();
  mark_redraw();
}

void ListElement::remove_row(int32_t index) {
  if (index < 0 || index >= m_count) return;
  const Dispatch dispatch(*this);
  --m_count;
  if (m_selected_index == index)
    m_selected_index = -1;
  else if (m_selected_index > index)
    --m_selected_index;
  if (index < m_next_index) {
    if (m_above_index >= index) --m_above_index;
    for (size_t i = 0; i < m_rows.size(); ++i) {
      ListRow& r = *m_rows[i];
      if (r.being_removed()) continue;
      if (r.index() == index) {
        if (&r == m_pressed) cancel_press();
        r.m_index = -1;
        if (r.m_appearing) {
          r.m_appearing = false;
          --m_appearing_count;
        }
      } else if (r.index() > index) {
        --r.m_index;
      }
    }
    --m_next_index;
  }
  for (auto& r : m_rows) apply_row_state(*r);
  resum();
  mark_redraw();
}

void ListElement::set_selected_index(int32_t index) {
  if (index < -1) index = -1;
  if (index == m_selected_index) return;
  m_selected_index = index;
  for (auto& r : m_rows) apply_row_state(*r);
  mark_redraw();
}

// --- Rows ------------------------------------------------------------------------

ListRow* ListElement::row(int32_t index) const {
  if (index < 0) return nullptr;
  for (const auto& r : m_rows)
    if (r->index() == index) return r.get();
  return nullptr;
}

ListRow* ListElement::row_at(int32_t y) const {
  int64_t top = int64_t{position().y} + floor_to_int(m_position);
  for (const auto& r : m_rows) {
    const int64_t bottom = top + r->shown_height();
    if (y >= top && y < bottom) return r->being_removed() ? nullptr : r.get();
    top = bottom;
  }
  return nullptr;
}

int32_t ListElement::row_top(const ListRow& wanted) const {
  int64_t top = int64_t{position().y} + floor_to_int(m_position);
  for (const auto& r : m_rows) {
    if (r.get() == &wanted) break;
    top += r->shown_height();
  }
  return clamp_to_int(top);
}

PointerEvent ListElement::row_event(const PointerEvent& event, const ListRow& r) const {
  PointerEvent translated = event;
  translated.x = clamp_to_int(int64_t{event.x} - position().x);
  translated.y = clamp_to_int(int64_t{event.y} - row_top(r));
  translated.reserved = 0;
  return translated;
}

int32_t ListElement::band_height() const {
  if (!m_grow) return size().height;
  const Element* top = this;
  while (top->parent()) top = top->parent();
  const int32_t screen = top->size().height;
  return top != this && screen > 0 ? screen : size().height;
}

std::unique_ptr<ListRow> ListElement::make_row(int32_t index) {
  if (!m_provider) return nullptr;
  return m_provider->create_row(*this, index);
}

void ListElement::bind(ListRow& r, int32_t index, bool created) {
  r.m_index = index;
  r.bind_row(*this, created);
  r.set_visible(true);
  if (r.needs_layout()) layout_row(r);
  apply_row_state(r);
}

void ListElement::layout_row(ListRow& r) {
  r.set_x_width(0, size().width);
  r.set_y_height(0, r.height_range().preferred);
}

void ListElement::refit(ListRow& r, int32_t old_full_height) {
  if (r.being_removed()) return;
  const double full = r.full_height();
  if (!r.m_appearing && r.m_extent >= old_full_height)
    r.m_extent = full;
  else
    r.m_extent = std::min(r.m_extent, full);
}

void ListElement::apply_row_state(ListRow& r) {
  const bool pressed = &r == m_pressed && r.pointer_capture() == nullptr;
  const bool selected = m_selected_index != -1 && r.index() == m_selected_index;
  if (Element* e = r.find_by_id(u"#vlist_pressed")) e->set_visible(pressed);
  if (Element* e = r.find_by_id(u"#vlist_selected")) e->set_visible(selected && !pressed);
  if (Element* e = r.find_by_id(u"#vlist_normal")) e->set_visible(!selected && !pressed);
}

void ListElement::cancel_press() {
  ListRow* r = m_pressed;
  if (!r) return;
  const Dispatch dispatch(*this);
  m_pressed = nullptr;
  PointerEvent cancel;
  cancel.time = m_last_event.time;
  cancel.cancelled = 1;
  r->on_pointer_button(cancel);
  apply_row_state(*r);
  mark_redraw();
}

void ListElement::resum() {
  int32_t content = 0;
  int32_t realised = 0;
  for (const auto& r : m_rows) {
    content += r->shown_height();
    realised += target_height(*r);
  }
  m_content_height = content;
  m_realised_height = realised;
}

void ListElement::drop_row(Trim side) {
  ListRow& r = side == Trim::top ? *m_rows.front() : *m_rows.back();
  if (&r == m_pressed) cancel_press();
  if (side == Trim::top) m_position += r.shown_height();
  m_content_height -= r.shown_height();
  m_realised_height -= target_height(r);
  if (!r.being_removed()) {
    if (side == Trim::top)
      m_above_index = r.index();
    else
      m_next_index = r.index();
  }
  if (r.m_appearing) {
    r.m_appearing = false;
    --m_appearing_count;
  }
  std::unique_ptr<ListRow> owned;
  if (side == Trim::top) {
    owned = std::move(m_rows.front());
    m_rows.pop_front();
  } else {
    owned = std::move(m_rows.back());
    m_rows.pop_back();
  }
  retire(std::move(owned));
}

void ListElement::synchronise() {
  const Dispatch dispatch(*this);
  // Rows whose content changed size since they were laid out.
  for (auto& r : m_rows) {
    if (!r->needs_layout()) continue;
    const int32_t old_height = r->full_height();
    layout_row(*r);
    refit(*r, old_height);
  }
  resum();
  const int32_t band = band_height();

  // A row is dropped once it lies wholly outside the band (touching its
  // edge counts as outside). With no row realised, position is the top of
  // the row at next index; rows that would lie wholly outside are measured
  // and dropped at once, so a long jump never realises the rows it passes.
  while (m_above_index != -1 && m_position > 0) {
    if (m_position >= band)
      while (!m_rows.empty()) drop_row(Trim::bottom);
    const int32_t index = m_above_index;
    std::unique_ptr<ListRow> made = make_row(index);
    if (!made) {
      remove_row(index);
      continue;
    }
    bind(*made, index, true);
    const int32_t full = made->full_height();
    --m_above_index;
    if (m_rows.empty() && m_position - full >= band) {
      m_position -= full;
      m_next_index = index;
      continue;
    }
    made->m_extent = full;
    m_position -= full;
    m_content_height += full;
    m_realised_height += full;
    m_rows.push_front(std::move(made));
  }

  while (!m_rows.empty() && m_rows.front()->shown_height() <= -m_position) drop_row(Trim::top);

  while (m_next_index < m_count && m_content_height + m_position < band) {
    // Rows sliding open at the bottom come first; the rest wait for them.
    if (!m_rows.empty() && m_rows.back()->appearing()) break;
    const int32_t index = m_next_index;
    std::unique_ptr<ListRow> made = make_row(index);
    if (!made) {
      --m_count;
      continue;
    }
    bind(*made, index, true);
    const int32_t full = made->full_height();
    ++m_next_index;
    if (m_rows.empty() && full <= -m_position) {
      m_position += full;
      m_above_index = index;
      continue;
    }
    made->m_extent = full;
    m_content_height += full;
    m_realised_height += full;
    m_rows.push_back(std::move(made));
  }

  while (!m_rows.empty() && m_content_height + m_position - m_rows.back()->shown_height() >= band)
    drop_row(Trim::bottom);
}

// --- Motion ----------------------------------------------------------------------

double ListElement::rest() const {
  return double(size().height) - m_scroll_border_max - m_realised_height - m_position;
}

double ListElement::rest_by_content() const {
  return double(size().height) - m_scroll_border_max - m_content_height - m_position;
}

void ListElement::end_clamps() {
  if (!m_grow) return;
  if (all_realised()) {
    const double bottom = double(size().height) - m_scroll_border_max - m_content_height;
    if (bottom - m_position > 0) {
      m_position = bottom;
      m_velocity = 0;
    }
  }
  if (m_above_index == -1 && m_position > m_scroll_border_min) {
    m_position = m_scroll_border_min;
    m_velocity = 0;
  }
}

int32_t ListElement::anchor_index() const {
  if (m_pressed && !m_pressed->being_removed()) return m_pressed->index();
  if (m_selected_index != -1) return m_selected_index;
  return m_above_index + 1;
}

int32_t ListElement::effective_index(size_t slot) const {
  const ListRow& r = *m_rows[slot];
  if (!r.being_removed()) return r.index();
  for (size_t i = slot; i-- > 0;)
    if (!m_rows[i]->being_removed()) return m_rows[i]->index();
  return m_above_index;
}

void ListElement::step_rows(double seconds) {
  for (size_t i = 0; i < m_rows.size(); ++i) m_rows[i]->on_timer(seconds);

  const int32_t anchor = anchor_index();
  const double step = list_motion::kSlideSpeed * seconds;
  double shift = 0;
  for (size_t i = 0; i < m_rows.size();) {
    ListRow& r = *m_rows[i];
    const int32_t order = effective_index(i);
    const int32_t shown_before = r.shown_height();
    bool gone = false;
    if (r.being_removed()) {
      r.m_extent = list_motion::move_towards(r.m_extent, 0, step);
      gone = r.m_extent <= 0;
    } else if (r.m_extent < r.full_height()) {
      if (!r.m_appearing && m_appearing_count < kMaxAppearing) {
        r.m_appearing = true;
        ++m_appearing_count;
      }
      if (r.m_appearing) {
        r.m_extent = list_motion::move_towards(r.m_extent, r.full_height(), step);
        if (r.m_extent >= r.full_height()) {
          r.m_appearing = false;
          --m_appearing_count;
        }
      }
    } else if (r.m_appearing) {  // open already (a row of no height, or one that shrank)
      r.m_appearing = false;
      --m_appearing_count;
    }
    // Whole pixels, so that the anchor row does not jitter by a pixel.
    const int32_t change = r.shown_height() - shown_before;
    if (change != 0) {
      if (!r.being_removed() && r.index() == anchor)
        shift += change / 2.0;
      else if (order < anchor)
        shift += change;
    }
    if (gone) {
      if (&r == m_pressed) cancel_press();
      std::unique_ptr<ListRow> owned = std::move(m_rows[i]);
      m_rows.erase(m_rows.begin() + static_cast<ptrdiff_t>(i));
      retire(std::move(owned));
    } else {
      ++i;
    }
  }
  m_position -= shift;
  resum();
}

void ListElement::fill_bottom_room() {
  // The timer synchronised first, so the only room left here is what rows
  // shrinking this tick gave up; rows scrolled into view, and the first
  // ones after a reset, come at full height.
  if (m_rows.empty()) return;
  const int32_t band = band_height();
  int32_t budget = kMaxAppearing - m_appearing_count;
  int64_t filled = 0;  // full heights of the rows opening below the content
  for (const auto& r : m_rows)
    if (r->appearing()) filled += r->full_height() - r->shown_height();
  while (budget > 0 && m_next_index < m_count &&
         double(m_content_height) + double(filled) + m_position < band) {
    const int32_t index = m_next_index;
    std::unique_ptr<ListRow> made = make_row(index);
    if (!made) {
      --m_count;
      continue;
    }
    bind(*made, index, true);
    made->m_extent = 0;
    made->m_appearing = true;
    ++m_appearing_count;
    filled += made->full_height();
    m_realised_height += made->full_height();
    ++m_next_index;
    m_rows.push_back(std::move(made));
    --budget;
  }
}

void ListElement::on_timer(double seconds) {
  if (animating()) {
    Element::on_timer(seconds);
    return;
  }
  const Dispatch dispatch(*this);
  Element::on_timer(seconds);
  if (!(seconds > 0)) seconds = 0;
  const double position_before = m_position;
  const int32_t content_before = m_content_height;

  synchronise();
  m_tracker.advance(seconds);

  bool extents_changed = false;
  {
    std::vector<double> before;
    before.reserve(m_rows.size());
    for (const auto& r : m_rows) before.push_back(r->extent());
    const size_t count_before = m_rows.size();
    step_rows(seconds);
    extents_changed = m_rows.size() != count_before;
    for (size_t i = 0; !extents_changed && i < m_rows.size(); ++i)
      extents_changed = m_rows[i]->extent() != before[i];
  }

  const size_t realised_before_fill = m_rows.size();
  fill_bottom_room();
  extents_changed = extents_changed || m_rows.size() != realised_before_fill;

  m_position += m_velocity * seconds;
  end_clamps();
  synchronise();
  if (m_rows.empty()) {
    m_position = m_scroll_border_min;
    m_velocity = 0;
  }
  end_clamps();

  m_velocity = list_motion::decelerate(m_velocity, seconds, m_tracker.down() && !m_pressed);

  if (all_realised()) m_velocity = list_motion::spring_at_bottom(m_velocity, rest(), seconds);
  if (m_above_index == -1) m_velocity = list_motion::spring_at_top(m_velocity, over(), seconds);

  if (!m_tracker.down() && m_velocity == 0 && !m_rows.empty()) {
    const double max_step = list_motion::kSettleSpeed * seconds;
    if (m_above_index == -1 && over() >= 0) {
      m_position = list_motion::move_towards(m_position, m_scroll_border_min, max_step);
    } else if (all_realised() && rest() >= 0) {
      const double bottom = double(size().height) - m_scroll_border_max - m_realised_height;
      m_position = list_motion::move_towards(m_position, bottom, max_step);
    }
  }

  if (m_tracker.down() && m_pressed && row_at(m_tracker.press_event().y) != m_pressed)
    cancel_press();

  if (m_grow && m_content_height != content_before) invalidate_layout();
  bool rows_dirty = false;
  for (const auto& r : m_rows) rows_dirty = rows_dirty || r->needs_redraw() || r->needs_layout();
  if (effectively_visible() && (m_position != position_before || extents_changed || rows_dirty))
    mark_redraw();
}

// --- Pointer -----------------------------------------------------------------------

void ListElement::on_pointer_move(const PointerEvent& event) {
  const Dispatch dispatch(*this);
  m_last_event = event;
  const bool recorded = m_tracker.move(event);
  const int32_t height = size().height;
  if (recorded && m_tracker.down() && height > 0) {
    // Followed pixel by pixel past an end, so that the rubber band does not
    // depend on how far apart the stylus events are.
    double remaining = m_tracker.last_dy();
    double damped_left = kMaxDampedDragHeights * height;
    while (remaining != 0) {
      const double sign = remaining > 0 ? 1.0 : -1.0;
      double overshoot = 0;
      double free_run = std::fabs(remaining);
      if (sign > 0 && m_above_index == -1) {
        overshoot = over();
        free_run = std::min(free_run, std::max(0.0, -overshoot));
      } else if (sign < 0 && all_realised()) {
        overshoot = rest_by_content();
        free_run = std::min(free_run, std::max(0.0, -overshoot));
      }
      if (free_run > 0) {
        m_position += sign * free_run;
        remaining -= sign * free_run;
        continue;
      }
      const double factor = list_motion::rubber_band_factor(overshoot, height);
      if (factor <= 0 || damped_left <= 0) break;
      const double part = std::min(1.0, std::fabs(remaining));
      m_position += sign * part * factor;
      remaining -= sign * part;
      damped_left -= part;
    }
    end_clamps();
  }
  if (m_pressed && m_tracker.moved())
    cancel_press();
  else if (m_pressed && m_pressed->pointer_capture())
    m_pressed->on_pointer_move(row_event(event, *m_pressed));
  mark_redraw();
}

bool ListElement::on_pointer_button(const PointerEvent& event) {
  const Dispatch dispatch(*this);
  m_last_event = event;
  if (event.cancelled) {
    // The press ended without a position: no click and no fling.
    m_tracker.cancel();
    cancel_press();
    m_velocity = 0;
    mark_redraw();
    return true;
  }
  if (event.pressed) {
    m_tracker.press(event);
    cancel_press();
    // A press during a fling only brakes it.
    if (m_velocity == 0) {
      if (ListRow* r = row_at(event.y)) {
        m_pressed = r;
        r->on_pointer_button(row_event(event, *r));
        if (m_pressed == r) apply_row_state(*r);
      }
    }
    mark_redraw();
    return true;
  }

  m_tracker.release(event);
  if (m_pressed) {
    m_velocity = 0;
    if (row_at(event.y) != m_pressed) cancel_press();
    if (ListRow* r = m_pressed) {
      if (r->pointer_capture()) {
        m_pressed = nullptr;
        const PointerEvent translated = row_event(event, *r);
        r->on_pointer_button(translated);
        if (std::any_of(m_rows.begin(), m_rows.end(), [r](const auto& p) { return p.get() == r; }))
          apply_row_state(*r);
      } else {
        // The press ends before the provider hears of the click, so that a
        // provider that resets the list, or throws, finds it unpressed.
        const int32_t index = r->index();
        cancel_press();
        if (m_provider) m_provider->row_clicked(*this, index);
      }
    }
  } else {
    const bool over_an_end =
        (m_above_index == -1 && over() > 0) || (all_realised() && rest_by_content() > 0);
    if (!over_an_end) m_velocity = list_motion::fling_velocity(-m_tracker.velocity_y());
  }
  mark_redraw();
  return true;
}

// --- Element -------------------------------------------------------------------------

void ListElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_scroll_border_min = properties.get_point(node, u"scroll_border_min", {}).y;
  m_scroll_border_max = properties.get_point(node, u"scroll_border_max", {}).y;
  m_grow = properties.get_integer(node, u"grow", 0) != 0;
  reset(m_count);
}

void ListElement::on_visibility_changed(bool shown) {
  const Dispatch dispatch(*this);
  Element::on_visibility_changed(shown);
  if (!shown) {
    cancel_press();
    m_tracker.cancel();
  }
  for (size_t i = 0; i < m_rows.size(); ++i) m_rows[i]->set_visible(shown);
}

void ListElement::draw(Canvas& target, Point origin) {
  const Dispatch dispatch(*this);
  synchronise();
  const Size box = size();
  const int32_t top = floor_to_int(m_position);
  if (top > 0) {
    const ClipGuard gap(target, origin, {box.width, std::min(top, box.height)});
    Element::draw(target, origin);
  }
  const int64_t bottom_gap = int64_t{box.height} - m_content_height - top;
  if (bottom_gap > 0) {
    const int32_t gap_height = clamp_to_int(std::min<int64_t>(bottom_gap, box.height));
    const ClipGuard gap(target,
                        {origin.x, clamp_to_int(int64_t{origin.y} + box.height - gap_height)},
                        {box.width, gap_height});
    Element::draw(target, origin);
  }
  const ClipGuard inside(target, origin, box);
  int64_t y = int64_t{origin.y} + top;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    ListRow& r = *m_rows[i];
    const Point at{origin.x, clamp_to_int(y)};
    const ClipGuard band(target, at, {box.width, r.shown_height()});
    r.draw_element(target, at);
    y += r.shown_height();
  }
}

void ListElement::layout_children_x() {
  Element::layout_children_x();
  const Dispatch dispatch(*this);
  for (auto& r : m_rows) {
    const int32_t old_height = r->full_height();
    r->invalidate_layout();
    layout_row(*r);
    refit(*r, old_height);
  }
  resum();
}

void ListElement::layout_children_y() {
  Element::layout_children_y();
  const int32_t height = size().height;
  if (height < m_last_height && all_realised() && !m_rows.empty()) {
    // Keeps the bottom row in place, but does not push rows that fit the
    // shorter list away from the top.
    const double shifted = m_position - (m_last_height - height);
    const double bottom_aligned = double(height) - m_scroll_border_max - m_content_height;
    m_position = std::min(m_position, std::max(shifted, bottom_aligned));
  }
  m_last_height = height;
}

void ListElement::measure_height(SizeRange& range) {
  Element::measure_height(range);
  if (!m_grow) return;
  synchronise();
  const int32_t borders = clamp_to_int(int64_t{m_scroll_border_min} + m_scroll_border_max);
  range.preferred = std::max(range.preferred, clamp_to_int(int64_t{m_content_height} + borders));
  range.minimum = std::max(range.minimum, borders);
}

}  // namespace lv
