#include "base/timer.h"

#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "platform/clock.h"

namespace lv {

namespace {

// Ticks are compared by difference, so a delay must stay well inside int32.
constexpr double kMaxDelayMs = 2000000000.0;

uint32_t delay_ms(double seconds) {
  const double ms = seconds * 1000.0 + 0.5;
  if (!(ms > 0.0)) return 0;  // also catches NaN
  return static_cast<uint32_t>(std::min(ms, kMaxDelayMs));
}

CActiveScheduler& current_scheduler() {
  CActiveScheduler* scheduler = CActiveScheduler::current();
  if (!scheduler) fatal_stop(u"No active scheduler", u"Timer::Timer()");
  return *scheduler;
}

}  // namespace

TimerActive::TimerActive(std::function<void()> callback)
    : CActive(kIdentifier), m_callback(std::move(callback)) {}

void TimerActive::RunL() {
  // The callback may destroy this timer: run a copy.
  const std::function<void()> callback = m_callback;
  if (callback) callback();
}

void TimerActive::make_due() {
  m_due_tick = platform::tick_count();
}

bool TimerList::remove(const CActive& object) {
  auto found = std::find(m_timers.begin(), m_timers.end(), &object);
  if (found == m_timers.end()) return false;
  m_timers.erase(found);
  return true;
}

std::optional<uint32_t> TimerList::take_due(uint32_t now,
                                            const std::function<void(TimerActive&)>& due) {
  // Take the due entries out first: `due` must not see a half-walked list.
  std::vector<TimerActive*> taken;
  uint32_t smallest = kMaxWaitMs;
  bool pending = false;
  auto keep = m_timers.begin();
  for (TimerActive* timer : m_timers) {
    const int32_t remaining = static_cast<int32_t>(timer->due_tick() - now);
    if (remaining < kDueWithinMs) {
      taken.push_back(timer);
      continue;
    }
    pending = true;
    smallest = std::min(smallest, static_cast<uint32_t>(remaining));
    *keep++ = timer;
  }
  m_timers.erase(keep, m_timers.end());
  for (TimerActive* timer : taken) due(*timer);
  if (!pending) return std::nullopt;
  return smallest;
}

Timer::Timer(std::function<void()> callback) : Timer(current_scheduler(), std::move(callback)) {}

Timer::Timer(CActiveScheduler& scheduler, std::function<void()> callback)
    : m_scheduler(scheduler), m_active(std::make_unique<TimerActive>(std::move(callback))) {}

Timer::~Timer() {
  cancel();
}

void Timer::start(double seconds) {
  m_scheduler.cancel(*m_active);
  m_active->set_due_tick(platform::tick_count() + delay_ms(seconds));
  m_scheduler.set_active(*m_active);
  m_scheduler.add_timer(*m_active);
}

void Timer::cancel() {
  m_scheduler.cancel(*m_active);
}

bool Timer::is_active() const {
  return m_active->is_active();
}

}  // namespace lv
