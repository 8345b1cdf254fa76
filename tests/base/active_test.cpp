#include "app/base/active.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/base/log.h"
#include "app/base/thread.h"
#include "platform/message_queue.h"

namespace lv {
namespace {

using platform::kMessageActives;
using platform::MessageQueue;

// Records the order in which RunL calls happen.
class Recorder : public CActive {
 public:
  Recorder(int identifier, std::vector<int>& log, std::function<void()> extra = {})
      : CActive(identifier), m_log(log), m_extra(std::move(extra)) {}
  void RunL() override {
    m_active_during_run = is_active();
    m_log.push_back(identifier());
    if (m_extra) m_extra();
  }
  bool active_during_run() const { return m_active_during_run; }

 private:
  std::vector<int>& m_log;
  std::function<void()> m_extra;
  bool m_active_during_run = true;
};

// Drains a queue the way the main loop does, until it is empty.
void pump(CActiveScheduler& scheduler) {
  while (scheduler.queue().size() > 0) scheduler.run_once(0);
}

TEST(ActiveSchedulerTest, NotifiedObjectRunsOnceOnTheNextMessage) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder object(7, runs);

  scheduler.set_active(object);
  EXPECT_TRUE(object.is_active());
  EXPECT_EQ(scheduler.active_count(), 1);
  scheduler.notify(object);
  EXPECT_TRUE(runs.empty());  // never inside notify
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(scheduler.ready_count(), 1u);

  EXPECT_EQ(scheduler.run_once(0), std::nullopt);
  EXPECT_EQ(runs, std::vector<int>{7});
  EXPECT_FALSE(object.active_during_run());
  EXPECT_FALSE(object.is_active());
  EXPECT_EQ(scheduler.active_count(), 0);
  EXPECT_EQ(scheduler.ready_count(), 0u);
  EXPECT_EQ(queue.size(), 0u);
}

TEST(ActiveSchedulerTest, OneProcessActivesRunsEarlierCompletionsInNotificationOrder) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder first(1, runs), second(2, runs), third(3, runs);
  scheduler.set_active(first);
  scheduler.set_active(second);
  scheduler.set_active(third);
  scheduler.notify(second);
  scheduler.notify(third);
  scheduler.notify(first);
  EXPECT_EQ(queue.size(), 3u);

  ASSERT_EQ(queue.take(0), kMessageActives);
  scheduler.process_actives();
  EXPECT_EQ(runs, (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(scheduler.active_count(), 0);
  // The two remaining messages find an empty list and do nothing.
  pump(scheduler);
  EXPECT_EQ(runs.size(), 3u);
}

TEST(ActiveSchedulerTest, CompletionQueuedDuringRunLWaitsForItsOwnMessage) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder later(2, runs);
  // An object that completes itself again on every run would otherwise keep
  // one process_actives call going for ever.
  bool later_started = false;
  std::unique_ptr<Recorder> again;
  again = std::make_unique<Recorder>(1, runs, [&] {
    if (runs.size() < 3) {
      scheduler.set_active(*again);
      scheduler.notify(*again);
    }
    if (!later_started) {
      later_started = true;
      scheduler.set_active(later);
      scheduler.notify(later);
    }
  });
  scheduler.set_active(*again);
  scheduler.notify(*again);

  scheduler.run_once(0);
  EXPECT_EQ(runs, std::vector<int>{1});
  EXPECT_EQ(scheduler.ready_count(), 2u);
  scheduler.run_once(0);
  EXPECT_EQ(runs, (std::vector<int>{1, 1, 2}));
  pump(scheduler);
  EXPECT_EQ(runs, (std::vector<int>{1, 1, 2, 1}));
  EXPECT_EQ(scheduler.active_count(), 0);
}

TEST(ActiveSchedulerTest, RunOnceHandsOtherMessagesBack) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  queue.post(1058);
  EXPECT_EQ(scheduler.run_once(0), 1058u);
  EXPECT_EQ(scheduler.run_once(0), std::nullopt);
}

