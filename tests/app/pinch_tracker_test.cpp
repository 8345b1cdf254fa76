#include "app/pinch_tracker.h"

#include <gtest/gtest.h>

#include <sstream>

namespace lv {
namespace {

// "-" for no event, else "phase x,y xscale +dx,dy @time".
std::string seen(const std::optional<PinchEvent>& event) {
  if (!event) return "-";
  std::ostringstream text;
  const char* phases[] = {"begin", "move", "end"};
  text << phases[int(event->phase)] << " " << event->x << "," << event->y << " x" << event->scale
       << " +" << event->dx << "," << event->dy << " @" << event->time;
  return text.str();
}

TEST(PinchTracker, TheFirstTwoFingersPinchAndOthersChangeNothing) {
  PinchTracker fingers;
  EXPECT_EQ(seen(fingers.down(1, 10, 100, 100, 0)), "-");
  EXPECT_FALSE(fingers.stylus_suppressed());
  EXPECT_EQ(seen(fingers.down(1, 20, 200, 100, 5)), "begin 150,100 x1 +0,0 @5");
  // The same finger number on another touch device is another finger.
  EXPECT_EQ(seen(fingers.down(2, 10, 0, 0, 6)), "-");
  EXPECT_EQ(seen(fingers.up(2, 10, 50, 50, 8)), "-");
  // Moves of both fingers: the scales multiply to the whole change (distance
  // 100 -> 150 -> 300).
  EXPECT_EQ(seen(fingers.move(1, 10, 50, 100, 9)), "move 125,100 x1.5 +-25,0 @9");
  EXPECT_EQ(seen(fingers.move(1, 20, 350, 100, 10)), "move 200,100 x2 +75,0 @10");
  EXPECT_EQ(seen(fingers.up(1, 10, 50, 100, 11)), "end 200,100 x1 +0,0 @11");
  // The finger left behind neither pinches nor works the stylus.
  EXPECT_EQ(seen(fingers.move(1, 20, 300, 100, 12)), "-");
  EXPECT_TRUE(fingers.stylus_suppressed());
  EXPECT_EQ(seen(fingers.up(1, 20, 300, 100, 13)), "-");
  EXPECT_FALSE(fingers.stylus_suppressed());
  EXPECT_EQ(seen(fingers.up(1, 99, 0, 0, 14)), "-") << "a finger never seen going down";
}

// Fingers on one spot scale from a one-pixel floor, never dividing by
// zero; a cancel ends the pinch and forgets the fingers.
TEST(PinchTracker, FingersOnOneSpotScaleWithoutDividingByZeroAndCancelForgetsThem) {
  PinchTracker fingers;
  EXPECT_EQ(seen(fingers.cancel(0)), "-");
  fingers.down(1, 1, 100, 100, 0);
  fingers.down(1, 2, 100, 100, 0);
  EXPECT_EQ(seen(fingers.move(1, 2, 100, 140, 1)), "move 100,120 x40 +0,20 @1");
  EXPECT_EQ(seen(fingers.move(1, 2, 100, 100, 2)), "move 100,100 x0.025 +0,-20 @2");
  EXPECT_EQ(seen(fingers.cancel(3)), "end 100,100 x1 +0,0 @3");
  EXPECT_TRUE(fingers.fingers_down() == 0u && !fingers.stylus_suppressed());
  EXPECT_EQ(seen(fingers.up(1, 2, 10, 0, 4)), "-");
}

}  // namespace
}  // namespace lv
