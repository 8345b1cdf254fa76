// The edit box on its own: the editing keys, what it takes of typed and
// pasted text, the clipboard commands, an input method's composition, the
// stylus, and the pixels it draws.

#include "app/text_box.h"

#include <gtest/gtest.h>

#include "base/input.h"
#include "platform/clipboard.h"
#include "skin/render_surface.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "skin/text.h"

namespace lv {
namespace {

constexpr int kKeyC = kKeyA + 2;
constexpr int kKeyQ = kKeyA + 16;
constexpr int kKeyV = kKeyA + 21;
constexpr int kKeyX = kKeyA + 23;

const TextBox::Modifiers kPlain{};
const TextBox::Modifiers kShift{true, false};
const TextBox::Modifiers kCtrl{false, true};

FontRef test_font() {
  FontDesc desc;
  desc.face = u"DejaVu Sans";
  desc.height = 12;
  return create_font(desc);
}

class TextBoxTest : public ::testing::Test {
 protected:
  TextBox::Change key(int code, TextBox::Modifiers modifiers = kPlain) {
    return box.key(code, modifiers, clipboard);
  }
  std::u16string selected() const {
    return box.text().substr(box.selection_start(), box.selection_end() - box.selection_start());
  }

  platform::MemoryClipboard clipboard;
  TextBox box{Rect{10, 10, 210, 40}, TextBox::Lines::single,
              TextBox::Look{test_font(), {255, 255, 255, 255}, {0, 0, 128, 255}}};
};

TEST_F(TextBoxTest, TheCaretMovesAndDeletesByCharactersNeverInsideASurrogatePair) {
  box.set_text(u"a\U0001F600b");  // a, a pair, b: four code units
  EXPECT_EQ(box.caret(), 4u);
  EXPECT_FALSE(box.has_selection());
  EXPECT_TRUE(key(kKeyLeft).handled);
  EXPECT_EQ(box.caret(), 3u);
  key(kKeyLeft);
  EXPECT_EQ(box.caret(), 1u);
  key(kKeyRight);
  EXPECT_EQ(box.caret(), 3u);
  // Shift extends the selection; an arrow without it collapses to its end.
  key(kKeyHome, kShift);
  EXPECT_EQ(selected(), u"a\U0001F600");
  key(kKeyRight);
  EXPECT_EQ(box.caret(), 3u);
  EXPECT_FALSE(box.has_selection());

  const TextBox::Change deleted = key(kKeyBackspace);
  EXPECT_TRUE(deleted.handled && deleted.text && !deleted.finished);
  EXPECT_EQ(box.text(), u"ab");
  EXPECT_EQ(box.caret(), 1u);
  key(kKeyHome);
  EXPECT_FALSE(key(kKeyBackspace).text) << "nothing before the start";
  key(kKeyDel);
  EXPECT_EQ(box.text(), u"b");
  key(kKeyEnd);
  EXPECT_FALSE(key(kKeyDel).text);

  box.set_text(u"\U0001F600");
  key(kKeyHome);
  key(kKeyDel);
  EXPECT_EQ(box.text(), u"");

  // Enter ends the editing; keys the box does not use go on.
  EXPECT_TRUE(key(kKeyEnter).finished);
  EXPECT_FALSE(key(kKeyUp).handled);
  EXPECT_FALSE(key(kKeySoftLeft).handled);
  EXPECT_FALSE(key(kKeyQ, kCtrl).handled);
}

TEST_F(TextBoxTest, TypedTextTakesTheSelectionsPlaceAndOneLineBoxesTakeNoLineBreaks) {
  box.set_text(u"hello");
  box.select_all();
  EXPECT_TRUE(box.type(u"x").text);
  EXPECT_EQ(box.text(), u"x");
  EXPECT_TRUE(box.type(u"a\r\nb\tc\x01").text);
  EXPECT_EQ(box.text(), u"xa b c");
  EXPECT_FALSE(box.type(u"\x02").text) << "nothing left to type";

  box.set_lines(TextBox::Lines::multiple);
  box.type(u"\rd\r\ne");
  EXPECT_EQ(box.text(), u"xa b c\nd\ne");
  // Home and End keep to the line of a multi-line box.
  key(kKeyHome, kShift);
  EXPECT_EQ(selected(), u"e");
  key(kKeyLeft);
  key(kKeyLeft);
  key(kKeyHome);
  EXPECT_EQ(box.caret(), 7u);
  key(kKeyEnd);
  EXPECT_EQ(box.caret(), 8u);
}

TEST_F(TextBoxTest, CopyCutAndPasteGoThroughTheClipboard) {
  box.set_text(u"one two");
  EXPECT_TRUE(key(kKeyA, kCtrl).handled);
  EXPECT_EQ(selected(), u"one two");
  key(kKeyC, kCtrl);
  EXPECT_EQ(clipboard.text(), u"one two");
  EXPECT_EQ(box.text(), u"one two");

  key(kKeyEnd);
  for (int i = 0; i < 3; ++i) key(kKeyLeft, kShift);
  const TextBox::Change cut = key(kKeyX, kCtrl);
  EXPECT_TRUE(cut.text);
  EXPECT_EQ(clipboard.text(), u"two");
  EXPECT_EQ(box.text(), u"one ");
  EXPECT_FALSE(key(kKeyC, kCtrl).text) << "nothing selected: the clipboard stays";
  EXPECT_EQ(clipboard.text(), u"two");

  key(kKeyHome);
  EXPECT_TRUE(key(kKeyV, kCtrl).text);
  EXPECT_EQ(box.text(), u"twoone ");
  EXPECT_EQ(box.caret(), 3u);
  clipboard.set_text(u"\r\nx");
  key(kKeyInsert, kShift);
  EXPECT_EQ(box.text(), u"two xone ");

  // The classic keys: Ctrl+Insert copies, Shift+Del cuts.
  box.select_all();
  key(kKeyInsert, kCtrl);
  EXPECT_EQ(clipboard.text(), u"two xone ");
  key(kKeyHome);
  key(kKeyRight, kShift);
  key(kKeyDel, kShift);
  EXPECT_EQ(clipboard.text(), u"t");
  EXPECT_EQ(box.text(), u"wo xone ");
  clipboard.set_text(u"");
  EXPECT_FALSE(key(kKeyV, kCtrl).text);
}

TEST_F(TextBoxTest, ACompositionShowsAtTheCaretUntilItIsCommitted) {
  box.set_text(u"ab");
  box.select_all();
  box.compose(u"\u304B", 1);
  EXPECT_EQ(box.composition(), u"\u304B");
  EXPECT_EQ(box.text(), u"ab") << "a composition is not text yet";
  EXPECT_FALSE(box.has_selection());
  EXPECT_TRUE(box.type(u"\u6F22").text);
  EXPECT_EQ(box.text(), u"ab\u6F22");
  EXPECT_EQ(box.composition(), u"");
  box.compose(u"x", 5);  // a cursor past the end stays at the end
  box.compose(u"", 0);
  EXPECT_EQ(box.composition(), u"");
}

TEST_F(TextBoxTest, TheStylusPutsTheCaretAtTheNearestBoundaryAndADragSelects) {
  if (!test_font()->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
  box.set_text(u"abcdef");
  const FontRef font = test_font();
  const int32_t left = 10 + 3;  // the box's padding
  box.press({left + measure_text(font, u"ab").width + 1, 20});
  EXPECT_EQ(box.caret(), 2u);
  EXPECT_FALSE(box.has_selection());
  box.drag({left + measure_text(font, u"abcd").width - 1, 25});
  EXPECT_EQ(selected(), u"cd");
  box.press({0, 20});
  EXPECT_EQ(box.caret(), 0u);
  box.press({500, 20});
  EXPECT_EQ(box.caret(), 6u);
}

TEST_F(TextBoxTest, ItDrawsItsBackgroundTextSelectionCaretAndTheCompositionsUnderline) {
  const FontRef font = test_font();
  if (!font->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
  constexpr uint16_t kWhite = 0xFFFF;
  const uint16_t navy = rgb565::from_rgb888(0, 0, 128);
  RenderSurface target;
  target.recreate(220, 50);
  auto draw = [&] {
    target.surface()->fill(0x1234);
    box.draw(target);
    return target.surface();
  };
  auto column = [&](int32_t x, uint16_t value) {
    int32_t count = 0;
    for (uint32_t y = 10; y < 40; ++y) count += target.surface()->pixel(uint32_t(x), y) == value;
    return count;
  };
  const int32_t left = 13;
  const int32_t height = measure_text(font, u"x").height;

  box.set_text(u"");
  const Surface* shown = draw();
  EXPECT_EQ(shown->pixel(9, 20), 0x1234) << "nothing outside the box";
  EXPECT_EQ(shown->pixel(100, 12), navy);
  EXPECT_EQ(column(left, kWhite), height) << "the caret at the start";

  box.set_text(u"mm");
  box.select_all();
  draw();
  // The selection is filled in the text colour with the text in the
  // background's; the caret stands at its end.
  const int32_t mm = measure_text(font, u"mm").width;
  EXPECT_GT(column(left + 1, kWhite) + column(left + mm - 2, kWhite), height);
  EXPECT_GT(column(left + mm / 2, navy), 0);
  EXPECT_EQ(column(left + mm, kWhite), height);

  key(kKeyEnd);
  box.compose(u"nn", 2);
  draw();
  const int32_t row =
      10 + (30 - height) / 2 + font->ascent() + std::max(font->underline_offset(), 1);
  int32_t underline = 0;
  for (int32_t x = left + mm; x < left + measure_text(font, u"mmnn").width; ++x)
    underline += target.surface()->pixel(uint32_t(x), uint32_t(row)) == kWhite;
  EXPECT_GE(underline, measure_text(font, u"nn").width - 1);
  EXPECT_EQ(column(left + measure_text(font, u"mmnn").width, kWhite), height)
      << "the caret at the composition's cursor";
}

TEST_F(TextBoxTest, ALongLineScrollsSoThatTheCaretStaysInTheBox) {
  const FontRef font = test_font();
  if (!font->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
  box.set_text(std::u16string(80, u'w'));
  RenderSurface target;
  target.recreate(220, 50);
  target.surface()->fill(0);
  box.draw(target);
  // The caret at the end sits at the box's right edge, not beyond it.
  int32_t caret_column = -1;
  for (int32_t x = 10; x < 210; ++x) {
    int32_t white = 0;
    for (uint32_t y = 10; y < 40; ++y) white += target.surface()->pixel(uint32_t(x), y) == 0xFFFF;
    if (white == measure_text(font, u"x").height) caret_column = x;
  }
  EXPECT_GE(caret_column, 200);
  EXPECT_LT(caret_column, 210);
  key(kKeyHome);
  box.draw(target);
  box.press({14, 20});
  EXPECT_EQ(box.caret(), 0u) << "scrolled back to the start";
}

}  // namespace
}  // namespace lv