TEST(ActiveSchedulerTest, NotifyFromFourThreadsAtOnceRunsEveryObjectOnce) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 50;
  std::vector<int> runs;
  std::vector<std::unique_ptr<Recorder>> objects;
  for (int i = 0; i < kThreads * kPerThread; ++i) {
    objects.push_back(std::make_unique<Recorder>(i, runs));
    scheduler.set_active(*objects.back());
  }

  Event go(EventReset::manual);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      go.wait();
      for (int i = 0; i < kPerThread; ++i) scheduler.notify(*objects[t * kPerThread + i]);
    });
  go.set();
  // The main loop runs while the workers notify, as in the program.
  int processed_messages = 0;
  while (processed_messages < kThreads * kPerThread) {
    if (scheduler.run_once(-1) == std::nullopt) ++processed_messages;
  }
  for (auto& worker : workers) worker.join();

  EXPECT_EQ(scheduler.active_count(), 0);
  EXPECT_EQ(queue.size(), 0u);
  ASSERT_EQ(runs.size(), static_cast<size_t>(kThreads * kPerThread));
  std::vector<int> count(kThreads * kPerThread, 0);
  for (int id : runs) count[id]++;
  for (int i = 0; i < kThreads * kPerThread; ++i) EXPECT_EQ(count[i], 1) << "object " << i;
  // Each worker's completions keep their order.
  for (int t = 0; t < kThreads; ++t) {
    int last = -1;
    for (int id : runs)
      if (id / kPerThread == t) {
        EXPECT_GT(id, last);
        last = id;
      }
  }
}

TEST(ActiveSchedulerTest, CancelOfInactiveObjectDoesNothing) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder object(1, runs);
  scheduler.cancel(object);
  EXPECT_FALSE(object.is_active());
  EXPECT_EQ(scheduler.active_count(), 0);
  EXPECT_EQ(queue.size(), 0u);
}

TEST(ActiveSchedulerTest, CancelRemovesQueuedCompletionAndKeepsTheOthers) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder first(1, runs), second(2, runs);
  scheduler.set_active(first);
  scheduler.set_active(second);
  scheduler.notify(first);
  scheduler.notify(second);
  scheduler.cancel(first);
  EXPECT_FALSE(first.is_active());
  EXPECT_EQ(scheduler.active_count(), 1);
  EXPECT_EQ(scheduler.ready_count(), 1u);
  pump(scheduler);
  EXPECT_EQ(runs, std::vector<int>{2});
  EXPECT_EQ(scheduler.active_count(), 0);
}

TEST(ActiveSchedulerTest, CancelWaitsForWorkerCompletionAndReplacesTakenMessage) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  Recorder from_worker(1, runs), other(2, runs);
  scheduler.set_active(from_worker);
  scheduler.set_active(other);
  scheduler.notify(other);
  queue.post(1058);  // an unrelated message stays where it is
  ASSERT_EQ(queue.size(), 2u);

  // The worker completes only once cancel has taken other's 1029 while
  // looking for its object, so cancel has to wait for the worker's notify.
  std::thread worker([&] {
    while (queue.size() != 1) std::this_thread::yield();
    scheduler.notify(from_worker);
  });
  scheduler.cancel(from_worker);
  worker.join();

  EXPECT_FALSE(from_worker.is_active());
  EXPECT_EQ(scheduler.active_count(), 1);
  EXPECT_EQ(scheduler.ready_count(), 1u);
  // The worker's 1029 was taken too; one replacement stands for both.
  EXPECT_EQ(queue.size(), 2u);
  EXPECT_EQ(scheduler.run_once(0), 1058u);
  EXPECT_EQ(scheduler.run_once(0), std::nullopt);
  EXPECT_EQ(runs, std::vector<int>{2});
  EXPECT_EQ(queue.size(), 0u);
}

