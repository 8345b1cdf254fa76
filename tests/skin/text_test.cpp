#include "skin/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "skin/canvas.h"
#include "skin/font.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "support/save_on_failure.h"

namespace lv {
namespace {

constexpr uint16_t kWhite = 0xFFDF;  // white with the opaque bit clear
constexpr Color kBlack{0, 0, 0, 255};

FontRef dejavu(int32_t height = 12, bool underline = false) {
  FontDesc d;
  d.height = height;
  d.face = u"DejaVu Sans";
  d.underline = underline;
  return create_font(d);
}

#define LV_REQUIRE_FONT(font)                                                     \
  do {                                                                            \
    if (!(font)->has_glyphs()) GTEST_SKIP() << "fontconfig finds no usable font"; \
  } while (0)

std::unique_ptr<Surface> filled(int32_t w, int32_t h, uint16_t pixel) {
  auto s = Surface::create(w, h);
  s->fill(pixel);
  return s;
}

// Bounding box of the pixels that differ from `background`.
Rect ink_box(const Surface& s, uint16_t background) {
  Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (uint32_t y = 0; y < s.height(); ++y)
    for (uint32_t x = 0; x < s.width(); ++x)
      if (s.pixel(x, y) != background) {
        box.left = std::min<int32_t>(box.left, x);
        box.top = std::min<int32_t>(box.top, y);
        box.right = std::max<int32_t>(box.right, x + 1);
        box.bottom = std::max<int32_t>(box.bottom, y + 1);
      }
  return box.left == INT32_MAX ? Rect{} : box;
}

int32_t count_changed(const Surface& s, uint16_t background) {
  int32_t n = 0;
  for (uint32_t y = 0; y < s.height(); ++y)
    for (uint32_t x = 0; x < s.width(); ++x) n += s.pixel(x, y) != background;
  return n;
}

// a(x, y) == b(x + dx, y + dy) wherever both exist.
bool same_shifted(const Surface& a, const Surface& b, int32_t dx, int32_t dy) {
  for (int32_t y = 0; y < int32_t(a.height()); ++y)
    for (int32_t x = 0; x < int32_t(a.width()); ++x) {
      const int32_t bx = x + dx, by = y + dy;
      if (bx < 0 || by < 0 || bx >= int32_t(b.width()) || by >= int32_t(b.height())) continue;
      if (a.pixel(x, y) != b.pixel(bx, by)) return false;
    }
  return true;
}

int32_t width_of(const FontRef& font, std::u16string_view text) {
  return measure_text(font, text).width;
}

// ---- measuring ----

TEST(MeasureText, WholeAndCumulativeExtents) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  std::vector<int32_t> extents;
  const TextExtent e = measure_text(font, u"HiH", -1, &extents);
  const int32_t h = width_of(font, u"H"), i = width_of(font, u"i");
  EXPECT_EQ(h, 12);
  EXPECT_EQ(e.width, 2 * h + i);
  EXPECT_EQ(e.height, font->height());
  EXPECT_EQ(e.fit, 3);
  EXPECT_EQ(extents, (std::vector<int32_t>{h, h + i, 2 * h + i}));

  EXPECT_EQ(measure_text(font, u"").width, 0);
  EXPECT_EQ(measure_text(font, u"").height, font->height());
  measure_text(font, u"", -1, &extents);
  EXPECT_TRUE(extents.empty());
}

TEST(MeasureText, MaximumExtentCountsWhatFits) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const int32_t h = width_of(font, u"H");
  std::vector<int32_t> extents;
  const TextExtent e = measure_text(font, u"HHHH", 2 * h, &extents);
  EXPECT_EQ(e.fit, 2);
  EXPECT_EQ(e.width, 4 * h);  // the whole text all the same
  EXPECT_EQ(extents.back(), 4 * h);
  EXPECT_EQ(measure_text(font, u"HHHH", 2 * h - 1).fit, 1);
  EXPECT_EQ(measure_text(font, u"HHHH", 0).fit, 0);
}

