#pragma once

// The edit box: the text field the program draws over an element while the
// user types, in place of the handheld's native edit box. It holds the text
// (with "\n" line ends), the caret and the selection, which never fall
// inside a surrogate pair, and the text an input method is composing; it
// draws itself over the element's rectangle in the element's font and
// colours. Keys, characters, compositions and stylus presses change it; what
// each did comes back as a Change, so that the window hands the new text to
// the edited element and ends the editing when the box is done. Main thread.
//
// Keys: Left, Right, Home and End move the caret (with Shift they extend
// the selection), Backspace and Del delete, Ctrl+A selects everything,
// Ctrl+C or Ctrl+Insert copies, Ctrl+X or Shift+Del cuts, Ctrl+V or
// Shift+Insert pastes, and Enter ends the editing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "skin/color.h"
#include "skin/font.h"
#include "skin/geometry.h"

namespace lv {

namespace platform {
class Clipboard;
}

class Canvas;

class TextBox {
 public:
  struct Look {
    FontRef font;
    Color color;  // text, caret, selection and the composition's underline
    Color background;
  };
  enum class Lines : bool { single = false, multiple = true };
  struct Modifiers {
    bool shift = false;
    bool ctrl = false;
  };
  struct Change {
    bool handled = false;   // the box used the input
    bool text = false;      // its text is different now
    bool finished = false;  // the editing is over
  };

  TextBox(Rect rect, Lines lines, Look look);

  // --- Set by the window from the edited element ---------------------------
  // The text as it comes (its line ends unified); the caret goes to its end.
  void set_text(std::u16string_view text);
  void set_rect(Rect rect) { m_rect = rect; }
  void set_lines(Lines lines) { m_lines = lines; }
  void set_look(Look look) { m_look = std::move(look); }
  void select_all();

  // --- Input -----------------------------------------------------------------
  Change key(int code, Modifiers modifiers, platform::Clipboard& clipboard);
  // Typed or committed text: it takes the selection's place.
  Change type(std::u16string_view text);
  // What the input method composes now ("" when it is done) and its cursor.
  void compose(std::u16string_view text, int32_t cursor);
  // The stylus inside the box puts the caret at the nearest character
  // boundary; a drag selects from the press.
  void press(Point point);
  void drag(Point point);

  // --- State -----------------------------------------------------------------
  const std::u16string& text() const { return m_text; }
  const Rect& rect() const { return m_rect; }
  Lines lines() const { return m_lines; }
  size_t caret() const { return m_caret; }
  size_t selection_start() const { return std::min(m_anchor, m_caret); }
  size_t selection_end() const { return std::max(m_anchor, m_caret); }
  bool has_selection() const { return m_anchor != m_caret; }
  const std::u16string& composition() const { return m_composition; }

  // Fills the rectangle with the background and draws the text, the
  // selection, the composition (underlined, at the caret) and the caret.
  void draw(Canvas& canvas);

 private:
  struct Layout;
  Layout layout() const;
  void scroll_to_caret(const Layout& layout);
  size_t boundary_at(Point point) const;
  size_t before(size_t index) const;
  size_t after(size_t index) const;
  size_t line_start() const;
  size_t line_end() const;
  void move_caret(size_t to, bool extend);
  void copy(platform::Clipboard& clipboard) const;
  Change command(int code, platform::Clipboard& clipboard);
  bool replace_selection(std::u16string_view text);
  std::u16string accepted(std::u16string_view text) const;

  Rect m_rect;
  Lines m_lines;
  Look m_look;
  std::u16string m_text;
  size_t m_caret = 0;
  size_t m_anchor = 0;  // the selection's other end
  std::u16string m_composition;
  size_t m_composition_cursor = 0;
  int32_t m_scroll = 0;  // pixels of the text scrolled out, left or top
};

}  // namespace lv
