#include "widgets/table.h"

#include <algorithm>

#include "skin/properties.h"

namespace lv {

namespace {

// floor(a * b / c) for a, b >= 0 and c > 0, exact for any 64-bit operands.
int64_t scaled(int64_t a, int64_t b, int64_t c) {
  return static_cast<int64_t>(static_cast<__int128>(a) * b / c);
}

// The cumulative rounding share of the k-th of `count` parts of `total`.
int64_t share(int64_t k, int64_t total, int64_t count) {
  return scaled(k, total, count) - scaled(k - 1, total, count);
}

struct Axis {
  bool horizontal;
  AnchorMode anchor(const Element& e) const { return horizontal ? e.anchor_x() : e.anchor_y(); }
  int32_t border_min(const Element& e) const {
    return horizontal ? e.border_min().x : e.border_min().y;
  }
  int32_t border_max(const Element& e) const {
    return horizontal ? e.border_max().x : e.border_max().y;
  }
  int32_t design(const Element& e) const {
    return horizontal ? e.design_size().width : e.design_size().height;
  }
  int32_t start(const Element& e) const { return horizontal ? e.position().x : e.position().y; }
  int32_t length(const Element& e) const { return horizontal ? e.size().width : e.size().height; }
  SizeRange range(Element& e) const { return horizontal ? e.width_range() : e.height_range(); }
  void place(Element& e, int32_t at, int32_t size) const {
    if (horizontal)
      e.set_x_width(at, size);
    else
      e.set_y_height(at, size);
  }
};

}  // namespace

std::vector<int32_t> table_sizes(const std::vector<TableCell>& cells, int64_t available) {
  const size_t n = cells.size();
  std::vector<int32_t> sizes(n, 0);
  if (available < 1 || n == 0) return sizes;

  std::vector<int64_t> pref(n), min(n), ratio(n), s(n);
  int64_t sum_pref = 0, sum_min = 0, sum_ratio = 0, flexible = 0;
  for (size_t i = 0; i < n; ++i) {
    min[i] = std::max<int64_t>(cells[i].minimum, 0);
    pref[i] = std::max<int64_t>(cells[i].preferred, min[i]);
    ratio[i] = std::max<int64_t>(cells[i].ratio, 0);
    sum_pref += pref[i];
    sum_min += min[i];
    sum_ratio += ratio[i];
    if (pref[i] != min[i]) ++flexible;
  }

  if (available > sum_min) {
    int64_t extra = 0, leftover = 0;
    if (available <= sum_pref) {
      extra = available - sum_min;
    } else {
      extra = sum_pref - sum_min;
      leftover = available - sum_pref;
    }
    for (size_t i = 0; i < n; ++i) s[i] = min[i];
    // Each round either uses the room up or fills a child to its preferred
    // size, so the loop ends.
    while (extra != 0 && flexible > 0) {
      int64_t k = 0, surplus = 0, still_below = 0;
      for (size_t i = 0; i < n; ++i) {
        if (s[i] >= pref[i]) continue;
        const int64_t part = share(++k, extra, flexible);
        if (s[i] + part >= pref[i]) {
          surplus += s[i] + part - pref[i];
          s[i] = pref[i];
        } else {
          s[i] += part;
          ++still_below;
        }
      }
      flexible = still_below;
      extra = surplus;
    }
    if (leftover > 0 && sum_ratio > 0) {
      int64_t running = 0;
      for (size_t i = 0; i < n; ++i) {
        if (ratio[i] <= 0) continue;
        running += ratio[i];
        s[i] +=
            scaled(running, leftover, sum_ratio) - scaled(running - ratio[i], leftover, sum_ratio);
      }
    }
  } else {
    int64_t running = 0;
    for (size_t i = 0; i < n; ++i) {
      running += min[i];
      s[i] = scaled(running, available, sum_min) - scaled(running - min[i], available, sum_min);
    }
  }
  for (size_t i = 0; i < n; ++i) sizes[i] = clamp_to_int32(s[i]);
  return sizes;
}

void TableElement::set_ratio(size_t index, int32_t ratio) {
  if (index >= m_ratios.size() || m_ratios[index] == ratio) return;
  m_ratios[index] = ratio;
  invalidate_layout();
}

std::unique_ptr<Element> TableElement::remove_child(Element& child, size_t index) {
  if (index >= child_count() || &this->child(index) != &child) index = index_of(child);
  std::unique_ptr<Element> owned = Element::remove_child(child, index);
  if (owned && index < m_ratios.size())
    m_ratios.erase(m_ratios.begin() + static_cast<ptrdiff_t>(index));
  return owned;
}

void TableElement::insert_child(std::unique_ptr<Element> child, size_t index,
                                const Properties* properties, const SkinNode* node,
                                std::u16string_view type_name) {
  if (!child) return;
  const int32_t ratio = properties ? properties->get_integer(node, u"table_ratio", 0) : 0;
  index = std::min(index, child_count());
  m_ratios.insert(m_ratios.begin() + static_cast<ptrdiff_t>(index), ratio);
  Element::insert_child(std::move(child), index, properties, node, type_name);
}

void TableElement::on_child_visibility_changed() {
  invalidate_layout();
}

void TableElement::measure_main(SizeRange& range, bool horizontal) {
  const Axis axis{horizontal};
  range.preferred = std::max(range.preferred, axis.design(*this));
  int64_t sum_need = 0, sum_slack = 0;
  for (size_t i = 0; i < child_count(); ++i) {
    Element& c = child(i);
    if (!c.visible()) continue;
    const SizeRange r = axis.range(c);
    sum_need += anchor_need(axis.anchor(c), axis.border_min(c), r.preferred, axis.border_max(c));
    sum_slack += int64_t{r.preferred} - r.minimum;
  }
  range.preferred = std::max(range.preferred, clamp_to_int32(sum_need));
  range.minimum = std::max(range.minimum, clamp_to_int32(sum_need - sum_slack));
}

void TableElement::measure_width(SizeRange& range) {
  if (m_axis == TableAxis::horizontal)
    measure_main(range, true);
  else
    Element::measure_width(range);
}

void TableElement::measure_height(SizeRange& range) {
  if (m_axis == TableAxis::vertical)
    measure_main(range, false);
  else
    Element::measure_height(range);
}

void TableElement::layout_main(bool horizontal) {
  const Axis axis{horizontal};
  std::vector<Element*> shown;
  std::vector<TableCell> cells;
  std::vector<int64_t> margins;
  int64_t all_margins = 0;
  for (size_t i = 0; i < child_count(); ++i) {
    Element& c = child(i);
    if (!c.visible()) continue;
    const SizeRange r = axis.range(c);
    shown.push_back(&c);
    cells.push_back({r.preferred, r.minimum, ratio(i)});
    margins.push_back(int64_t{axis.border_min(c)} + axis.border_max(c));
    all_margins += margins.back();
  }
  const int64_t available = int64_t{axis.length(*this)} - all_margins;
  if (available < 1) {
    for (Element* c : shown) axis.place(*c, axis.start(*this), 0);
    return;
  }
  const std::vector<int32_t> sizes = table_sizes(cells, available);
  int64_t cursor = axis.start(*this);
  for (size_t i = 0; i < shown.size(); ++i) {
    Element& c = *shown[i];
    const int32_t cell = clamp_to_int32(sizes[i] + margins[i]);
    const int32_t size =
        anchor_size(axis.anchor(c), cell, axis.border_min(c), sizes[i], axis.border_max(c));
    const int32_t offset =
        anchor_offset(axis.anchor(c), cell, axis.border_min(c), size, axis.border_max(c));
    axis.place(c, clamp_to_int32(cursor + offset), size);
    cursor += cell;
  }
}

void TableElement::layout_cross(bool horizontal) {
  // Hidden children keep their whole rectangle: a child that skipped the
  // main-axis step must not be half laid out.
  for (size_t i = 0; i < child_count(); ++i) {
    Element& c = child(i);
    if (!c.visible()) continue;
    if (horizontal)
      place_child_x(c);
    else
      place_child_y(c);
  }
}

void TableElement::layout_children_x() {
  if (m_axis == TableAxis::horizontal)
    layout_main(true);
  else
    layout_cross(true);
}

void TableElement::layout_children_y() {
  if (m_axis == TableAxis::vertical)
    layout_main(false);
  else
    layout_cross(false);
}

}  // namespace lv
