#include "skin/transition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "skin/canvas.h"
#include "skin/render_surface.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {
namespace {

using Direction = Transition::Direction;

// Every picture pixel names its picture and its own position, so a drawn
// destination pixel tells where it came from: bits 13-14 the picture,
// bits 7-12 the row, bits 0-6 the column. None of them is the key.
constexpr uint16_t kBackground = 0x6000;
constexpr uint16_t kOut = 0x2000;
constexpr uint16_t kIn = 0x4000;

uint16_t code(uint16_t picture, int x, int y) {
  return static_cast<uint16_t>(picture | (y << 7) | x);
}
uint16_t picture_of(uint16_t p) {
  return p & 0x6000;
}
int column_of(uint16_t p) {
  return p & 0x7F;
}
int row_of(uint16_t p) {
  return (p >> 7) & 0x3F;
}

void paint(RenderSurface& rs, int w, int h, uint16_t picture) {
  rs.recreate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rs.surface()->set_pixel(x, y, code(picture, x, y));
}

struct Destination {
  Destination(int w, int h) : rs(w, h) { rs.surface()->fill(kBackground); }
  uint16_t at(int x, int y) const { return rs.surface()->pixel(x, y); }
  RenderSurface rs;
};

// What the destination should hold: pictures placed 1:1, each cut to a
// rectangle (the transition's frame, the canvas clip).
class Expected {
 public:
  Expected(int w, int h) : m_w(w), m_h(h), m_px(size_t(w) * h, kBackground) {}

  void place(uint16_t picture, Size size, Point at, const Rect& cut) {
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        const int dx = at.x + x, dy = at.y + y;
        if (dx < cut.left || dx >= cut.right || dy < cut.top || dy >= cut.bottom) continue;
        if (dx < 0 || dy < 0 || dx >= m_w || dy >= m_h) continue;
        m_px[size_t(dy) * m_w + dx] = code(picture, x, y);
      }
    }
  }
  void set(int x, int y, uint16_t value) { m_px[size_t(y) * m_w + x] = value; }

  ::testing::AssertionResult matches(const Destination& d) const {
    int wrong = 0;
    std::string first;
    for (int y = 0; y < m_h; ++y) {
      for (int x = 0; x < m_w; ++x) {
        const uint16_t want = m_px[size_t(y) * m_w + x];
        if (d.at(x, y) == want) continue;
        if (wrong++ == 0) {
          char text[96];
          std::snprintf(text, sizeof text, "first at (%d, %d): got 0x%04X, want 0x%04X", x, y,
                        d.at(x, y), want);
          first = text;
        }
      }
    }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ, " << first;
  }

 private:
  int m_w, m_h;
  std::vector<uint16_t> m_px;
};

constexpr Rect kNoCut{-100000, -100000, 100000, 100000};

Rect frame_at(Point p, Size s) {
  return {p.x, p.y, p.x + s.width, p.y + s.height};
}

std::unique_ptr<Transition> make(std::u16string_view name) {
  auto t = make_transition(name);
  EXPECT_NE(t, nullptr) << "no transition for the name";
  return t;
}

// Starts `t` and steps it to progress `target`: forward from 0, or backward
// from 1 when `direction` says so.
void start_at(Transition& t, RenderSurface* out, RenderSurface* in, Direction direction,
              double target, std::unique_ptr<RowBlitter> blitter = nullptr) {
  t.start(out, direction, in, std::move(blitter));
  const double distance = direction == Direction::forward ? target : 1.0 - target;
  if (distance > 0) t.advance(distance / (5.0 * t.speed()));
  ASSERT_TRUE(t.running());
  ASSERT_NEAR(t.progress(), target, 1e-12);
}

// A transition of `name` holding fresh pictures of the given sizes (an empty
// size: no picture), standing at progress `t`. It is reached playing
// forward, except t = 1, which only a backward start shows.
struct Play {
  Size out, in;
  double t = 0.0;
  Direction direction = Direction::forward;
  Point in_key{-1, -1};  // an incoming pixel set to the key
  std::unique_ptr<RowBlitter> blitter;
};

