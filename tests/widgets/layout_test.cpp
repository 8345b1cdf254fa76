// The anchor rules, the table arithmetic and the layout of trees built from
// skins: sizes, offsets, re-flow after hiding, and that a still screen does
// no layout work.

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "widgets/layout.h"
#include "widgets/table.h"
#include "widgets/text_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::TestScreen;
using test::TestSkin;

TEST(AnchorRules, SizesOffsetsAndNeedPerMode) {
  using M = AnchorMode;
  const struct {
    AnchorMode mode;
    int32_t parent, border_min, preferred, border_max, size, offset;
  } cases[] = {
      // BOTH_SIDE fills between the margins whatever the child measures.
      {M::both_side, 200, 10, 999, 20, 170, 10},
      // CENTER: (100 - 51) / 2 truncated; wider than the room, it is cut.
      {M::center, 100, 0, 51, 0, 51, 24},
      {M::center, 100, 10, 500, 10, 80, 10},
      // MAX_SIDE ignores border_min and never goes negative.
      {M::max_side, 100, 30, 40, 10, 40, 50},
      {M::max_side, 100, 0, 300, 10, 90, 0},
      // MIN_SIDE ignores border_max for the size.
      {M::min_side, 100, 30, 90, 50, 70, 30},
      // RATIO sizes like CENTER and sits at the margin.
      {M::ratio, 100, 10, 500, 10, 80, 10},
      // The *_NO_SIZE modes take the preferred size as it is.
      {M::min_side_no_size, 100, 10, 500, 10, 500, 10},
      {M::both_side_no_size, 100, 10, 500, 10, 80, 10},
      // A parent smaller than the margins gives zero, never a negative size.
      {M::both_side, 10, 30, 5, 30, 0, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    EXPECT_EQ(anchor_size(c.mode, c.parent, c.border_min, c.preferred, c.border_max), c.size);
    EXPECT_EQ(anchor_offset(c.mode, c.parent, c.border_min, c.size, c.border_max), c.offset);
  }
  EXPECT_EQ(anchor_need(AnchorMode::center, 3, 40, 5), 48);
  EXPECT_EQ(anchor_need(AnchorMode::max_side_no_size, 3, 40000, 5), 0);
  // Saturates instead of wrapping.
  EXPECT_EQ(anchor_need(AnchorMode::min_side, INT32_MAX, INT32_MAX, 0), INT32_MAX);
}

int64_t sum(const std::vector<int32_t>& v) {
  return std::accumulate(v.begin(), v.end(), int64_t{0});
}

TEST(TableSizes, GrowToPreferredThenByRatioAndShrinkByMinimums) {
  using Cells = std::vector<TableCell>;
  using Sizes = std::vector<int32_t>;
  const struct {
    Cells cells;
    int32_t room;
    Sizes sizes;
  } cases[] = {
      // 30 extra pixels over minimums of 10: 10 each; the first and the
      // third stop at their preferred size and pass the rest on.
      {{{20, 10, 0}, {100, 10, 0}, {15, 10, 0}}, 60, {20, 25, 15}},
      // Remainders go to the later children.
      {{{50, 0, 0}, {50, 0, 0}, {50, 0, 0}}, 10, {3, 3, 4}},
      // No ratios: the room beyond all preferred sizes stays empty.
      {{{20, 10, 0}, {30, 10, 0}}, 500, {20, 30}},
      // 1 : 3 of the 200 pixels beyond the preferred sizes.
      {{{40, 40, 1}, {40, 40, 3}}, 280, {90, 190}},
      // Cumulative rounding makes the parts add up.
      {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 100, {33, 33, 34}},
      // A child without a ratio keeps its preferred size.
      {{{10, 10, 0}, {10, 10, 2}}, 100, {10, 90}},
      // Less room than the minimums: the minimums scale, the sum is exact.
      {{{50, 30, 0}, {50, 30, 0}, {50, 40, 0}}, 77, {23, 23, 31}},
      {{{5, 5, 0}}, 0, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    EXPECT_EQ(table_sizes(c.cells, c.room), c.sizes);
  }
  // ratio x leftover would pass 2^63 with 32-bit ratios and a long row.
  const Sizes huge = table_sizes(Cells(5, TableCell{0, 0, INT32_MAX}), INT32_MAX);
  EXPECT_EQ(sum(huge), INT32_MAX);
  for (int32_t s : huge) EXPECT_NEAR(s, INT32_MAX / 5, 1);
  EXPECT_EQ(sum(table_sizes(Cells(3, TableCell{INT32_MAX, INT32_MAX, 0}), 1000)), 1000);
}

using Rects = std::vector<Rect>;

TEST(TreeLayout, HtableRatiosAndHiddenChildKeepsItsRectangle) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "htable", "id": "row"}, "children": [
      {"string": {"type": "node", "id": "a"}, "integer": {"table_ratio": 1},
       "point": {"design_size": [40, 10]}},
      {"string": {"type": "node", "id": "b"}, "integer": {"table_ratio": 3},
       "point": {"design_size": [40, 10], "border_min": [5, 0], "border_max": [5, 0]}},
      {"string": {"type": "node", "id": "c"}, "point": {"design_size": [30, 10]}}]}]}})"));
  TestScreen screen(skin, u"Main", {330, 50});
  screen.layout();
  // Room 330 - 10 margins = 320; preferred 110; leftover 210 as 1 : 3.
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}),
            (Rects{{0, 0, 92, 50}, {97, 0, 295, 50}, {300, 0, 330, 50}}));
  // Hidden, "a" keeps its rectangle and b takes all 250 pixels of leftover.
  screen.find(u"a").set_visible(false);
  screen.layout();
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}),
            (Rects{{0, 0, 92, 50}, {5, 0, 295, 50}, {300, 0, 330, 50}}));
  // Smaller than the margins: all at the left edge, width 0.
  screen.find(u"a").set_visible(true);
  screen.resize({8, 50});
  screen.layout();
  EXPECT_EQ(screen.rects({u"a", u"b", u"c"}), (Rects(3, Rect{0, 0, 0, 50})));
}

