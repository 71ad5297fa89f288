#include <windows.h>

#include <string>

#include "ui/desktop.h"
#include "ui/win32/win32_backend.h"

namespace vantrel::ui {

std::unique_ptr<Backend> MakeDesktopBackend() { return std::make_unique<Win32Backend>(); }

// A process can show windows when its window station is the interactive one; a service's is not.
bool DesktopAvailable(std::string* why) {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  if (station && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    if (why) *why = "the process's window station is not the interactive one";
    return false;
  }
  return true;
}

}  // namespace vantrel::ui