std::unique_ptr<Transition> playing(std::u16string_view name, Play play) {
  auto t = make(name);
  if (!t) return t;
  RenderSurface out, in;
  if (play.out.width > 0) paint(out, play.out.width, play.out.height, kOut);
  if (play.in.width > 0) paint(in, play.in.width, play.in.height, kIn);
  if (play.in_key.x >= 0) in.surface()->set_pixel(play.in_key.x, play.in_key.y, rgb565::kKey);
  const Direction dir = play.t == 1.0 ? Direction::backward : play.direction;
  start_at(*t, play.out.width > 0 ? &out : nullptr, play.in.width > 0 ? &in : nullptr, dir, play.t,
           std::move(play.blitter));
  return t;
}

// ---------------------------------------------------------------- names

TEST(TransitionNames, EachSkinStringMakesItsKind) {
  struct Case {
    std::u16string_view name;
    TransitionKind kind;
    double speed;
  };
  const Case cases[] = {
      {u"scale", TransitionKind::scale, 1.0},       {u"pop", TransitionKind::pop, 0.5},
      {u"right", TransitionKind::slide_right, 1.0}, {u"bottom", TransitionKind::slide_bottom, 1.0},
      {u"left", TransitionKind::slide_left, 1.0},   {u"top", TransitionKind::slide_top, 1.0},
      {u"flip", TransitionKind::flip, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    auto t = make_transition(c.name);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind(), c.kind);
    EXPECT_EQ(t->speed(), c.speed);
    EXPECT_TRUE(t->finished()) << "a new transition is not running";

    RenderSurface in;
    paint(in, 4, 4, kIn);
    t->start(nullptr, Direction::forward, &in);
    auto copy = t->clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->kind(), c.kind);
    EXPECT_TRUE(copy->finished()) << "a clone is not started";
  }
}

TEST(TransitionNames, AnyOtherStringMakesNone) {
  for (std::u16string_view name : {u"", u"Scale", u"SCALE", u" flip", u"flip ", u"slide", u"fade",
                                   u"righ", u"rightt", u"none", u"0"}) {
    EXPECT_EQ(make_transition(name), nullptr) << std::string(name.begin(), name.end());
  }
  EXPECT_EQ(make_transition(std::u16string_view(u"pop\0", 4)), nullptr);
}

// ---------------------------------------------------------------- clock

TEST(TransitionClock, ForwardEndsAtOneAfterItsDuration) {
  for (auto [name, steps] : {std::pair{u"scale", 4}, {u"left", 4}, {u"pop", 8}, {u"flip", 8}}) {
    SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
    auto t = playing(name, {.in = {3, 3}, .t = 0.0});
    EXPECT_EQ(t->direction(), Direction::forward);
    // 0.05 s steps: 0.25 of the way at speed 1, 0.125 at speed 0.5.
    for (int i = 1; i < steps; ++i) {
      t->advance(0.05);
      ASSERT_TRUE(t->running()) << "step " << i;
      EXPECT_DOUBLE_EQ(t->progress(), double(i) / steps);
    }
    t->advance(0.05);
    EXPECT_TRUE(t->finished());
    EXPECT_EQ(t->direction(), Direction::stopped);
    EXPECT_EQ(t->progress(), 1.0);
    t->advance(0.05);
    EXPECT_EQ(t->progress(), 1.0) << "a finished transition stays put";
  }
}

TEST(TransitionClock, OvershootingAStepEndsExactlyAtTheEnd) {
  auto t = playing(u"top", {.in = {3, 3}, .t = 0.5, .direction = Direction::backward});
  EXPECT_EQ(t->direction(), Direction::backward);
  t->advance(0.15);
  EXPECT_TRUE(t->finished());
  EXPECT_EQ(t->progress(), 0.0);

  t = playing(u"flip", {.in = {3, 3}, .t = 0.0});
  t->advance(1.0);
  EXPECT_TRUE(t->finished()) << "one second ends even the slow kinds at once";
  EXPECT_EQ(t->progress(), 1.0);
}

