#include "app/base/timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/base/log.h"
#include "platform/clock.h"
#include "platform/message_queue.h"

namespace lv {
namespace {

using platform::kMessageActives;

class TimerTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::set_tick_source([this] { return m_now; });
  }
  void TearDown() override { platform::set_tick_source({}); }

  void advance(uint32_t ms) { m_now += ms; }
  // What the main loop does while idle: everything that is due now runs.
  void settle() {
    for (int i = 0; i < 100; ++i) {
      m_scheduler.run_once(0);
      if (m_queue.size() == 0 && m_scheduler.ready_count() == 0) {
        m_scheduler.pump_timers();
        if (m_queue.size() == 0) return;
      }
    }
    FAIL() << "main loop did not settle";
  }

  uint32_t m_now = 1000;
  platform::MessageQueue m_queue;
  CActiveScheduler m_scheduler{m_queue};
  std::vector<std::string> m_fired;
};

TEST_F(TimerTest, TimersFireInDueOrderAsTheClockAdvances) {
  Timer slow(m_scheduler, [&] { m_fired.push_back("slow"); });
  Timer fast(m_scheduler, [&] { m_fired.push_back("fast"); });
  Timer middle(m_scheduler, [&] { m_fired.push_back("middle"); });
  slow.start(0.3);
  fast.start(0.1);
  middle.start(0.2);
  EXPECT_EQ(m_scheduler.timer_count(), 3u);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 100);

  advance(99);
  settle();
  EXPECT_TRUE(m_fired.empty());
  EXPECT_EQ(m_scheduler.next_timer_ms(), 1);

  advance(1);
  settle();
  EXPECT_EQ(m_fired, std::vector<std::string>{"fast"});
  EXPECT_FALSE(fast.is_active());
  EXPECT_TRUE(middle.is_active());
  EXPECT_EQ(m_scheduler.next_timer_ms(), 100);

  advance(250);  // both others are due: they run in start order of the list
  settle();
  EXPECT_EQ(m_fired, (std::vector<std::string>{"fast", "slow", "middle"}));
  EXPECT_EQ(m_scheduler.timer_count(), 0u);
  EXPECT_EQ(m_scheduler.next_timer_ms(), -1);
  EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST_F(TimerTest, DelayRoundsToNearestMillisecond) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(0.0124);  // 12.4 ms -> 12
  EXPECT_EQ(m_scheduler.next_timer_ms(), 12);
  timer.start(0.0125);  // 12.5 ms -> 13
  EXPECT_EQ(m_scheduler.next_timer_ms(), 13);
  advance(12);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(1);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST_F(TimerTest, ZeroSecondTimerRunsAfterNextMessageNotInsideStart) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("now"); });
  timer.start(0.0);
  EXPECT_TRUE(m_fired.empty());
  EXPECT_TRUE(timer.is_active());
  EXPECT_EQ(m_scheduler.timer_count(), 0u);
  EXPECT_EQ(m_scheduler.ready_count(), 1u);
  ASSERT_EQ(m_queue.size(), 1u);
  ASSERT_EQ(m_queue.take(0), kMessageActives);
  m_scheduler.process_actives();
  EXPECT_EQ(m_fired, std::vector<std::string>{"now"});
  EXPECT_FALSE(timer.is_active());
}

TEST_F(TimerTest, NegativeAndNanDelaysAreDueAtOnce) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(-5.0);
  EXPECT_EQ(m_scheduler.ready_count(), 1u);
  settle();
  timer.start(std::nan(""));
  EXPECT_EQ(m_scheduler.ready_count(), 1u);
  settle();
  EXPECT_EQ(m_fired.size(), 2u);
}

TEST_F(TimerTest, RestartingPendingTimerRunsOnceAtNewDueTick) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(1.0);
  advance(500);
  settle();
  timer.start(1.0);  // due at 1500 from the first start
  EXPECT_EQ(m_scheduler.timer_count(), 1u);
  EXPECT_EQ(m_scheduler.active_count(), 1);
  advance(500);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(499);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(1);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
  advance(5000);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST_F(TimerTest, RestartingTimerWhoseRunIsQueuedDropsThatRun) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(0.1);
  advance(100);
  m_scheduler.pump_timers();  // due: queued, its RunL waits for the 1029
  EXPECT_EQ(m_scheduler.ready_count(), 1u);
  timer.start(0.5);
  EXPECT_EQ(m_scheduler.ready_count(), 0u);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(500);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST_F(TimerTest, CancellingTimerThatIsNotDueReturnsAtOnce) {
  // A double tap cancels the tap timer long before it is due.
  Timer tap(m_scheduler, [&] { m_fired.push_back("tap"); });
  tap.start(0.3);
  advance(100);
  settle();
  tap.cancel();
  EXPECT_FALSE(tap.is_active());
  EXPECT_EQ(m_scheduler.timer_count(), 0u);
  EXPECT_EQ(m_scheduler.active_count(), 0);
  EXPECT_EQ(m_queue.size(), 0u);  // nothing taken, nothing re-posted
  advance(1000);
  settle();
  EXPECT_TRUE(m_fired.empty());
  tap.cancel();  // again: nothing to do
  EXPECT_FALSE(tap.is_active());
}

TEST_F(TimerTest, CancelLeavesOtherTimersRunning) {
  Timer first(m_scheduler, [&] { m_fired.push_back("first"); });
  Timer second(m_scheduler, [&] { m_fired.push_back("second"); });
  Timer third(m_scheduler, [&] { m_fired.push_back("third"); });
  first.start(0.1);
  second.start(0.2);
  third.start(0.3);
  second.cancel();
  advance(300);
  settle();
  EXPECT_EQ(m_fired, (std::vector<std::string>{"first", "third"}));
}

