#pragma once

// "vlist": a vertical list of any length whose rows are made on demand by a
// ListProvider. Only the rows that overlap the visible band exist; they are
// created as they scroll in and destroyed as they scroll out. The list
// scrolls by dragging, keeps moving after a flick with a decaying velocity,
// resists dragging past either end like a rubber band and springs back;
// rows slide open when they fill room at the bottom and shrink away when
// removed. A press on a row shows its pressed look; a release on the same
// row without scrolling in between reports a click to the provider.
//
// The list's own skin children show only in the gaps above and below the
// rows. Skin keys: "scroll_border_min" and "scroll_border_max" (points, the
// y is the gap kept above the first row and below the last), "grow" (int:
// non-zero makes the list as tall as its rows).
//
// Rows are destroyed only once the event being dispatched is over, so a
// provider may reset the list from a click on a row or on a row's button.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "widgets/element.h"
#include "widgets/list_provider.h"
#include "widgets/list_row.h"
#include "widgets/velocity_tracker.h"

namespace lv {

class ListElement : public Element {
 public:
  ListElement();
  ~ListElement() override;

  void set_provider(ListProvider* provider);
  ListProvider* provider() const { return m_provider; }

  // Back to the top with no rows and `count` rows to show.
  void reset(int32_t count);
  // Binds the row again when it is realised (its data changed).
  void rebind_row(int32_t index);
  void rebind_all();
  // The list becomes one shorter; a realised row with the index shrinks
  // away and the rows after it move up.
  void remove_row(int32_t index);

  // -1 for none. The selected row shows "#vlist_selected" and stays still
  // while rows above it open or shrink.
  int32_t selected_index() const { return m_selected_index; }
  void set_selected_index(int32_t index);

  // Takes an element that must die and frees it once the event being
  // dispatched by the list is over (at once when none is).
  void retire(std::unique_ptr<Element> element);

  // Creates and destroys rows so that the realised ones cover the band.
  void synchronise();

  // --- State, for owners and benchmarks ---------------------------------------

  int32_t count() const { return m_count; }
  double scroll_position() const { return m_position; }
  double velocity() const { return m_velocity; }
  int32_t above_index() const { return m_above_index; }
  int32_t next_index() const { return m_next_index; }

  // Realised rows in display order, rows shrinking away included.
  size_t realised_count() const { return m_rows.size(); }
  ListRow& realised(size_t i) const { return *m_rows[i]; }
  // The realised row with the index, or null.
  ListRow* row(int32_t index) const;
  // The row whose band holds the screen y, or null (a row being removed
  // counts as none).
  ListRow* row_at(int32_t y) const;
  // Screen y of the realised row's top.
  int32_t row_top(const ListRow& row) const;

  // --- Element -----------------------------------------------------------------

  void load(const Properties& properties, const SkinNode* node) override;
  void on_visibility_changed(bool shown) override;
  void on_timer(double seconds) override;
  void draw(Canvas& target, Point origin) override;
  void layout_children_x() override;
  void layout_children_y() override;
  void measure_height(SizeRange& range) override;
  void on_pointer_move(const PointerEvent& event) override;
  bool on_pointer_button(const PointerEvent& event) override;

 private:
  class Dispatch;
  enum class Trim { top, bottom };

  // The band the rows must cover: the list height, the screen's with grow.
  int32_t band_height() const;
  std::unique_ptr<ListRow> make_row(int32_t index);
  void bind(ListRow& row, int32_t index, bool created);
  void layout_row(ListRow& row);
  void refit(ListRow& row, int32_t old_full_height);
  void apply_row_state(ListRow& row);
  void cancel_press();
  void drop_row(Trim side);
  void resum();
  void end_clamps();
  void step_rows(double seconds);
  void fill_bottom_room();
  int32_t anchor_index() const;
  int32_t effective_index(size_t slot) const;
  bool all_realised() const { return m_next_index == m_count; }
  double over() const { return m_position - m_scroll_border_min; }
  double rest() const;
  double rest_by_content() const;
  PointerEvent row_event(const PointerEvent& event, const ListRow& row) const;
  void release_graveyard();

  int32_t m_scroll_border_min = 0;
  int32_t m_scroll_border_max = 0;
  bool m_grow = false;
  ListProvider* m_provider = nullptr;
  std::deque<std::unique_ptr<ListRow>> m_rows;
  int32_t m_above_index = -1;
  int32_t m_next_index = 0;
  ListRow* m_pressed = nullptr;
  int32_t m_selected_index = -1;
  int32_t m_content_height = 0;
  int32_t m_realised_height = 0;
  int32_t m_count = 0;
  int32_t m_appearing_count = 0;
  int32_t m_last_height = 0;
  double m_position = 0;
  double m_velocity = 0;
  VelocityTracker m_tracker;
  PointerEvent m_last_event;
  int m_dispatch_depth = 0;
  std::vector<std::unique_ptr<Element>> m_graveyard;
};

}  // namespace lv
