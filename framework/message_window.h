// The error reporter's history window: the reported messages in a list (text and category), an
// icon, and up to eight buttons, run by a window controller. It answers with the button pressed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/window_controller.h"
#include "ui/list_source.h"

namespace vantrel::framework {

// Control numbers of the history window.
inline constexpr int kMessageFirstButton = 100;  // 100 to 107
inline constexpr int kMessageList = 200;
inline constexpr int kMessageIcon = 300;

// The window description, built once.
const ui::WindowDesc& MessageWindowDesc();

// Feeds the history to the window's list and selects its newest entry when the window opens.
class HistoryHandler : public WindowComponent {
 public:
  HistoryHandler();

  // WindowComponent: nothing to do but HandleEvent and UpdateWindow.
  void Shutdown() override {}
  void Reset(bool) override {}
  bool ResetRequired() override { return false; }
  void SetAlerts() override {}
  int HandleEvent() override;
  void Update() override {}
  void UpdateWindow() override;

  // Its own operations.
  virtual int HandleWindowOpen();
  // Row -1: the number of entries; -2: the list's column count; -3: whether the data changed
  // (always 1); a row from 1: column 1 the text, column 2 the category.
  virtual std::string ListData(std::int32_t row, int column);

  // Fields.
  ErrorReporter* ERR = nullptr;
  std::vector<HistoryEntry>* HISTORY = nullptr;
  std::int16_t LBCOLUMNS = 0;
  ui::Window* WIN = nullptr;

 private:
  ui::CallbackListSource rows_;
};

class MessageWindow : public WindowController {
 public:
  int Init() override;
  int HandleAccepted() override;
  int Shutdown() override;
  // Shows ICON in the icon control (the warning icon when ICON is 0).
  virtual void ShowIcon();

  // Added fields, in their order.
  std::int32_t BUTTONTYPES = 0;
  std::unique_ptr<std::string> CAPTION;
  ErrorReporter* ERR = nullptr;
  std::int32_t ICON = 0;
  HistoryHandler* HISTORYHANDLER = nullptr;
  std::int32_t MSGBUTTONS = 0;
  std::int32_t MSGBUTTONID[8] = {};
  std::int32_t MSGRVAL = 0;
  std::int32_t STYLE = 0;
  const ui::WindowDesc* WIN = nullptr;
};

}  // namespace vantrel::framework
