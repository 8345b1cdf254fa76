#pragma once

// "htable" and "vtable": containers that line their visible children up
// along one axis (x for a row, y for a column), sharing the room by the
// children's preferred and minimum sizes and, for the room beyond all
// preferred sizes, by their "table_ratio". The other axis uses the base
// rule. Hidden children keep their old rectangle and take no room.

#include <cstdint>
#include <vector>

#include "widgets/element.h"

namespace lv {

enum class TableAxis { horizontal, vertical };

class TableElement : public Element {
 public:
  explicit TableElement(TableAxis axis) : m_axis(axis) {}

  TableAxis axis() const { return m_axis; }
  // The table ratio of the child at index (0 past the end).
  int32_t ratio(size_t index) const { return index < m_ratios.size() ? m_ratios[index] : 0; }
  void set_ratio(size_t index, int32_t ratio);

  std::unique_ptr<Element> remove_child(Element& child, size_t index) override;
  void insert_child(std::unique_ptr<Element> child, size_t index, const Properties* properties,
                    const SkinNode* node, std::u16string_view type_name) override;
  void on_child_visibility_changed() override;
  void measure_width(SizeRange& range) override;
  void measure_height(SizeRange& range) override;
  void layout_children_x() override;
  void layout_children_y() override;

 private:
  void measure_main(SizeRange& range, bool horizontal);
  void layout_main(bool horizontal);
  void layout_cross(bool horizontal);

  TableAxis m_axis;
  std::vector<int32_t> m_ratios;  // one per child, in child order
};

// The table's share rules on plain numbers, for one axis: the sizes (without
// margins) that children of these preferred and minimum sizes and ratios get
// from `available` (the table's size less all margins). Growing hands the
// room between the minimum and the preferred sizes out evenly, none beyond
// its preferred size, then the rest by ratio; shrinking scales the minimum
// sizes. Every split is by cumulative rounding, so the parts add up exactly.
struct TableCell {
  int32_t preferred = 0;
  int32_t minimum = 0;
  int32_t ratio = 0;
};
std::vector<int32_t> table_sizes(const std::vector<TableCell>& cells, int64_t available);

}  // namespace lv
