#pragma once

// What every benchmark shares: the clock, medians and percentiles, and the
// "figure:" line that bench/run collects.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace bench {

inline double now_ms(clockid_t clock = CLOCK_MONOTONIC) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

inline double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

inline void figure(std::string_view name, double value, const char* unit, const char* goal) {
  std::printf("figure: %.*s = %.3f %s (goal: %s)\n", static_cast<int>(name.size()), name.data(),
              value, unit, goal);
  std::fflush(stdout);
}

}  // namespace bench