TEST_F(TimerTest, CancellingDueTimerDropsItsQueuedRun) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(0.0);
  timer.cancel();
  EXPECT_FALSE(timer.is_active());
  EXPECT_EQ(m_scheduler.ready_count(), 0u);
  settle();
  EXPECT_TRUE(m_fired.empty());
}

TEST_F(TimerTest, CallbackMayRestartItsTimer) {
  // The slide show starts its timer again from the tick.
  std::unique_ptr<Timer> slide;
  slide = std::make_unique<Timer>(m_scheduler, [&] {
    m_fired.push_back("slide");
    if (m_fired.size() < 3) slide->start(3.0);
  });
  slide->start(3.0);
  for (int i = 0; i < 4; ++i) {
    advance(3000);
    settle();
  }
  EXPECT_EQ(m_fired.size(), 3u);
  EXPECT_FALSE(slide->is_active());
}

TEST_F(TimerTest, CallbackMayDestroyItsTimer) {
  std::unique_ptr<Timer> timer;
  timer = std::make_unique<Timer>(m_scheduler, [&] {
    m_fired.push_back("t");
    timer.reset();
  });
  timer->start(0.01);
  advance(10);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
  EXPECT_EQ(timer, nullptr);
}

TEST_F(TimerTest, DestroyingPendingTimerWithdrawsIt) {
  {
    Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
    timer.start(1.0);
  }
  EXPECT_EQ(m_scheduler.timer_count(), 0u);
  EXPECT_EQ(m_scheduler.active_count(), 0);
  advance(2000);
  settle();
  EXPECT_TRUE(m_fired.empty());
}

TEST_F(TimerTest, FiresAcrossTickCounterWrap) {
  m_now = 0xFFFFFF00u;
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(0.5);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 500);
  advance(499);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(1);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST_F(TimerTest, LongDelaysAreBoundedForTheMainLoopWait) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(4.0 * 3600.0);  // beyond the 10000000 ms bound
  EXPECT_EQ(m_scheduler.next_timer_ms(), static_cast<int>(TimerList::kMaxWaitMs));
  advance(TimerList::kMaxWaitMs);
  settle();
  EXPECT_TRUE(m_fired.empty());
  advance(4 * 3600 * 1000 - TimerList::kMaxWaitMs);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
  // Absurd delays do not overflow into the past.
  timer.start(std::numeric_limits<double>::infinity());
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
  EXPECT_TRUE(timer.is_active());
  timer.cancel();
}

TEST_F(TimerTest, RunOnceWithoutLimitReturnsWhenTimerWaitEnds) {
  Timer timer(m_scheduler, [&] { m_fired.push_back("t"); });
  timer.start(0.002);
  // The fake clock stands still, so the wait ends on its 2 ms bound alone.
  EXPECT_EQ(m_scheduler.run_once(-1), std::nullopt);
  EXPECT_TRUE(m_fired.empty());
  advance(2);
  EXPECT_EQ(m_scheduler.run_once(-1), std::nullopt);  // pumps, then takes the 1029
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST_F(TimerTest, MakeDueMovesTimerToNow) {
  TimerActive active([&] { m_fired.push_back("due"); });
  active.set_due_tick(m_now + 60000);
  m_scheduler.set_active(active);
  m_scheduler.add_timer(active);
  EXPECT_EQ(m_scheduler.ready_count(), 0u);
  active.make_due();
  EXPECT_EQ(active.due_tick(), m_now);
  settle();
  EXPECT_EQ(m_fired, std::vector<std::string>{"due"});
  EXPECT_FALSE(active.is_active());
}

TEST_F(TimerTest, DefaultTimerUsesCurrentScheduler) {
  ASSERT_EQ(CActiveScheduler::current(), &m_scheduler);
  Timer timer([&] { m_fired.push_back("t"); });
  timer.start(0.0);
  settle();
  EXPECT_EQ(m_fired.size(), 1u);
}

TEST(TimerListTest, TakesDueEntriesInListOrderAndAnswersSmallestRemaining) {
  TimerActive a({}), b({}), c({}), d({});
  a.set_due_tick(150);
  b.set_due_tick(99);
  c.set_due_tick(100);  // remaining 0: below 1 ms, due
  d.set_due_tick(101);  // remaining exactly 1 ms: not due yet
  TimerList list;
  list.append(a);
  list.append(b);
  list.append(c);
  list.append(d);
  std::vector<TimerActive*> due;
  const auto remaining = list.take_due(100, [&](TimerActive& timer) { due.push_back(&timer); });
  EXPECT_EQ(due, (std::vector<TimerActive*>{&b, &c}));
  ASSERT_TRUE(remaining.has_value());
  EXPECT_EQ(*remaining, 1u);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_TRUE(list.remove(d));
  EXPECT_FALSE(list.remove(d));
  due.clear();
  EXPECT_EQ(list.take_due(150, [&](TimerActive& timer) { due.push_back(&timer); }), std::nullopt);
  EXPECT_EQ(due, std::vector<TimerActive*>{&a});
  EXPECT_EQ(list.size(), 0u);
}

TEST(TimerFatalTest, TimerWithoutSchedulerStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(CActiveScheduler::current(), nullptr);
  EXPECT_EXIT({ Timer timer([] {}); }, testing::ExitedWithCode(kFatalExitCode),
              "Gluck: No active scheduler @ Timer::Timer\\(\\)");
}

}  // namespace
}  // namespace lv
