#pragma once

// Visibility animations: a short transition between an outgoing and an
// incoming picture of an element. The element starts it when it shows or
// hides, feeds it the elapsed time and asks it to draw itself in place of
// the element; the transition never looks at the element tree.
//
// Progress t runs from 0 (outgoing picture only) to 1 (incoming picture
// only) at 5 x speed per second, so most kinds last 0.2 s and "pop" and
// "flip" 0.4 s. A finished transition holds no pixels.

#include <cstdint>
#include <memory>
#include <string_view>

#include "skin/geometry.h"
#include "skin/render_surface.h"

namespace lv {

class Canvas;
class RowBlitter;

enum class TransitionKind : int32_t {
  scale,         // "scale": grows from the centre
  pop,           // "pop": grows with an overshoot
  slide_right,   // "right": enters from the right
  slide_bottom,  // "bottom"
  slide_left,    // "left"
  slide_top,     // "top"
  flip,          // "flip": turns over in depth
};

class Transition {
 public:
  enum class Direction : int32_t { backward = -1, stopped = 0, forward = 1 };

  virtual ~Transition();
  Transition(const Transition&) = delete;
  Transition& operator=(const Transition&) = delete;

  // A new transition of the same kind, not started.
  virtual std::unique_ptr<Transition> clone() const = 0;
  virtual TransitionKind kind() const = 0;

  // Takes over the pictures given (either may be null): each slot is emptied
  // first, then receives the picture's surface, and the caller's render
  // surface is left empty. The incoming picture is drawn through
  // `incoming_blitter`, or the shared key blitter when none is given.
  // Forward starts at t = 0, backward at t = 1; stopped ends at once.
  void start(RenderSurface* outgoing, Direction direction, RenderSurface* incoming,
             std::unique_ptr<RowBlitter> incoming_blitter = nullptr);

  // Moves t by 5 x speed x seconds in the current direction; reaching the
  // end stops the transition and releases both pictures. Steps that are not
  // positive numbers are ignored.
  void advance(double seconds);

  // Plays the rest backwards from where it stands (an element shown while
  // its hide animation still runs).
  void reverse();

  bool finished() const { return m_direction == Direction::stopped; }
  bool running() const { return !finished(); }
  Direction direction() const { return m_direction; }
  double progress() const { return m_t; }
  double speed() const { return m_speed; }

  // Draws the current state with the transition's top-left corner at
  // `position`, inside the canvas's clip.
  virtual void draw(Canvas& canvas, Point position) const = 0;

 protected:
  explicit Transition(double speed);

  const RenderSurface& outgoing() const { return m_outgoing; }
  const RenderSurface& incoming() const { return m_incoming; }
  const RowBlitter& incoming_blitter() const { return *m_incoming_blitter; }

  // The rectangle the transition covers: the incoming picture's size, or the
  // outgoing one's when there is no incoming picture.
  Size frame_size() const;

 private:
  // Called at the end of start, with both pictures in place.
  virtual void prepare() {}
  void stop(double t);

  Direction m_direction = Direction::stopped;
  double m_t = 0.0;
  double m_speed;
  RenderSurface m_outgoing;
  RenderSurface m_incoming;
  std::unique_ptr<RowBlitter> m_incoming_blitter;
};

// The transition a skin names by its "visibility_animation" string, or none
// for any string not in the table (an empty one included).
std::unique_ptr<Transition> make_transition(std::u16string_view name);

}  // namespace lv
