#pragma once

// Replaces the tick counter for one test; time moves only when told.

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace lv::test {

class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 1000) : m_now(start) {
    platform::set_tick_source([this] { return m_now.load(); });
  }
  ~FakeClock() { platform::set_tick_source({}); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  uint32_t now() const { return m_now.load(); }
  void set(uint32_t now) { m_now.store(now); }
  void advance(uint32_t ms) { m_now.fetch_add(ms); }

 private:
  std::atomic<uint32_t> m_now;
};

}  // namespace lv::test
