#pragma once

// Active objects: a request is marked outstanding on the main thread, any
// thread may complete it, and its RunL then runs on the main thread when the
// scheduler's message (platform::kMessageActives) is taken from the main queue. The scheduler also
// keeps the timers (see timer.h) and gives the main loop how long it may wait.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/message_queue.h"

namespace lv {

class TimerActive;

class CActive {
 public:
  explicit CActive(int identifier) : m_identifier(identifier) {}
  // Destroying an object whose request is still outstanding is a fatal stop.
  virtual ~CActive();
  CActive(const CActive&) = delete;
  CActive& operator=(const CActive&) = delete;

  // Runs on the main thread once the request has completed; the object is
  // already inactive, so RunL may start a new request.
  virtual void RunL() = 0;
  // Makes the object due now (timers move their due tick to the present).
  virtual void make_due() {}

  bool is_active() const { return m_active.load(std::memory_order_acquire); }
  int identifier() const { return m_identifier; }

 private:
  friend class CActiveScheduler;
  std::atomic<bool> m_active{false};
  int m_identifier;
};

class CActiveScheduler {
 public:
  // The first scheduler made becomes current() until it is destroyed.
  explicit CActiveScheduler(platform::MessageQueue& queue = platform::main_queue());
  // Fatal stop when active objects are still registered.
  ~CActiveScheduler();
  CActiveScheduler(const CActiveScheduler&) = delete;
  CActiveScheduler& operator=(const CActiveScheduler&) = delete;

  // The scheduler the application made (or a test), or nullptr.
  static CActiveScheduler* current();

  // Marks a request outstanding. Main thread.
  void set_active(CActive& object);
  // Completes a request: queues the object and posts kMessageActives. Any thread.
  void notify(CActive& object);
  // Runs RunL of every completion queued before the call, in notification
  // order. Completions queued meanwhile wait for their own kMessageActives. Main thread.
  void process_actives();
  // Withdraws an outstanding request so that its RunL will not run. A timer
  // that is not yet due is withdrawn at once; otherwise this waits for the
  // completion, which must be on its way. Main thread.
  void cancel(CActive& object);

  int active_count() const;
  size_t ready_count() const;

  // Timers, main thread only. add_timer appends an already active timer and
  // runs the timer pump.
  void add_timer(TimerActive& timer);
  // Notifies every timer due within 1 ms and records when the next one is due.
  void pump_timers();
  // Milliseconds until the next timer is due as of the last pump (0 when it
  // is already due), or -1 when no timer is pending.
  int next_timer_ms() const;
  size_t timer_count() const;

  // One step of a main loop: pumps the timers, waits up to max_wait_ms
  // (negative: without limit) but no longer than the next timer for one
  // message, and runs process_actives when it is kMessageActives. Any other message is
  // handed back to the caller.
  std::optional<uint32_t> run_once(int max_wait_ms);

  platform::MessageQueue& queue();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
