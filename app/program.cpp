#include "app/program.h"

#include <memory>

#include "app/desktop_drag.h"
#include "app/main_data.h"
#include "app/main_window.h"
#include "app/main_window_desc.h"
#include "framework/error_reporter.h"
#include "framework/settings_store.h"
#include "runtime/system/registry.h"
#include "ui/engine.h"
#include "ui/list_source.h"

namespace vantrel::app {
namespace {

// Both services live in this one translation unit so that their order is fixed: the reporter is
// constructed first and destroyed last.
framework::ErrorReporter gErrorReporter;
framework::SettingsStore gSettingsStore;

thread_local std::uint8_t tThreadRequest = 0;
thread_local std::uint8_t tThreadResponse = 0;
thread_local std::int32_t tThreadVcrRequest = 0;

}  // namespace

framework::ErrorReporter& GlobalErrorReporter() { return gErrorReporter; }
framework::SettingsStore& GlobalSettingsStore() { return gSettingsStore; }
std::uint8_t& ThreadRequest() { return tThreadRequest; }
std::uint8_t& ThreadResponse() { return tThreadResponse; }
std::int32_t& ThreadVcrRequest() { return tThreadVcrRequest; }

void Main() {
  // Tables and fields start empty and cleared.
  auto data = std::make_unique<MainData>();
  ui::QueueListSource rows(&data->displayQueue);
  const ui::WindowDesc window = MainWindowDescription(*data, &rows);
  auto toolbar = std::make_unique<framework::ToolbarDispatcher>();
  auto controller = std::make_unique<MainController>(*data, window, *toolbar);
  ThreadResponse() = static_cast<std::uint8_t>(controller->Run());
  // The controller goes first, then the window with it, then the tables the window showed.
  controller.reset();
  toolbar.reset();
  data.reset();
}

void ProgramBody() {
  gErrorReporter.Init();
  gSettingsStore.Init(kSettingsKeyPath, kStoreRegistryKind, kHkeyCurrentUser);
  if (ui::Engine* engine = ui::Engine::Current()) engine->SetSystem(ui::prop::Icon, "Vantrel.ico");
  // Dragging whole windows makes the list repaint constantly while the window moves; it is off
  // while the program runs and back on afterwards when it was on. The change goes to the user's
  // profile, as the desktop's own settings dialog does.
  const bool savedDragFullWindows = DragFullWindows();
  if (savedDragFullWindows) SetDragFullWindows(false);
  Main();
  gSettingsStore.EndOfRun();
  if (savedDragFullWindows) SetDragFullWindows(true);
  gSettingsStore.Kill();
}

}  // namespace vantrel::app
