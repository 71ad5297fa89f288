#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "ui/desktop.h"

namespace vantrel::ui {

// FLTK ends the process when it cannot open the display, so ask the X library first.
bool DesktopAvailable(std::string* why) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    if (why) *why = "DISPLAY is not set";
    return false;
  }
  Display* display = XOpenDisplay(name);
  if (!display) {
    if (why) *why = std::string("no X server answers on DISPLAY=") + name;
    return false;
  }
  XCloseDisplay(display);
  return true;
}

}  // namespace vantrel::ui
