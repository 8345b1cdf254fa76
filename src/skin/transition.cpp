#include "skin/transition.h"

#include <cmath>
#include <numbers>

#include "skin/canvas.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skin/transition_flip.h"

namespace lv {

namespace {

// Progress units per second at speed 1.
constexpr double kRate = 5.0;

const RowBlitter& copy_blitter() {
  static const CopyBlitter copy;
  return copy;
}

// Every conversion from a computed position or size to pixels truncates
// toward zero.
int32_t trunc_to_int(double value) {
  return static_cast<int32_t>(value);
}

Point offset(Point p, int32_t dx, int32_t dy) {
  return {saturating_add(p.x, dx), saturating_add(p.y, dy)};
}

// "scale" and "pop": the outgoing picture stays in place and the incoming
// one grows over it, centred, to growth(t) of its size.
class GrowTransition : public Transition {
 public:
  using Transition::Transition;

  void draw(Canvas& canvas, Point position) const override {
    outgoing().draw_onto(canvas, position, copy_blitter());
    const Size full = incoming().size();
    if (full.width < 1 || full.height < 1) return;
    const double f = growth(progress());
    const Size scaled{trunc_to_int(full.width * f), trunc_to_int(full.height * f)};
    const Point at = offset(position, trunc_to_int(0.5 * (full.width - scaled.width)),
                            trunc_to_int(0.5 * (full.height - scaled.height)));
    incoming().stretch_onto(canvas, at, scaled, incoming_blitter());
  }

 private:
  virtual double growth(double t) const = 0;
};

class ScaleTransition final : public GrowTransition {
 public:
  ScaleTransition() : GrowTransition(1.0) {}
  std::unique_ptr<Transition> clone() const override { return std::make_unique<ScaleTransition>(); }
  TransitionKind kind() const override { return TransitionKind::scale; }

 private:
  double growth(double t) const override { return t * t; }
};

class PopTransition final : public GrowTransition {
 public:
  PopTransition() : GrowTransition(0.5) {}
  std::unique_ptr<Transition> clone() const override { return std::make_unique<PopTransition>(); }
  TransitionKind kind() const override { return TransitionKind::pop; }

 private:
  // 0 at t = 0, swelling to about 1.24 near t = 2/3 and settling at 1. The
  // end is pinned so that rounding in cos(3 pi / 2) cannot leave the last
  // frame a pixel short.
  double growth(double t) const override {
    if (t >= 1.0) return 1.0;
    const double a = t * std::numbers::pi * 1.5;
    return 1.0 - std::cos(a) / (a + 1.0);
  }
};

// The incoming picture enters from the named side and pushes the outgoing
// one out of the opposite side, both cut to the transition's rectangle.
class SlideTransition final : public Transition {
 public:
  enum class Mode : int32_t { right = 0, bottom = 1, left = 2, top = 3 };

  explicit SlideTransition(Mode mode) : Transition(1.0), m_mode(mode) {}

  std::unique_ptr<Transition> clone() const override {
    return std::make_unique<SlideTransition>(m_mode);
  }

  TransitionKind kind() const override {
    switch (m_mode) {
      case Mode::right:
        return TransitionKind::slide_right;
      case Mode::bottom:
        return TransitionKind::slide_bottom;
      case Mode::left:
        return TransitionKind::slide_left;
      case Mode::top:
        return TransitionKind::slide_top;
    }
    return TransitionKind::slide_right;
  }

  void draw(Canvas& canvas, Point position) const override {
    const Size size = frame_size();
    const double rest = 1.0 - progress();
    int32_t in_x = 0, in_y = 0, out_x = 0, out_y = 0;
    switch (m_mode) {
      case Mode::right:
        in_x = trunc_to_int(rest * size.width);
        out_x = in_x - size.width;
        break;
      case Mode::bottom:
        in_y = trunc_to_int(rest * size.height);
        out_y = in_y - size.height;
        break;
      case Mode::left:
        in_x = trunc_to_int(rest * -size.width);
        out_x = in_x + size.width;
        break;
      case Mode::top:
        in_y = trunc_to_int(rest * -size.height);
        out_y = in_y + size.height;
        break;
    }
    ClipGuard guard(canvas, position, size);
    outgoing().draw_onto(canvas, offset(position, out_x, out_y), copy_blitter());
    incoming().draw_onto(canvas, offset(position, in_x, in_y), incoming_blitter());
  }

 private:
  Mode m_mode;
};

}  // namespace

Transition::Transition(double speed)
    : m_speed(speed), m_incoming_blitter(std::make_unique<SharedBlitter>(SharedKind::key)) {}

Transition::~Transition() = default;

Size Transition::frame_size() const {
  return m_incoming.surface() ? m_incoming.size() : m_outgoing.size();
}

void Transition::start(RenderSurface* outgoing, Direction direction, RenderSurface* incoming,
                       std::unique_ptr<RowBlitter> incoming_blitter) {
  m_outgoing.recreate(0, 0);
  m_incoming.recreate(0, 0);
  // The slots are empty now, so handing their contents back leaves the
  // caller's render surfaces empty: the exchange moves the pixels without
  // copying them.
  if (outgoing) m_outgoing.adopt_surface(outgoing->take_surface());
  if (incoming) m_incoming.adopt_surface(incoming->take_surface());
  m_incoming_blitter = incoming_blitter ? std::move(incoming_blitter)
                                        : std::make_unique<SharedBlitter>(SharedKind::key);
  m_direction = direction;
  m_t = direction == Direction::forward ? 0.0 : 1.0;
  if (direction == Direction::stopped) {
    stop(m_t);
    return;
  }
  prepare();
}

void Transition::advance(double seconds) {
  if (finished() || !(seconds > 0.0)) return;
  m_t += kRate * m_speed * static_cast<int32_t>(m_direction) * seconds;
  if (m_direction == Direction::forward && m_t >= 1.0) {
    stop(1.0);
  } else if (m_direction == Direction::backward && m_t <= 0.0) {
    stop(0.0);
  }
}

void Transition::reverse() {
  if (m_direction == Direction::forward) {
    m_direction = Direction::backward;
  } else if (m_direction == Direction::backward) {
    m_direction = Direction::forward;
  }
}

void Transition::stop(double t) {
  m_t = t;
  m_direction = Direction::stopped;
  m_outgoing.recreate(0, 0);
  m_incoming.recreate(0, 0);
}

std::unique_ptr<Transition> make_transition(std::u16string_view name) {
  using Mode = SlideTransition::Mode;
  if (name == u"scale") return std::make_unique<ScaleTransition>();
  if (name == u"pop") return std::make_unique<PopTransition>();
  if (name == u"right") return std::make_unique<SlideTransition>(Mode::right);
  if (name == u"bottom") return std::make_unique<SlideTransition>(Mode::bottom);
  if (name == u"left") return std::make_unique<SlideTransition>(Mode::left);
  if (name == u"top") return std::make_unique<SlideTransition>(Mode::top);
  if (name == u"flip") return std::make_unique<FlipTransition>();
  return nullptr;
}

}  // namespace lv