TEST(ActiveSchedulerTest, CancelRacingWorkerNotifyNeverHangsOrRuns) {
  MessageQueue queue;
  CActiveScheduler scheduler(queue);
  std::vector<int> runs;
  for (int round = 0; round < 200; ++round) {
    Recorder object(round, runs);
    scheduler.set_active(object);
    Event go(EventReset::manual);
    std::thread worker([&] {
      go.wait();
      scheduler.notify(object);
    });
    go.set();
    scheduler.cancel(object);  // before, during or after the notify
    worker.join();
    EXPECT_FALSE(object.is_active());
    EXPECT_EQ(scheduler.ready_count(), 0u);
    pump(scheduler);
  }
  EXPECT_TRUE(runs.empty());
  EXPECT_EQ(scheduler.active_count(), 0);
}

TEST(ActiveSchedulerTest, FirstSchedulerIsCurrentUntilDestroyed) {
  MessageQueue queue;
  ASSERT_EQ(CActiveScheduler::current(), nullptr);
  {
    CActiveScheduler first(queue);
    EXPECT_EQ(CActiveScheduler::current(), &first);
    {
      CActiveScheduler second(queue);
      EXPECT_EQ(CActiveScheduler::current(), &first);
    }
    EXPECT_EQ(CActiveScheduler::current(), &first);
  }
  EXPECT_EQ(CActiveScheduler::current(), nullptr);
}

class ActiveFatalTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ActiveFatalTest, SetActiveTwiceStops) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        CActiveScheduler scheduler(queue);
        std::vector<int> runs;
        Recorder object(3, runs);
        scheduler.set_active(object);
        scheduler.set_active(object);
      },
      testing::ExitedWithCode(kFatalExitCode),
      "Gluck: Object 3 is already active @ CActiveScheduler::set_active\\(\\)");
}

TEST_F(ActiveFatalTest, NotifyOfInactiveObjectStops) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        CActiveScheduler scheduler(queue);
        std::vector<int> runs;
        Recorder object(3, runs);
        scheduler.notify(object);
      },
      testing::ExitedWithCode(kFatalExitCode),
      "Gluck: Active object 3 is not active @ CActiveScheduler::notify\\(\\)");
}

TEST_F(ActiveFatalTest, SecondCompletionOfSameRequestStops) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        CActiveScheduler scheduler(queue);
        std::vector<int> runs;
        Recorder object(3, runs);
        scheduler.set_active(object);
        scheduler.notify(object);
        scheduler.notify(object);
        scheduler.process_actives();  // second entry: not marked active
      },
      testing::ExitedWithCode(kFatalExitCode),
      "Gluck: Active object 3 is not marked active @ CActiveScheduler::process_actives\\(\\)");
}

TEST_F(ActiveFatalTest, DestroyingActiveObjectStops) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        CActiveScheduler scheduler(queue);
        std::vector<int> runs;
        auto object = std::make_unique<Recorder>(3, runs);
        scheduler.set_active(*object);
        object.reset();
      },
      testing::ExitedWithCode(kFatalExitCode),
      "Gluck: Active object 3 is already active @ CActive::~CActive\\(\\)");
}

TEST_F(ActiveFatalTest, SchedulerDestroyedWithActiveObjectsStops) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        std::vector<int> runs;
        auto object = std::make_unique<Recorder>(3, runs);
        auto scheduler = std::make_unique<CActiveScheduler>(queue);
        scheduler->set_active(*object);
        scheduler.reset();
      },
      testing::ExitedWithCode(kFatalExitCode),
      "Gluck: Some active objects still live while scheduler is terminating active_counter=1 @ \n");
}

TEST_F(ActiveFatalTest, CleanTeardownDoesNotStop) {
  EXPECT_EXIT(
      {
        MessageQueue queue;
        std::vector<int> runs;
        {
          CActiveScheduler scheduler(queue);
          Recorder object(3, runs);
          scheduler.set_active(object);
          scheduler.notify(object);
          scheduler.process_actives();
        }
        std::exit(runs.size() == 1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lv
