#include "skin/transition.h"

#include <gtest/gtest.h>

#include <limits>

#include "skin/canvas.h"
#include "skin/render_surface.h"
#include "skin/row_blitter.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using Direction = Transition::Direction;
using Pixels = std::function<uint16_t(int32_t, int32_t)>;

// Every picture pixel names its picture (bits 13-14), its row (bits 7-12)
// and its column (bits 0-6).
constexpr uint16_t kBackground = 0x6000, kOut = 0x2000, kIn = 0x4000;
constexpr Rect kNoCut{-100000, -100000, 100000, 100000};
const char16_t* const kKinds[] = {u"scale", u"pop", u"right", u"bottom", u"left", u"top", u"flip"};

uint16_t code(uint16_t picture, int x, int y) {
  return static_cast<uint16_t>(picture | (y << 7) | x);
}

struct Destination {
  Destination(int w, int h) : rs(w, h) { rs.surface()->fill(kBackground); }
  uint16_t at(int x, int y) const { return rs.surface()->pixel(x, y); }
  ::testing::AssertionResult holds(const Pixels& want) const {
    return test::holds(*rs.surface(), want);
  }
  RenderSurface rs;
};

const Pixels kNothing = [](int, int) { return kBackground; };

// A picture of `size` placed 1:1 at `at`, cut to `cut`, over `below`.
uint16_t over(uint16_t below, int x, int y, uint16_t picture, Size size, Point at,
              Rect cut = kNoCut) {
  const bool inside = test::contains(cut, x, y) &&
                      test::contains({at.x, at.y, at.x + size.width, at.y + size.height}, x, y);
  return inside ? code(picture, x - at.x, y - at.y) : below;
}

// A transition of `name` holding fresh pictures of the given sizes (an empty
// size: none), standing at progress t: played forward from 0, or started
// backward at 1 (t = 1 can only be seen that way).
struct Play {
  Size out = {}, in = {};
  double t = 0.0;
};

std::unique_ptr<Transition> playing(std::u16string_view name, Play play) {
  auto t = make_transition(name);
  RenderSurface pictures[2];
  for (int i = 0; i < 2; ++i) {
    const Size s = i == 0 ? play.out : play.in;
    pictures[i].recreate(s.width, s.height);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        pictures[i].surface()->set_pixel(x, y, code(i == 0 ? kOut : kIn, x, y));
  }
  const Direction dir = play.t == 1.0 ? Direction::backward : Direction::forward;
  t->start(play.out.width > 0 ? &pictures[0] : nullptr, dir,
           play.in.width > 0 ? &pictures[1] : nullptr);
  if (play.t > 0 && play.t < 1) t->advance(play.t / (5.0 * t->speed()));
  EXPECT_NEAR(t->progress(), play.t, 1e-12);
  return t;
}

// The destination after drawing a transition of `name` at `at`.
std::unique_ptr<Destination> drawn(Size size, std::u16string_view name, Play play, Point at) {
  auto d = std::make_unique<Destination>(size.width, size.height);
  playing(name, play)->draw(d->rs, at);
  return d;
}

TEST(TransitionClock, RunsItsDurationReversesEndsExactlyAndReleasesItsPictures) {
  EXPECT_FALSE(make_transition(u"") || make_transition(u"Scale") || make_transition(u"rightt"));
  // 0.05 s steps: 0.25 of the way at speed 1 (most kinds, 0.2 s in all).
  auto right = playing(u"right", {.in = {3, 3}});
  for (int i = 0; i < 3; ++i) right->advance(0.05);
  EXPECT_DOUBLE_EQ(right->progress(), 0.75);
  right->advance(0.05);
  EXPECT_TRUE(right->finished() && right->progress() == 1.0);
  // Steps that are not positive are ignored; reversed, it runs back and
  // overshooting ends exactly at the end, and stays there.
  auto t = playing(u"scale", {.in = {3, 3}, .t = 0.5});
  for (double bad : {0.0, -0.1, std::numeric_limits<double>::quiet_NaN()}) t->advance(bad);
  t->reverse();
  t->advance(0.05);
  EXPECT_DOUBLE_EQ(t->progress(), 0.25);
  t->advance(std::numeric_limits<double>::infinity());
  t->reverse();
  EXPECT_TRUE(t->finished() && t->progress() == 0.0);
  // Pictures are moved in, not copied, and let go at the end.
  const int64_t base = RenderSurface::pixel_account();
  t = make_transition(u"right");
  RenderSurface out(10, 10), in(20, 5);
  t->start(&out, Direction::forward, &in);
  EXPECT_TRUE(!out.surface() && !in.surface() && RenderSurface::pixel_account() == base + 200);
  // Starting again while running lets the first pictures go.
  in.recreate(4, 4);
  t->start(nullptr, Direction::backward, &in);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 16);
  t->advance(0.2);
  EXPECT_EQ(RenderSurface::pixel_account(), base) << "a finished transition holds no pixels";
  // Started stopped, it ends at once and keeps nothing.
  in.recreate(6, 6);
  t->start(nullptr, Direction::stopped, &in);
  EXPECT_TRUE(t->finished() && RenderSurface::pixel_account() == base);
  // Without a surface or pictures nothing is drawn, whatever the kind.
  for (const char16_t* name : kKinds) {
    Canvas nowhere;
    playing(name, {.in = {5, 5}, .t = 0.5})->draw(nowhere, {0, 0});
    EXPECT_EQ(nowhere.clip_in_effect(), 0);
    EXPECT_TRUE(drawn({6, 6}, name, {}, {0, 0})->holds(kNothing)) << to_utf8(name);
  }
}

