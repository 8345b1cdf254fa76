#include "skin/text.h"

#include <gtest/gtest.h>

#include "skin/canvas.h"
#include "skin/rgb565.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::dejavu;
using test::filled_surface;
using Surfaces = std::unique_ptr<Surface>;

constexpr uint16_t kWhite = 0xFFDF;  // white with the opaque bit clear
constexpr Color kBlack{0, 0, 0, 255};

// Bounding box of the pixels that differ from `background`, and their number.
Rect ink_box(const Surface& s, uint16_t background = kWhite, int32_t* count = nullptr) {
  Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  int32_t n = 0;
  for (int32_t y = 0; y < int32_t(s.height()); ++y)
    for (int32_t x = 0; x < int32_t(s.width()); ++x)
      if (s.pixel(x, y) != background && ++n)
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
  if (count) *count = n;
  return n == 0 ? Rect{} : box;
}

// a(x, y) == b(x + dx, y + dy) wherever both exist.
bool same_shifted(const Surface& a, const Surface& b, int32_t dx, int32_t dy) {
  for (int32_t y = std::max(0, -dy); y < int32_t(a.height()) && y + dy < int32_t(b.height()); ++y)
    for (int32_t x = std::max(0, -dx); x < int32_t(a.width()) && x + dx < int32_t(b.width()); ++x)
      if (a.pixel(x, y) != b.pixel(x + dx, y + dy)) return false;
  return true;
}

int32_t width_of(const FontRef& font, std::u16string_view text) {
  return measure_text(font, text).width;
}

// Black text on white in a fresh surface of `size`.
Surfaces drawn(const FontRef& font, Size size, std::u16string_view text, Point pos, Size box,
               HAlign h = HAlign::left, VAlign v = VAlign::top, Ellipsis e = Ellipsis::none) {
  auto s = filled_surface(size.width, size.height, kWhite);
  Canvas canvas(s.get());
  draw_text(font, canvas, kBlack, text, pos, box, h, v, e);
  return s;
}

TEST(MeasureText, ExtentsFitBrokenTextAndEllipsesNeverWiderThanTheirBox) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  std::vector<int32_t> extents;
  const int32_t h = width_of(font, u"H"), i = width_of(font, u"i");
  const TextExtent e = measure_text(font, u"HiH", -1, &extents);
  EXPECT_TRUE(h == 12 && e.width == 2 * h + i && e.height == 19);
  EXPECT_EQ(extents, (std::vector<int32_t>{h, h + i, 2 * h + i}));
  // What fits in a maximum; the width is the whole text's all the same.
  EXPECT_TRUE(measure_text(font, u"HHHH", 2 * h).fit == 2 &&
              measure_text(font, u"HHHH", 2 * h).width == 4 * h);
  EXPECT_EQ(measure_text(font, u"HHHH", 2 * h - 1).fit, 1);
  // A surrogate pair is one character of two units; controls take no room;
  // lone surrogates are U+FFFD.
  measure_text(font, u"A\U0001F600B", -1, &extents);
  EXPECT_TRUE(extents.size() == 4u && extents[1] == extents[2] && extents[2] > extents[0]);
  EXPECT_EQ(width_of(font, u"A\nB\t\rC\u0085"), width_of(font, u"ABC"));
  EXPECT_EQ(width_of(font, std::u16string{char16_t(0xD800)}), width_of(font, u"\uFFFD"));
  const std::u16string text = u"Holiday pictures of 2009, Lake Constance";
  // {text, room: the width of a text plus pixels, result}. Exactly wide
  // enough keeps the last character; a pixel less drops it and the space
  // before it; a surrogate pair is kept or dropped whole.
  const std::tuple<std::u16string, std::u16string, int32_t, std::u16string> cases[] = {
      {text, text, 0, text},
      {u"Hello world", u"Hello w...", 0, u"Hello w..."},
      {u"Hello world", u"Hello w...", -1, u"Hello..."},
      {u"Hello", u"...", -1, u".."},
      {u"Hello", u".", -1, u""},
      {u"\U0001F600\U0001F600\U0001F600", u"\U0001F600...", 1, u"\U0001F600..."}};
  for (const auto& [line, room, plus, fitted] : cases)
    EXPECT_EQ(fit_with_ellipsis(font, line, width_of(font, room) + plus), fitted) << to_utf8(line);
  // Drawn with Ellipsis::end it is what fit_with_ellipsis gives.
  const int32_t w = width_of(font, text) / 2;
  const auto cut =
      drawn(font, {200, 30}, text, {10, 5}, {w, 20}, HAlign::right, VAlign::top, Ellipsis::end);
  const auto fitted =
      drawn(font, {200, 30}, fit_with_ellipsis(font, text, w), {10, 5}, {w, 20}, HAlign::right);
  EXPECT_TRUE(same_shifted(*cut, *fitted, 0, 0));
}

