#pragma once

// The time step of the frame tick and of the windowed timer: milliseconds
// of the tick counter since the last step, as seconds clamped to 0.001..0.1
// so that a stall does not make animations jump.

#include <cstdint>
#include <optional>

namespace lv {

enum class TickKind { normal, forced };

class FrameClock {
 public:
  static constexpr double kMinStep = 0.001;
  static constexpr double kMaxStep = 0.1;

  explicit FrameClock(uint32_t now) : m_last(now) {}

  // The step up to `now`, which becomes the last tick. A forced tick in the
  // same millisecond as the last one answers none and changes nothing.
  std::optional<double> advance(uint32_t now, TickKind kind);

  uint32_t last() const { return m_last; }

 private:
  uint32_t m_last;
};

}  // namespace lv