TEST(MeasureText, SurrogatesControlsAndBrokenUtf16) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  std::vector<int32_t> extents;
  const std::u16string text = u"A\U0001F600B";
  measure_text(font, text, -1, &extents);
  ASSERT_EQ(extents.size(), 4u);
  EXPECT_EQ(extents[1], extents[2]);  // one character, two units
  EXPECT_GT(extents[2], extents[0]);

  EXPECT_EQ(width_of(font, u"A\nB\t\rC"), width_of(font, u"ABC"));
  EXPECT_EQ(width_of(font, std::u16string(1, char16_t(0xD800))), width_of(font, u"\uFFFD"));
  EXPECT_EQ(width_of(font, std::u16string{char16_t(0xDC00), u'x'}), width_of(font, u"\uFFFDx"));
}

TEST(MeasureText, FontWithoutGlyphsMeasuresNothing) {
  FontDesc d;
  d.height = 0;
  const FontRef none = create_font(d);
  std::vector<int32_t> extents;
  const TextExtent e = measure_text(none, u"abc", 1, &extents);
  EXPECT_EQ(e.width, 0);
  EXPECT_EQ(e.height, 0);
  EXPECT_EQ(e.fit, 3);
  EXPECT_EQ(extents, (std::vector<int32_t>{0, 0, 0}));
}

// ---- ellipsis ----

TEST(Ellipsis, ALineIsNeverWiderThanItsBox) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const std::u16string text = u"Holiday pictures of 2009, Lake Constance";
  const int32_t full = width_of(font, text);
  for (int32_t w = 0; w <= full + 5; ++w) {
    const std::u16string fitted = fit_with_ellipsis(font, text, w);
    ASSERT_LE(width_of(font, fitted), w) << w;
    if (w >= full) {
      EXPECT_EQ(fitted, text);
    } else if (w >= width_of(font, u"...")) {
      // Ends in the dots and keeps as much of the text as possible.
      ASSERT_GE(fitted.size(), 3u);
      EXPECT_EQ(fitted.substr(fitted.size() - 3), u"...");
      const std::u16string kept = fitted.substr(0, fitted.size() - 3);
      EXPECT_EQ(text.substr(0, kept.size()), kept);
      std::u16string longer = text.substr(0, kept.size() + 1);
      while (!longer.empty() && longer.back() == u' ') longer.pop_back();
      if (longer.size() > kept.size()) {
        EXPECT_GT(width_of(font, longer + u"..."), w) << w;
      }
    }
  }
}

TEST(Ellipsis, DropsTrailingSpacesAndShortensTheDots) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const int32_t w = width_of(font, u"Hello w...") - 1;
  EXPECT_EQ(fit_with_ellipsis(font, u"Hello world", w), u"Hello...");
  const int32_t dot = width_of(font, u".");
  EXPECT_EQ(fit_with_ellipsis(font, u"Hello", 2 * dot), u"..");
  EXPECT_EQ(fit_with_ellipsis(font, u"Hello", dot), u".");
  EXPECT_EQ(fit_with_ellipsis(font, u"Hello", dot - 1), u"");
  EXPECT_EQ(fit_with_ellipsis(font, u"Hello", -5), u"");
  // A surrogate pair is kept or dropped whole.
  const std::u16string pair = u"\U0001F600\U0001F600\U0001F600\U0001F600";
  const std::u16string cut = fit_with_ellipsis(font, pair, width_of(font, u"\U0001F600...") + 1);
  EXPECT_EQ(cut, u"\U0001F600...");
}

TEST(Ellipsis, DrawsWhatFitWithEllipsisGives) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const std::u16string text = u"A rather long folder name";
  const int32_t w = width_of(font, text) / 2;
  auto cut = filled(200, 30, kWhite);
  auto plain = filled(200, 30, kWhite);
  test::SaveOnFailure save_cut(*cut, "cut"), save_plain(*plain, "plain");
  Canvas c1(cut.get()), c2(plain.get());
  for (HAlign h : {HAlign::left, HAlign::right}) {
    cut->fill(kWhite);
    plain->fill(kWhite);
    draw_text(font, c1, kBlack, text, {10, 5}, {w, 20}, h, VAlign::top, Ellipsis::end);
    draw_text(font, c2, kBlack, fit_with_ellipsis(font, text, w), {10, 5}, {w, 20}, h, VAlign::top,
              Ellipsis::none);
    EXPECT_TRUE(same_shifted(*cut, *plain, 0, 0));
    const Rect ink = ink_box(*cut, kWhite);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + w);
  }
}

