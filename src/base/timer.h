#pragma once

// Millisecond timers whose callback runs on the main thread, through the
// active-object scheduler.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/active.h"

namespace lv {

// The active object behind a Timer: its RunL calls the callback once.
class TimerActive : public CActive {
 public:
  static constexpr int kIdentifier = 2;

  explicit TimerActive(std::function<void()> callback);

  void RunL() override;
  void make_due() override;

  uint32_t due_tick() const { return m_due_tick; }
  void set_due_tick(uint32_t tick) { m_due_tick = tick; }

 private:
  std::function<void()> m_callback;
  uint32_t m_due_tick = 0;
};

// The scheduler's started timers, in start order.
class TimerList {
 public:
  // Entries closer than this to their due tick are due.
  static constexpr int32_t kDueWithinMs = 1;
  // The longest the main loop is told to wait while a timer is pending.
  static constexpr uint32_t kMaxWaitMs = 10000000;

  void append(TimerActive& timer) { m_timers.push_back(&timer); }
  bool remove(const CActive& object);
  size_t size() const { return m_timers.size(); }

  // Takes every due entry out of the list, in list order, and hands it to
  // `due`. Answers the smallest remaining time of the others, capped at
  // kMaxWaitMs, or nullopt when none is left.
  std::optional<uint32_t> take_due(uint32_t now, const std::function<void(TimerActive&)>& due);

 private:
  std::vector<TimerActive*> m_timers;
};

// A one-shot timer: start(seconds) makes the callback run once on the main
// thread when the time has passed (at the earliest after the next scheduler
// message, never inside start). Starting again replaces the pending run.
class Timer {
 public:
  // Uses CActiveScheduler::current(), which must exist.
  explicit Timer(std::function<void()> callback);
  Timer(CActiveScheduler& scheduler, std::function<void()> callback);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void start(double seconds);
  void cancel();
  bool is_active() const;

 private:
  CActiveScheduler& m_scheduler;
  std::unique_ptr<TimerActive> m_active;
};

}  // namespace lv
