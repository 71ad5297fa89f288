#include <sys/time.h>

#include <ctime>

#include "xml/clock.h"

namespace vantrel::xml {
namespace {
struct Now {
  std::tm tm;
  long micros;
};
Now ReadNow() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  Now now{};
  const std::time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &now.tm);
  now.micros = static_cast<long>(tv.tv_usec);
  return now;
}
}  // namespace

LocalTime CurrentLocalTime() {
  const Now now = ReadNow();
  return LocalTime{now.tm.tm_year + 1900, now.tm.tm_mon + 1, now.tm.tm_mday, now.tm.tm_hour,
                   now.tm.tm_min,         now.tm.tm_sec,     static_cast<int>(now.micros / 10000)};
}

TimeZoneBias CurrentTimeZone() {
  // The C library already folds daylight saving into the offset, so the whole bias is the base
  // bias of an "unknown" zone, which adds nothing further.
  const Now now = ReadNow();
  TimeZoneBias zone;
  zone.kind = TimeZoneBias::kUnknown;
  zone.bias = static_cast<std::int32_t>(-now.tm.tm_gmtoff / 60);
  return zone;
}

std::int32_t ClockHundredths() {
  const Now now = ReadNow();
  return ((now.tm.tm_hour * 60 + now.tm.tm_min) * 60 + now.tm.tm_sec) * 100 +
         static_cast<std::int32_t>(now.micros / 10000);
}

}  // namespace vantrel::xml
