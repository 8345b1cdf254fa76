#pragma once

// Dates and times as the user's locale writes them (LC_TIME, else LANG),
// for what the program shows about a file.

#include <ctime>
#include <string>

namespace lv::platform {

// The date with the month's name, in the locale's order of day, month and
// year ("7 December 2026", "December 7, 2026", "2026 December 7").
std::string long_date(const std::tm& time);
// Hours and minutes without seconds, in the locale's 12- or 24-hour form.
std::string short_time(const std::tm& time);

}  // namespace lv::platform