TEST(TransitionClock, StepsThatAreNotPositiveAreIgnored) {
  auto t = playing(u"scale", {.in = {3, 3}, .t = 0.25});
  for (double bad : {0.0, -0.1, -1e9, std::numeric_limits<double>::quiet_NaN(),
                     -std::numeric_limits<double>::infinity()}) {
    t->advance(bad);
    ASSERT_TRUE(t->running());
    EXPECT_EQ(t->progress(), 0.25);
  }
  // A huge step still ends it rather than leaving t undefined.
  t->advance(std::numeric_limits<double>::infinity());
  EXPECT_TRUE(t->finished());
  EXPECT_EQ(t->progress(), 1.0);
}

TEST(TransitionClock, ReverseTurnsBackFromWhereItStands) {
  auto t = playing(u"scale", {.in = {3, 3}, .t = 0.5});
  t->reverse();
  EXPECT_EQ(t->direction(), Direction::backward);
  EXPECT_EQ(t->progress(), 0.5);
  t->advance(0.05);
  EXPECT_DOUBLE_EQ(t->progress(), 0.25);
  t->reverse();
  t->reverse();
  t->advance(0.05);
  EXPECT_TRUE(t->finished());
  EXPECT_EQ(t->progress(), 0.0);
  t->reverse();
  EXPECT_TRUE(t->finished()) << "reversing a finished transition does not restart it";
}

TEST(TransitionClock, PicturesAreTakenOverAndReleasedAtTheEnd) {
  const int64_t base = RenderSurface::pixel_account();
  auto t = make(u"right");
  RenderSurface out, in;
  paint(out, 10, 10, kOut);
  paint(in, 20, 5, kIn);
  ASSERT_EQ(RenderSurface::pixel_account(), base + 200);

  t->start(&out, Direction::forward, &in);
  EXPECT_EQ(out.surface(), nullptr) << "the caller's render surfaces are left empty";
  EXPECT_EQ(in.surface(), nullptr);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 200) << "moved, not copied";

  // Starting again while running lets the first pictures go.
  paint(in, 4, 4, kIn);
  t->start(nullptr, Direction::backward, &in);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 16);
  EXPECT_EQ(t->progress(), 1.0);

  t->advance(0.2);
  EXPECT_TRUE(t->finished());
  EXPECT_EQ(RenderSurface::pixel_account(), base) << "a finished transition holds no pixels";
  {
    Destination d(8, 8);
    t->draw(d.rs, {0, 0});
    EXPECT_TRUE(Expected(8, 8).matches(d));
  }

  // Started stopped, it ends at once and keeps nothing.
  paint(in, 6, 6, kIn);
  t->start(nullptr, Direction::stopped, &in);
  EXPECT_TRUE(t->finished());
  EXPECT_EQ(RenderSurface::pixel_account(), base);
}

// ---------------------------------------------------------------- scale, pop

TEST(TransitionScale, GrowsTheIncomingPictureFromTheCentre) {
  const Point p{5, 6};
  const Size s{8, 8};
  // t = 0: the outgoing picture alone, in place.
  auto t = playing(u"scale", {.out = s, .in = s, .t = 0.0});
  Destination d(20, 20);
  t->draw(d.rs, p);
  Expected e(20, 20);
  e.place(kOut, s, p, kNoCut);
  EXPECT_TRUE(e.matches(d));

  // t = 0.5: a quarter of the width and height, centred, over the outgoing
  // one, both when showing and when hiding (no outgoing picture then).
  for (Direction dir : {Direction::forward, Direction::backward}) {
    const bool showing = dir == Direction::forward;
    t = playing(u"scale", {.out = showing ? s : Size{}, .in = s, .t = 0.5, .direction = dir});
    Destination half(20, 20);
    t->draw(half.rs, p);
    Expected quarter(20, 20);
    if (showing) quarter.place(kOut, s, p, kNoCut);
    quarter.set(8, 9, code(kIn, 0, 0));
    quarter.set(9, 9, code(kIn, 4, 0));
    quarter.set(8, 10, code(kIn, 0, 4));
    quarter.set(9, 10, code(kIn, 4, 4));
    EXPECT_TRUE(quarter.matches(half)) << (showing ? "showing" : "hiding");
  }

  // t = 1: the incoming picture alone, in place.
  t = playing(u"scale", {.out = s, .in = s, .t = 1.0});
  Destination whole(20, 20);
  t->draw(whole.rs, p);
  Expected in_place(20, 20);
  in_place.place(kIn, s, p, kNoCut);
  EXPECT_TRUE(in_place.matches(whole));
}

