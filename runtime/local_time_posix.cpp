#include <ctime>

#include "runtime/local_time.h"

namespace vantrel {

TimeOfDay LocalTimeOfDay() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec,
                   static_cast<int>(now.tv_nsec / 10000000)};
}

}  // namespace vantrel
