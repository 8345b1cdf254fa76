// Rich text: where the pieces of its runs and its inline elements go along
// x (continuing lines, wrapping, the alignments, JUSTIFY) and along y (line
// heights, the anchors in a line, the block's vertical alignment), what its
// measures ask, and links that change font while pressed and report clicks.

#include <gtest/gtest.h>

#include "skin/text.h"
#include "widgets/rich_text_element.h"
#include "widgets/text_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::TestScreen;
using test::TestSkin;

struct Clicks : RichTextListener {
  void link_clicked(RichTextElement&, size_t run) override { runs.push_back(run); }
  std::vector<size_t> runs;
};

class RichTextTest : public ::testing::Test {
 protected:
  // A screen "Main" of the size holding the rich text "r" (its string keys
  // after the type, its integers, its inline children and its points).
  void build(const std::string& strings, const std::string& integers, Size size,
             const std::string& children = "", const std::string& points = "") {
    const std::string node =
        R"({"string": {"type": "richtext", "id": "r", )" + strings + R"(}, "integer": {)" +
        integers + R"(}, "point": {)" + points +
        R"(}, "font": {"font": "12 0 0 0 DejaVu Sans"}, "color": {"color": "#ffffff"},
            "children": [)" +
        children + "]}";
    screen.reset();
    ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [)" + node + "]}}"));
    screen = std::make_unique<TestScreen>(skin, u"Main", size);
    rich = &screen->find<RichTextElement>(u"r");
    if (!rich->font()->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
    height = measure_text(rich->font(), u"x").height;
  }

  int32_t width_of(std::u16string_view text) { return measure_text(rich->font(), text).width; }

  // The text and rectangle of each piece, in order.
  std::vector<std::pair<std::u16string, Rect>> pieces() {
    std::vector<std::pair<std::u16string, Rect>> out;
    for (size_t i = 0; i < rich->piece_count(); ++i)
      out.emplace_back(rich->piece(i).text(), rich->piece(i).rect());
    return out;
  }

  using Pieces = std::vector<std::pair<std::u16string, Rect>>;
  // A piece of the text starting at x on the line with the index.
  std::pair<std::u16string, Rect> at(std::u16string text, int32_t x, int32_t line) {
    const int32_t right = x + width_of(text);
    return {std::move(text), {x, line * height, right, (line + 1) * height}};
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  RichTextElement* rich = nullptr;
  int32_t height = 0;
};

TEST_F(RichTextTest, RunsContinueTheLineAndWrapAtTheWidth) {
  build(R"("halign": "LEFT", "valign": "TOP")", R"("wrap": 1)", {0, 200});
  rich->add_text(u"aaa ", rich->font(), rich->color());
  rich->add_text(u"bbb ccc", rich->font(), rich->color());
  const int32_t first = width_of(u"aaa "), bbb = width_of(u"bbb");
  // Room for "aaa bbb" but not for "aaa bbb ccc".
  screen->resize({first + bbb + 2, 200});
  screen->layout();
  EXPECT_EQ(pieces(), (Pieces{at(u"aaa ", 0, 0), at(u"bbb", first, 0), at(u"ccc", 0, 1)}));

  // A run whose first word does not fit after the line's content starts
  // on the next line.
  screen->resize({first + 2, 200});
  screen->layout();
  EXPECT_EQ(pieces(), (Pieces{at(u"aaa ", 0, 0), at(u"bbb", 0, 1), at(u"ccc", 0, 2)}));
}

TEST_F(RichTextTest, WithoutWrapLineFeedsAreBlanksAndOneLineOverflows) {
  build(R"("text": "one\ntwo", "halign": "LEFT", "valign": "TOP")", "", {20, 100});
  ASSERT_EQ(rich->run_count(), 1u);
  EXPECT_EQ(rich->run(0).text, u"one two");
  rich->add_text(u"three\nfour", rich->font(), rich->color());
  screen->layout();
  EXPECT_EQ(pieces(), (Pieces{at(u"one two", 0, 0), at(u"three four", width_of(u"one two"), 0)}));
}

