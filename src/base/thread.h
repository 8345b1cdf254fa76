#pragma once

// Worker threads with a cooperative stop flag, a plain lock and an event.

#include <memory>
#include <mutex>

namespace lv {

// A worker thread: derive, override run, and test stop_requested() at the
// work's own checkpoints. Owners request stop, wake the worker and join it
// before destroying it.
class Thread {
 public:
  Thread();
  // Does not stop a running thread (that is the owner's job); a thread that
  // already finished is reaped here.
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // False when a thread is still running (it is left alone) or could not be
  // created. Clears the stop flag first.
  bool start();
  void request_stop();
  bool stop_requested() const;
  // Waits without limit for the thread to end; returns at once when none runs.
  void join();
  // Turns false as soon as run has returned.
  bool is_running() const;
  // Level -2 (lowest) to +2 (highest), clamped; 0 is normal. A level set
  // while no thread runs applies from the next start.
  void set_priority(int level);

 protected:
  virtual void run() = 0;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Not recursive: the program never takes a lock it already holds.
class Lock {
 public:
  void lock() { m_mutex.lock(); }
  void unlock() { m_mutex.unlock(); }

 private:
  std::mutex m_mutex;
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : m_lock(lock) { m_lock.lock(); }
  ~LockGuard() { m_lock.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& m_lock;
};

enum class EventReset {
  manual,     // stays set until reset; releases every waiter
  automatic,  // a wait that returns consumes the signal; one waiter per set
};

// Starts not signalled.
class Event {
 public:
  explicit Event(EventReset reset);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void wait();
  // timeout_ms 0 polls; negative waits forever. True when signalled in time.
  bool wait_for(int timeout_ms);
  void set();
  void reset();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
