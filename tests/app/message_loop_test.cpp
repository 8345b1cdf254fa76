#include "app/message_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "app/fake_clock.h"
#include "app/main_window.h"
#include "app/window_test_support.h"
#include "base/active.h"
#include "base/timer.h"
#include "platform/message_queue.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"

namespace lv {
namespace {

using platform::EventType;
using platform::WindowEvent;

// Hands out queued events and records how the loop asked for them. Time
// passes only while the loop waits or sleeps.
class ScriptedSource : public platform::EventSource {
 public:
  explicit ScriptedSource(test::FakeClock& clock) : m_clock(clock) {}

  std::optional<WindowEvent> poll() override {
    calls.push_back("poll");
    return take();
  }
  std::optional<WindowEvent> wait(int timeout_ms) override {
    calls.push_back("wait " + std::to_string(timeout_ms));
    if (auto event = take()) return event;
    if (timeout_ms > 0) m_clock.advance(uint32_t(timeout_ms));
    return std::nullopt;
  }
  void idle_sleep(uint32_t ms) override {
    calls.push_back("sleep " + std::to_string(ms));
    m_clock.advance(ms);
  }

  void queue(EventType type) {
    WindowEvent event;
    event.type = type;
    m_events.push_back(event);
  }

  std::vector<std::string> calls;

 private:
  std::optional<WindowEvent> take() {
    if (m_events.empty()) return std::nullopt;
    WindowEvent event = m_events.front();
    m_events.pop_front();
    return event;
  }

  test::FakeClock& m_clock;
  std::deque<WindowEvent> m_events;
};

class MessageLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto platform_window =
        platform::Window::create(u"Lumiview", {120, 160}, platform::WindowBackend::headless);
    ASSERT_TRUE(platform_window);
    window = std::make_unique<MainWindow>(std::move(platform_window));
    window->set_client(&client);
  }

  test::FakeClock clock{10000};
  test::RecordingClient client;
  ScriptedSource source{clock};
  std::unique_ptr<MainWindow> window;
};

TEST_F(MessageLoopTest, WhileWindowedItWaitsNoLongerThanTimerOne) {
  MessageLoop loop(*window, source);
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls, (std::vector<std::string>{"wait 40"}));
  // The wait ran out: timer 1 updated the screens and painted them.
  ASSERT_EQ(client.updates.size(), 1u);
  EXPECT_DOUBLE_EQ(client.updates[0], 0.04);
  EXPECT_EQ(window->frames_drawn(), 1u);

  source.queue(EventType::focus_gained);
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls.back(), "wait 40");
  EXPECT_EQ(client.activations, 1);
}

TEST_F(MessageLoopTest, FullScreenAndShownItPollsTicksAndSleeps) {
  window->go_full_screen(0);
  MessageLoop loop(*window, source);
  ASSERT_TRUE(loop.step());
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls, (std::vector<std::string>{"poll", "sleep 10", "poll", "sleep 10"}));
  ASSERT_EQ(client.updates.size(), 2u);
  EXPECT_DOUBLE_EQ(client.updates[1], 0.01);

  // A waiting message is taken instead of a tick.
  source.queue(EventType::focus_lost);
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls.back(), "poll");
  EXPECT_EQ(client.updates.size(), 2u);
  EXPECT_EQ(client.deactivations, 1);
  // Losing the focus does not stop a window that is still seen.
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls.back(), "sleep 10");
}

TEST_F(MessageLoopTest, AHiddenWindowBlocksUntilSomethingIsDue) {
  window->go_full_screen(0);
  source.queue(EventType::hidden);
  MessageLoop loop(*window, source);
  ASSERT_TRUE(loop.step());
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls, (std::vector<std::string>{"poll", "wait -1"}));
  EXPECT_TRUE(client.updates.empty());

  // Hidden and windowed: timer 1 has nothing to do either.
  window->go_windowed(Taskbar::hidden);
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls.back(), "wait -1");

  source.queue(EventType::shown);
  ASSERT_TRUE(loop.step());
  ASSERT_TRUE(loop.step());
  EXPECT_EQ(source.calls.back(), "wait 40");
}

TEST_F(MessageLoopTest, SchedulerTimersShortenTheWait) {
  platform::MessageQueue queue;
  CActiveScheduler scheduler(queue);
  int fired = 0;
  Timer timer(scheduler, [&] { ++fired; });
  timer.start(0.025);
  {
    MessageLoop loop(*window, source, &scheduler);
    ASSERT_TRUE(loop.step());
    EXPECT_EQ(source.calls.back(), "wait 25");
    // Due now: the pump posts its completion, which the next wake runs.
    ASSERT_TRUE(loop.step());
    EXPECT_EQ(queue.size(), 1u);
    source.queue(EventType::wake);
    ASSERT_TRUE(loop.step());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(queue.size(), 0u);
  }
}

TEST_F(MessageLoopTest, RunEndsWhenTheWindowIsGone) {
  window->go_full_screen(0);
  for (int i = 0; i < 3; ++i) source.queue(EventType::exposed);
  source.queue(EventType::quit);
  MessageLoop loop(*window, source);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_TRUE(window->finished());
  EXPECT_FALSE(loop.step());
  EXPECT_EQ(source.calls.size(), 4u);
}

class Completion : public CActive {
 public:
  Completion() : CActive(7) {}
  void RunL() override { ran_on = std::this_thread::get_id(); }
  std::thread::id ran_on;
};

TEST(MessageLoopWake, CompletionsOfOtherThreadsRunOnTheLoopsThread) {
  auto platform_window =
      platform::Window::create(u"Lumiview", {64, 64}, platform::WindowBackend::headless);
  ASSERT_TRUE(platform_window);
  MainWindow window(std::move(platform_window));
  platform::SdlEventSource events;
  platform::MessageQueue queue;
  CActiveScheduler scheduler(queue);
  MessageLoop loop(window, events, &scheduler);

  Completion completion;
  scheduler.set_active(completion);
  std::thread worker([&] { scheduler.notify(completion); });
  worker.join();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (completion.is_active() && std::chrono::steady_clock::now() < deadline) loop.step();
  EXPECT_FALSE(completion.is_active());
  EXPECT_EQ(completion.ran_on, std::this_thread::get_id());
}

}  // namespace
}  // namespace lv
