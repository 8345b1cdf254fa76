#include "app/frame_clock.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

TEST(FrameClock, StepsAreClampedToAMillisecondAndATenthOfASecond) {
  FrameClock clock(1000);
  EXPECT_DOUBLE_EQ(*clock.advance(1016, TickKind::normal), 0.016);
  EXPECT_EQ(clock.last(), 1016u);
  // The same millisecond, not forced: the smallest step.
  EXPECT_DOUBLE_EQ(*clock.advance(1016, TickKind::normal), 0.001);
  // A stall of two seconds moves animations by a tenth of a second.
  EXPECT_DOUBLE_EQ(*clock.advance(3016, TickKind::normal), 0.1);
  EXPECT_DOUBLE_EQ(*clock.advance(3116, TickKind::normal), 0.1);
  EXPECT_DOUBLE_EQ(*clock.advance(3215, TickKind::forced), 0.099);
  EXPECT_EQ(clock.last(), 3215u);
}

TEST(FrameClock, AForcedTickInTheSameMillisecondDoesNothing) {
  FrameClock clock(500);
  EXPECT_FALSE(clock.advance(500, TickKind::forced));
  EXPECT_EQ(clock.last(), 500u);
  EXPECT_DOUBLE_EQ(*clock.advance(510, TickKind::forced), 0.01);
  EXPECT_FALSE(clock.advance(510, TickKind::forced));
  EXPECT_DOUBLE_EQ(*clock.advance(530, TickKind::normal), 0.02);
}

TEST(FrameClock, TheTickCounterMayWrap) {
  FrameClock clock(0xFFFFFFF0u);
  EXPECT_DOUBLE_EQ(*clock.advance(0x10u, TickKind::normal), 0.032);
  EXPECT_EQ(clock.last(), 0x10u);
}

}  // namespace
}  // namespace lv
