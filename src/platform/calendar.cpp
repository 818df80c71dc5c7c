#include "platform/calendar.h"

#include <ctime>

namespace corvex {

UtcTime BreakDownUtc(std::int64_t calendarSeconds) {
  const std::time_t t = static_cast<std::time_t>(calendarSeconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return {};
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace corvex
