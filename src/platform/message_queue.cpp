#include "platform/message_queue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace lv::platform {

struct MessageQueue::Impl {
  mutable std::mutex mutex;
  std::condition_variable posted;
  std::deque<uint32_t> messages;
  std::shared_ptr<const std::function<void()>> hook;

  // Waits under `lock` until `ready()` holds or the timeout passes.
  template <typename Ready>
  bool wait(std::unique_lock<std::mutex>& lock, int timeout_ms, Ready ready) {
    if (timeout_ms < 0) {
      posted.wait(lock, ready);
      return true;
    }
    return posted.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  }
};

MessageQueue::MessageQueue() : m_impl(std::make_unique<Impl>()) {}

MessageQueue::~MessageQueue() = default;

void MessageQueue::post(uint32_t message) {
  std::shared_ptr<const std::function<void()>> hook;
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->messages.push_back(message);
    hook = m_impl->hook;
  }
  // notify_all: a take and a take_message for a different message may both wait.
  m_impl->posted.notify_all();
  if (hook) (*hook)();
}

std::optional<uint32_t> MessageQueue::take(int timeout_ms) {
  std::unique_lock lock(m_impl->mutex);
  if (!m_impl->wait(lock, timeout_ms, [this] { return !m_impl->messages.empty(); }))
    return std::nullopt;
  const uint32_t message = m_impl->messages.front();
  m_impl->messages.pop_front();
  return message;
}

bool MessageQueue::take_message(uint32_t message, int timeout_ms) {
  std::unique_lock lock(m_impl->mutex);
  auto& messages = m_impl->messages;
  auto found = messages.end();
  const bool arrived = m_impl->wait(lock, timeout_ms, [&] {
    found = std::find(messages.begin(), messages.end(), message);
    return found != messages.end();
  });
  if (!arrived) return false;
  messages.erase(found);
  return true;
}

size_t MessageQueue::size() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->messages.size();
}

void MessageQueue::set_wake_hook(std::function<void()> hook) {
  auto shared = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
  std::lock_guard lock(m_impl->mutex);
  m_impl->hook = std::move(shared);
}

MessageQueue& main_queue() {
  // Never destroyed: worker threads may still post while statics are torn down.
  static MessageQueue* queue = new MessageQueue;
  return *queue;
}

}  // namespace lv::platform
