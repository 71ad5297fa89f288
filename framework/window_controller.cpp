#include "framework/window_controller.h"

#include <algorithm>

#include "runtime/errors/error_state.h"

namespace vantrel::framework {

namespace event = ui::event;
namespace prop = ui::prop;

namespace {

// Key codes that must not leak into a new window from the one that opened it.
constexpr int kKeyCodeMouseLeft = 2;
constexpr int kKeyCodeMouseLeft2 = 130;

}  // namespace

// ---------------------------------------------------------------------------------------------
// ToolbarDispatcher

void ToolbarDispatcher::Init() {
  LIST = std::make_unique<std::vector<Entry>>();
  current_ = nullptr;
}

void ToolbarDispatcher::DisplayButtons() {
  if (current_) current_->DisplayButtons();
}

void ToolbarDispatcher::Shutdown() {
  LIST.reset();
  current_ = nullptr;
}

void ToolbarDispatcher::HandleEvent(std::int32_t* vcrRequest) {
  if (LIST && !LIST->empty() && current_) current_->HandleToolbarEvent(vcrRequest);
}

void ToolbarDispatcher::SetTarget(std::int32_t control) {
  if (!LIST) return;
  if (control != 0) {
    for (const Entry& e : *LIST) {
      if (e.ID == control) {
        current_ = e.ITEM;
        if (current_) current_->TakeToolbar();
        return;
      }
    }
    return;
  }
  for (const Entry& e : *LIST) {
    if (e.ITEM && e.ITEM->TryTakeToolbar()) current_ = e.ITEM;
  }
}

void ToolbarDispatcher::AddTarget(std::int32_t control, ToolbarTarget* target) {
  if (!LIST) Init();
  LIST->push_back(Entry{control, target});
}

// ---------------------------------------------------------------------------------------------
// Engine helpers

void WindowController::Post(int number, int control, bool front) {
  if (ui::Engine* engine = Engine(); engine && MYWINDOW) {
    engine->Post(MYWINDOW, number, control, front);
  }
}

void WindowController::Select(int control) {
  if (ui::Engine* engine = Engine(); engine && MYWINDOW) engine->Select(MYWINDOW, control);
}

void WindowController::Display(int control) {
  if (ui::Engine* engine = Engine(); engine && MYWINDOW) engine->Display(MYWINDOW, control);
}

// ---------------------------------------------------------------------------------------------
// Life cycle

int WindowController::Run() {
  if (Init() == LevelQuiet) EventLoop();
  Shutdown();
  return RESPONSE != ResponseNone ? int{RESPONSE} : int{RequestCancelled};
}

int WindowController::Init() {
  ORIGINALREQUEST = REQUEST;
  CL = std::make_unique<std::vector<ComponentEntry>>();
  BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
  // No expression evaluator in this program, so there is no binding scope to open.
  if (ui::Engine* engine = Engine()) {
    if (engine->KeyCode() == kKeyCodeMouseLeft || engine->KeyCode() == kKeyCodeMouseLeft2) {
      engine->SetKeyCode(0);
    }
  }
  INSERTACTION = 2;
  DELETEACTION = 2;
  CHANGEACTION = 2;
  CANCELACTION = 3;
  AUTOTOOLBAR = 1;
  AUTOREFRESH = 1;
  OWNERWINDOW = nullptr;
  return LevelQuiet;
}

void WindowController::EventLoop() {
  if (DEAD) return;
  ui::Engine* engine = Engine();
  if (!engine || !MYWINDOW || !MYWINDOW->IsOpen()) return;  // nothing to wait for
  engine->Run(MYWINDOW, [this](const ui::Event&) { return HandleEvent(); });
}

int WindowController::Shutdown() {
  if (DEAD || !CL) return LevelNotice;
  while (!CL->empty()) {
    WindowComponent* component = CL->front().WC;
    CL->erase(CL->begin());
    if (component) component->Shutdown();
  }
  CL.reset();
  BUTTONS.reset();
  HISTORY.reset();
  if (TOOLBAR) TOOLBAR->Shutdown();
  DEAD = 1;
  return LevelQuiet;
}

void WindowController::PrepareWindow() {
  ResetWindow(false);
  INITED |= 1;
}

void WindowController::OpenWindow(const ui::WindowDesc& window, ui::Window* owner) {
  if (owner) OWNERWINDOW = owner;
  if (ui::Engine* engine = Engine()) MYWINDOW = engine->Open(window, OWNERWINDOW);
  OPENED = 1;
}

void WindowController::PrimeFields() {}

std::uint8_t WindowController::DefaultResponse() { return RequestCancelled; }

// ---------------------------------------------------------------------------------------------
// Registration

void WindowController::AddButton(std::int32_t control, std::uint8_t action) {
  if (!BUTTONS) BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
  BUTTONS->push_back(ButtonEntry{control, action});
  ClearRuntimeError();
}

void WindowController::AddComponent(WindowComponent* component) {
  if (!CL) CL = std::make_unique<std::vector<ComponentEntry>>();
  CL->push_back(ComponentEntry{0, component});
  ClearRuntimeError();
}

void WindowController::AttachToolbar(ToolbarDispatcher* dispatcher) {
  TOOLBAR = dispatcher;
  if (TOOLBAR) TOOLBAR->Init();
}

void WindowController::SwitchCancelButtons(int flag) {
  if (!DISABLECANCELBUTTON || !BUTTONS) return;
  const std::vector<ButtonEntry> buttons = *BUTTONS;  // SetControlState may be overridden
  for (const ButtonEntry& b : buttons) {
    if (b.ACTION == RequestCancelled) SetControlState(b.CONTROL, flag);
  }
}

void WindowController::SetControlState(std::int32_t control, int flag) {
  if (control == 0) return;
  if (ui::Engine* engine = Engine(); engine && MYWINDOW) {
    engine->SetNumber(MYWINDOW, control, prop::Disable, flag ? 1 : 0);
  }
}

// ---------------------------------------------------------------------------------------------
// Components and field history

void WindowController::ResetWindow(bool force) {
  ui::Engine* engine = Engine();
  if (engine && MYWINDOW && engine->GetNumber(MYWINDOW, 0, prop::AcceptAll) != 0) return;
  if (FORCEDRESET) force = true;
  FORCEDRESET = 0;
  if (CL) {
    const std::vector<ComponentEntry> components = *CL;
    for (const ComponentEntry& c : components) {
      if (c.WC) c.WC->Reset(force);
    }
    for (const ComponentEntry& c : components) {
      if (c.WC) c.WC->UpdateWindow();
    }
  }
  Display(0);
}

void WindowController::UpdateComponents() {
  if (!CL) return;
  const std::vector<ComponentEntry> components = *CL;
  for (const ComponentEntry& c : components) {
    if (c.WC) c.WC->Update();
  }
}

void WindowController::SetAlerts() {
  if (CL) {
    const std::vector<ComponentEntry> components = *CL;
    for (const ComponentEntry& c : components) {
      if (c.WC) c.WC->SetAlerts();
    }
  }
  ui::Engine* engine = Engine();
  if (!HISTORY || !engine || !MYWINDOW) return;
  for (const HistoryEntry& h : *HISTORY) {
    engine->SetNumber(MYWINDOW, h.CONTROL, prop::Alrt, HISTORYKEY, 255);
  }
}

void WindowController::RestoreField(std::int32_t control) {
  if (!HISTORY) return;
  for (const HistoryEntry& h : *HISTORY) {
    if (h.CONTROL != control) continue;
    if (h.FIELD.Bound()) {
      const std::size_t n = std::min(h.SAVED.size(), h.FIELD.size);
      std::copy_n(h.SAVED.data(), n, h.FIELD.bytes);
      std::fill(h.FIELD.bytes + n, h.FIELD.bytes + h.FIELD.size, ' ');
    }
    Display(control);
    return;
  }
}

void WindowController::SaveFieldHistory() {
  if (!HISTORY) return;
  const char* previous = nullptr;
  for (HistoryEntry& h : *HISTORY) {
    if (!h.FIELD.Bound() || h.FIELD.bytes == previous) continue;
    h.SAVED.assign(h.FIELD.bytes, h.FIELD.size);
    previous = h.FIELD.bytes;
  }
}

// ---------------------------------------------------------------------------------------------
// Events

int WindowController::HandleEvent() {
  ui::Engine* engine = Engine();
  if (!engine) return LevelQuiet;
  const int number = engine->EventNumber();
  const int field = engine->EventField();
  int level = LevelQuiet;

  if (field == 0) {
    if ((level = HandleWindowEvent()) != LevelQuiet) return level;
  }
  switch (number) {
    case event::Sized: Post(event::Resizer); break;
    case event::Accepted: level = HandleAccepted(); break;
    case event::Rejected: level = HandleRejected(); break;
    case event::Selected: level = HandleSelected(); break;
    case event::NewSelection: level = HandleNewSelection(); break;
    case event::AlertKey:
      if (HISTORYKEY != 0 && HISTORYKEY == engine->KeyCode()) {
        RestoreField(engine->FocusedControl(MYWINDOW));
      }
      break;
    default: break;
  }
  if (level != LevelQuiet) return level;
  if (field != 0) {
    if ((level = HandleFieldEvent()) != LevelQuiet) return level;
  }
  if (CL) {
    const std::vector<ComponentEntry> components = *CL;
    for (const ComponentEntry& c : components) {
      if (c.WC && (level = c.WC->HandleEvent()) != LevelQuiet) return level;
    }
    if (AUTOREFRESH) {
      for (const ComponentEntry& c : components) {
        if (c.WC && c.WC->ResetRequired()) {
          ResetWindow(false);
          break;
        }
      }
    }
  }
  return LevelQuiet;
}

int WindowController::HandleWindowEvent() {
  ui::Engine* engine = Engine();
  if (!engine) return LevelQuiet;
  switch (engine->EventNumber()) {
    case event::OpenWindow:
      if (!(INITED & 1)) PrepareWindow();
      if (FIRSTFIELD != 0) Select(FIRSTFIELD);
      return LevelQuiet;
    case event::Notify: {
      const ui::Event& e = engine->CurrentEvent();
      return HandleNotify(e.notifyCode, e.notifyThread, e.notifyParameter);
    }
    case event::LoseFocus:
      if (RESETONGAINFOCUS) FORCEDRESET = 1;
      return LevelQuiet;
    case event::GainFocus:
      if (INITED & 1) {
        ResetWindow(false);
      } else {
        PrepareWindow();
      }
      return LevelQuiet;
    case event::Sized:
      if (!(INITED & 2)) {
        INITED |= 2;
      } else {
        ResetWindow(false);
      }
      return LevelQuiet;
    case event::Completed: return HandleCompleted();
    case event::CloseWindow:
    case event::CloseDown: return HandleCloseRequest();
    default: return LevelQuiet;
  }
}

int WindowController::HandleAccepted() {
  ui::Engine* engine = Engine();
  const std::int32_t accepted = engine ? engine->Accepted() : 0;
  if (TOOLBAR) {
    TOOLBAR->HandleEvent(VCRREQUEST);
    if (accepted == kToolbarHistoryControl && engine) {
      RestoreField(engine->FocusedControl(MYWINDOW));
    }
  }
  if (BUTTONS) {
    for (const ButtonEntry& b : *BUTTONS) {
      if (b.CONTROL == accepted) {
        SetResponse(b.ACTION);
        return LevelNotice;
      }
    }
  }
  if (OKCONTROL != 0 && accepted == OKCONTROL) CompleteForm();
  if (SAVECONTROL != 0 && accepted == SAVECONTROL) {
    if (REQUEST == ProcessRecords) return LevelNotice;
    BEFORESAVEREQUEST = REQUEST;
    REQUEST = SaveRecord;
    CompleteForm();
  }
  SwitchCancelButtons(0);
  return LevelQuiet;
}

void WindowController::CompleteForm() {
  if (ORIGINALREQUEST == InsertRecord || ORIGINALREQUEST == ChangeRecord ||
      ORIGINALREQUEST == ProcessRecords) {
    if (ORIGINALREQUEST == ProcessRecords && !BATCHPROCESSING) Post(event::Completed);
    Select(0);
    return;
  }
  if (!BATCHPROCESSING) {
    Post(event::Completed);
  } else {
    Select(0);
  }
}

int WindowController::HandleNewSelection() {
  ui::Engine* engine = Engine();
  if (!engine || !MYWINDOW) return LevelQuiet;
  if (engine->GetNumber(MYWINDOW, engine->EventField(), prop::Type) == kSheetTypeCode) {
    ResetWindow(false);
    if (AUTOTOOLBAR && TOOLBAR) TOOLBAR->SetTarget(0);
  }
  return LevelQuiet;
}

int WindowController::HandleRejected() {
  ui::Engine* engine = Engine();
  if (!engine) return LevelQuiet;
  const int control = engine->EventField();
  engine->Beep(0);
  Display(control);
  Select(control);
  return LevelQuiet;
}

int WindowController::HandleFieldEvent() { return LevelQuiet; }
int WindowController::HandleNotify(int, int, long long) { return LevelQuiet; }
int WindowController::HandleSelected() { return LevelQuiet; }

void WindowController::SetResponse(std::uint8_t code) {
  RESPONSE = code;
  Post(event::CloseWindow);
  if (code == RequestCancelled && TOOLBAR && VCRREQUEST) *VCRREQUEST = 0;
}

// Without a record there are no unsaved changes to ask about: closing always goes ahead.
int WindowController::HandleCloseRequest() { return LevelQuiet; }

// ---------------------------------------------------------------------------------------------
// The record-form slots. A form that edits a record overrides them with the record manager's
// calls; this program has no such form, so the base answers as a form without a record.

int WindowController::PrepareRecord() { return LevelQuiet; }

int WindowController::HandleCompleted() {
  SaveFieldHistory();
  switch (REQUEST) {
    case InsertRecord: return InsertRecordAction();
    case ChangeRecord: return ChangeRecordAction();
    case DeleteRecord: return DeleteRecordAction();
    case SaveRecord:
      if (ORIGINALREQUEST == InsertRecord) return SaveInsertedAction();
      if (ORIGINALREQUEST == ChangeRecord) return SaveChangedAction();
      return LevelQuiet;
    case ProcessRecords:
      if (!BATCHPROCESSING) return LevelQuiet;
      // A batch form stays open, ready for the next record.
      Display(0);
      Select(FIRSTFIELD);
      return LevelNotice;
    default: return LevelQuiet;
  }
}

int WindowController::InsertRecordAction() { return LevelQuiet; }
int WindowController::ChangeRecordAction() { return LevelQuiet; }
int WindowController::DeleteRecordAction() { return LevelQuiet; }
// A save keeps the form open whatever it did.
int WindowController::SaveChangedAction() { return LevelNotice; }
int WindowController::SaveInsertedAction() { return LevelNotice; }

}  // namespace vantrel::framework
