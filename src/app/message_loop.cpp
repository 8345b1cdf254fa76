#include "app/message_loop.h"

#include "app/main_window.h"
#include "app/script/script_player.h"
#include "base/active.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/sdl_events.h"

namespace lv {

namespace {

// The smaller of two waits where -1 means "no limit".
int earliest(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return a < b ? a : b;
}

}  // namespace

MessageLoop::MessageLoop(MainWindow& window, platform::EventSource& events,
                         CActiveScheduler* scheduler)
    : m_window(window), m_events(events), m_scheduler(scheduler) {
  if (!m_scheduler) return;
  m_scheduler->queue().set_wake_hook([] { platform::post_wake(); });
  // Completions posted before the hook existed.
  if (m_scheduler->queue().size() > 0) platform::post_wake();
}

MessageLoop::~MessageLoop() {
  if (m_scheduler) m_scheduler->queue().set_wake_hook({});
}

int MessageLoop::run() {
  while (step()) {
  }
  return 0;
}

void MessageLoop::run_actives() {
  if (!m_scheduler) return;
  while (const auto message = m_scheduler->queue().take(0))
    if (*message == platform::kMessageActives) m_scheduler->process_actives();
}

void MessageLoop::handle(const platform::WindowEvent& event) {
  switch (event.type) {
    case platform::EventType::wake:
      run_actives();
      return;
    case platform::EventType::script_marker:
      if (m_script) m_script->on_marker(event.message);
      return;
    default:
      m_window.dispatch(event);
  }
}

int MessageLoop::wait_limit(uint32_t now) const {
  int limit = m_window.ms_until_timer(now);
  if (m_scheduler) limit = earliest(limit, m_scheduler->next_timer_ms());
  if (m_script) limit = earliest(limit, m_script->ms_until_due(now));
  return limit;
}

bool MessageLoop::step() {
  if (m_window.finished()) return false;
  if (m_script) m_script->advance(platform::tick_count());
  if (m_scheduler) m_scheduler->pump_timers();

  if (m_window.wants_polling()) {
    if (const auto event = m_events.poll()) {
      handle(*event);
    } else {
      m_window.frame_tick(TickKind::normal);
      m_events.idle_sleep(kIdleSleepMs);
    }
  } else if (const auto event = m_events.wait(wait_limit(platform::tick_count()))) {
    handle(*event);
  }
  // Checked after every message too, so that a stream of input cannot
  // starve the windowed updates.
  m_window.run_timer(platform::tick_count());
  return !m_window.finished();
}

}  // namespace lv
