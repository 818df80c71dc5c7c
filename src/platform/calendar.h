// Calendar seconds broken down as UT.
#pragma once

#include <cstdint>

namespace corvex {

struct UtcTime {
  int year = 1970;  // e.g. 2006
  int month = 1;    // 1-12
  int day = 1;      // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

UtcTime BreakDownUtc(std::int64_t calendarSeconds);

}  // namespace corvex
