// The local date and time, for the error log's time stamps.
#pragma once

#include <ctime>

namespace vantrel::framework {

// The current local time, broken down; safe to call from several threads.
std::tm LocalTimeNow();

}  // namespace vantrel::framework
