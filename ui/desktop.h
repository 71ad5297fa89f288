// The backend for this platform's desktop: FLTK on Linux (link vantrel_ui_fltk), the native
// windows on Windows. The program body creates its engine with it; nothing above the engine
// needs to know which backend it is.
#pragma once

#include <memory>
#include <string>

#include "ui/engine.h"

namespace vantrel::ui {

std::unique_ptr<Backend> MakeDesktopBackend();

// Whether the desktop can be reached (on Linux: whether the X display opens, and when it does the
// toolkit is connected to it before this returns). When it cannot, `why` says what was tried.
bool DesktopAvailable(std::string* why);

}  // namespace vantrel::ui
