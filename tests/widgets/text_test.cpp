// Text: the line breaking rules on fixed character widths, and the text
// widget's wrapping and ellipsis with a real font.
//
// Rich text: where the pieces of its runs and its inline elements go along
// x (continuing lines, wrapping, the alignments, JUSTIFY) and along y (line
// heights, the anchors in a line, the block's vertical alignment), what its
// measures ask, and links that change font while pressed and report clicks.

#include <gtest/gtest.h>

#include "skin/canvas.h"
#include "skin/surface.h"
#include "skin/text.h"
#include "widgets/rich_text_element.h"
#include "widgets/text_element.h"
#include "widgets/text_lines.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::TestScreen;
using test::TestSkin;

// Every code unit 10 pixels wide, except U+200B (no width) and the low half
// of a surrogate pair (the pair counts once).
std::vector<TextLine> lines_at(std::u16string_view text, int32_t width, int32_t indent = 0) {
  std::vector<int32_t> extents;
  int32_t x = 0;
  for (char16_t c : text) {
    if (c != 0x200B && !(c >= 0xDC00 && c <= 0xDFFF)) x += 10;
    extents.push_back(x);
  }
  return break_lines(text, extents, width, indent);
}

using Lines = std::vector<TextLine>;

TEST(BreakLines, WordsWrapWithoutTheirBlankLongWordsBreakAndLineFeedsEndLines) {
  const struct {
    std::u16string_view text;
    int32_t width, indent;
    Lines lines;
  } cases[] = {
      {u"aaa bbb ccc", 50, 0, {{0, 3}, {4, 3}, {8, 3}}},
      {u"aaa bbb ccc", 70, 0, {{0, 7}, {8, 3}}},
      {u"aaa\u200Bbbb", 50, 0, {{0, 3}, {4, 3}}},  // a zero-width space is a break too
      {u"", 50, 0, {{0, 0}}},
      // Started on a line that holds a word already, it fills that line first.
      {u"ab cdefghij", 50, 0, {{0, 5}, {5, 5}, {10, 1}}},
      // Narrower than one character: one character per line, never none.
      {u"ab", 5, 0, {{0, 1}, {1, 1}}},
      // Surrogate pairs stay whole.
      {u"\U0001D400\U0001D400\U0001D400", 15, 0, {{0, 2}, {2, 2}, {4, 2}}},
      {u"ab\n\ncd", 1000, 0, {{0, 2}, {3, 0}, {4, 2}}},
      // Flowing text continues a line that holds something already: the
      // first line takes what fits after the indent, or stays empty.
      {u"aaa bbb", 50, 20, {{0, 3}, {4, 3}}},
      {u"aaa bbb", 50, 30, {{0, 0}, {0, 3}, {4, 3}}},
      {u" aaa", 50, 30, {{1, 0}, {1, 3}}},
      {u"abcdefghij", 50, 30, {{0, 2}, {2, 5}, {7, 3}}},
      {u"\U0001D400b", 50, 45, {{0, 0}, {0, 3}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lines_at(c.text, c.width, c.indent), c.lines)
        << std::string(c.text.begin(), c.text.end()) << " at " << c.width << " after " << c.indent;
}

constexpr const char* kFont = R"("font": {"font": "12 0 0 0 DejaVu Sans"})";
constexpr uint16_t kWhite = 0xFFFF;

class TextTest : public ::testing::Test {
 protected:
  // A screen "Main" holding one text "t": its string keys after the type,
  // and its other value groups.
  void build(const std::string& strings, const std::string& groups, Size size) {
    std::string node = R"({"string": {"type": "text", "id": "t", )" + strings + "}, " + kFont;
    if (!groups.empty()) node += ", " + groups;
    ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [)" + node + "}]}}"));
    screen = std::make_unique<TestScreen>(skin, u"Main", size);
    text = &screen->find<TextElement>(u"t");
    if (!text->font()->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
  }

  int32_t width_of(std::u16string_view s) { return measure_text(text->font(), s).width; }

  // How many pixels of the screen differ from the pieces drawn left-aligned
  // in black on white as draw_text would draw them.
  int32_t differing_pixels(std::vector<std::pair<std::u16string, Point>> pieces) {
    const Surface& shown = screen->surface();
    auto expected = Surface::create(shown.width(), shown.height());
    expected->fill(kWhite);
    Canvas canvas(expected.get());
    for (auto& [s, at] : pieces)
      draw_text(text->font(), canvas, {0, 0, 0, 255}, s, at,
                {int32_t(shown.width()), text->line_height()}, HAlign::left, VAlign::top,
                Ellipsis::none);
    int32_t count = 0;
    for (uint32_t y = 0; y < shown.height(); ++y)
      for (uint32_t x = 0; x < shown.width(); ++x)
        count += shown.pixel(x, y) != expected->pixel(x, y);
    return count;
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  TextElement* text = nullptr;
};

TEST_F(TextTest, CutTextEndsTheLastLineThatFitsWithAnEllipsis) {
  build(R"("text": "Hello world", "halign": "LEFT", "valign": "TOP", "anchor_x": "MIN_SIDE",
           "anchor_y": "MIN_SIDE")",
        R"("integer": {"wrap": 1, "ellipsis": 1})", {400, 300});
  const int32_t lh = text->line_height();
  const int32_t w = width_of(u"Hello\u2026") + 2;
  ASSERT_GT(width_of(u"Hello world"), w);
  for (const auto& [lines, pieces] :
       {std::pair{1, std::vector<std::pair<std::u16string, Point>>{{u"Hello\u2026", {0, 0}}}},
        // With room for both lines nothing is cut.
        std::pair{2, std::vector<std::pair<std::u16string, Point>>{{u"Hello", {0, 0}},
                                                                   {u"world", {0, lh}}}}}) {
    text->set_design_size({w, lines * lh});
    screen->resize({w, lines * lh});
    screen->render(kWhite);
    EXPECT_EQ(text->lines().size(), 2u);
    EXPECT_EQ(differing_pixels(pieces), 0) << lines;
  }
}

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
