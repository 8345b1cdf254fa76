#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/message_queue.h"

namespace lv::platform {
namespace {

TEST(Clock, InjectedSourceCanBeSwappedWhileAnotherThreadReads) {
  // Under the sanitizers this catches a reader calling a destroyed source.
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) tick_count();
  });
  for (uint32_t i = 0; i < 200; ++i) set_tick_source([i] { return i; });
  stop = true;
  reader.join();
  EXPECT_EQ(tick_count(), 199u);
  set_tick_source({});  // the real, monotonic clock again
  const uint32_t a = tick_count();
  EXPECT_LT(static_cast<uint32_t>(tick_count() - a), 1000u);
}

TEST(MessageQueueTest, TakesInPostOrderAndTakeMessageLeavesOthersQueued) {
  MessageQueue queue;
  EXPECT_EQ(queue.take(3), std::nullopt);  // times out
  for (uint32_t m : {1u, kMessageActives, 2u, kMessageActives}) queue.post(m);
  EXPECT_TRUE(queue.take_message(kMessageActives, 0));
  EXPECT_EQ(queue.take(0), 1u);
  EXPECT_EQ(queue.take(0), 2u);
  EXPECT_EQ(queue.take(-1), kMessageActives);
  EXPECT_FALSE(queue.take_message(kMessageActives, 3));

  // A blocking take_message skips other posts until its own arrives; every
  // post from any thread wakes the main loop after the message is queued.
  std::atomic<int> wakes{0}, missing{0};
  queue.set_wake_hook([&] { missing += queue.size() == 0, wakes++; });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) queue.post(i == 99 && t == 3 ? kMessageActives : 5);
    });
  EXPECT_TRUE(queue.take_message(kMessageActives, -1));
  for (auto& poster : posters) poster.join();
  EXPECT_EQ(queue.size(), 399u);
  EXPECT_EQ(queue.take(0), 5u);
  EXPECT_EQ(wakes.load(), 400);
  EXPECT_EQ(missing.load(), 0);
  queue.set_wake_hook({});
  queue.post(1);
  EXPECT_EQ(wakes.load(), 400);
}

}  // namespace
}  // namespace lv::platform
