#include "base/active.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/log.h"
#include "base/thread.h"

namespace lv {
namespace {

using platform::MessageQueue;
using Runs = std::vector<int>;

// Records the order in which RunL calls happen.
class Recorder : public CActive {
 public:
  Recorder(int identifier, Runs& runs, std::function<void()> extra = {})
      : CActive(identifier), m_runs(runs), m_extra(std::move(extra)) {}
  void RunL() override {
    active_during_run = is_active();
    m_runs.push_back(identifier());
    if (m_extra) m_extra();
  }
  bool active_during_run = true;

 private:
  Runs& m_runs;
  std::function<void()> m_extra;
};

class ActiveSchedulerTest : public testing::Test {
 protected:
  // Drains the queue the way the main loop does.
  void pump() {
    while (m_queue.size() > 0) m_scheduler.run_once(0);
  }
  void start(CActive& object, bool complete = true) {
    m_scheduler.set_active(object);
    if (complete) m_scheduler.notify(object);
  }
  MessageQueue m_queue;
  CActiveScheduler m_scheduler{m_queue};
  Runs m_runs;
};

TEST_F(ActiveSchedulerTest, CompletionsRunOnTheNextMessageInNotificationOrder) {
  CActiveScheduler second(m_queue);
  EXPECT_EQ(CActiveScheduler::current(), &m_scheduler);  // the first one made stays current
  Recorder first(1, m_runs), other(2, m_runs);
  start(first, false);
  start(other, false);
  m_scheduler.notify(other);
  m_scheduler.notify(first);
  EXPECT_TRUE(m_runs.empty());  // never inside notify
  m_queue.post(1058);
  ASSERT_EQ(m_queue.take(0), platform::kMessageActives);
  m_scheduler.process_actives();  // one call runs both
  EXPECT_EQ(m_runs, (Runs{2, 1}));
  EXPECT_FALSE(first.active_during_run);  // RunL may start the next request
  EXPECT_EQ(m_scheduler.active_count(), 0);
  EXPECT_EQ(m_scheduler.run_once(0), std::nullopt);  // finds an empty list
  EXPECT_EQ(m_scheduler.run_once(0), 1058u);         // other messages are handed back
  EXPECT_EQ(m_runs.size(), 2u);

  // A completion queued during RunL waits for its own message, so an object
  // that completes itself on every run cannot keep one pass going for ever.
  m_runs.clear();
  Recorder again(1, m_runs, [&] {
    if (m_runs.size() < 3) start(again);
  });
  start(again);
  m_scheduler.run_once(0);
  EXPECT_EQ(m_runs, Runs{1});
  pump();
  EXPECT_EQ(m_runs, (Runs{1, 1, 1}));
}

TEST_F(ActiveSchedulerTest, NotifyFromFourThreadsAtOnceRunsEveryObjectOnceInOrder) {
  constexpr int kThreads = 4, kPerThread = 50, kObjects = kThreads * kPerThread;
  std::vector<std::unique_ptr<Recorder>> objects;
  for (int i = 0; i < kObjects; ++i) {
    objects.push_back(std::make_unique<Recorder>(i, m_runs));
    start(*objects.back(), false);
  }
  Event go(EventReset::manual);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      go.wait();
      for (int i = 0; i < kPerThread; ++i) m_scheduler.notify(*objects[t * kPerThread + i]);
    });
  go.set();
  // The main loop runs while the workers notify, as in the program.
  for (int messages = 0; messages < kObjects;)
    if (m_scheduler.run_once(-1) == std::nullopt) ++messages;
  for (auto& worker : workers) worker.join();

  EXPECT_EQ(m_scheduler.active_count(), 0);
  EXPECT_EQ(m_queue.size(), 0u);
  ASSERT_EQ(m_runs.size(), static_cast<size_t>(kObjects));
  std::vector<int> count(kObjects, 0), last(kThreads, -1);
  for (int id : m_runs) {
    count[id]++;
    EXPECT_GT(id, last[id / kPerThread]);  // each worker's completions keep their order
    last[id / kPerThread] = id;
  }
  for (int i = 0; i < kObjects; ++i) EXPECT_EQ(count[i], 1) << "object " << i;
}

TEST_F(ActiveSchedulerTest, CancelWithdrawsQueuedAndWorkerCompletionsAndNeverHangs) {
  Recorder queued(1, m_runs), from_worker(2, m_runs), other(3, m_runs);
  m_scheduler.cancel(queued);  // not active: nothing to do
  start(queued);
  start(from_worker, false);
  start(other);
  m_scheduler.cancel(queued);
  EXPECT_EQ(m_scheduler.ready_count(), 1u);
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
  pump();
  EXPECT_EQ(m_runs, Runs{3});

  // A cancel before, during or after a worker's notify.
  for (int round = 0; round < 200; ++round) {
    Recorder object(round, m_runs);
    start(object, false);
    Event go(EventReset::manual);
    std::thread notifier([&] {
      go.wait();
      m_scheduler.notify(object);
    });
    go.set();
    m_scheduler.cancel(object);
    notifier.join();
    EXPECT_FALSE(object.is_active());
    EXPECT_EQ(m_scheduler.ready_count(), 0u);
    pump();
  }
  EXPECT_EQ(m_runs, Runs{3});
  EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST(ActiveFatalTest, BrokenRequestRulesStopWithTheirMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  using Misuse = void (*)(CActiveScheduler&, std::unique_ptr<Recorder>&);
  const std::pair<Misuse, const char*> cases[] = {
      {[](auto& s, auto& o) { s.notify(*o); }, "Active object 3 is not active @ "},
      {[](auto& s, auto& o) { s.set_active(*o), s.set_active(*o); }, "Object 3 is already active"},
      {[](auto& s, auto& o) { s.set_active(*o), o.reset(); }, "3 is already active @ CActive::~"},
      {[](auto& s, auto& o) { CActiveScheduler(s.queue()).set_active(*o); },
       "Some active objects still live while scheduler is terminating active_counter=1"}};
  for (const auto& [misuse, message] : cases) {
    EXPECT_EXIT(
        {
          MessageQueue queue;
          CActiveScheduler scheduler(queue);
          Runs runs;
          auto object = std::make_unique<Recorder>(3, runs);
          misuse(scheduler, object);
        },
        testing::ExitedWithCode(kFatalExitCode), std::string("Gluck: .*") + message);
  }
}

}  // namespace
}  // namespace lv
