#include "framework/local_time.h"

namespace vantrel::framework {

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm out{};
  localtime_s(&out, &now);
  return out;
}

}  // namespace vantrel::framework