// ---- drawing ----

TEST(DrawText, InTheBackgroundColourChangesNothing) {
  const FontRef font = dejavu(14, true);
  LV_REQUIRE_FONT(font);
  const Color colour{200, 96, 48, 255};
  const uint16_t bg = rgb565::from_rgb888(colour.red, colour.green, colour.blue);
  ASSERT_FALSE(rgb565::is_opaque(bg));
  auto s = filled(120, 40, bg);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  draw_text(font, canvas, colour, u"Same colour Wg", {2, 2}, {116, 36}, HAlign::center,
            VAlign::vcenter, Ellipsis::none);
  EXPECT_EQ(count_changed(*s, bg), 0);
}

TEST(DrawText, DrawsAntiAliasedInkAndMarksItOpaque) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto s = filled(100, 30, 0x0000);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  draw_text(font, canvas, Color{255, 255, 255, 255}, u"Hello", {5, 5}, {90, 20}, HAlign::left,
            VAlign::top, Ellipsis::none);
  int32_t full = 0, partial = 0;
  for (uint32_t y = 0; y < s->height(); ++y)
    for (uint32_t x = 0; x < s->width(); ++x) {
      const uint16_t p = s->pixel(x, y);
      if (p == 0) continue;
      ASSERT_TRUE(rgb565::is_opaque(p)) << x << "," << y;
      // White over black: every step of coverage is a grey.
      ASSERT_EQ(rgb565::red(p), rgb565::blue(p));
      ASSERT_LE(std::abs(rgb565::green(p) / 2 - rgb565::red(p)), 1);
      if (p == 0xFFFF)
        ++full;
      else
        ++partial;
    }
  EXPECT_GT(full, 20);
  EXPECT_GT(partial, 5);
  // The cell starts at the box's top: 'H' stands on the baseline, ascent rows down.
  const Rect ink = ink_box(*s, 0);
  EXPECT_EQ(ink.bottom, 5 + font->ascent());
  EXPECT_EQ(ink.top, 5 + font->ascent() - 12);
  EXPECT_GE(ink.left, 5);
  EXPECT_LE(ink.left, 7);
  EXPECT_LE(ink.right, 5 + width_of(font, u"Hello") + 1);
}

TEST(DrawText, DrawsOnlyInsideTheBoxAndTheClip) {
  const FontRef font = dejavu(20);
  LV_REQUIRE_FONT(font);
  auto s = filled(60, 40, kWhite);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  draw_text(font, canvas, kBlack, u"WWWWWWWW", {10, 10}, {30, 12}, HAlign::left, VAlign::top,
            Ellipsis::none);
  const Rect ink = ink_box(*s, kWhite);
  EXPECT_FALSE(ink.empty());
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.right, 40);
  EXPECT_LE(ink.bottom, 22);

  auto full = filled(60, 40, kWhite);
  Canvas whole(full.get());
  draw_text(font, whole, kBlack, u"WWWWWWWW", {0, 0}, {60, 40}, HAlign::left, VAlign::top,
            Ellipsis::none);
  auto clipped = filled(60, 40, kWhite);
  Canvas part(clipped.get());
  {
    ClipGuard guard(part, {15, 5}, {20, 10});
    draw_text(font, part, kBlack, u"WWWWWWWW", {0, 0}, {60, 40}, HAlign::left, VAlign::top,
              Ellipsis::none);
  }
  for (uint32_t y = 0; y < 40; ++y)
    for (uint32_t x = 0; x < 60; ++x) {
      const bool inside = x >= 15 && x < 35 && y >= 5 && y < 15;
      ASSERT_EQ(clipped->pixel(x, y), inside ? full->pixel(x, y) : kWhite) << x << "," << y;
    }
}

