// The local date and time and the time zone, as the operating system reports them. This is the
// one place the program reads the clock (local_time_posix.cpp, local_time_win32.cpp); the rest
// are pure functions of a LocalTime, so tests give them any time they like.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

struct LocalTime {
  int year = 0;
  int month = 0;       // 1..12
  int day = 0;         // 1..31
  int hour = 0;        // 0..23
  int minute = 0;      // 0..59
  int second = 0;      // 0..59 (60 in a leap second where the system reports one)
  int hundredths = 0;  // 0..99
};

// The time-zone information in the form GetTimeZoneInformation gives it: biases in minutes,
// UTC = local time + bias.
struct TimeZoneBias {
  enum Kind { kUnknown, kStandard, kDaylight } kind = kUnknown;
  std::int32_t bias = 0;
  std::int32_t standardBias = 0;
  std::int32_t daylightBias = 0;
  bool daylightDateDefined = false;
};

// Now, in the machine's local time zone.
LocalTime CurrentLocalTime();
TimeZoneBias CurrentTimeZone();
// Now in UTC as Windows stamps files and registry keys: 100-nanosecond ticks since 1601-01-01.
std::uint64_t CurrentFileTime();
// Hundredths of a second since local midnight.
std::int32_t ClockHundredths();

// The picture module's stored forms of a local time's date and time of day.
std::int32_t DateOf(const LocalTime& time);
std::int32_t TimeOf(const LocalTime& time);

// 2011-05-04T13:45:10+02:00 from a local time and the zone information.
std::string FormatIso8601(const LocalTime& time, const TimeZoneBias& zone);

}  // namespace vantrel