TEST(TransitionScale, TheIncomingPictureUsesItsBlitter) {
  // A key pixel in the incoming picture shows the outgoing one through it
  // with the default key blitter, and is copied with a copy blitter.
  for (bool copy : {false, true}) {
    auto t = playing(u"scale", {.out = {4, 4},
                                .in = {4, 4},
                                .t = 1.0,
                                .in_key = {1, 2},
                                .blitter = copy ? std::make_unique<CopyBlitter>() : nullptr});
    Destination d(4, 4);
    t->draw(d.rs, {0, 0});
    EXPECT_EQ(d.at(1, 2), copy ? rgb565::kKey : code(kOut, 1, 2));
    EXPECT_EQ(d.at(2, 2), code(kIn, 2, 2));
  }
}

TEST(TransitionPop, SwellsPastItsSizeAndSettles) {
  const Point p{10, 10};
  const Size s{20, 20};
  auto t = playing(u"pop", {.in = s, .t = 0.0});
  Destination nothing(40, 40);
  t->draw(nothing.rs, p);
  EXPECT_TRUE(Expected(40, 40).matches(nothing)) << "t = 0";

  // t = 0.5: f = 1 + cos(pi/4) / (3pi/4 + 1) = 1.2107, so 24 x 24 at p - 2.
  t = playing(u"pop", {.in = s, .t = 0.5});
  Destination swollen(40, 40);
  t->draw(swollen.rs, p);
  for (int i = 0; i < 40; ++i) {
    const bool inside = i >= 8 && i < 32;
    EXPECT_EQ(picture_of(swollen.at(i, 20)) == kIn, inside) << "column " << i;
    EXPECT_EQ(picture_of(swollen.at(20, i)) == kIn, inside) << "row " << i;
  }
  EXPECT_EQ(swollen.at(8, 8), code(kIn, 0, 0));
  EXPECT_EQ(swollen.at(31, 31), code(kIn, 19, 19));
  EXPECT_EQ(swollen.at(31, 8), code(kIn, 19, 0));

  t = playing(u"pop", {.in = s, .t = 1.0});
  Destination settled(40, 40);
  t->draw(settled.rs, p);
  Expected e(40, 40);
  e.place(kIn, s, p, kNoCut);
  EXPECT_TRUE(e.matches(settled)) << "t = 1";
}

// ---------------------------------------------------------------- slides

struct SlideCase {
  const char16_t* name;
  double t;
  Point in_offset;
  Point out_offset;
};

// Pictures 101 x 61: at t = 0.5 the truncations split 101 into 50 and 51
// and 61 into 30 and 31.
const SlideCase kSlides[] = {
    {u"right", 0.0, {101, 0}, {0, 0}},   {u"right", 0.5, {50, 0}, {-51, 0}},
    {u"right", 1.0, {0, 0}, {-101, 0}},  {u"bottom", 0.0, {0, 61}, {0, 0}},
    {u"bottom", 0.5, {0, 30}, {0, -31}}, {u"bottom", 1.0, {0, 0}, {0, -61}},
    {u"left", 0.0, {-101, 0}, {0, 0}},   {u"left", 0.5, {-50, 0}, {51, 0}},
    {u"left", 1.0, {0, 0}, {101, 0}},    {u"top", 0.0, {0, -61}, {0, 0}},
    {u"top", 0.5, {0, -30}, {0, 31}},    {u"top", 1.0, {0, 0}, {0, 61}},
};

constexpr Size kSlideSize{101, 61};

Point plus(Point a, Point b) {
  return {a.x + b.x, a.y + b.y};
}

