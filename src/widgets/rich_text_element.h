#pragma once

// "richtext": flowing text made of runs and inline elements, laid out along
// lines like the words of a paragraph. A run is a text in a font and a
// colour; a link run also has a second font, shown while it is pressed, and
// a release on it that is not a cancel reports a click. Inline elements are
// the rich text's skin children and the elements an owner adds; each takes
// its preferred size and borders on a line, and a hidden one takes no room.
// The text of the runs is shown by text elements the rich text makes
// itself, its pieces: one for each line of a run, or for each word with
// JUSTIFY. Drawing is cut to the element's box.
//
// Skin keys: "grow" and "wrap" (as for "text"), "font" (the skin's default
// font when absent), "color" (opaque black), "halign" and "valign" (CENTER
// and VCENTER by default; JUSTIFY spreads the words of every line but the
// last of a paragraph to the whole width) and "text": when not empty,
// translated and the first run, in the element's font and colour.
//
// Lines are filled item by item at the element's width. With wrap, a run is
// broken at blanks (as "text" breaks) and starts after what its first line
// holds already, an inline element that does not fit starts a new line,
// and a line feed ends a line; without wrap everything stays on one line
// and line feeds are blanks. A line is as high as its tallest item; an
// inline element sits in its line by its "anchor_y" (CENTER, MAX_SIDE,
// BOTH_SIDE stretched, otherwise at the top), text pieces at the bottom.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/color.h"
#include "skin/font.h"
#include "skin/text.h"
#include "widgets/element.h"

namespace lv {

class TextElement;

enum class RunKind : uint8_t { text, link };

struct TextRun {
  RunKind kind = RunKind::text;
  std::u16string text;
  FontRef font;
  FontRef second_font;  // shown while a link is pressed
  Color color;
  uint8_t flag = 0;  // the owner's mark, e.g. which link it is
};

class RichTextElement;

class RichTextListener {
 public:
  // A link run was clicked; `run` is its index.
  virtual void link_clicked(RichTextElement& text, size_t run) = 0;

 protected:
  ~RichTextListener() = default;
};

class RichTextElement : public Element {
 public:
  RichTextElement();
  ~RichTextElement() override;

  void load(const Properties& properties, const SkinNode* node) override;
  // For its own id the runs are replaced by one run of the text (inline
  // elements stay); then passed on as the base does.
  void set_text_by_id(std::u16string_view id, std::u16string_view text) override;
  // Every child given here is an inline element, placed after the items
  // there are.
  void insert_child(std::unique_ptr<Element> child, size_t index, const Properties* properties,
                    const SkinNode* node, std::u16string_view type_name) override;
  std::unique_ptr<Element> remove_child(Element& child, size_t index) override;
  void on_child_visibility_changed() override;
  void draw(Canvas& target, Point origin) override;
  void measure_width(SizeRange& range) override;
  void measure_height(SizeRange& range) override;
  void layout_children_x() override;
  void layout_children_y() override;

  // Appends a run; without wrap its line feeds become blanks.
  void add_run(TextRun run);
  void add_text(std::u16string_view text, const FontRef& font, Color color);
  void add_link(std::u16string_view text, const FontRef& font, const FontRef& pressed_font,
                Color color, uint8_t flag);
  // Drops every run; inline elements stay.
  void clear_runs();
  size_t run_count() const { return m_runs.size(); }
  const TextRun& run(size_t index) const { return m_runs[index]; }

  // Not owned; null tells nobody.
  void set_listener(RichTextListener* listener) { m_listener = listener; }

  const FontRef& font() const { return m_font; }
  Color color() const { return m_color; }
  HAlign halign() const { return m_halign; }
  VAlign valign() const { return m_valign; }
  bool grow() const { return m_grow; }
  bool wrap() const { return m_wrap; }

  // The pieces of the last layout, in reading order, and the run each shows.
  size_t piece_count() const;
  TextElement& piece(size_t index) const;
  size_t piece_run(size_t index) const;
  // The link run being pressed, or run_count() when none is.
  size_t pressed_run() const;

 private:
  class Piece;
  struct Flow;
  struct Item {
    Element* element = nullptr;  // null: the run
    size_t run = 0;
  };

  // Where everything goes at the width (before the alignment).
  Flow flow(int32_t width) const;
  void flow_inline(Flow& flow, Element& element, int32_t width) const;
  void flow_run(Flow& flow, size_t run, int32_t width) const;
  void align(Flow& flow, int32_t width) const;
  const FontRef& run_font(size_t run) const;
  Piece& piece_for(size_t index);
  // A press on a piece of the run, or the end of a press.
  void link_pointer(size_t pressed, const PointerEvent& event);
  void set_pressed_run(size_t run);

  std::vector<Item> m_items;
  std::vector<TextRun> m_runs;
  std::vector<Piece*> m_pieces;  // children; those past the used ones are hidden
  size_t m_used_pieces = 0;
  std::unique_ptr<Flow> m_laid_out;
  RichTextListener* m_listener = nullptr;
  size_t m_pressed_run = SIZE_MAX;
  FontRef m_font;
  Color m_color{0, 0, 0, 255};
  HAlign m_halign = HAlign::center;
  VAlign m_valign = VAlign::vcenter;
  bool m_grow = false;
  bool m_wrap = false;
  bool m_in_layout = false;
};

}  // namespace lv
