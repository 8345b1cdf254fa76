#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace lv::platform {
namespace {

TEST(Clock, InjectedSourceReplacesAndRestoresTheRealClock) {
  uint32_t fake = 0xFFFFFFF0u;
  set_tick_source([&] { return fake; });
  EXPECT_EQ(tick_count(), 0xFFFFFFF0u);
  fake += 0x20;  // wraps, as the real counter does after 49.7 days
  EXPECT_EQ(tick_count(), 0x10u);
  EXPECT_EQ(static_cast<uint32_t>(tick_count() - 0xFFFFFFF0u), 0x20u);

  set_tick_source({});
  fake = 0;
  const uint32_t a = tick_count();
  const uint32_t b = tick_count();
  // The monotonic clock never steps back between two reads.
  EXPECT_LT(static_cast<uint32_t>(b - a), 1000u);
}

// Workers read the clock while a test swaps it; under the sanitizers this
// catches a reader calling a source that was already destroyed.
TEST(Clock, SourceCanBeSwappedWhileOtherThreadsRead) {
  set_tick_source([] { return uint32_t{9}; });
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i)
    readers.emplace_back([&] {
      while (!stop) {
        const uint32_t t = tick_count();
        if (t != 7 && t != 9) ADD_FAILURE() << t;
      }
    });
  for (int i = 0; i < 200; ++i) {
    set_tick_source([] { return uint32_t{7}; });
    set_tick_source([] { return uint32_t{9}; });
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(tick_count(), 9u);
  set_tick_source({});
}

}  // namespace
}  // namespace lv::platform
