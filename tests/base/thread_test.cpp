#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

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

TEST(ThreadTest, StartedTwiceWhileRunningIsRefusedAndAfterFinishingRunsAgain) {
  Event entered(EventReset::automatic);
  std::atomic<int> runs{0}, stopped_at_start{0};
  FunctionThread thread([&](FunctionThread& self) {
    stopped_at_start += self.stop_requested();
    runs++;
    entered.set();
    while (!self.stop_requested()) std::this_thread::yield();
  });
  thread.join();  // nothing to join yet
  ASSERT_TRUE(thread.start());
  entered.wait();
  EXPECT_FALSE(thread.start());  // the running thread is left alone
  EXPECT_TRUE(thread.is_running());
  thread.request_stop();  // ends the cooperative worker
  // The splash screen polls is_running without joining; it must turn false.
  while (thread.is_running()) std::this_thread::yield();
  ASSERT_TRUE(thread.start());  // without a join in between; clears the stop flag
  entered.wait();
  thread.request_stop();
  thread.join();
  EXPECT_FALSE(thread.is_running());
  EXPECT_EQ(runs.load(), 2);
  EXPECT_EQ(stopped_at_start.load(), 0);

  // A std::thread destroyed while joinable would end the process.
  auto finished = std::make_unique<FunctionThread>([](FunctionThread&) {});
  ASSERT_TRUE(finished->start());
  while (finished->is_running()) std::this_thread::yield();
  finished.reset();
}

TEST(EventTest, ManualReleasesEveryWaiterAutomaticReleasesOneWaitPerSet) {
  Event manual(EventReset::manual), automatic(EventReset::automatic);
  EXPECT_FALSE(manual.wait_for(5));  // times out
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { manual.wait(); });
  waiters.emplace_back([&] { automatic.wait(); });
  manual.set();
  automatic.set();  // wakes the blocked waiter, which consumes the signal
  for (auto& waiter : waiters) waiter.join();
  EXPECT_TRUE(manual.wait_for(0));
  manual.reset();
  EXPECT_FALSE(manual.wait_for(0) || automatic.wait_for(0));
  automatic.set();
  automatic.set();  // not counted: a set event stays just set
  EXPECT_TRUE(automatic.wait_for(0));
  EXPECT_FALSE(automatic.wait_for(0));
}

}  // namespace
}  // namespace lv