// Counts the layout work done on it and below it, by the digit its id ends in.
struct LayoutCounts {
  int measures = 0;
  int layouts = 0;
};
LayoutCounts g_counts[4];

class CountingElement : public Element {
 public:
  void measure_width(SizeRange& range) override {
    ++counts().measures, Element::measure_width(range);
  }
  void measure_height(SizeRange& range) override {
    ++counts().measures, Element::measure_height(range);
  }
  void layout_children_x() override { ++counts().layouts, Element::layout_children_x(); }
  void layout_children_y() override { ++counts().layouts, Element::layout_children_y(); }
  LayoutCounts& counts() { return g_counts[(id().back() - u'0') & 3]; }
};

// "measures/layouts" of c1, c2 and c3 since the last call.
std::string counts_since() {
  std::string out;
  for (int slot = 1; slot <= 3; ++slot)
    out += std::to_string(g_counts[slot].measures) + "/" + std::to_string(g_counts[slot].layouts) +
           (slot < 3 ? " " : "");
  for (auto& c : g_counts) c = {};
  return out;
}

TEST(TreeLayout, StillScreenDoesNoLayoutWorkAndChangesStayOnTheirPath) {
  test::register_test_type<CountingElement>(u"counting");
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [{"string": {"type": "htable"}, "children": [
    {"string": {"type": "counting", "id": "c1"}, "children": [
      {"string": {"type": "text", "id": "label", "text": "ab"}, "integer": {"grow": 1},
       "font": {"font": "12 0 0 0 DejaVu Sans"}}]},
    {"string": {"type": "counting", "id": "c2"}, "point": {"design_size": [50, 20]}},
    {"string": {"type": "counting", "id": "c3"}, "point": {"design_size": [60, 20]}}]}]}})"));
  TestScreen screen(skin, u"Main", {300, 100});
  counts_since();
  EXPECT_TRUE(screen.repaint());
  EXPECT_EQ(counts_since(), "2/2 2/2 2/2");
  EXPECT_FALSE(screen.repaint());
  EXPECT_EQ(counts_since(), "0/0 0/0 0/0");

  // A longer text re-measures its own branch; the siblings keep their
  // measures and are only placed again, further right.
  const Rect c2_before = screen.rect_of(u"c2");
  screen.find<TextElement>(u"label").set_text(u"a much longer label");
  EXPECT_TRUE(screen.repaint());
  EXPECT_EQ(counts_since(), "2/2 0/2 0/2");
  EXPECT_EQ(screen.rect_of(u"c2").width(), c2_before.width());
  EXPECT_GT(screen.rect_of(u"c2").left, c2_before.left);
}

}  // namespace
}  // namespace lv