TEST_F(RichTextTest, LineFeedsEndLinesWhenWrappingAndGrowAsksForTheLines) {
  build(R"("text": "one\n\nthree", "halign": "LEFT", "valign": "TOP",
           "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE")",
        R"("wrap": 1, "grow": 1)", {300, 300});
  screen->layout();
  EXPECT_EQ(rich->rect(), (Rect{0, 0, width_of(u"three"), 3 * height}));
  EXPECT_EQ(pieces(), (Pieces{at(u"one", 0, 0), at(u"three", 0, 2)}));
}

TEST_F(RichTextTest, JustifySpreadsTheWordsOfFullLinesToTheWidth) {
  build(R"("text": "aa bb cc dd ee", "halign": "JUSTIFY", "valign": "TOP")", R"("wrap": 1)",
        {0, 100});
  // Three words a line: "aa bb cc" fits, "aa bb cc dd" does not.
  const int32_t width = width_of(u"aa bb cc") + width_of(u" d") / 2;
  ASSERT_LT(width, width_of(u"aa bb cc dd"));
  screen->resize({width, 100});
  screen->layout();
  // The last line of a paragraph keeps its blanks.
  const int32_t spare = width - width_of(u"aa bb cc");
  EXPECT_EQ(pieces(), (Pieces{at(u"aa", 0, 0), at(u"bb", width_of(u"aa ") + spare / 2, 0),
                              at(u"cc", width - width_of(u"cc"), 0), at(u"dd", 0, 1),
                              at(u"ee", width_of(u"dd "), 1)}));
}

// Inline elements: 20 pixels wide with 5 on each side; the tall one sets
// the height of its line.
constexpr const char* kInline = R"(
  {"string": {"type": "color", "id": "tall"},
   "point": {"design_size": [20, 40], "border_min": [5, 2], "border_max": [5, 2]}},
  {"string": {"type": "color", "id": "mid", "anchor_y": "CENTER"},
   "point": {"design_size": [20, 10], "border_min": [5, 0], "border_max": [5, 0]}},
  {"string": {"type": "color", "id": "low", "anchor_y": "MAX_SIDE"},
   "point": {"design_size": [20, 10], "border_min": [5, 0], "border_max": [5, 0]}},
  {"string": {"type": "color", "id": "top", "anchor_y": "MIN_SIDE"},
   "point": {"design_size": [20, 10], "border_min": [5, 0], "border_max": [5, 0]}},
  {"string": {"type": "color", "id": "next"},
   "point": {"design_size": [20, 10], "border_min": [5, 0], "border_max": [5, 0]}})";

TEST_F(RichTextTest, InlineElementsSitInTheirLineByTheirAnchors) {
  build(R"("halign": "LEFT", "valign": "TOP")", R"("wrap": 1)", {140, 200}, kInline);
  rich->add_text(u"x", rich->font(), rich->color());
  screen->layout();
  // One line 44 high (40 and its borders) holds "tall" to "top"; "next"
  // does not fit after them and starts the second line, then the text.
  EXPECT_EQ(screen->rect_of(u"tall"), (Rect{5, 2, 25, 42}));
  EXPECT_EQ(screen->rect_of(u"mid"), (Rect{35, 17, 55, 27}));
  EXPECT_EQ(screen->rect_of(u"low"), (Rect{65, 34, 85, 44}));
  EXPECT_EQ(screen->rect_of(u"top"), (Rect{95, 0, 115, 10}));
  const int32_t second = std::max(10, height);
  // Stretched to its line, which the text makes as high as a line of text.
  EXPECT_EQ(screen->rect_of(u"next"), (Rect{5, 44, 25, 44 + second}));
  EXPECT_EQ(pieces(),
            (Pieces{{u"x", {30, 44 + second - height, 30 + width_of(u"x"), 44 + second}}}));

  // A hidden inline element takes no room: "next" fits on the first line now.
  screen->find(u"mid").set_visible(false);
  screen->layout();
  EXPECT_EQ(screen->rect_of(u"next"), (Rect{95, 0, 115, 44}));
}

