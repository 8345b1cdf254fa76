// Text: the line breaking rules on fixed character widths, and the text
// widget's wrapping and ellipsis with a real font.

#include <gtest/gtest.h>

#include "skin/canvas.h"
#include "skin/surface.h"
#include "skin/text.h"
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
      {u"abcdefghij", 35, 0, {{0, 3}, {3, 3}, {6, 3}, {9, 1}}},
      // Started on a line that holds a word already, it fills that line first.
      {u"ab cdefghij", 50, 0, {{0, 5}, {5, 5}, {10, 1}}},
      // Narrower than one character: one character per line, never none.
      {u"ab", 5, 0, {{0, 1}, {1, 1}}},
      // Surrogate pairs stay whole.
      {u"\U0001D400\U0001D400\U0001D400", 15, 0, {{0, 2}, {2, 2}, {4, 2}}},
      {u"ab\n\ncd", 1000, 0, {{0, 2}, {3, 0}, {4, 2}}},
      {u"aaa bb\nc", 50, 0, {{0, 3}, {4, 2}, {7, 1}}},
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

TEST_F(TextTest, WrappedLinesFollowTheWidthAndLineFeedsOnlyBreakWhenWrapping) {
  build(R"("text": "alpha beta\ngamma", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE")",
        R"("integer": {"grow": 1, "wrap": 1})", {400, 300});
  screen->resize({width_of(u"gamma") + 1, 300});
  screen->layout();
  EXPECT_EQ(text->lines(), (Lines{{0, 5}, {6, 4}, {11, 5}}));
  EXPECT_EQ(screen->rect_of(u"t").height(), 3 * text->line_height());
  screen->resize({400, 300});
  screen->layout();
  EXPECT_EQ(text->lines(), (Lines{{0, 10}, {11, 5}}));
  text->set_flags(true, false, false, false);
  screen->layout();
  EXPECT_EQ(text->lines(), (Lines{{0, 16}}));
  EXPECT_EQ(screen->rect_of(u"t").height(), text->line_height());
}

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

}  // namespace
}  // namespace lv
