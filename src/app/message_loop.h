#pragma once

// The main loop. While the window is shown with the display open it polls:
// a waiting message is dispatched, otherwise a frame tick runs and the loop
// sleeps 10 ms. Otherwise it blocks until a message arrives, the window timer or a
// scheduler timer is due, or a scripted step is due. The main queue of the
// active-object scheduler wakes it through the window's event queue.

#include <cstdint>

namespace lv {

namespace platform {
class EventSource;
struct WindowEvent;
}  // namespace platform

class CActiveScheduler;
class MainWindow;
class ScriptPlayer;

inline constexpr uint32_t kIdleSleepMs = 10;

class MessageLoop {
 public:
  // The scheduler (may be null) gets its queue's wake-up hook for the life
  // of the loop.
  MessageLoop(MainWindow& window, platform::EventSource& events,
              CActiveScheduler* scheduler = nullptr);
  ~MessageLoop();
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Not owned; null plays nothing.
  void set_script(ScriptPlayer* script) { m_script = script; }

  // Runs until the window is gone; the exit code (0).
  int run();
  // One pass; false once the window is gone.
  bool step();

 private:
  void handle(const platform::WindowEvent& event);
  void run_actives();
  int wait_limit(uint32_t now) const;

  MainWindow& m_window;
  platform::EventSource& m_events;
  CActiveScheduler* m_scheduler;
  ScriptPlayer* m_script = nullptr;
};

}  // namespace lv
