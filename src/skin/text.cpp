#include "skin/text.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "skin/blit.h"
#include "skin/canvas.h"
#include "skin/font.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr int32_t kEllipsisDots = 3;

char32_t next_code(std::u16string_view text, size_t& i) {
  const char16_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      const char16_t low = text[i++];
      return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    }
    return kReplacement;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return kReplacement;
  return c;
}

// C0 and C1 controls: a single line has no line breaks or tabs to expand.
bool takes_no_room(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

bool is_space(char32_t c) {
  return c == u' ' || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200A);
}

struct Placed {
  const Glyph* glyph;
  char32_t code;
  int32_t x;         // pen position
  size_t units_end;  // code units of the text up to and including this one
};

struct Line {
  std::vector<Placed> glyphs;
  int32_t width = 0;
  size_t units_kept = 0;  // of the text; the rest was cut for the ellipsis
  int32_t dots = 0;       // ellipsis dots drawn after the kept text
};

void place(FontRep::Glyphs& glyphs, char32_t code, size_t units_end, Line& line) {
  if (takes_no_room(code)) return;
  const Glyph* glyph = glyphs.find(code);
  if (!glyph) return;
  line.glyphs.push_back({glyph, code, line.width, units_end});
  line.width = saturating_add(line.width, glyph->advance);
}

// Cuts the line from the end until it and the dots fit in width. The dots
// are full stops, as the handheld's end ellipsis draws them.
void cut_for_ellipsis(FontRep::Glyphs& glyphs, int32_t width, Line& line) {
  const Glyph* dot = glyphs.find(u'.');
  const int32_t dot_width = dot ? dot->advance : 0;
  const int64_t dots_width = int64_t{dot_width} * kEllipsisDots;
  size_t keep = 0;
  int32_t dots = kEllipsisDots;
  if (dots_width <= width) {
    while (keep < line.glyphs.size() &&
           line.glyphs[keep].x + int64_t{line.glyphs[keep].glyph->advance} + dots_width <= width)
      ++keep;
    while (keep > 0 && is_space(line.glyphs[keep - 1].code)) --keep;
  } else {
    dots = dot_width > 0 ? std::min(width / dot_width, kEllipsisDots) : 0;
  }
  line.units_kept = keep > 0 ? line.glyphs[keep - 1].units_end : 0;
  line.width = keep < line.glyphs.size() ? line.glyphs[keep].x : line.width;
  line.glyphs.resize(keep);
  line.dots = dots;
  for (int32_t i = 0; i < dots; ++i) place(glyphs, u'.', line.units_kept, line);
}

// A negative fit_width lays out the whole text.
Line lay_out(FontRep::Glyphs& glyphs, std::u16string_view text, int32_t fit_width) {
  Line line;
  for (size_t i = 0; i < text.size();) {
    const char32_t code = next_code(text, i);
    place(glyphs, code, i, line);
  }
  line.units_kept = text.size();
  if (fit_width >= 0 && line.width > fit_width) cut_for_ellipsis(glyphs, fit_width, line);
  return line;
}

struct Ink {
  uint16_t pixel;
  int32_t red, green, blue;  // the pixel's channels
};

Ink ink_of(Color color) {
  const uint16_t p = rgb565::from_rgb888(color.red, color.green, color.blue);
  return {p, rgb565::red(p), rgb565::green(p), rgb565::blue(p)};
}

// Moves each channel of d toward the ink by coverage / 255. A pixel that
// already holds the ink colour stays exactly as it is.
void blend_span(uint16_t* row, const uint8_t* coverage, int32_t count, const Ink& ink) {
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t a = coverage[i];
    if (a == 0) continue;
    if (a == 255) {
      row[i] = ink.pixel;
      continue;
    }
    const int32_t w = static_cast<int32_t>(a + (a >> 7));  // 0..256
    const uint16_t d = row[i];
    const int32_t r = rgb565::red(d), g = rgb565::green(d), b = rgb565::blue(d);
    row[i] = rgb565::pack(static_cast<uint16_t>(r + (((ink.red - r) * w) >> 8)),
                          static_cast<uint16_t>(g + (((ink.green - g) * w) >> 8)),
                          static_cast<uint16_t>(b + (((ink.blue - b) * w) >> 8)));
  }
}

// Blends the glyph with its top-left coverage pixel at (x, y) of the area
// (0, 0, width, height) of the scratch.
void blend_glyph(Surface& scratch, Size area, int64_t x, int64_t y, const Glyph& glyph,
                 const Ink& ink) {
  const int64_t x0 = std::max<int64_t>(x, 0);
  const int64_t x1 = std::min<int64_t>(x + glyph.width, area.width);
  const int64_t y0 = std::max<int64_t>(y, 0);
  const int64_t y1 = std::min<int64_t>(y + glyph.rows, area.height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int64_t row = y0; row < y1; ++row) {
    const uint8_t* cov = glyph.coverage.data() + size_t(row - y) * glyph.width + size_t(x0 - x);
    blend_span(scratch.row(uint32_t(row)) + x0, cov, int32_t(x1 - x0), ink);
  }
}

void fill_area(Surface& scratch, Size area, int64_t x, int64_t y, int64_t width, int64_t height,
               uint16_t pixel) {
  const int64_t x0 = std::max<int64_t>(x, 0);
  const int64_t x1 = std::min<int64_t>(x + width, area.width);
  const int64_t y0 = std::max<int64_t>(y, 0);
  const int64_t y1 = std::min<int64_t>(y + height, area.height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int64_t row = y0; row < y1; ++row)
    std::fill(scratch.row(uint32_t(row)) + x0, scratch.row(uint32_t(row)) + x1, pixel);
}

