#pragma once

// "text": a text in one font and colour, aligned in the element's box. With
// "grow" the text's size raises the element's preferred size (with
// "grow_min" its minimum too); with "wrap" it is broken into lines at the
// element's width (again whenever the width changes); with "ellipsis" what
// does not fit ends in an ellipsis. The widget draws no children.

#include <cstdint>
#include <string>
#include <vector>

#include "skin/color.h"
#include "skin/font.h"
#include "skin/text.h"
#include "widgets/element.h"
#include "widgets/text_lines.h"

namespace lv {

class TextElement : public Element {
 public:
  TextElement();

  void load(const Properties& properties, const SkinNode* node) override;
  void set_text_by_id(std::u16string_view id, std::u16string_view text) override;
  void draw(Canvas& target, Point origin) override;
  void measure_width(SizeRange& range) override;
  void measure_height(SizeRange& range) override;

  virtual void set_text(std::u16string_view text);
  virtual void set_color(Color color);
  virtual void set_font(const FontRef& font);

  const std::u16string& text() const { return m_text; }
  Color color() const { return m_color; }
  const FontRef& font() const { return m_font; }
  HAlign halign() const { return m_halign; }
  VAlign valign() const { return m_valign; }
  bool grow() const { return m_grow; }
  bool wrap() const { return m_wrap; }
  bool ellipsis() const { return m_ellipsis; }
  void set_alignment(HAlign halign, VAlign valign);
  void set_flags(bool grow, bool grow_min, bool wrap, bool ellipsis);

  // The lines as they are drawn at the current width.
  const std::vector<TextLine>& lines();
  // The text's width on one line and the font's line height.
  int32_t text_width();
  int32_t line_height();

 private:
  void measure_text_once();
  void forget_measures();
  void changed_look();
  void draw_cut_line(Canvas& target, Point origin, int32_t y, const TextLine& line);

  std::u16string m_text;
  std::vector<TextLine> m_lines;  // empty: not broken yet
  int32_t m_lines_width = -1;     // the width the lines were broken at
  int32_t m_text_width = -1;      // -1: not measured
  int32_t m_line_height = -1;
  std::vector<int32_t> m_extents;
  FontRef m_font;
  Color m_color;
  HAlign m_halign = HAlign::center;
  VAlign m_valign = VAlign::vcenter;
  bool m_grow = false;
  bool m_grow_min = false;
  bool m_wrap = false;
  bool m_ellipsis = false;
};

// An alignment name as skins write it ("LEFT", "VCENTER", ...), letter case
// included; anything else gives the centre.
HAlign halign_from_name(std::u16string_view name);
VAlign valign_from_name(std::u16string_view name);

}  // namespace lv
