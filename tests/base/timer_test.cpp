#include "base/timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/clock.h"

namespace lv {
namespace {

using Fired = std::vector<std::string>;

class TimerTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::set_tick_source([this] { return m_now; });
  }
  void TearDown() override { platform::set_tick_source({}); }

  // Moves the fake clock on, then runs what the idle main loop would run.
  void advance(uint32_t ms) {
    m_now += ms;
    for (int i = 0; i < 100; ++i) {
      m_scheduler.run_once(0);
      if (m_queue.size() == 0 && m_scheduler.ready_count() == 0) {
        m_scheduler.pump_timers();
        if (m_queue.size() == 0) return;
      }
    }
    FAIL() << "main loop did not settle";
  }
  std::function<void()> record(std::string name) {
    return [this, name] { m_fired.push_back(name); };
  }

  uint32_t m_now = 0xFFFFFF80u;  // the tick counter wraps during most tests
  platform::MessageQueue m_queue;
  CActiveScheduler m_scheduler{m_queue};
  Fired m_fired;
};

TEST_F(TimerTest, TimersFireInDueOrderAsTheClockAdvances) {
  Timer slow(m_scheduler, record("slow")), fast(m_scheduler, record("fast")),
      middle(m_scheduler, record("middle"));
  slow.start(0.3);
  fast.start(0.1);
  middle.start(0.2);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 100);
  advance(99);
  EXPECT_TRUE(m_fired.empty());
  EXPECT_EQ(m_scheduler.next_timer_ms(), 1);
  advance(1);
  EXPECT_EQ(m_fired, Fired{"fast"});
  EXPECT_FALSE(fast.is_active());
  EXPECT_EQ(m_scheduler.next_timer_ms(), 100);
  advance(250);  // both others are due: they run in start order
  EXPECT_EQ(m_fired, (Fired{"fast", "slow", "middle"}));
  EXPECT_EQ(m_scheduler.next_timer_ms(), -1);
  EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST_F(TimerTest, DelaysRoundToMillisecondsAndStayInRange) {
  Timer timer(m_scheduler, record("t"));
  timer.start(0.0124);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 12);
  timer.start(0.0125);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 13);
  // The fake clock stands still: only the timer's bound ends this wait.
  EXPECT_EQ(m_scheduler.run_once(-1), std::nullopt);
  advance(12);
  EXPECT_TRUE(m_fired.empty());
  advance(1);
  EXPECT_EQ(m_fired.size(), 1u);

  for (double now : {-5.0, std::nan("")}) {  // due at once
    timer.start(now);
    EXPECT_EQ(m_scheduler.ready_count(), 1u);
    advance(0);
  }
  EXPECT_EQ(m_fired.size(), 3u);

  timer.start(std::numeric_limits<double>::infinity());  // does not overflow into the past
  EXPECT_EQ(m_scheduler.next_timer_ms(), static_cast<int>(TimerList::kMaxWaitMs));
  advance(0);
  EXPECT_EQ(m_fired.size(), 3u);
}

TEST_F(TimerTest, ZeroSecondTimerRunsAfterTheNext1029NotInsideStart) {
  Timer timer(record("now"));  // on the current scheduler
  timer.start(0.0);
  EXPECT_TRUE(m_fired.empty());
  EXPECT_TRUE(timer.is_active());
  ASSERT_EQ(m_queue.size(), 1u);
  ASSERT_EQ(m_queue.take(0), platform::kMessageActives);
  m_scheduler.process_actives();
  EXPECT_EQ(m_fired, Fired{"now"});
  EXPECT_FALSE(timer.is_active());
}

TEST_F(TimerTest, RestartingOrCancellingATimerReturnsAtOnceAndDropsItsRun) {
  Timer timer(m_scheduler, record("t")), other(m_scheduler, record("other"));
  other.start(2.0);
  timer.start(1.0);
  advance(500);
  timer.start(1.0);  // due at 1500 from the first start
  EXPECT_EQ(m_scheduler.timer_count(), 2u);
  EXPECT_EQ(m_queue.size(), 0u);  // nothing taken, nothing re-posted
  advance(999);
  EXPECT_TRUE(m_fired.empty());
  advance(1);
  EXPECT_EQ(m_fired, Fired{"t"});

  timer.start(0.3);  // a double tap cancels the tap timer long before it is due
  advance(100);
  timer.cancel();
  timer.cancel();  // again: nothing to do
  EXPECT_FALSE(timer.is_active());
  EXPECT_EQ(m_scheduler.timer_count(), 1u);
  EXPECT_EQ(m_queue.size(), 0u);
  {
    Timer gone(m_scheduler, record("gone"));  // destroying a pending timer withdraws it
    gone.start(0.1);
  }
  timer.start(0.0);  // due at once: its queued run is dropped by the cancel
  timer.cancel();
  advance(5000);
  EXPECT_EQ(m_fired, (Fired{"t", "other"}));
  EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST_F(TimerTest, CallbackMayRestartOrDestroyItsTimer) {
  std::unique_ptr<Timer> slide = std::make_unique<Timer>(m_scheduler, [&] {
    m_fired.push_back("slide");
    if (m_fired.size() < 3) slide->start(3.0);  // the slide show's next tick
    if (m_fired.size() == 3) slide.reset();
  });
  slide->start(3.0);
  for (int i = 0; i < 4; ++i) advance(3000);
  EXPECT_EQ(m_fired.size(), 3u);
  EXPECT_EQ(slide, nullptr);
}

}  // namespace
}  // namespace lv
