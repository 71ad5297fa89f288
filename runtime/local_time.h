// The local time of day, as the runtime's time stamps and seeds use it.
#pragma once

namespace vantrel {

struct TimeOfDay {
  int hours = 0;       // 0..23
  int minutes = 0;     // 0..59
  int seconds = 0;     // 0..59 (60 in a leap second where the system reports one)
  int hundredths = 0;  // 0..99
};

// Now, in the machine's local time zone.
TimeOfDay LocalTimeOfDay();

}  // namespace vantrel
