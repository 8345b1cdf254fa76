#include "platform/locale_time.h"

#include <langinfo.h>
#include <locale.h>

namespace lv::platform {

namespace {

// The user's time locale, made once; the C locale when it cannot be.
locale_t user_time_locale() {
  static const locale_t locale = [] {
    locale_t made = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (!made) made = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    return made;
  }();
  return locale;
}

std::string format(const char* pattern, const std::tm& time) {
  char out[128];
  const locale_t locale = user_time_locale();
  const size_t n = locale ? strftime_l(out, sizeof out, pattern, &time, locale)
                          : std::strftime(out, sizeof out, pattern, &time);
  return std::string(out, n);
}

std::string info(nl_item item) {
  const locale_t locale = user_time_locale();
  const char* text = locale ? nl_langinfo_l(item, locale) : nl_langinfo(item);
  return text ? text : "";
}

}  // namespace

std::string long_date(const std::tm& time) {
  // The locale's short date tells the order of its fields.
  const std::string order = info(D_FMT);
  const size_t day = order.find_first_of("de");
  const size_t month = order.find('m');
  const size_t year = order.find_first_of("yY");
  if (year != std::string::npos && (day == std::string::npos || year < day) &&
      (month == std::string::npos || year < month))
    return format("%Y %B %-d", time);
  if (month != std::string::npos && day != std::string::npos && month < day)
    return format("%B %-d, %Y", time);
  return format("%-d %B %Y", time);
}

std::string short_time(const std::tm& time) {
  const std::string pattern = info(T_FMT);
  const bool twelve_hours = pattern.find("%I") != std::string::npos ||
                            pattern.find("%l") != std::string::npos ||
                            pattern.find("%r") != std::string::npos;
  return format(twelve_hours ? "%-I:%M %p" : "%H:%M", time);
}

}  // namespace lv::platform
