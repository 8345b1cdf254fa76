#include "app/base/thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/thread_priority.h"

namespace lv {
namespace {

// A worker whose body the test supplies.
class FunctionThread : public Thread {
 public:
  explicit FunctionThread(std::function<void(FunctionThread&)> body) : m_body(std::move(body)) {}
  ~FunctionThread() override {
    request_stop();
    join();
  }
  using Thread::stop_requested;

 protected:
  void run() override { m_body(*this); }

 private:
  std::function<void(FunctionThread&)> m_body;
};

TEST(ThreadTest, RunsBodyAndIsRunningTurnsFalseAfterRunReturns) {
  Event entered(EventReset::manual);
  Event release(EventReset::manual);
  std::atomic<int> runs{0};
  FunctionThread thread([&](FunctionThread&) {
    runs++;
    entered.set();
    release.wait();
  });
  EXPECT_FALSE(thread.is_running());
  ASSERT_TRUE(thread.start());
  entered.wait();
  EXPECT_TRUE(thread.is_running());
  release.set();
  thread.join();
  EXPECT_FALSE(thread.is_running());
  EXPECT_EQ(runs.load(), 1);
}

TEST(ThreadTest, IsRunningTurnsFalseWithoutJoin) {
  FunctionThread thread([&](FunctionThread&) {});
  ASSERT_TRUE(thread.start());
  // The splash screen polls is_running without joining; it must turn false.
  while (thread.is_running()) std::this_thread::yield();
  EXPECT_FALSE(thread.is_running());
}

TEST(ThreadTest, StartWhileRunningAnswersFalseAndLeavesThreadAlone) {
  Event entered(EventReset::manual);
  std::atomic<int> runs{0};
  FunctionThread thread([&](FunctionThread& self) {
    runs++;
    entered.set();
    while (!self.stop_requested()) std::this_thread::yield();
  });
  ASSERT_TRUE(thread.start());
  entered.wait();
  EXPECT_FALSE(thread.start());
  EXPECT_TRUE(thread.is_running());
  // The stop flag is not cleared by the refused start.
  thread.request_stop();
  thread.join();
  EXPECT_EQ(runs.load(), 1);
}

TEST(ThreadTest, StartsAgainAfterFinishingAndClearsStopFlag) {
  std::atomic<int> runs{0};
  std::atomic<bool> stop_seen_at_start{true};
  FunctionThread thread([&](FunctionThread& self) {
    stop_seen_at_start = self.stop_requested();
    runs++;
  });
  ASSERT_TRUE(thread.start());
  thread.join();
  thread.request_stop();
  EXPECT_TRUE(thread.stop_requested());
  // Restart without an explicit join in between, once run has returned.
  while (thread.is_running()) std::this_thread::yield();
  ASSERT_TRUE(thread.start());
  thread.join();
  EXPECT_EQ(runs.load(), 2);
  EXPECT_FALSE(stop_seen_at_start.load());
}

TEST(ThreadTest, RequestStopEndsCooperativeWorker) {
  Event started(EventReset::manual);
  FunctionThread thread([&](FunctionThread& self) {
    started.set();
    while (!self.stop_requested()) std::this_thread::yield();
  });
  ASSERT_TRUE(thread.start());
  started.wait();
  EXPECT_FALSE(thread.stop_requested());
  thread.request_stop();
  EXPECT_TRUE(thread.stop_requested());
  thread.join();
  EXPECT_FALSE(thread.is_running());
}

TEST(ThreadTest, JoinWithoutThreadReturns) {
  FunctionThread thread([](FunctionThread&) {});
  thread.join();
  thread.join();
  EXPECT_FALSE(thread.is_running());
}

TEST(ThreadTest, DestroyingFinishedThreadWithoutJoinIsSafe) {
  // A std::thread destroyed while joinable would terminate the process.
  class Plain : public Thread {
   protected:
    void run() override {}
  };
  auto thread = std::make_unique<Plain>();
  ASSERT_TRUE(thread->start());
  while (thread->is_running()) std::this_thread::yield();
  thread.reset();
  SUCCEED();
}

int thread_nice(platform::ThreadId id) {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(id));
}

TEST(ThreadTest, PriorityLevelsLowerTheWorkersNiceValue) {
  EXPECT_EQ(platform::nice_offset_for_level(-2), 10);
  EXPECT_EQ(platform::nice_offset_for_level(-1), 5);
  EXPECT_EQ(platform::nice_offset_for_level(0), 0);
  EXPECT_EQ(platform::nice_offset_for_level(1), -5);
  EXPECT_EQ(platform::nice_offset_for_level(2), -10);
  EXPECT_EQ(platform::nice_offset_for_level(-7), 10);
  EXPECT_EQ(platform::nice_offset_for_level(9), -10);

  const int base = thread_nice(platform::current_thread_id());
  if (base > 19 - 10) GTEST_SKIP() << "process already runs at nice " << base;
  std::atomic<platform::ThreadId> id{0};
  Event started(EventReset::manual);
  Event checked(EventReset::manual);
  Event lowered(EventReset::manual);
  std::atomic<int> nice_at_start{0}, nice_after{0};
  FunctionThread thread([&](FunctionThread&) {
    id = platform::current_thread_id();
    nice_at_start = thread_nice(id);
    started.set();
    checked.wait();
    nice_after = thread_nice(id);
    lowered.set();
  });
  // Set before start: applies when the thread begins.
  thread.set_priority(-1);
  ASSERT_TRUE(thread.start());
  started.wait();
  EXPECT_EQ(nice_at_start.load(), base + 5);
  // Out of range levels are clamped to -2.
  thread.set_priority(-5);
  checked.set();
  lowered.wait();
  EXPECT_EQ(nice_after.load(), base + 10);
  thread.join();
  // The calling thread is untouched.
  EXPECT_EQ(thread_nice(platform::current_thread_id()), base);
}

TEST(ThreadTest, RaisingPriorityWithoutPermissionIsIgnored) {
  Event done(EventReset::manual);
  FunctionThread thread([&](FunctionThread&) { done.wait(); });
  ASSERT_TRUE(thread.start());
  thread.set_priority(2);  // may be refused; must not fail or stop the thread
  EXPECT_TRUE(thread.is_running());
  done.set();
  thread.join();
  EXPECT_FALSE(platform::set_thread_priority(0, 1));
}

TEST(LockTest, SerialisesIncrementsFromSeveralThreads) {
  Lock lock;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        LockGuard guard(lock);
        ++counter;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

TEST(EventTest, ManualResetStaysSetUntilReset) {
  Event event(EventReset::manual);
  EXPECT_FALSE(event.wait_for(0));
  event.set();
  EXPECT_TRUE(event.wait_for(0));
  EXPECT_TRUE(event.wait_for(0));
  event.wait();
  event.reset();
  EXPECT_FALSE(event.wait_for(0));
}

TEST(EventTest, AutomaticResetReleasesOneWaitPerSet) {
  Event event(EventReset::automatic);
  event.set();
  event.set();  // not counted: a set event stays just set
  EXPECT_TRUE(event.wait_for(0));
  EXPECT_FALSE(event.wait_for(0));
  event.set();
  event.reset();
  EXPECT_FALSE(event.wait_for(0));
}

TEST(EventTest, WaitTimesOutWhenNotSet) {
  Event event(EventReset::manual);
  EXPECT_FALSE(event.wait_for(5));
}

TEST(EventTest, ManualSetReleasesEveryWaiter) {
  Event gate(EventReset::manual);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      gate.wait();
      released++;
    });
  gate.set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), 3);
}

TEST(EventTest, AutomaticSetWakesBlockedWaiter) {
  Event event(EventReset::automatic);
  Event ready(EventReset::manual);
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    ready.set();
    event.wait();
    woke = true;
  });
  ready.wait();
  event.set();
  waiter.join();
  EXPECT_TRUE(woke.load());
  EXPECT_FALSE(event.wait_for(0));  // the waiter consumed the signal
}

}  // namespace
}  // namespace lv
