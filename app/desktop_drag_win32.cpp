#include "app/desktop_drag.h"

#include "runtime/seam/win32_seam.h"

namespace vantrel::app {

bool DragFullWindows() {
  BOOL on = FALSE;
  return SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0) && on == TRUE;
}

void SetDragFullWindows(bool on) {
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on ? 1 : 0, nullptr,
                        SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

}  // namespace vantrel::app
