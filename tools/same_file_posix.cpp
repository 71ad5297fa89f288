#include <sys/stat.h>

#include "tools/same_file.h"

namespace vantrel::tools {

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

}  // namespace vantrel::tools
