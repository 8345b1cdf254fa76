#pragma once

// The main thread's message queue. Any thread may post; only the main thread
// takes. It stands for the handheld's hidden notification window: the
// active-object scheduler posts its completion message here, and the SDL
// loop installs a wake-up hook so that a post also wakes its event wait.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lv::platform {

// Completions are waiting in the active-object scheduler's ready list.
inline constexpr uint32_t kMessageActives = 1029;

class MessageQueue {
 public:
  MessageQueue();
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Thread-safe. Appends the message, then calls the wake-up hook.
  void post(uint32_t message);

  // Takes the oldest message. timeout_ms: 0 polls, negative waits forever.
  std::optional<uint32_t> take(int timeout_ms);

  // Takes the oldest occurrence of one particular message and leaves every
  // other message queued in its order. True when one was taken in time.
  bool take_message(uint32_t message, int timeout_ms);

  size_t size() const;

  // Called after every post, on the posting thread, outside the queue's lock.
  // An empty function removes the hook.
  void set_wake_hook(std::function<void()> hook);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The process-wide queue of the main thread.
MessageQueue& main_queue();

}  // namespace lv::platform
