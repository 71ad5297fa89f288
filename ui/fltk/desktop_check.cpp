#include <FL/x.H>

#include <cstdlib>
#include <string>

#include "ui/desktop.h"

namespace vantrel::ui {

// FLTK ends the process when it cannot open the display, so the X library is asked first. That
// first connection stays open until FLTK has its own: an X server resets when its last client
// leaves and refuses connections for a moment, so on a desktop where this program is the only
// client (a fresh Xvfb) dropping it before FLTK connected made the start fail now and then.
bool DesktopAvailable(std::string* why) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    if (why) *why = "DISPLAY is not set";
    return false;
  }
  Display* probe = XOpenDisplay(name);
  if (!probe) {
    if (why) *why = std::string("no X server answers on DISPLAY=") + name;
    return false;
  }
  fl_open_display();
  XCloseDisplay(probe);
  return true;
}

}  // namespace vantrel::ui
