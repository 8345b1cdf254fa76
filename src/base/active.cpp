#include "base/active.h"

#include <algorithm>
#include <deque>
#include <string>

#include "base/log.h"
#include "base/thread.h"
#include "base/timer.h"
#include "platform/clock.h"

namespace lv {

namespace {

std::atomic<CActiveScheduler*> g_current{nullptr};

std::u16string number_text(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

struct ReadyEntry {
  CActive* object;
  uint64_t sequence;  // notification order; bounds one process_actives pass
};

}  // namespace

CActive::~CActive() {
  if (is_active())
    fatal_stop(u"Active object " + number_text(m_identifier) + u" is already active",
               u"CActive::~CActive()");
}

struct CActiveScheduler::Impl {
  explicit Impl(platform::MessageQueue& queue) : queue(queue) {}

  platform::MessageQueue& queue;
  std::atomic<int> active_counter{0};

  mutable Lock lock;  // guards the ready list and the sequence
  std::deque<ReadyEntry> ready;
  uint64_t next_sequence = 0;

  // Main thread only.
  TimerList timers;
  std::optional<uint32_t> next_due_tick;

  bool remove_ready(const CActive& object) {
    LockGuard guard(lock);
    auto found = std::find_if(ready.begin(), ready.end(),
                              [&](const ReadyEntry& entry) { return entry.object == &object; });
    if (found == ready.end()) return false;
    ready.erase(found);
    return true;
  }
};

CActiveScheduler::CActiveScheduler(platform::MessageQueue& queue)
    : m_impl(std::make_unique<Impl>(queue)) {
  CActiveScheduler* none = nullptr;
  g_current.compare_exchange_strong(none, this);
}

CActiveScheduler::~CActiveScheduler() {
  CActiveScheduler* self = this;
  g_current.compare_exchange_strong(self, nullptr);
  const int counter = m_impl->active_counter.load();
  if (counter != 0)
    fatal_stop(u"Some active objects still live while scheduler is terminating active_counter=" +
                   number_text(counter),
               u"");
}

CActiveScheduler* CActiveScheduler::current() {
  return g_current.load();
}

void CActiveScheduler::set_active(CActive& object) {
  if (object.is_active())
    fatal_stop(u"Object " + number_text(object.identifier()) + u" is already active",
               u"CActiveScheduler::set_active()");
  object.m_active.store(true, std::memory_order_release);
  m_impl->active_counter.fetch_add(1);
}

void CActiveScheduler::notify(CActive& object) {
  if (!object.is_active())
    fatal_stop(u"Active object " + number_text(object.identifier()) + u" is not active",
               u"CActiveScheduler::notify()");
  {
    LockGuard guard(m_impl->lock);
    m_impl->ready.push_back({&object, m_impl->next_sequence++});
  }
  // Posted after queueing: whoever takes this message finds the object (or
  // finds that a process_actives already ran it). The queue keeps the
  // message until it is taken, so a cancel that is about to wait sees it.
  m_impl->queue.post(platform::kMessageActives);
}

void CActiveScheduler::process_actives() {
  uint64_t end;
  {
    LockGuard guard(m_impl->lock);
    end = m_impl->next_sequence;
  }
  for (;;) {
    CActive* object;
    {
      LockGuard guard(m_impl->lock);
      if (m_impl->ready.empty() || m_impl->ready.front().sequence >= end) return;
      object = m_impl->ready.front().object;
      m_impl->ready.pop_front();
    }
    if (!object->is_active())
      fatal_stop(u"Active object " + number_text(object->identifier()) + u" is not marked active",
                 u"CActiveScheduler::process_actives()");
    object->m_active.store(false, std::memory_order_release);
    m_impl->active_counter.fetch_sub(1);
    // RunL may destroy the object; it is not touched afterwards.
    object->RunL();
  }
}

void CActiveScheduler::cancel(CActive& object) {
  if (!object.is_active()) return;
  bool consumed_message = false;
  for (;;) {
    // A timer not yet due is only in the timer list: nothing is on its way.
    if (m_impl->timers.remove(object) || m_impl->remove_ready(object)) break;
    // Completed on another thread but not yet queued: its notify posts a
    // kMessageActives after queueing it, and the queue keeps that message for us.
    m_impl->queue.take_message(platform::kMessageActives, -1);
    consumed_message = true;
  }
  object.m_active.store(false, std::memory_order_release);
  m_impl->active_counter.fetch_sub(1);
  // Other completions may have been announced by the messages taken here.
  if (consumed_message) m_impl->queue.post(platform::kMessageActives);
}

int CActiveScheduler::active_count() const {
  return m_impl->active_counter.load();
}

size_t CActiveScheduler::ready_count() const {
  LockGuard guard(m_impl->lock);
  return m_impl->ready.size();
}

void CActiveScheduler::add_timer(TimerActive& timer) {
  m_impl->timers.append(timer);
  pump_timers();
}

void CActiveScheduler::pump_timers() {
  const uint32_t now = platform::tick_count();
  const std::optional<uint32_t> remaining =
      m_impl->timers.take_due(now, [this](TimerActive& timer) { notify(timer); });
  if (remaining)
    m_impl->next_due_tick = now + *remaining;
  else
    m_impl->next_due_tick.reset();
}

int CActiveScheduler::next_timer_ms() const {
  if (!m_impl->next_due_tick) return -1;
  const int32_t remaining = static_cast<int32_t>(*m_impl->next_due_tick - platform::tick_count());
  return std::max(remaining, int32_t{0});
}

size_t CActiveScheduler::timer_count() const {
  return m_impl->timers.size();
}

std::optional<uint32_t> CActiveScheduler::run_once(int max_wait_ms) {
  pump_timers();
  int wait_ms = max_wait_ms;
  const int timer_ms = next_timer_ms();
  if (timer_ms >= 0 && (wait_ms < 0 || timer_ms < wait_ms)) wait_ms = timer_ms;
  const std::optional<uint32_t> message = m_impl->queue.take(wait_ms);
  if (message == platform::kMessageActives) {
    process_actives();
    return std::nullopt;
  }
  return message;
}

platform::MessageQueue& CActiveScheduler::queue() {
  return m_impl->queue;
}

}  // namespace lv