TEST(DrawText, ABoxLeftOfTheSurfaceWritesFromColumnZero) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto shifted = filled(80, 24, kWhite);
  auto reference = filled(90, 24, kWhite);
  test::SaveOnFailure save(*shifted);
  Canvas a(shifted.get()), b(reference.get());
  draw_text(font, a, kBlack, u"Hamburg", {-10, 2}, {90, 20}, HAlign::center, VAlign::top,
            Ellipsis::none);
  draw_text(font, b, kBlack, u"Hamburg", {0, 2}, {90, 20}, HAlign::center, VAlign::top,
            Ellipsis::none);
  EXPECT_GT(count_changed(*shifted, kWhite), 0);
  EXPECT_TRUE(same_shifted(*shifted, *reference, 10, 0));
  // Above the surface as well.
  auto high = filled(90, 24, kWhite);
  Canvas c(high.get());
  draw_text(font, c, kBlack, u"Hamburg", {0, -4}, {90, 20}, HAlign::center, VAlign::top,
            Ellipsis::none);
  EXPECT_TRUE(same_shifted(*high, *reference, 0, 6));
}

TEST(DrawText, AlignmentsMoveTheLineByTheRoomLeft) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const std::u16string text = u"Pictures";
  const int32_t tw = width_of(font, text), th = font->height();
  const Size box{150, 50};
  auto draw = [&](HAlign h, VAlign v) {
    auto s = filled(170, 70, kWhite);
    Canvas canvas(s.get());
    draw_text(font, canvas, kBlack, text, {10, 10}, box, h, v, Ellipsis::none);
    return s;
  };
  const auto left_top = draw(HAlign::left, VAlign::top);
  test::SaveOnFailure save(*left_top);
  ASSERT_GT(count_changed(*left_top, kWhite), 0);
  const int32_t dx[] = {0, (box.width - tw) / 2, box.width - tw, 0};
  const int32_t dy[] = {0, (box.height - th) / 2, box.height - th};
  const HAlign hs[] = {HAlign::left, HAlign::center, HAlign::right, HAlign::justify};
  const VAlign vs[] = {VAlign::top, VAlign::vcenter, VAlign::bottom};
  for (int h = 0; h < 4; ++h)
    for (int v = 0; v < 3; ++v) {
      const auto s = draw(hs[h], vs[v]);
      EXPECT_TRUE(same_shifted(*left_top, *s, dx[h], dy[v])) << h << "," << v;
      EXPECT_EQ(count_changed(*s, kWhite), count_changed(*left_top, kWhite)) << h << "," << v;
    }
  EXPECT_EQ(halign_from_index(2), HAlign::right);
  EXPECT_EQ(halign_from_index(9), HAlign::left);
  EXPECT_EQ(valign_from_index(-1), VAlign::top);
  EXPECT_EQ(kHAlignNames[3].name, u"JUSTIFY");
  EXPECT_EQ(kVAlignNames[1].name, u"VCENTER");
}

TEST(DrawText, UnderlineIsALineUnderTheWholeExtent) {
  const FontRef plain = dejavu();
  const FontRef underlined = dejavu(12, true);
  LV_REQUIRE_FONT(underlined);
  auto s = filled(100, 30, kWhite);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  draw_text(plain, canvas, kBlack, u"    ", {4, 4}, {90, 22}, HAlign::left, VAlign::top,
            Ellipsis::none);
  EXPECT_EQ(count_changed(*s, kWhite), 0);
  draw_text(underlined, canvas, kBlack, u"    ", {4, 4}, {90, 22}, HAlign::left, VAlign::top,
            Ellipsis::none);
  const Rect line = ink_box(*s, kWhite);
  const int32_t row = 4 + underlined->ascent() + underlined->underline_offset();
  EXPECT_EQ(line, (Rect{4, row, 4 + width_of(underlined, u"    "),
                        row + underlined->underline_thickness()}));
  EXPECT_EQ(s->pixel(4, row), 0x0020);  // black, marked opaque
}

TEST(DrawText, NothingForEmptyTextBoxesOrFonts) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto s = filled(40, 20, kWhite);
  Canvas canvas(s.get());
  const Size scratch = text_scratch_size();
  draw_text(font, canvas, kBlack, u"", {0, 0}, {40, 20}, HAlign::left, VAlign::top, Ellipsis::none);
  for (Size box : {Size{0, 20}, Size{40, 0}, Size{-5, 20}, Size{40, -1}, Size{INT32_MIN, 5}})
    draw_text(font, canvas, kBlack, u"Hi", {0, 0}, box, HAlign::left, VAlign::top, Ellipsis::end);
  draw_text(font, canvas, kBlack, u"Hi", {40, 0}, {20, 20}, HAlign::left, VAlign::top,
            Ellipsis::none);
  FontDesc none;
  none.height = 0;
  draw_text(create_font(none), canvas, kBlack, u"Hi", {0, 0}, {40, 20}, HAlign::left, VAlign::top,
            Ellipsis::none);
  Canvas no_surface;
  draw_text(font, no_surface, kBlack, u"Hi", {0, 0}, {40, 20}, HAlign::left, VAlign::top,
            Ellipsis::none);
  EXPECT_EQ(count_changed(*s, kWhite), 0);
  EXPECT_EQ(text_scratch_size(), scratch);
}