TEST(TransitionSlide, PushesTheOutgoingPictureOutOfTheFrame) {
  const Point p{20, 10};
  for (const SlideCase& c : kSlides) {
    // Both directions reach the middle; the ends are reached from their side.
    for (Direction dir : {Direction::forward, Direction::backward}) {
      if ((c.t == 0.0 && dir == Direction::backward) || (c.t == 1.0 && dir == Direction::forward))
        continue;
      SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) +
                   " t=" + std::to_string(c.t) + (dir == Direction::forward ? " fwd" : " back"));
      auto t = playing(c.name, {.out = kSlideSize, .in = kSlideSize, .t = c.t, .direction = dir});
      Destination d(140, 80);
      t->draw(d.rs, p);
      Expected e(140, 80);
      const Rect frame = frame_at(p, kSlideSize);
      e.place(kOut, kSlideSize, plus(p, c.out_offset), frame);
      e.place(kIn, kSlideSize, plus(p, c.in_offset), frame);
      EXPECT_TRUE(e.matches(d));
      EXPECT_EQ(d.rs.clip(), (Rect{0, 0, 140, 80})) << "the clip guard is closed";
      EXPECT_EQ(d.rs.clip_in_effect(), 0);
    }
  }
}

TEST(TransitionSlide, HidingLeavesTheVacatedPartUntouched) {
  auto t = playing(u"right", {.in = kSlideSize, .t = 0.5, .direction = Direction::backward});
  Destination d(130, 70);
  t->draw(d.rs, {5, 4});
  Expected e(130, 70);
  e.place(kIn, kSlideSize, {55, 4}, frame_at({5, 4}, kSlideSize));
  EXPECT_TRUE(e.matches(d));
}

TEST(TransitionSlide, StaysInsideTheCanvasClipAtNegativePositions) {
  const Point p{-40, -20};
  const Rect clip{3, 2, 50, 30};
  const Rect frame = frame_at(p, kSlideSize);
  const Rect cut{std::max(frame.left, clip.left), std::max(frame.top, clip.top),
                 std::min(frame.right, clip.right), std::min(frame.bottom, clip.bottom)};
  for (const SlideCase& c : kSlides) {
    if (c.t != 0.5) continue;
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    auto t = playing(c.name, {.out = kSlideSize, .in = kSlideSize, .t = 0.5});
    Destination d(60, 40);
    d.rs.set_clip({clip.left, clip.top}, {clip.right, clip.bottom});
    {
      // Drawn inside an element's own guard, as the element tree does.
      ClipGuard outer(d.rs, {0, 0}, {60, 40});
      t->draw(d.rs, p);
      EXPECT_EQ(d.rs.clip_in_effect(), 1);
      EXPECT_EQ(d.rs.clip(), clip);
    }
    Expected e(60, 40);
    e.place(kOut, kSlideSize, plus(p, c.out_offset), cut);
    e.place(kIn, kSlideSize, plus(p, c.in_offset), cut);
    EXPECT_TRUE(e.matches(d));
  }
}

TEST(TransitionSlide, IncomingKeyPixelsShowWhatLiesBehind) {
  auto t = playing(u"left", {.out = {10, 4}, .in = {10, 4}, .t = 1.0, .in_key = {0, 1}});
  Destination d(10, 4);
  t->draw(d.rs, {0, 0});
  EXPECT_EQ(d.at(0, 1), kBackground) << "the outgoing picture has left the frame";
  EXPECT_EQ(d.at(1, 1), code(kIn, 1, 1));
}

// ---------------------------------------------------------------- flip

// What a flip drew, row by row: the source row and the span of each
// destination row, checked for being a plausible projection of one face.
struct FlipRows {
  std::vector<int> source_row;  // -1 where nothing was drawn
  std::vector<int> left, right;
};

