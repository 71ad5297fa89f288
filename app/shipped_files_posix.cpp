#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

#include "app/shipped_files.h"

namespace vantrel::app {

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// The .deb installs them there (packaging/build-packages.sh).
std::string ShippedFilesPlace() { return "/usr/share/vantrel/"; }

char FolderSeparator() { return '/'; }

}  // namespace vantrel::app
