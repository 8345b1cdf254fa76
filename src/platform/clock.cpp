#include "platform/clock.h"

#include <errno.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace lv::platform {

namespace {

using Source = std::function<uint32_t()>;

// Readers load the pointer without a lock. A replaced source is kept alive
// rather than freed, so a reader on another thread never calls a destroyed
// function; tests swap sources only a handful of times per process.
std::atomic<const Source*> g_source{nullptr};
std::mutex g_retired_mutex;
std::vector<std::unique_ptr<Source>>& retired() {
  static auto* list = new std::vector<std::unique_ptr<Source>>();
  return *list;
}

uint32_t monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace

uint32_t tick_count() {
  const Source* source = g_source.load(std::memory_order_acquire);
  return source ? (*source)() : monotonic_ms();
}

void set_tick_source(std::function<uint32_t()> source) {
  std::unique_ptr<Source> next;
  if (source) next = std::make_unique<Source>(std::move(source));
  std::lock_guard lock(g_retired_mutex);
  g_source.store(next.get(), std::memory_order_release);
  if (next) retired().push_back(std::move(next));
}

void sleep_ms(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace lv::platform