::testing::AssertionResult read_flip(const Destination& d, Point p, Size frame, uint16_t face,
                                     Size face_size, FlipRows& rows) {
  const Surface& s = *d.rs.surface();
  rows = {};
  for (int y = 0; y < int(s.height()); ++y) {
    int src_row = -1, left = -1, right = -1, last_col = -1;
    for (int x = 0; x < int(s.width()); ++x) {
      const uint16_t v = s.pixel(x, y);
      if (v == kBackground) {
        if (left >= 0 && right < 0) right = x;
        continue;
      }
      const bool in_frame = x >= p.x && x < p.x + frame.width && y >= p.y && y < p.y + frame.height;
      if (!in_frame)
        return ::testing::AssertionFailure() << "wrote outside its frame at " << x << "," << y;
      if (picture_of(v) != face || column_of(v) >= face_size.width || row_of(v) >= face_size.height)
        return ::testing::AssertionFailure() << "pixel not from the face at " << x << "," << y;
      if (right >= 0)
        return ::testing::AssertionFailure() << "row " << y << " has a gap in its span";
      if (left < 0) {
        left = x;
        src_row = row_of(v);
      }
      if (row_of(v) != src_row)
        return ::testing::AssertionFailure() << "row " << y << " mixes source rows";
      if (column_of(v) < last_col)
        return ::testing::AssertionFailure() << "row " << y << " runs backwards";
      last_col = column_of(v);
    }
    if (left >= 0 && right < 0) right = int(s.width());
    rows.source_row.push_back(src_row);
    rows.left.push_back(left);
    rows.right.push_back(right);
  }
  int previous = -1;
  for (int y = 0; y < int(rows.source_row.size()); ++y) {
    if (rows.source_row[y] < 0) continue;
    if (rows.source_row[y] < previous)
      return ::testing::AssertionFailure() << "source rows go up at row " << y;
    previous = rows.source_row[y];
  }
  return ::testing::AssertionSuccess();
}

TEST(TransitionFlip, EndsShowOnePictureFlatAndEdgeOnShowsNothing) {
  const Point p{3, 4};
  const Size s{33, 17};
  for (double at : {0.0, 0.5, 1.0}) {
    auto t = playing(u"flip", {.out = s, .in = s, .t = at});
    Destination d(40, 24);
    t->draw(d.rs, p);
    Expected e(40, 24);
    if (at != 0.5) e.place(at == 0.0 ? kOut : kIn, s, p, kNoCut);
    EXPECT_TRUE(e.matches(d)) << "t = " << at;
  }
}

TEST(TransitionFlip, TurnsWithTheNearEdgeWiderAndTheFarEdgeNarrower) {
  const Point p{6, 5};
  const Size s{40, 30};
  struct Case {
    double t;
    uint16_t face;
  };
  for (Case c : {Case{0.25, kOut}, Case{0.75, kIn}}) {
    SCOPED_TRACE(c.t);
    auto t = playing(u"flip", {.out = s, .in = s, .t = c.t});
    Destination d(52, 40);
    t->draw(d.rs, p);
    FlipRows rows;
    ASSERT_TRUE(read_flip(d, p, s, c.face, s, rows));

    int first = -1, last = -1;
    for (int y = 0; y < int(rows.source_row.size()); ++y) {
      if (rows.source_row[y] < 0) continue;
      if (first < 0) first = y;
      last = y;
    }
    ASSERT_GE(first, 0) << "the face is in view";
    // Turned by 45 degrees the face is foreshortened to well under its height.
    EXPECT_GT(first, p.y + 2);
    EXPECT_LT(last, p.y + s.height - 3);
    EXPECT_LT(last - first + 1, s.height * 9 / 10);
    EXPECT_GT(last - first + 1, s.height / 2);
    // The front face turns its top edge towards the eye, the back face its
    // bottom edge: the near row fills the frame, the far row is narrower and
    // centred.
    const int near = c.face == kOut ? first : last;
    const int far = c.face == kOut ? last : first;
    EXPECT_EQ(rows.left[near], p.x);
    EXPECT_EQ(rows.right[near], p.x + s.width);
    EXPECT_GT(rows.left[far], p.x + 1);
    EXPECT_LT(rows.right[far], p.x + s.width - 1);
    EXPECT_LE(std::abs((rows.left[far] - p.x) - (p.x + s.width - rows.right[far])), 1);
    // The near rows are magnified: they cannot show the face's outer columns.
    EXPECT_GT(column_of(d.at(p.x, near)), 0);
    EXPECT_LE(column_of(d.at(rows.left[far], far)), 1);
    EXPECT_GE(column_of(d.at(rows.right[far] - 1, far)), s.width - 2);
  }
}

