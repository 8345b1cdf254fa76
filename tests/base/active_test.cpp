// The active scheduler, its timers, and the worker threads that complete
// requests from other threads.

#include "base/active.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <thread>
#include <vector>

#include "base/log.h"  // kFatalExitCode
#include "base/thread.h"
#include "base/timer.h"
#include "platform/clock.h"

namespace lv {
namespace {

using Runs = std::vector<int>;

// Records the order of RunL calls, negated for an object still marked
// active (RunL must be free to start the next request); `extra` runs inside.
struct Recorder : CActive {
  Recorder(int identifier, Runs& runs, std::function<void()> extra = {})
      : CActive(identifier), runs(runs), extra(std::move(extra)) {}
  void RunL() override {
    runs.push_back(is_active() ? -identifier() : identifier());
    if (extra) extra();
  }
  Runs& runs;
  std::function<void()> extra;
};

// A scheduler on a fake tick counter that wraps during most tests.
class ActiveSchedulerTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::set_tick_source([this] { return m_now; });
  }
  void TearDown() override { platform::set_tick_source({}); }
  void start(CActive& object, bool complete = true) {
    m_scheduler.set_active(object);
    if (complete) m_scheduler.notify(object);
  }
  // Moves the clock on, runs what the idle main loop would run, and answers
  // the runs so far.
  const Runs& advance(uint32_t ms) {
    m_now += ms;
    do m_scheduler.run_once(0);
    while (m_queue.size() > 0);
    return m_runs;
  }
  std::function<void()> record(int number) {
    return [this, number] { m_runs.push_back(number); };
  }
  platform::MessageQueue m_queue;
  CActiveScheduler m_scheduler{m_queue};
  Runs m_runs;
  uint32_t m_now = 0xFFFFFF80u;
};
using TimerTest = ActiveSchedulerTest;

TEST_F(ActiveSchedulerTest, CompletionsRunOnTheNextMessageInNotificationOrder) {
  Recorder first(1, m_runs), other(2, m_runs);
  start(first, false);
  start(other);
  m_scheduler.notify(first);
  EXPECT_TRUE(m_runs.empty());  // never inside notify
  m_queue.post(1058);
  EXPECT_EQ(m_scheduler.run_once(0), std::nullopt);  // one message runs both
  EXPECT_EQ(m_runs, (Runs{2, 1}));
  EXPECT_EQ(m_scheduler.run_once(0), std::nullopt);  // the second finds an empty list
  EXPECT_EQ(m_scheduler.run_once(0), 1058u);         // other messages are handed back

  // A completion queued during RunL waits for its own message, so an object
  // that completes itself on every run cannot keep one pass going for ever.
  Recorder again(3, m_runs, [&] {
    if (m_runs.size() < 5) start(again);
  });
  start(again);
  m_scheduler.run_once(0);
  EXPECT_EQ(m_runs, (Runs{2, 1, 3}));
  EXPECT_EQ(advance(0), (Runs{2, 1, 3, 3, 3}));
}

// Lost wake-ups: every notify from any thread must reach the main loop.
TEST_F(ActiveSchedulerTest, NotifyFromFourThreadsAtOnceRunsEveryObjectOnceInOrder) {
  constexpr int kThreads = 4, kPerThread = 50;
  std::deque<Recorder> objects;
  std::vector<Runs> expected(kThreads), per_worker(kThreads);
  for (int i = 0; i < kThreads * kPerThread; ++i) {
    start(objects.emplace_back(i, m_runs), false);
    expected[i / kPerThread].push_back(i);
  }
  Event go(EventReset::manual);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      go.wait();
      for (int id : expected[t]) m_scheduler.notify(objects[id]);
    });
  go.set();
  // The main loop runs while the workers notify, as in the program.
  for (int messages = 0; messages < kThreads * kPerThread;)
    if (m_scheduler.run_once(-1) == std::nullopt) ++messages;
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(m_queue.size(), 0u);
  for (int id : m_runs) per_worker[id / kPerThread].push_back(id);
  EXPECT_EQ(per_worker, expected);  // each object once, each worker's in its order
}

TEST_F(ActiveSchedulerTest, CancelWithdrawsQueuedAndWorkerCompletionsAndNeverHangs) {
  Recorder queued(1, m_runs), from_worker(2, m_runs), other(3, m_runs);
  m_scheduler.cancel(queued);  // not active: nothing to do
  start(queued);
  start(from_worker, false);
  start(other);
  m_scheduler.cancel(queued);
  m_queue.post(1058);  // an unrelated message stays where it is
  // The worker completes only once cancel has taken both 1029s while looking
  // for its object, so cancel has to wait for the worker's notify.
  std::thread worker([&] {
    while (m_queue.size() != 1) std::this_thread::yield();
    m_scheduler.notify(from_worker);
  });
  m_scheduler.cancel(from_worker);
  worker.join();
  EXPECT_FALSE(queued.is_active() || from_worker.is_active());
  // The 1029s taken are replaced, so the other completion still runs.
  EXPECT_EQ(m_scheduler.run_once(0), 1058u);
  EXPECT_EQ(advance(0), Runs{3});
  EXPECT_EQ(m_scheduler.active_count(), 0);
}

