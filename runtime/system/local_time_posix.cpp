#include <ctime>

#include "runtime/system/local_time.h"

namespace vantrel {
namespace {

struct Now {
  std::tm local;
  int hundredths;
};

Now ReadNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  Now out{};
  localtime_r(&now.tv_sec, &out.local);
  out.hundredths = static_cast<int>(now.tv_nsec / 10000000);
  return out;
}

}  // namespace

LocalTime CurrentLocalTime() {
  const Now now = ReadNow();
  return LocalTime{
      now.local.tm_year + 1900, now.local.tm_mon + 1, now.local.tm_mday, now.local.tm_hour,
      now.local.tm_min,         now.local.tm_sec,     now.hundredths};
}

std::uint64_t CurrentFileTime() {
  constexpr std::uint64_t kTicks1601To1970 = 116444736000000000ull;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kTicks1601To1970 + static_cast<std::uint64_t>(now.tv_sec) * 10000000ull +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

TimeZoneBias CurrentTimeZone() {
  // The C library already folds daylight saving into the offset, so the whole bias is the base
  // bias of an "unknown" zone, which adds nothing further.
  const Now now = ReadNow();
  TimeZoneBias zone;
  zone.kind = TimeZoneBias::kUnknown;
  zone.bias = static_cast<std::int32_t>(-now.local.tm_gmtoff / 60);
  return zone;
}

}  // namespace vantrel
