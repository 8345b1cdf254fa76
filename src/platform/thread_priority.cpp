#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lv::platform {

namespace {

// getpriority answers -1 both as a value and as an error; errno tells them apart.
bool read_nice(ThreadId thread, int& nice) {
  errno = 0;
  const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  if (value == -1 && errno != 0) return false;
  nice = value;
  return true;
}

// The main thread's nice value when first asked: levels are relative to how
// the user started the program (for example under `nice`).
int base_nice() {
  static const int base = [] {
    int nice = 0;
    return read_nice(static_cast<ThreadId>(getpid()), nice) ? nice : 0;
  }();
  return base;
}

}  // namespace

ThreadId current_thread_id() {
  return static_cast<ThreadId>(syscall(SYS_gettid));
}

int nice_offset_for_level(int level) {
  return -5 * std::clamp(level, -2, 2);
}

bool set_thread_priority(ThreadId thread, int level) {
  if (thread <= 0) return false;
  const int wanted = std::clamp(base_nice() + nice_offset_for_level(level), -20, 19);
  int current = 0;
  if (!read_nice(thread, current)) return false;
  if (current == wanted) return true;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), wanted) == 0;
}

}  // namespace lv::platform
