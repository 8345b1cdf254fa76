#include "app/message_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

#include "app/window_test_support.h"
#include "base/active.h"
#include "base/timer.h"
#include "platform/message_queue.h"
#include "platform/sdl_events.h"

namespace lv {
namespace {

using platform::EventType;
using platform::WindowEvent;

// Hands out queued events and records how the loop asked for them ("poll;
// sleep 10; wait 40; ..."). Time passes only while the loop waits or sleeps.
class ScriptedSource : public platform::EventSource {
 public:
  explicit ScriptedSource(test::FakeClock& clock) : m_clock(clock) {}

  std::optional<WindowEvent> poll() override { return take("poll", 0); }
  std::optional<WindowEvent> wait(int timeout_ms) override {
    return take("wait " + std::to_string(timeout_ms), std::max(timeout_ms, 0));
  }
  void idle_sleep(uint32_t ms) override {
    calls += "sleep " + std::to_string(ms) + "; ";
    m_clock.advance(ms);
  }
  void queue(EventType type) { m_events.push_back(type); }

  std::string calls;

 private:
  std::optional<WindowEvent> take(const std::string& call, int ms_if_none) {
    calls += call + "; ";
    if (m_events.empty()) return m_clock.advance(uint32_t(ms_if_none)), std::nullopt;
    WindowEvent event;
    event.type = m_events.front();
    m_events.pop_front();
    return event;
  }

  test::FakeClock& m_clock;
  std::deque<EventType> m_events;
};

class MessageLoopTest : public ::testing::Test {
 protected:
  // Steps the loop `count` times; answers the calls they made.
  std::string steps(int count) {
    source.calls.clear();
    for (int i = 0; i < count; ++i) EXPECT_TRUE(loop.step());
    return source.calls;
  }

  test::FakeClock clock{10000};
  test::RecordingClient client;
  ScriptedSource source{clock};
  std::unique_ptr<MainWindow> window = test::headless_window({120, 160}, &client);
  platform::MessageQueue queue;
  CActiveScheduler scheduler{queue};
  MessageLoop loop{*window, source, &scheduler};
};

// A waiting message is taken instead of a tick; losing the focus does not
// stop a window that is still seen; a hidden one blocks until something is
// due, windowed or not.
TEST_F(MessageLoopTest, FullScreenAndShownItPollsTicksAndSleepsAndHiddenItBlocks) {
  window->go_full_screen(0);
  EXPECT_EQ(steps(2), "poll; sleep 10; poll; sleep 10; ");
  EXPECT_EQ(client.updates, (std::vector<double>{0.001, 0.01}));
  source.queue(EventType::focus_lost);
  EXPECT_EQ(steps(2), "poll; poll; sleep 10; ");
  EXPECT_TRUE(client.updates.size() == 3u && client.log == "deactivated");
  source.queue(EventType::hidden);
  EXPECT_EQ(steps(2), "poll; wait -1; ");
  window->go_windowed(Taskbar::hidden);
  EXPECT_EQ(steps(1), "wait -1; ");
  // Shown again, windowed: it waits no longer than timer one, which updates.
  source.queue(EventType::shown);
  EXPECT_EQ(steps(2), "wait -1; wait 40; ");
  EXPECT_EQ(client.updates.size(), 4u);
}

TEST_F(MessageLoopTest, SchedulerTimersShortenTheWait) {
  int fired = 0;
  Timer timer(scheduler, [&] { ++fired; });
  timer.start(0.025);
  EXPECT_EQ(steps(1), "wait 25; ");
  // Due now: the pump posts its completion, which the next wake runs.
  steps(1);
  EXPECT_EQ(queue.size(), 1u);
  source.queue(EventType::wake);
  steps(1);
  EXPECT_TRUE(fired == 1 && queue.size() == 0u);
}

class Completion : public CActive {
 public:
  Completion() : CActive(7) {}
  void RunL() override { ran_on = std::this_thread::get_id(); }
  std::thread::id ran_on;
};

TEST(MessageLoopWake, CompletionsOfOtherThreadsRunOnTheLoopsThread) {
  auto window = test::headless_window({64, 64}, nullptr);
  platform::SdlEventSource events;
  platform::MessageQueue queue;
  CActiveScheduler scheduler(queue);
  MessageLoop loop(*window, events, &scheduler);
  Completion completion;
  scheduler.set_active(completion);
  std::thread([&] { scheduler.notify(completion); }).join();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (completion.is_active() && std::chrono::steady_clock::now() < deadline) loop.step();
  EXPECT_TRUE(!completion.is_active() && completion.ran_on == std::this_thread::get_id());
}

}  // namespace
}  // namespace lv
