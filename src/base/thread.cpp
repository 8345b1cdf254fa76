#include "base/thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>

#include "base/log.h"
#include "platform/thread_priority.h"

namespace lv {

namespace {

// Shared between the Thread object and its thread procedure, so that the
// procedure's last steps stay valid even if the object is destroyed while
// run is still going (an owner's bug, but not one that should corrupt memory).
struct ThreadState {
  std::atomic<bool> running{false};
  std::atomic<bool> stop{false};
  std::mutex priority_mutex;
  int priority_level = 0;
  platform::ThreadId thread_id = 0;  // 0 while no thread runs
};

}  // namespace

struct Thread::Impl {
  std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
  std::thread thread;

  bool is_own_thread() const { return thread.get_id() == std::this_thread::get_id(); }
};

Thread::Thread() : m_impl(std::make_unique<Impl>()) {}

Thread::~Thread() {
  std::thread& thread = m_impl->thread;
  if (!thread.joinable()) return;
  if (!m_impl->state->running.load(std::memory_order_acquire) && !m_impl->is_own_thread()) {
    thread.join();  // run has returned; only the procedure's exit is left
    return;
  }
  if (!m_impl->is_own_thread()) log() << u"Thread::~Thread thread still running\n";
  thread.detach();
}

bool Thread::start() {
  auto& state = m_impl->state;
  if (state->running.load(std::memory_order_acquire)) return false;
  // A thread whose run has returned may still be on its way out.
  if (m_impl->thread.joinable()) {
    if (m_impl->is_own_thread())
      m_impl->thread.detach();
    else
      m_impl->thread.join();
  }
  state->stop.store(false);
  state->running.store(true, std::memory_order_release);
  try {
    m_impl->thread = std::thread([this, state] {
      {
        std::lock_guard lock(state->priority_mutex);
        state->thread_id = platform::current_thread_id();
        if (state->priority_level != 0)
          platform::set_thread_priority(state->thread_id, state->priority_level);
      }
      run();
      // From here on `this` may be gone: touch only the shared state.
      {
        std::lock_guard lock(state->priority_mutex);
        state->thread_id = 0;
      }
      state->running.store(false, std::memory_order_release);
    });
  } catch (const std::system_error& error) {
    state->running.store(false);
    log() << u"Thread::start failed " << error.what() << u"\n";
    return false;
  }
  return true;
}

void Thread::request_stop() {
  m_impl->state->stop.store(true);
}

bool Thread::stop_requested() const {
  return m_impl->state->stop.load();
}

void Thread::join() {
  if (m_impl->thread.joinable() && !m_impl->is_own_thread()) m_impl->thread.join();
}

bool Thread::is_running() const {
  return m_impl->state->running.load(std::memory_order_acquire);
}

void Thread::set_priority(int level) {
  auto& state = *m_impl->state;
  std::lock_guard lock(state.priority_mutex);
  state.priority_level = std::clamp(level, -2, 2);
  if (state.thread_id != 0) platform::set_thread_priority(state.thread_id, state.priority_level);
}

struct Event::Impl {
  EventReset reset;
  std::mutex mutex;
  std::condition_variable signalled;
  bool set = false;
};

Event::Event(EventReset reset) : m_impl(std::make_unique<Impl>()) {
  m_impl->reset = reset;
}

Event::~Event() = default;

void Event::wait() {
  wait_for(-1);
}

bool Event::wait_for(int timeout_ms) {
  std::unique_lock lock(m_impl->mutex);
  auto is_set = [this] { return m_impl->set; };
  if (timeout_ms < 0)
    m_impl->signalled.wait(lock, is_set);
  else if (!m_impl->signalled.wait_for(lock, std::chrono::milliseconds(timeout_ms), is_set))
    return false;
  if (m_impl->reset == EventReset::automatic) m_impl->set = false;
  return true;
}

void Event::set() {
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->set = true;
  }
  if (m_impl->reset == EventReset::manual)
    m_impl->signalled.notify_all();
  else
    m_impl->signalled.notify_one();
}

void Event::reset() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->set = false;
}

}  // namespace lv