// An object destroyed with its request outstanding would leave the scheduler
// a dangling pointer: the program stops instead.
TEST_F(ActiveSchedulerTest, DestroyingAnActiveObjectStopsWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto destroy_active = [this] {
    Recorder object(3, m_runs);
    m_scheduler.set_active(object);
  };
  EXPECT_EXIT(destroy_active(), testing::ExitedWithCode(kFatalExitCode),
              "Gluck: .*3 is already active @ CActive::~");
}

TEST_F(TimerTest, TimersFireInDueOrderAndRestartingOrCancellingReturnsAtOnce) {
  Timer slow(m_scheduler, record(3)), fast(m_scheduler, record(1)), middle(m_scheduler, record(2));
  slow.start(0.3);
  fast.start(0.1);
  middle.start(0.2);
  advance(50);
  fast.start(0.1);                // due at 150 from the first start
  EXPECT_EQ(m_queue.size(), 0u);  // nothing taken, nothing re-posted
  advance(99);
  EXPECT_EQ(m_scheduler.next_timer_ms(), 1);
  EXPECT_EQ(advance(1), Runs{1});
  EXPECT_EQ(advance(250), (Runs{1, 3, 2}));  // both others are due: they run in start order

  middle.start(1.0);
  fast.start(0.3);  // a double tap cancels the tap timer long before it is due
  advance(100);
  fast.cancel();
  EXPECT_EQ(m_queue.size(), 0u);
  {
    Timer gone(m_scheduler, record(4));  // destroying a pending timer withdraws it
    gone.start(0.1);
  }
  fast.start(0.0);  // due at once: its queued run is dropped by the cancel
  fast.cancel();
  EXPECT_EQ(advance(5000), (Runs{1, 3, 2, 2}));
}

TEST_F(TimerTest, DelaysRoundToMillisecondsStayInRangeAndNeverRunInsideStart) {
  Timer timer(record(1));  // on the current scheduler
  for (double at_once : {0.0, -5.0, std::nan("")}) {
    const size_t runs = m_runs.size();
    timer.start(at_once);
    EXPECT_TRUE(m_runs.size() == runs && timer.is_active() && m_scheduler.ready_count() == 1);
    EXPECT_TRUE(advance(0).size() == runs + 1 && !timer.is_active());
  }
  timer.start(0.0125);  // rounds to the nearest millisecond
  EXPECT_EQ(m_scheduler.next_timer_ms(), 13);
  // The fake clock stands still: only the timer's bound ends this wait.
  EXPECT_EQ(m_scheduler.run_once(-1), std::nullopt);
  EXPECT_EQ(advance(12).size(), 3u);
  EXPECT_EQ(advance(1).size(), 4u);
  timer.start(std::numeric_limits<double>::infinity());  // does not overflow into the past
  EXPECT_EQ(m_scheduler.next_timer_ms(), static_cast<int>(TimerList::kMaxWaitMs));
  EXPECT_EQ(advance(0).size(), 4u);
}

TEST_F(TimerTest, CallbackMayRestartOrDestroyItsTimer) {
  std::unique_ptr<Timer> slide = std::make_unique<Timer>(m_scheduler, [&] {
    m_runs.push_back(1);
    if (m_runs.size() < 3) slide->start(3.0);  // the slide show's next tick
    if (m_runs.size() == 3) slide.reset();
  });
  slide->start(3.0);
  for (int i = 0; i < 4; ++i) advance(3000);
  EXPECT_EQ(m_runs.size(), 3u);
  EXPECT_EQ(slide, nullptr);
}

// A worker that counts its runs and spins until asked to stop; stopped and
// joined when destroyed.
struct SpinningThread : Thread {
  ~SpinningThread() override {
    request_stop();
    join();
  }
  void run() override {
    runs += stop_requested() ? 100 : 1;  // a run must start with the stop flag clear
    entered.set();
    while (!stop_requested()) std::this_thread::yield();
  }
  Event entered{EventReset::automatic};
  std::atomic<int> runs{0};
};

TEST(ThreadTest, StartWhileRunningIsRefusedAndAFinishedThreadStartsAgainWithoutAJoin) {
  SpinningThread thread;
  thread.join();  // nothing to join yet
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(thread.start());
    thread.entered.wait();
    EXPECT_FALSE(thread.start());  // the running thread is left alone
    thread.request_stop();
    // The splash screen polls is_running without joining; it must turn false.
    while (thread.is_running()) std::this_thread::yield();
  }
  EXPECT_EQ(thread.runs.load(), 2);
  // The destructor's join must take the finished thread: a std::thread
  // destroyed while joinable would end the process.
}

}  // namespace
}  // namespace lv
