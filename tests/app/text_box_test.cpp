// The edit box on its own: the editing keys, what it takes of typed and
// pasted text, the clipboard commands, an input method's composition and
// the stylus.

#include "app/text_box.h"

#include <gtest/gtest.h>

#include "base/input.h"
#include "platform/clipboard.h"
#include "skin/render_surface.h"
#include "skin/text.h"

namespace lv {
namespace {

constexpr int kKeyC = kKeyA + 2;
constexpr int kKeyV = kKeyA + 21;
constexpr int kKeyX = kKeyA + 23;

const TextBox::Modifiers kPlain{};
const TextBox::Modifiers kShift{true, false};
const TextBox::Modifiers kCtrl{false, true};

FontRef test_font() {
  return create_font(FontDesc{.height = 12, .face = u"DejaVu Sans"});
}

class TextBoxTest : public ::testing::Test {
 protected:
  // The text with "|" at the caret and "^" at the selection's other end,
  // then what the last key or typing changed, in braces.
  std::u16string state(TextBox::Change change = {}) const {
    std::u16string text = box.text();
    const size_t caret = box.caret();
    const size_t anchor =
        caret == box.selection_start() ? box.selection_end() : box.selection_start();
    text.insert(caret, u"|");
    if (box.has_selection()) text.insert(anchor + (anchor > caret), u"^");
    return text + u" {" + (change.handled ? u"handled" : u"") + (change.text ? u" text" : u"") +
           (change.finished ? u" finished" : u"") + u"}";
  }
  std::u16string after(int code, TextBox::Modifiers modifiers = kPlain) {
    return state(box.key(code, modifiers, clipboard));
  }
  std::u16string typed(std::u16string_view text) { return state(box.type(text)); }

  platform::MemoryClipboard clipboard;
  TextBox box{Rect{10, 10, 210, 40}, TextBox::Lines::single,
              TextBox::Look{test_font(), {255, 255, 255, 255}, {0, 0, 128, 255}}};
};

TEST_F(TextBoxTest, TheCaretMovesAndDeletesByCharactersNeverInsideASurrogatePair) {
  box.set_text(u"\U0001F600a\U0001F600b");  // pairs around the a: six code units
  EXPECT_EQ(after(kKeyLeft), u"\U0001F600a\U0001F600|b {handled}");
  EXPECT_EQ(after(kKeyLeft), u"\U0001F600a|\U0001F600b {handled}");
  EXPECT_EQ(after(kKeyDel), u"\U0001F600a|b {handled text}");
  after(kKeyLeft);
  EXPECT_EQ(after(kKeyBackspace), u"|ab {handled text}");
  EXPECT_EQ(after(kKeyBackspace), u"|ab {handled}") << "nothing before the start";
  // Shift extends the selection; an arrow without it collapses to its end.
  after(kKeyEnd);
  EXPECT_EQ(after(kKeyHome, kShift), u"|ab^ {handled}");
  EXPECT_EQ(after(kKeyRight), u"ab| {handled}");
  EXPECT_EQ(after(kKeyDel), u"ab| {handled}") << "nothing after the end";
  // Enter ends the editing; keys the box does not use go on.
  EXPECT_EQ(after(kKeyEnter), u"ab| {handled finished}");
  EXPECT_EQ(after(kKeyUp), u"ab| {}");
  EXPECT_EQ(after(kKeyA + 16, kCtrl), u"ab| {}");
}

// Stored with "\n" for every line break, whichever the typing brought.
TEST_F(TextBoxTest, TypedTextTakesTheSelectionsPlaceAndOneLineBoxesTakeNoLineBreaks) {
  box.set_text(u"hello");
  box.select_all();
  EXPECT_EQ(typed(u"a\r\nb\tc\x01"), u"a b c| {handled text}");
  EXPECT_EQ(typed(u"\x02"), u"a b c| {handled}") << "nothing left to type";
  box.set_lines(TextBox::Lines::multiple);
  EXPECT_EQ(typed(u"\rd\r\ne"), u"a b c\nd\ne| {handled text}");
}

TEST_F(TextBoxTest, CopyCutAndPasteGoThroughTheClipboard) {
  box.set_text(u"one two");
  EXPECT_EQ(after(kKeyA, kCtrl), u"^one two| {handled}");
  after(kKeyC, kCtrl);
  EXPECT_EQ(clipboard.text(), u"one two");
  after(kKeyEnd);
  for (int i = 0; i < 3; ++i) after(kKeyLeft, kShift);
  EXPECT_EQ(after(kKeyX, kCtrl), u"one | {handled text}");
  EXPECT_EQ(after(kKeyC, kCtrl), u"one | {handled}");
  EXPECT_EQ(clipboard.text(), u"two") << "nothing selected: the clipboard stays";
  after(kKeyHome);
  EXPECT_EQ(after(kKeyV, kCtrl), u"two|one  {handled text}");
  clipboard.set_text(u"\r\nx");
  EXPECT_EQ(after(kKeyInsert, kShift), u"two x|one  {handled text}");
}

TEST_F(TextBoxTest, ACompositionShowsAtTheCaretUntilItIsCommitted) {
  box.set_text(u"ab");
  box.select_all();
  box.compose(u"\u304B", 1);
  EXPECT_EQ(state(), u"ab| {}") << "a composition is not text yet, and the selection is gone";
  EXPECT_EQ(typed(u"\u6F22"), u"ab\u6F22| {handled text}");
  EXPECT_EQ(box.composition(), u"");
}

// The stylus: positions measured with the font.
class TextBoxStylusTest : public TextBoxTest {
 protected:
  void SetUp() override {
    if (!font->has_glyphs()) GTEST_SKIP() << "fontconfig finds no font";
  }
  int32_t width(std::u16string_view text) const { return measure_text(font, text).width; }

  static constexpr int32_t kLeft = 10 + 3;  // the box's padding
  const FontRef font = test_font();
};

TEST_F(TextBoxStylusTest, TheStylusPutsTheCaretAtTheNearestBoundaryAndADragSelects) {
  box.set_text(u"abcdef");
  box.press({kLeft + width(u"ab") + 1, 20});
  EXPECT_EQ(state(), u"ab|cdef {}");
  box.drag({kLeft + width(u"abcd") - 1, 25});
  EXPECT_EQ(state(), u"ab^cd|ef {}");
  box.press({0, 20});
  EXPECT_EQ(state(), u"|abcdef {}");
  box.press({500, 20});
  EXPECT_EQ(state(), u"abcdef| {}");
}

// Drawn, a long line scrolls so that the caret stays in the box: the end
// of the text at its right edge, and back at the start after Home.
TEST_F(TextBoxStylusTest, ALongLineScrollsSoThatTheCaretStaysInTheBox) {
  RenderSurface target;
  target.recreate(220, 50);
  box.set_text(std::u16string(80, u'w'));
  box.draw(target);
  box.press({208, 20});
  EXPECT_EQ(box.caret(), 80u);
  after(kKeyHome);
  box.draw(target);
  box.press({14, 20});
  EXPECT_EQ(box.caret(), 0u);
}

}  // namespace
}  // namespace lv
