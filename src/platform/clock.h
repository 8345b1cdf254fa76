#pragma once

#include <cstdint>
#include <functional>

namespace lv::platform {

// Milliseconds from a monotonic clock (the handheld's tick counter). Wraps
// after 49.7 days like the original; compare ticks by difference.
uint32_t tick_count();

// Tests replace the clock to step time by exact amounts; an empty function
// restores the real clock.
void set_tick_source(std::function<uint32_t()> source);

void sleep_ms(uint32_t ms);

}  // namespace lv::platform
