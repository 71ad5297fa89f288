// What follows from a local time without asking the system again.
#include "runtime/system/local_time.h"

#include "runtime/text/picture.h"

namespace vantrel {

std::int32_t ClockHundredths() {
  const LocalTime t = CurrentLocalTime();
  return ((t.hour * 60 + t.minute) * 60 + t.second) * 100 + t.hundredths;
}

std::int32_t DateOf(const LocalTime& t) { return DateNumber(t.year, t.month, t.day); }

// A leap second shows as the second before it: the pictures know 60 seconds a minute.
std::int32_t TimeOf(const LocalTime& t) {
  return TimeNumber(t.hour, t.minute, t.second > 59 ? 59 : t.second);
}

std::string FormatIso8601(const LocalTime& t, const TimeZoneBias& zone) {
  std::int32_t bias = zone.bias;
  if (zone.kind == TimeZoneBias::kStandard) bias += zone.standardBias;
  if (zone.kind == TimeZoneBias::kDaylight && zone.daylightDateDefined) bias += zone.daylightBias;
  char sign = '+';
  if (bias > 0) {
    sign = '-';
  } else {
    bias = -bias;
  }
  return FormatPicture("D010-", std::to_string(DateOf(t))) + "T" +
         FormatPicture("T04", std::to_string(TimeOf(t))) + sign +
         FormatPicture("N02", std::to_string(bias / 60)) + ":" +
         FormatPicture("N02", std::to_string(bias % 60));
}

}  // namespace vantrel