TEST(DrawText, AlignmentsMoveTheLineByTheRoomLeftAndNothingLeavesTheBoxTheClipOrTheSurface) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  const std::u16string text = u"Pictures";
  // Odd room on both axes: centring truncates.
  const Size box{width_of(font, text) + 41, font->height() + 21};
  const Size size{box.width + 20, box.height + 20};
  const auto left_top = drawn(font, size, text, {10, 10}, box);
  int32_t ink = 0, moved_ink = 0;
  ASSERT_FALSE(ink_box(*left_top, kWhite, &ink).empty());
  const int32_t dx[] = {0, 20, 41, 0};  // JUSTIFY is drawn as LEFT
  const int32_t dy[] = {0, 10, 21};
  for (int h = 0; h < 4; ++h)
    for (int v = 0; v < 3; ++v) {
      const auto s =
          drawn(font, size, text, {10, 10}, box, halign_from_index(h), valign_from_index(v));
      ink_box(*s, kWhite, &moved_ink);
      EXPECT_TRUE(same_shifted(*left_top, *s, dx[h], dy[v]) && moved_ink == ink) << h << "," << v;
    }
  // Only inside the box, the clip and the surface.
  const Rect boxed = ink_box(*drawn(font, {60, 40}, u"WWWWWWWW", {10, 10}, {30, 12}));
  EXPECT_TRUE(!boxed.empty() && boxed.left >= 10 && boxed.top >= 10 && boxed.right <= 40 &&
              boxed.bottom <= 22);
  const auto full = drawn(font, {60, 40}, u"WWWWWWWW", {0, 0}, {60, 40});
  auto clipped = filled_surface(60, 40, kWhite);
  Canvas part(clipped.get());
  part.set_clip({15, 5}, {35, 15});
  draw_text(font, part, kBlack, u"WWWWWWWW", {0, 0}, {60, 40}, HAlign::left, VAlign::top,
            Ellipsis::none);
  EXPECT_TRUE(test::holds(*clipped, [&](int32_t x, int32_t y) {
    return test::contains({15, 5, 35, 15}, x, y) ? full->pixel(x, y) : kWhite;
  }));
  // Boxes left of and above the surface write from its first column and row.
  const auto reference = drawn(font, {90, 24}, u"Hamburg", {0, 2}, {90, 20}, HAlign::center);
  const auto shifted = drawn(font, {80, 24}, u"Hamburg", {-10, 2}, {90, 20}, HAlign::center);
  EXPECT_TRUE(same_shifted(*shifted, *reference, 10, 0));
  const auto high = drawn(font, {90, 24}, u"Hamburg", {0, -4}, {90, 20}, HAlign::center);
  EXPECT_TRUE(same_shifted(*high, *reference, 0, 6));
}

TEST(DrawText, ScratchCoversOnlyTheVisibleBoxAndEmptyDrawingsUseNone) {
  const FontRef font = dejavu();
  LV_REQUIRE_FONT(font);
  auto s = filled_surface(300, 100, kWhite);
  Canvas canvas(s.get());
  // Nothing for a box of no area or off the surface, an empty text, or a
  // font without glyphs; then the visible part of the box, grown to the
  // tallest and widest asked for.
  const std::tuple<std::u16string_view, Point, Size, FontRef, Size> cases[] = {
      {u"Hi", {0, 0}, {0, 20}, font, {0, 0}},
      {u"Hi", {0, 0}, {40, -1}, font, {0, 0}},
      {u"Hi", {0, 0}, {INT32_MIN, 5}, font, {0, 0}},
      {u"", {0, 0}, {40, 20}, font, {0, 0}},
      {u"Hi", {300, 0}, {20, 20}, font, {0, 0}},
      {u"Hi", {0, 0}, {40, 20}, dejavu(0), {0, 0}},
      {u"x", {0, 0}, {100, 10}, font, {100, 10}},
      {u"x", {0, 0}, {50, 20}, font, {100, 20}},
      {u"x", {0, 0}, {100000, 100000}, font, {300, 100}}};
  release_text_scratch();
  for (const auto& [text, pos, box, f, scratch] : cases) {
    draw_text(f, canvas, kBlack, text, pos, box, HAlign::left, VAlign::top, Ellipsis::end);
    EXPECT_TRUE(scratch.width > 0 || ink_box(*s).empty());
    EXPECT_EQ(text_scratch_size(), scratch) << box.width << " x " << box.height;
  }
  // A glyph a thousand pixels high is drawn clipped to the surface.
  auto over = filled_surface(64, 64, kWhite);
  Canvas over_canvas(over.get());
  release_text_scratch();
  draw_text(dejavu(1000000), over_canvas, kBlack, u"H", {-130, -500}, {2000, 2000}, HAlign::left,
            VAlign::top, Ellipsis::end);
  EXPECT_EQ(text_scratch_size(), (Size{64, 64}));
  int32_t stem = 0;
  ink_box(*over, kWhite, &stem);
  EXPECT_GT(stem, 64 * 64 / 4) << "the left stem of the 'H'";
}

}  // namespace
}  // namespace lv
