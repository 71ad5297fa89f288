// The desktop's option to drag windows with their full contents. Where the desktop has no such
// option (Linux), it reads as off and setting it does nothing.
#pragma once

namespace vantrel::app {

bool DragFullWindows();
// Writes the option to the user's profile and announces the change to every top-level window.
void SetDragFullWindows(bool on);

}  // namespace vantrel::app
