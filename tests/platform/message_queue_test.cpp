#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace lv::platform {
namespace {

TEST(MessageQueueTest, TakesInPostOrderAndPollsEmpty) {
  MessageQueue queue;
  EXPECT_EQ(queue.take(0), std::nullopt);
  queue.post(7);
  queue.post(kMessageActives);
  queue.post(9);
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue.take(0), 7u);
  EXPECT_EQ(queue.take(0), kMessageActives);
  EXPECT_EQ(queue.take(-1), 9u);
  EXPECT_EQ(queue.take(0), std::nullopt);
}

TEST(MessageQueueTest, TakeTimesOutWhenNothingArrives) {
  MessageQueue queue;
  EXPECT_EQ(queue.take(3), std::nullopt);
  EXPECT_FALSE(queue.take_message(kMessageActives, 3));
}

TEST(MessageQueueTest, TakeMessageLeavesOthersInOrder) {
  MessageQueue queue;
  queue.post(1);
  queue.post(kMessageActives);
  queue.post(2);
  queue.post(kMessageActives);
  EXPECT_TRUE(queue.take_message(kMessageActives, 0));
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue.take(0), 1u);
  EXPECT_EQ(queue.take(0), 2u);
  EXPECT_EQ(queue.take(0), kMessageActives);
  EXPECT_FALSE(queue.take_message(kMessageActives, 0));
}

TEST(MessageQueueTest, BlockingTakeMessageSkipsOtherPostsUntilItsOwn) {
  MessageQueue queue;
  std::thread poster([&] {
    queue.post(5);
    queue.post(6);
    queue.post(kMessageActives);
  });
  EXPECT_TRUE(queue.take_message(kMessageActives, -1));
  poster.join();
  EXPECT_EQ(queue.take(0), 5u);
  EXPECT_EQ(queue.take(0), 6u);
}

TEST(MessageQueueTest, WakeHookRunsAfterEveryPostFromAnyThread) {
  MessageQueue queue;
  std::atomic<int> wakes{0};
  std::atomic<bool> message_visible{true};
  queue.set_wake_hook([&] {
    // The message is already queued when the hook runs.
    if (queue.size() == 0) message_visible = false;
    wakes++;
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&] {
      for (int i = 0; i < 100; ++i) queue.post(kMessageActives);
    });
  for (auto& poster : posters) poster.join();
  EXPECT_EQ(wakes.load(), 400);
  EXPECT_TRUE(message_visible.load());
  EXPECT_EQ(queue.size(), 400u);
  queue.set_wake_hook({});
  queue.post(1);
  EXPECT_EQ(wakes.load(), 400);
}

TEST(MessageQueueTest, MainQueueIsOneInstance) {
  EXPECT_EQ(&main_queue(), &main_queue());
}

}  // namespace
}  // namespace lv::platform
