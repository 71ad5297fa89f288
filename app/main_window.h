// The main window's controller: the three operations the main window overrides.
#pragma once

#include "app/main_data.h"
#include "framework/window_controller.h"
#include "ui/engine.h"

namespace vantrel::app {

// The questions asked before a command.
inline constexpr const char kAskDisable[] = "Are you sure you want to disable Vantrel?";
inline constexpr const char kAskEnable[] = "Are you sure you want to enable Vantrel?";
inline constexpr const char kAskRestore[] =
    "Are you sure you want to restore saved registry settings?";

class MainController : public framework::WindowController {
 public:
  MainController(MainData& data, const ui::WindowDesc& window,
                 framework::ToolbarDispatcher& toolbar)
      : data_(data), window_(window), toolbar_(toolbar) {}

  int Init() override;
  int Shutdown() override;
  int HandleAccepted() override;

 private:
  // Asks with "&Yes" and "&No", focus on Yes; only Yes proceeds.
  static bool Confirm(const char* question);
  // The four command buttons act only while the list holds items.
  void EnableCommands();

  MainData& data_;
  const ui::WindowDesc& window_;
  framework::ToolbarDispatcher& toolbar_;
};

}  // namespace vantrel::app
