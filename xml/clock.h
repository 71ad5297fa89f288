// Local time and the time-zone bias, as the operating system reports them. Private to xml/.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::xml {

struct LocalTime {
  int year, month, day, hour, minute, second, hundredths;
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

LocalTime CurrentLocalTime();
TimeZoneBias CurrentTimeZone();
// Hundredths of a second since midnight (the parse clock).
std::int32_t ClockHundredths();

// The picture module's stored forms of a local time's date and time of day.
std::int32_t DateOf(const LocalTime& time);
std::int32_t TimeOf(const LocalTime& time);

// 2011-05-04T13:45:10+02:00 from a local time and the zone information.
std::string FormatIso8601(const LocalTime& time, const TimeZoneBias& zone);

}  // namespace vantrel::xml
