#include "tools/failures.h"

#include <cstdio>

namespace vantrel::tools {

int UsageError(std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fprintf(stderr, "Try 'vantrelctl --help' for more information.\n");
  return kExitUsage;
}

int Failure(std::string_view subject, std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %.*s: %.*s\n", static_cast<int>(subject.size()), subject.data(),
               static_cast<int>(message.size()), message.data());
  return kExitFailed;
}

}  // namespace vantrel::tools