TEST_F(RichTextTest, ALineIsPlacedByTheAlignmentsAndTheBlockStartsAtTheTopWhenTooTall) {
  // The alignments, and how many halves of the spare room lie to the left
  // of "ab" and above it.
  const struct {
    const char *halign, *valign;
    int32_t halves;
  } cases[] = {{"CENTER", "VCENTER", 1}, {"RIGHT", "BOTTOM", 2}};
  for (const auto& c : cases) {
    build(std::string(R"("text": "ab", "halign": ")") + c.halign + R"(", "valign": ")" + c.valign +
              "\"",
          "", {200, 100});
    screen->layout();
    const int32_t w = width_of(u"ab");
    const int32_t left = (200 - w) * c.halves / 2, top = (100 - height) * c.halves / 2;
    EXPECT_EQ(pieces(), (Pieces{{u"ab", {left, top, left + w, top + height}}})) << c.halign;
  }
  // More lines than room: the block starts at the top, the lines that
  // start below the bottom are not placed, and nothing is drawn outside.
  const int32_t room = height * 2 + height / 2;
  build(R"("text": "A\nB\nC\nD", "halign": "LEFT", "valign": "BOTTOM", "anchor_y": "MIN_SIDE")",
        R"("wrap": 1)", {50, 200}, "", "\"design_size\": [0, " + std::to_string(room) + "]");
  screen->render(0x0000);
  ASSERT_EQ(rich->piece_count(), 4u);
  EXPECT_EQ(rich->piece(0).rect().top, 0);
  EXPECT_EQ(rich->piece(3).rect().height(), 0);
  const auto [first, last] = screen->ink_rows({0, 0, 50, 200}, 0x0000);
  EXPECT_LT(last, room);
  EXPECT_GT(last, 2 * height) << "the third line shows, cut";
}

TEST_F(RichTextTest, ALinkShowsItsSecondFontWhilePressedAndReportsAReleaseInsideIt) {
  build(R"("halign": "LEFT", "valign": "TOP")", "", {300, 100});
  FontDesc bold_desc = rich->font()->description();
  bold_desc.bold = 1;
  const FontRef bold = create_font(bold_desc);
  Clicks clicks;
  rich->set_listener(&clicks);
  rich->add_text(u"see ", rich->font(), rich->color());
  rich->add_link(u"help", rich->font(), bold, rich->color(), 7);
  screen->layout();
  ASSERT_EQ(rich->piece_count(), 2u);
  const Rect plain = rich->piece(0).rect(), link = rich->piece(1).rect();
  EXPECT_FALSE(screen->press(plain.left + 2, plain.top + 2)) << "plain text takes no press";
  screen->release(plain.left + 2, plain.top + 2);

  EXPECT_TRUE(screen->press(link.left + 2, link.top + 2));
  screen->layout();
  EXPECT_EQ(rich->piece(1).font(), bold);
  EXPECT_EQ(rich->piece(1).rect().width(), measure_text(bold, u"help").width);
  screen->release(link.left + 2, link.top + 2);
  // A cancel, or a release elsewhere, clicks nothing and lets go.
  screen->press(link.left + 2, link.top + 2);
  screen->cancel();
  screen->press(link.left + 2, link.top + 2);
  screen->release(250, 90);
  EXPECT_EQ(clicks.runs, std::vector<size_t>{1});
  EXPECT_EQ(rich->run(1).flag, 7);
  screen->layout();
  EXPECT_EQ(rich->piece(1).font(), rich->font());
}

}  // namespace
}  // namespace lv