TEST(DrawText, ScratchIsReusedOnlyWhenBothSidesAreLargeEnough) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto s = filled(300, 100, kWhite);
  Canvas canvas(s.get());
  auto draw = [&](Size box) {
    draw_text(font, canvas, kBlack, u"x", {0, 0}, box, HAlign::left, VAlign::top, Ellipsis::none);
  };
  release_text_scratch();
  EXPECT_EQ(text_scratch_size(), (Size{0, 0}));
  draw({100, 10});
  EXPECT_EQ(text_scratch_size(), (Size{100, 10}));
  draw({50, 20});  // the same area, but taller
  EXPECT_EQ(text_scratch_size(), (Size{100, 20}));
  draw({40, 5});
  EXPECT_EQ(text_scratch_size(), (Size{100, 20}));
  draw({200, 80});
  EXPECT_EQ(text_scratch_size(), (Size{200, 80}));
  // Only the visible part of a box needs room.
  draw({100000, 100000});
  EXPECT_EQ(text_scratch_size(), (Size{300, 100}));
}

TEST(DrawText, OverKeyPixelsTheTextBecomesOpaque) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto s = filled(60, 24, rgb565::kKey);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  draw_text(font, canvas, Color{0, 0, 255, 255}, u"Key", {0, 0}, {60, 24}, HAlign::left,
            VAlign::top, Ellipsis::none);
  int32_t changed = 0;
  for (uint32_t y = 0; y < 24; ++y)
    for (uint32_t x = 0; x < 60; ++x) {
      const uint16_t p = s->pixel(x, y);
      if (p == rgb565::kKey) continue;
      ++changed;
      EXPECT_TRUE(rgb565::is_opaque(p));
      EXPECT_EQ(rgb565::blue(p), 31);  // between magenta and blue, blue stays full
    }
  EXPECT_GT(changed, 10);
}

TEST(DrawText, RedrawingComesFromTheGlyphCache) {
  const FontRef font = dejavu(13);
  LV_REQUIRE_FONT(font);
  auto first = filled(200, 24, kWhite);
  auto second = filled(200, 24, kWhite);
  Canvas a(first.get()), b(second.get());
  const std::u16string line = u"twenty characters ok";
  draw_text(font, a, kBlack, line, {0, 0}, {200, 24}, HAlign::left, VAlign::top, Ellipsis::none);
  const GlyphCacheStats after_first = font->cache_stats();
  draw_text(font, b, kBlack, line, {0, 0}, {200, 24}, HAlign::left, VAlign::top, Ellipsis::none);
  const GlyphCacheStats after_second = font->cache_stats();
  EXPECT_EQ(after_second.misses, after_first.misses);
  EXPECT_EQ(after_second.hits - after_first.hits, line.size());
  EXPECT_TRUE(same_shifted(*first, *second, 0, 0));
}

TEST(DrawText, HugeFontsAreDrawnClipped) {
  FontDesc d;
  d.height = 1000000;
  d.face = u"DejaVu Sans";
  const FontRef font = create_font(d);
  LV_REQUIRE_FONT(font);
  auto s = filled(64, 64, kWhite);
  test::SaveOnFailure save(*s);
  Canvas canvas(s.get());
  release_text_scratch();
  // The surface lies over the left stem of an 'H' a thousand pixels high.
  draw_text(font, canvas, kBlack, u"H", {-130, -500}, {2000, 2000}, HAlign::left, VAlign::top,
            Ellipsis::end);
  EXPECT_EQ(text_scratch_size(), (Size{64, 64}));
  EXPECT_GT(count_changed(*s, kWhite), 64 * 64 / 4);
}

}  // namespace
}  // namespace lv
