#include "framework/window_controller.h"

#include <algorithm>

#include "framework/error_reporter.h"
#include "runtime/errors/error_state.h"

namespace vantrel::framework {

namespace event = ui::event;
namespace prop = ui::prop;

namespace {

// Message numbers of the record form (texts in the reporter's table).
constexpr std::int32_t kMsgAddAnother = 3;
constexpr std::int32_t kMsgConfirmCancel = 10;
constexpr std::int32_t kMsgDeleteFailed = 36;
constexpr std::int32_t kMsgUpdateFailed = 37;
constexpr std::int32_t kMsgSaveChanges = 38;

constexpr int kYesNoCancel = ButtonYes + ButtonNo + ButtonCancel;

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

int WindowController::AskMessage(std::int32_t id, int buttons, int defaultButton) {
  return ERRORS ? ERRORS->Message(id, buttons, defaultButton) : defaultButton;
}

int WindowController::ThrowError(std::int32_t id) { return ERRORS ? ERRORS->Throw(id) : 0; }

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
  LASTINSERTEDPOSITION.Clear();
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
  if (FILES) {
    for (const FileEntry& f : *FILES) {
      if (f.FILE) f.FILE->Restore(f.SAVED);
    }
    FILES.reset();
  }
  if (PRIMARY) PRIMARY->Restore(SAVED);
  if (TOOLBAR) TOOLBAR->Shutdown();
  if (RESIZE) RESIZE->Shutdown();
  DEAD = 1;
  return LevelQuiet;
}

void WindowController::PrepareWindow() {
  if (TRANSLATOR) TRANSLATOR->TranslateWindow(MYWINDOW);
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

void WindowController::AddComponent(WindowComponent* component, std::int32_t type) {
  if (!CL) CL = std::make_unique<std::vector<ComponentEntry>>();
  CL->push_back(ComponentEntry{type, component});
  ClearRuntimeError();
}

void WindowController::AttachToolbar(ToolbarDispatcher* dispatcher) {
  TOOLBAR = dispatcher;
  if (TOOLBAR) TOOLBAR->Init();
}

void WindowController::AddFile(FileBuffer* file) {
  if (!FILES) FILES = std::make_unique<std::vector<FileEntry>>();
  FILES->push_back(FileEntry{file, file ? file->Snapshot() : std::uint16_t{0}});
}

void WindowController::SnapshotFiles() {
  if (!FILES) return;
  for (FileEntry& f : *FILES) {
    if (f.FILE) f.SAVED = f.FILE->Snapshot();
  }
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
      if (!c.WC) continue;
      if (c.TYPE == 0) {
        c.WC->Reset(force);
        continue;
      }
      if (c.WC->RestoreNeeded()) {
        if (PRIMARY) PRIMARY->Restore(SAVED);
        c.WC->BufferRestored();
        force = true;
      }
      c.WC->Reset(force);
      if (c.WC->SaveNeeded()) {
        if (PRIMARY) SAVED = PRIMARY->Snapshot();
        c.WC->BufferSaved();
      }
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

int WindowController::HandleCloseRequest() {
  if (RESPONSE == RequestCompleted || !PRIMARY) return LevelQuiet;
  if (CANCELACTION != 0 && (REQUEST == InsertRecord || REQUEST == ChangeRecord) &&
      !PRIMARY->Unchanged(SAVED)) {
    if ((CANCELACTION & 3) == 3) {
      switch (AskMessage(kMsgSaveChanges, kYesNoCancel, ButtonCancel)) {
        case ButtonYes: Post(event::Accepted, OKCONTROL); return LevelNotice;
        case ButtonNo: break;
        default:  // Cancel, or the dialog closed another way: keep editing
          Select(FIRSTFIELD);
          return LevelNotice;
      }
    } else if (CANCELACTION & 1) {
      Post(event::Accepted, OKCONTROL);
      return LevelNotice;
    } else if (ThrowError(kMsgConfirmCancel) == LevelCancelled) {
      Select(FIRSTFIELD);
      return LevelNotice;
    }
  }
  if (ORIGINALREQUEST == InsertRecord && RESPONSE == RequestCancelled) {
    if (!PRIMARY->CancelInsert()) {
      Select(FIRSTFIELD);
      return LevelNotice;
    }
  }
  if (!LASTINSERTEDPOSITION.IsBlank()) {
    RESPONSE = RequestCompleted;
    PRIMARY->Reposition(LASTINSERTEDPOSITION.Trimmed());
  }
  return LevelQuiet;
}

// ---------------------------------------------------------------------------------------------
// The record form

int WindowController::PrepareRecord() {
  if (!PRIMARY) return LevelQuiet;
  int level = LevelQuiet;
  PRIMARY->PrepareRecord(REQUEST);
  SnapshotFiles();
  if (REQUEST == InsertRecord && INSERTACTION != 0) {
    RESPONSE = RequestCompleted;
    PrimeFields();
    if (RESPONSE == RequestCancelled) {
      level = LevelFatal;
    } else {
      RESPONSE = RequestCancelled;
    }
  } else if (REQUEST == DeleteRecord && (DELETEACTION == 2 || DELETEACTION == 4)) {
    RESPONSE = PRIMARY->Delete(DELETEACTION == 2) == 0 ? RequestCompleted : RequestCancelled;
    level = LevelFatal;
  }
  SAVED = PRIMARY->Snapshot();
  return level;
}

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
    case ProcessRecords: return BATCHPROCESSING ? MoveOnToNextRecord() : LevelQuiet;
    default: return LevelQuiet;
  }
}

int WindowController::MoveOnToNextRecord() {
  if (FORMVCR) FORMVCR->MoveOn();
  if (PRIMARY) SAVED = PRIMARY->Snapshot();
  Display(0);
  Select(FIRSTFIELD);
  return LevelNotice;
}

int WindowController::PrimeNextInsert() {
  if (PRIMARY) {
    LASTINSERTEDPOSITION = PRIMARY->Position();
    SnapshotFiles();
    PRIMARY->Restore(SAVED);
    if (!PRIMARY->PrimeRecord()) {
      Post(event::CloseWindow);
    } else {
      PrimeFields();
      RESPONSE = RequestCancelled;
    }
    SAVED = PRIMARY->Snapshot();
  }
  SwitchCancelButtons(0);
  Display(0);
  Select(FIRSTFIELD);
  return LevelNotice;
}

int WindowController::InsertRecordAction() {
  if (!PRIMARY) return LevelQuiet;
  if (PRIMARY->Insert() != 0) {
    Select(FIRSTFIELD);
    return LevelNotice;
  }
  if (!BATCHPROCESSING) {
    if (INSERTACTION == 4) {
      if (ThrowError(kMsgAddAnother) != LevelQuiet) {
        SetResponse(RequestCompleted);
        return LevelQuiet;
      }
    } else if (INSERTACTION != 3) {
      SetResponse(RequestCompleted);
      return LevelQuiet;
    }
  }
  return PrimeNextInsert();
}

int WindowController::UpdateWithRetry(bool* saved) {
  *saved = false;
  for (;;) {
    RESPONSE = RequestCancelled;
    const int outcome = PRIMARY->Update(HISTORYKEY != 0);
    if (outcome == 0) {
      *saved = true;
      return LevelQuiet;
    }
    if (outcome != 1) {
      Display(0);
      Select(FIRSTFIELD);
      return LevelNotice;
    }
    switch (AskMessage(kMsgUpdateFailed, kYesNoCancel, ButtonCancel)) {
      case ButtonYes: continue;
      case ButtonNo:
        if (ORIGINALREQUEST != InsertRecord) Post(event::CloseWindow);
        return LevelNotice;
      default:
        Display(0);
        Select(FIRSTFIELD);
        return LevelNotice;
    }
  }
}

int WindowController::ChangeRecordAction() {
  if (!PRIMARY) return LevelQuiet;
  RESPONSE = RequestCancelled;
  const bool unchanged = PRIMARY->Unchanged(SAVED);
  if (!unchanged) {
    bool saved = false;
    const int level = UpdateWithRetry(&saved);
    if (!saved) return level;
  }
  const bool navigationPending = TOOLBAR && VCRREQUEST && *VCRREQUEST != 0;
  if (!(unchanged && navigationPending)) RESPONSE = RequestCompleted;
  if (ORIGINALREQUEST == ChangeRecord) {
    if (BATCHPROCESSING) return MoveOnToNextRecord();
    if (CHANGEACTION == 2) Post(event::CloseWindow);
  }
  if (ORIGINALREQUEST == InsertRecord && RESPONSE == RequestCompleted) {
    REQUEST = InsertRecord;
    if (INSERTACTION == 3) return PrimeNextInsert();
  }
  return LevelQuiet;
}

int WindowController::DeleteRecordAction() {
  if (!PRIMARY) return LevelQuiet;
  for (;;) {
    RESPONSE = RequestCancelled;
    const int outcome = PRIMARY->Delete(DELETEACTION == 2);
    if (outcome != 0 && outcome != 4) {
      switch (AskMessage(kMsgDeleteFailed, kYesNoCancel, ButtonCancel)) {
        case ButtonYes: continue;
        case ButtonNo:
          if (!BATCHPROCESSING) Post(event::CloseWindow);
          return LevelNotice;
        default:
          Display(0);
          Select(FIRSTFIELD);
          return LevelNotice;
      }
    }
    if (BATCHPROCESSING) return MoveOnToNextRecord();
    SetResponse(RequestCompleted);
    return LevelQuiet;
  }
}

int WindowController::SaveInsertedAction() {
  if (!PRIMARY) return LevelNotice;
  if (BEFORESAVEREQUEST == InsertRecord) {
    if (PRIMARY->Insert() == 0) {
      REQUEST = ChangeRecord;
      Select(FIRSTFIELD);
      SAVED = PRIMARY->Snapshot();
      SwitchCancelButtons(1);
    } else {
      REQUEST = InsertRecord;
    }
    return LevelNotice;
  }
  REQUEST = ChangeRecord;
  if (!PRIMARY->Unchanged(SAVED)) SaveChangedAction();
  return LevelNotice;
}

int WindowController::SaveChangedAction() {
  if (!PRIMARY) return LevelNotice;
  bool saved = false;
  UpdateWithRetry(&saved);
  if (saved) {
    SAVED = PRIMARY->Snapshot();
    SwitchCancelButtons(1);
  }
  REQUEST = ChangeRecord;
  return LevelNotice;
}

}  // namespace vantrel::framework
