#include "app/pinch_tracker.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

using Phase = PinchEvent::Phase;

TEST(PinchTracker, TheFirstTwoFingersPinchAndOthersChangeNothing) {
  PinchTracker fingers;
  EXPECT_FALSE(fingers.down(1, 10, 100, 100, 0));
  EXPECT_FALSE(fingers.stylus_suppressed());
  auto begin = fingers.down(1, 20, 200, 100, 5);
  ASSERT_TRUE(begin);
  EXPECT_EQ(begin->phase, Phase::begin);
  EXPECT_DOUBLE_EQ(begin->x, 150);
  EXPECT_EQ(begin->time, 5u);
  // The same finger number on another touch device is another finger.
  EXPECT_FALSE(fingers.down(2, 10, 0, 0, 6));
  EXPECT_FALSE(fingers.move(2, 10, 50, 50, 7));
  EXPECT_FALSE(fingers.up(2, 10, 50, 50, 8));
  EXPECT_TRUE(fingers.pinching());

  // Moves of both fingers: the scales multiply to the whole change.
  auto a = fingers.move(1, 10, 50, 100, 9);    // distance 100 -> 150
  auto b = fingers.move(1, 20, 350, 100, 10);  // 150 -> 300
  ASSERT_TRUE(a && b);
  EXPECT_DOUBLE_EQ(a->scale, 1.5);
  EXPECT_DOUBLE_EQ(a->dx, -25);
  EXPECT_DOUBLE_EQ(a->scale * b->scale, 3);
  EXPECT_DOUBLE_EQ(b->x, 200);

  auto end = fingers.up(1, 10, 50, 100, 11);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->phase, Phase::end);
  EXPECT_FALSE(fingers.pinching());
  // The finger left behind neither pinches nor works the stylus.
  EXPECT_FALSE(fingers.move(1, 20, 300, 100, 12));
  EXPECT_TRUE(fingers.stylus_suppressed());
  EXPECT_FALSE(fingers.up(1, 20, 300, 100, 13));
  EXPECT_FALSE(fingers.stylus_suppressed());
  EXPECT_FALSE(fingers.up(1, 99, 0, 0, 14)) << "a finger never seen going down";
}

TEST(PinchTracker, FingersOnOneSpotScaleWithoutDividingByZero) {
  PinchTracker fingers;
  fingers.down(1, 1, 100, 100, 0);
  fingers.down(1, 2, 100, 100, 0);
  auto apart = fingers.move(1, 2, 100, 140, 1);
  ASSERT_TRUE(apart);
  EXPECT_DOUBLE_EQ(apart->scale, 40);  // from the one-pixel floor
  auto together = fingers.move(1, 2, 100, 100, 2);
  ASSERT_TRUE(together);
  EXPECT_DOUBLE_EQ(apart->scale * together->scale, 1);
}

TEST(PinchTracker, CancelEndsThePinchAndForgetsTheFingers) {
  PinchTracker fingers;
  EXPECT_FALSE(fingers.cancel(0));
  fingers.down(1, 1, 0, 0, 0);
  fingers.down(1, 2, 10, 0, 0);
  auto end = fingers.cancel(3);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->phase, Phase::end);
  EXPECT_EQ(end->time, 3u);
  EXPECT_EQ(fingers.fingers_down(), 0u);
  EXPECT_FALSE(fingers.stylus_suppressed());
  EXPECT_FALSE(fingers.up(1, 2, 10, 0, 4));
}

}  // namespace
}  // namespace lv
