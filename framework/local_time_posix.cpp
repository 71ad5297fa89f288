#include "framework/local_time.h"

namespace vantrel::framework {

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm out{};
  localtime_r(&now, &out);
  return out;
}

}  // namespace vantrel::framework