// One scratch surface for the process, reused while it is at least as wide
// and at least as tall as the area to draw. It is never destroyed: drawing
// may happen while static objects go away.
struct Scratch {
  std::mutex mutex;
  std::unique_ptr<Surface> surface;
};

Scratch& scratch() {
  static auto* instance = new Scratch;
  return *instance;
}

Surface* scratch_for(Scratch& s, int32_t width, int32_t height) {
  if (s.surface && int64_t{s.surface->width()} >= width && int64_t{s.surface->height()} >= height)
    return s.surface.get();
  // Keeping the larger side of the old surface saves re-creating it for
  // boxes that alternate between wide and tall.
  const int32_t w = s.surface ? std::max<int32_t>(width, s.surface->width()) : width;
  const int32_t h = s.surface ? std::max<int32_t>(height, s.surface->height()) : height;
  s.surface.reset();
  s.surface = Surface::create(w, h);
  if (!s.surface) s.surface = Surface::create(width, height);
  return s.surface.get();
}

int64_t align_offset(int64_t room, int64_t used, int32_t kind) {
  // kind: 0 start, 1 centre, 2 end. Halving truncates toward zero, so a
  // too-wide centred line overhangs both sides alike.
  if (kind == 1) return (room - used) / 2;
  if (kind == 2) return room - used;
  return 0;
}

}  // namespace

HAlign halign_from_index(int32_t index) {
  return index >= 0 && index <= 3 ? static_cast<HAlign>(index) : HAlign::left;
}

VAlign valign_from_index(int32_t index) {
  return index >= 0 && index <= 2 ? static_cast<VAlign>(index) : VAlign::top;
}

TextExtent measure_text(const FontRef& font, std::u16string_view text, int32_t max_extent,
                        std::vector<int32_t>* extents) {
  TextExtent result;
  result.height = font->height();
  if (extents) extents->assign(text.size(), 0);
  FontRep::Glyphs glyphs(*font);
  int32_t width = 0;
  bool fits = true;
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const char32_t code = next_code(text, i);
    if (!takes_no_room(code))
      if (const Glyph* glyph = glyphs.find(code)) width = saturating_add(width, glyph->advance);
    if (extents) std::fill(extents->begin() + start, extents->begin() + i, width);
    fits = fits && (max_extent < 0 || width <= max_extent);
    if (fits) result.fit = static_cast<int32_t>(i);
  }
  result.width = width;
  return result;
}

std::u16string fit_with_ellipsis(const FontRef& font, std::u16string_view text, int32_t width) {
  FontRep::Glyphs glyphs(*font);
  const Line line = lay_out(glyphs, text, std::max(width, 0));
  std::u16string result(text.substr(0, line.units_kept));
  result.append(size_t(line.dots), u'.');
  return result;
}

Size text_scratch_size() {
  Scratch& s = scratch();
  std::lock_guard lock(s.mutex);
  return s.surface ? s.surface->size() : Size{};
}

void release_text_scratch() {
  Scratch& s = scratch();
  std::lock_guard lock(s.mutex);
  s.surface.reset();
}

void draw_text(const FontRef& font, Canvas& canvas, Color color, std::u16string_view text,
               Point pos, Size box, HAlign halign, VAlign valign, Ellipsis ellipsis) {
  Surface* target = canvas.surface();
  if (text.empty() || !target || box.width < 1 || box.height < 1 || !font->has_glyphs()) return;

  // Only the part of the box inside the clip is rendered and copied; the
  // rest of the box would be cut off on the way back anyway.
  const Rect clip = canvas.effective_clip();
  const Rect visible{std::max(pos.x, clip.left), std::max(pos.y, clip.top),
                     std::min(saturating_add(pos.x, box.width), clip.right),
                     std::min(saturating_add(pos.y, box.height), clip.bottom)};
  if (visible.empty()) return;
  const Size area{visible.width(), visible.height()};

  Scratch& s = scratch();
  std::lock_guard scratch_lock(s.mutex);
  Surface* work = scratch_for(s, area.width, area.height);
  if (!work) return;

  static const CopyBlitter copy;
  static const ChangedPixelBlitter changed;
  blit(*work, {0, 0}, area, *target, {visible.left, visible.top},
       Rect{0, 0, area.width, area.height}, copy);

  FontRep::Glyphs glyphs(*font);
  const Line line = lay_out(glyphs, text, ellipsis == Ellipsis::end ? box.width : -1);
  const int32_t h_kind = halign == HAlign::center ? 1 : halign == HAlign::right ? 2 : 0;
  const int32_t v_kind = valign == VAlign::vcenter ? 1 : valign == VAlign::bottom ? 2 : 0;
  // Box coordinates to scratch coordinates.
  const int64_t left = int64_t{pos.x} - visible.left + align_offset(box.width, line.width, h_kind);
  const int64_t top =
      int64_t{pos.y} - visible.top + align_offset(box.height, font->height(), v_kind);
  const int64_t baseline = top + font->ascent();
  const Ink ink = ink_of(color);

  for (const Placed& p : line.glyphs)
    blend_glyph(*work, area, left + p.x + p.glyph->left, baseline - p.glyph->top, *p.glyph, ink);
  if (font->description().underline)
    fill_area(*work, area, left, baseline + font->underline_offset(), line.width,
              font->underline_thickness(), ink.pixel);

  blit(*target, {visible.left, visible.top}, area, *work, {0, 0}, clip, changed);
}

}  // namespace lv
