#include <windows.h>

#include "runtime/local_time.h"

namespace vantrel {

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds / 10};
}

}  // namespace vantrel