TEST(TransitionGrow, ScaleAndFlipEndFlatAndScaleAndPopGrowTheIncomingPictureFromTheCentre) {
  const Point p{5, 6};
  const Size s{8, 8};
  for (const char16_t* name : {u"scale", u"flip"})
    for (double at : {0.0, 1.0})
      EXPECT_TRUE(drawn({20, 20}, name, {.out = s, .in = s, .t = at}, p)->holds([&](int x, int y) {
        return over(kBackground, x, y, at == 0.0 ? kOut : kIn, s, p);
      })) << to_utf8(name)
          << " t = " << at;
  // Edge on, a flip draws nothing.
  EXPECT_TRUE(drawn({20, 20}, u"flip", {.out = s, .in = s, .t = 0.5}, p)->holds(kNothing));
  // At t = 1 a pop has settled at its place.
  EXPECT_TRUE(
      drawn({40, 40}, u"pop", {.in = {20, 20}, .t = 1.0}, {10, 10})->holds([](int x, int y) {
        return over(kBackground, x, y, kIn, {20, 20}, {10, 10});
      }));
}

TEST(Transition, EveryKindDrawsAlikeAnywhereCutToTheClipAndClosesItsOwnGuard) {
  // The same frame drawn whole, far from any edge, and hanging off the
  // top-left corner of a clipped canvas, cut into on the right and below,
  // inside an element's own clip guard as the element tree draws it.
  const Size s{30, 24};
  const Point p{-5, -7};
  const Rect clip{2, 3, 20, 14};
  for (const char16_t* name : kKinds)
    for (double at : {0.3, 0.7, 1.0}) {
      auto whole = drawn({70, 64}, name, {.out = s, .in = s, .t = at}, {20, 20});
      Destination d(28, 18);
      d.rs.set_clip({clip.left, clip.top}, {clip.right, clip.bottom});
      const Rect before = d.rs.clip();
      {
        ClipGuard outer(d.rs, {0, 0}, {28, 18});
        playing(name, {.out = s, .in = s, .t = at})->draw(d.rs, p);
        EXPECT_EQ(d.rs.clip(), before) << "the transition's own guard is closed";
      }
      EXPECT_TRUE(d.holds([&](int x, int y) {
        return test::contains(clip, x, y) ? whole->at(x - p.x + 20, y - p.y + 20) : kBackground;
      })) << to_utf8(name)
          << " t=" << at;
      EXPECT_FALSE(d.holds(kNothing)) << to_utf8(name) << " t=" << at;
    }
}

TEST(TransitionFlip, EveryFrameDrawsOnlyTheFaceInsideTheFrame) {
  // The first and last frames of each half and the turn between them: the
  // outgoing face up to the turn, then the incoming one, within the frame.
  for (Size size : {Size{1, 1}, Size{2, 40}, Size{127, 63}})
    for (int k : {0, 1, 8, 15, 16, 17, 24, 31, 32}) {
      auto d = drawn({size.width + 8, size.height + 6}, u"flip",
                     {.out = size, .in = size, .t = k / 32.0}, {4, 3});
      EXPECT_TRUE(d->holds([&](int x, int y) {
        const uint16_t v = d->at(x, y);
        const bool sound = test::contains({4, 3, 4 + size.width, 3 + size.height}, x, y) &&
                           (v & 0x6000) == (k <= 16 ? kOut : kIn) && (v & 0x7F) < size.width &&
                           ((v >> 7) & 0x3F) < size.height;
        return sound ? v : kBackground;
      })) << size.width
          << "x" << size.height << " k=" << k;
    }
  // A larger outgoing picture is cut to the incoming picture's frame.
  EXPECT_TRUE(
      drawn({40, 40}, u"flip", {.out = {30, 30}, .in = {10, 8}}, {1, 1})->holds([](int x, int y) {
        return over(kBackground, x, y, kOut, {30, 30}, {1, 1}, {1, 1, 11, 9});
      }));
}

}  // namespace
}  // namespace lv
