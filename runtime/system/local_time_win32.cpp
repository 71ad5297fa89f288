#include <windows.h>

#include "runtime/system/local_time.h"

namespace vantrel {

LocalTime CurrentLocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return LocalTime{
      st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds / 10};
}

std::uint64_t CurrentFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

TimeZoneBias CurrentTimeZone() {
  TIME_ZONE_INFORMATION tzi;
  const DWORD id = GetTimeZoneInformation(&tzi);
  TimeZoneBias zone;
  zone.bias = tzi.Bias;
  zone.standardBias = tzi.StandardBias;
  zone.daylightBias = tzi.DaylightBias;
  zone.daylightDateDefined = tzi.DaylightDate.wMonth != 0;
  zone.kind = id == TIME_ZONE_ID_STANDARD   ? TimeZoneBias::kStandard
              : id == TIME_ZONE_ID_DAYLIGHT ? TimeZoneBias::kDaylight
                                            : TimeZoneBias::kUnknown;
  return zone;
}

}  // namespace vantrel
