#include "app/desktop_drag.h"

namespace vantrel::app {

// X11 window managers keep this option to themselves; there is nothing to switch.
bool DragFullWindows() { return false; }
void SetDragFullWindows(bool) {}

}  // namespace vantrel::app
