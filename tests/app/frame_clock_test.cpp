#include "app/frame_clock.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

// Steps are clamped to a millisecond and a tenth of a second; a forced tick
// in the same millisecond does nothing; the tick counter may wrap.
TEST(FrameClock, StepsAreClampedToAMillisecondAndATenthOfASecond) {
  FrameClock clock(1000);
  EXPECT_DOUBLE_EQ(*clock.advance(1016, TickKind::normal), 0.016);
  EXPECT_DOUBLE_EQ(*clock.advance(1016, TickKind::normal), 0.001);
  EXPECT_FALSE(clock.advance(1016, TickKind::forced));
  EXPECT_DOUBLE_EQ(*clock.advance(3016, TickKind::normal), 0.1);  // a stall of two seconds
  EXPECT_DOUBLE_EQ(*clock.advance(3115, TickKind::forced), 0.099);
  EXPECT_EQ(clock.last(), 3115u);
  FrameClock wrapping(0xFFFFFFF0u);
  EXPECT_DOUBLE_EQ(*wrapping.advance(0x10u, TickKind::normal), 0.032);
}

}  // namespace
}  // namespace lv
