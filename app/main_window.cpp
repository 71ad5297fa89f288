#include "app/main_window.h"

#include "app/main_window_desc.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "framework/error_reporter.h"
#include "framework/settings_store.h"
#include "runtime/dialog/message_dialog.h"
#include "runtime/queue/queue.h"
#include "runtime/system/registry.h"

namespace vantrel::app {
namespace {

constexpr const char kPlacementName[] = "Main";

}  // namespace

void MainController::EnableCommands() {
  ui::Engine* engine = Engine();
  if (!engine || !MYWINDOW) return;
  // With nothing loaded (no settings file here, or one without items) the commands have no rows
  // to act on: a question answered Yes would write nothing and look like success.
  const int off = QueueRecords(&data_.displayQueue) == 0 ? 1 : 0;
  for (const int button : {kBtnDisable, kBtnEnable, kBtnSave, kBtnRestore}) {
    engine->SetNumber(MYWINDOW, button, ui::prop::Disable, off);
  }
}

bool MainController::Confirm(const char* question) {
  return ShowMessage(question, "Vantrel", kIconQuestion, "6", 0) == kButtonYes;
}

int MainController::Init() {
  GlobalErrorReporter().SetProcedureName("Main");
  REQUEST = ThreadRequest();
  if (const int level = WindowController::Init(); level != 0) return level;
  FIRSTFIELD = kBtnDisable;
  VCRREQUEST = &ThreadVcrRequest();
  ERRORS = &GlobalErrorReporter();
  AttachToolbar(&toolbar_);
  ThreadRequest() = 0;
  ThreadResponse() = 0;
  AddButton(kBtnClose, REQUEST == 4 ? framework::RequestCancelled : framework::RequestCompleted);
  // Loading comes before the window is shown, so its messages appear first.
  LoadSettingsFile(data_);
  const RegistryPlace store = RegistryLocation();
  data_.storeFolder = store.folder;
  data_.storeSource = store.source;
  OpenWindow(window_, nullptr);
  ui::Engine* engine = Engine();
  if (engine && MYWINDOW) {
    engine->SetNumber(MYWINDOW, kLstRegistryItems, ui::prop::LineHeight, kMainListRowHeight);
    data_.os = engine->GetSystem(ui::prop::WindowsVersion);
    engine->Display(MYWINDOW, kLocOs);
    SetMainListStyles(*engine, MYWINDOW);
  }
  EnableCommands();
  GlobalSettingsStore().RestoreWindow(kPlacementName, MYWINDOW);
  SetAlerts();
  return 0;
}

int MainController::Shutdown() {
  if (const int level = WindowController::Shutdown(); level != 0) return level;
  if (OPENED) GlobalSettingsStore().SaveWindow(kPlacementName, MYWINDOW);
  GlobalErrorReporter().SetProcedureName({}, true);
  return 0;
}

int MainController::HandleAccepted() {
  const int level = WindowController::HandleAccepted();
  ui::Engine* engine = Engine();
  const int control = engine ? engine->Accepted() : 0;
  bool changed = false;
  switch (control) {
    case kBtnDisable:
      UpdateComponents();
      if (Confirm(kAskDisable)) ApplyValues(data_, kApplyDisable), changed = true;
      break;
    case kBtnEnable:
      UpdateComponents();
      if (Confirm(kAskEnable)) ApplyValues(data_, kApplyEnable), changed = true;
      break;
    case kBtnSave:
      UpdateComponents();
      SaveSettingsFile(data_);
      changed = true;
      break;
    case kBtnRestore:
      UpdateComponents();
      if (Confirm(kAskRestore)) ApplyValues(data_, kApplySaved), changed = true;
      break;
    default: break;
  }
  // The list shows DisplayQueue as the command left it.
  if (changed) {
    Display(kLstRegistryItems);
    EnableCommands();
  }
  return level;
}

}  // namespace vantrel::app