TEST(TransitionFlip, EveryFrameOfTheTurnSamplesInsideTheFace) {
  for (Size s : {Size{1, 1}, Size{2, 40}, Size{7, 5}, Size{33, 17}, Size{127, 63}}) {
    for (int k = 0; k <= 32; ++k) {
      SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) +
                   " k=" + std::to_string(k));
      auto t = playing(u"flip", {.out = s, .in = s, .t = k / 32.0});
      const Point p{4, 3};
      Destination d(s.width + 8, s.height + 6);
      t->draw(d.rs, p);
      FlipRows rows;
      const uint16_t face = t->progress() <= 0.5 ? kOut : kIn;
      ASSERT_TRUE(read_flip(d, p, s, face, s, rows));
    }
  }
}

TEST(TransitionFlip, ClipsToTheCanvasClipAtNegativePositions) {
  const Size s{30, 24};
  for (double at : {0.3, 0.7, 1.0}) {
    SCOPED_TRACE(at);
    // The same turn drawn whole, far from any edge...
    auto whole = playing(u"flip", {.out = s, .in = s, .t = at});
    const Point ref_p{20, 20};
    Destination ref(70, 64);
    whole->draw(ref.rs, ref_p);

    // ...and hanging off the top-left corner of a clipped canvas.
    auto cut = playing(u"flip", {.out = s, .in = s, .t = at});
    const Point p{-5, -7};
    const Rect clip{2, 3, 25, 14};
    Destination d(28, 18);
    d.rs.set_clip({clip.left, clip.top}, {clip.right, clip.bottom});
    cut->draw(d.rs, p);
    EXPECT_EQ(d.rs.clip(), clip);

    int drawn = 0;
    for (int y = 0; y < 18; ++y) {
      for (int x = 0; x < 28; ++x) {
        const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
        const uint16_t want = inside ? ref.at(x - p.x + ref_p.x, y - p.y + ref_p.y) : kBackground;
        ASSERT_EQ(d.at(x, y), want) << "at " << x << "," << y;
        drawn += want != kBackground;
      }
    }
    EXPECT_GT(drawn, 0) << "the clipped part shows some of the face";
  }
}

TEST(TransitionFlip, CopiesWithoutTransparencyInsideTheIncomingFrame) {
  // A larger outgoing picture is cut to the incoming picture's frame, and
  // key pixels are copied like any other.
  auto t = playing(u"flip", {.out = {30, 30}, .in = {10, 8}, .t = 0.0});
  Destination d(40, 40);
  t->draw(d.rs, {1, 1});
  Expected e(40, 40);
  e.place(kOut, {30, 30}, {1, 1}, frame_at({1, 1}, {10, 8}));
  EXPECT_TRUE(e.matches(d));

  t = playing(u"flip", {.out = {30, 30}, .in = {10, 8}, .t = 1.0, .in_key = {2, 3}});
  Destination d2(12, 10);
  t->draw(d2.rs, {0, 0});
  EXPECT_EQ(d2.at(2, 3), rgb565::kKey);
  EXPECT_EQ(d2.at(3, 3), code(kIn, 3, 3));
  EXPECT_EQ(d2.at(10, 0), kBackground);
}

// ---------------------------------------------------------------- any kind

TEST(TransitionDraw, NothingHappensWithoutASurfaceOrPictures) {
  for (const char16_t* name : {u"scale", u"pop", u"right", u"bottom", u"left", u"top", u"flip"}) {
    auto t = playing(name, {.in = {5, 5}, .t = 0.5});
    Canvas nowhere;
    t->draw(nowhere, {0, 0});
    EXPECT_EQ(nowhere.clip_in_effect(), 0);

    auto empty = make(name);
    empty->start(nullptr, Direction::forward, nullptr);
    Destination d(6, 6);
    empty->draw(d.rs, {0, 0});
    EXPECT_TRUE(Expected(6, 6).matches(d));
  }
}

}  // namespace
}  // namespace lv
