// The window controller: runs one window procedure's window and its event loop.
//
// A procedure derives its own controller and overrides a few virtual operations (Init, Shutdown,
// HandleAccepted ...), calling the base operation itself; everything else is the behaviour here.
// The controller keeps a list of window components that it resets and updates around events, a
// table of buttons that close the window with a response, and the machinery of record-editing
// forms, which works through a primary-record manager. A plain dialog attaches no manager: its
// PRIMARY stays null and the record paths are never taken.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/levels.h"
#include "runtime/text/fixed_text.h"
#include "ui/engine.h"

namespace vantrel::framework {

class ErrorReporter;

// Requests a procedure is opened with (REQUEST).
enum Request : std::uint8_t {
  RequestNone = 0,
  InsertRecord = 1,
  ChangeRecord = 2,
  DeleteRecord = 3,
  ViewRecord = 4,
  ProcessRecords = 6,
  SaveRecord = 7,  // set by the Save button
};

// Control type code of a sheet: a new selection on it may retarget the toolbar.
inline constexpr int kSheetTypeCode = 37;
// The toolbar's "restore field from history" control.
inline constexpr int kToolbarHistoryControl = 3012;

// An object the controller drives around events: list managers, field validators and the like.
// Operations in slot order; SaveNeeded to BufferRestored matter only for components bound to the
// primary record (TYPE 1).
class WindowComponent {
 public:
  virtual void Shutdown() = 0;
  virtual void Reset(bool force) = 0;
  virtual bool ResetRequired() = 0;
  virtual void SetAlerts() = 0;
  virtual int HandleEvent() = 0;  // a level
  virtual void Update() = 0;
  virtual void UpdateWindow() = 0;
  virtual bool SaveNeeded() { return false; }
  virtual bool RestoreNeeded() { return false; }
  virtual void BufferSaved() {}
  virtual void BufferRestored() {}

 protected:
  ~WindowComponent() = default;  // the controller never owns or deletes a component
};

// Something a toolbar can drive (a list, a form). Operations in slot order.
class ToolbarTarget {
 public:
  virtual void DisplayButtons() = 0;
  virtual void TakeToolbar() = 0;     // becomes the toolbar's target
  virtual bool TryTakeToolbar() = 0;  // answers whether it wants the toolbar
  virtual void HandleToolbarEvent(std::int32_t* vcrRequest) = 0;

 protected:
  ~ToolbarTarget() = default;
};

// The controller's toolbar companion: a list of targets by control number and the current one.
class ToolbarDispatcher {
 public:
  struct Entry {
    std::int32_t ID = 0;
    ToolbarTarget* ITEM = nullptr;
  };

  virtual ~ToolbarDispatcher() = default;
  void Init();
  // Virtual operations, in slot order.
  virtual void DisplayButtons();                       // forwards to the current target
  virtual void Shutdown();                             // disposes of LIST
  virtual void HandleEvent(std::int32_t* vcrRequest);  // forwards to the current target
  // A non-zero control makes its target current; 0 makes current the last target that wants it.
  void SetTarget(std::int32_t control);
  void AddTarget(std::int32_t control, ToolbarTarget* target);
  ToolbarTarget* Current() const { return current_; }

  std::unique_ptr<std::vector<Entry>> LIST;

 private:
  ToolbarTarget* current_ = nullptr;
};

// The primary-record manager of a record form: what the form needs of the file behind it.
class RecordManager {
 public:
  virtual ~RecordManager() = default;
  virtual int Insert() = 0;                            // 0 = success
  virtual int Update(bool withHistory) = 0;            // 0 = success, 1 = failed, may be retried
  virtual int Delete(bool confirm) = 0;                // 0 = success, 4 = declined
  virtual bool Unchanged(std::uint16_t snapshot) = 0;  // the buffer equals the snapshot
  virtual std::uint16_t Snapshot() = 0;                // takes a copy of the record buffer
  virtual void Restore(std::uint16_t snapshot) = 0;
  virtual bool PrimeRecord() = 0;               // a fresh record for an insert; false = failed
  virtual bool CancelInsert() = 0;              // drops a primed insert; false = failed
  virtual void PrepareRecord(int request) = 0;  // fetches or primes the record for the request
  virtual std::string Position() = 0;           // the current record's position, as text
  virtual void Reposition(std::string_view position) = 0;
};

// A secondary file whose record buffer a form saves and restores with its own.
class FileBuffer {
 public:
  virtual ~FileBuffer() = default;
  virtual std::uint16_t Snapshot() = 0;
  virtual void Restore(std::uint16_t snapshot) = 0;
};

// Moves a batch form on to its next record.
class FormNavigator {
 public:
  virtual ~FormNavigator() = default;
  virtual void MoveOn() = 0;
};

class Translator {
 public:
  virtual ~Translator() = default;
  virtual void TranslateWindow(ui::Window* window) = 0;
};

class Resizer {
 public:
  virtual ~Resizer() = default;
  virtual void Shutdown() = 0;  // unregisters its event handlers and frees its tables
};

class WindowController {
 public:
  struct ButtonEntry {
    std::int32_t CONTROL = 0;
    std::uint8_t ACTION = 0;  // a response
  };
  struct ComponentEntry {
    std::int32_t TYPE = 0;  // 0 plain, 1 bound to the primary record
    WindowComponent* WC = nullptr;
  };
  struct FileEntry {
    FileBuffer* FILE = nullptr;
    std::uint16_t SAVED = 0;
  };
  struct HistoryEntry {
    std::int32_t CONTROL = 0;
    ui::TextVar FIELD;  // the field the control shows
    std::string SAVED;  // a saved copy of its text
  };

  WindowController() = default;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;
  virtual ~WindowController() = default;

  // Virtual operations, in slot order.
  virtual void EventLoop();
  virtual int Init();
  virtual int Shutdown();
  virtual void PrepareWindow();
  virtual void OpenWindow(const ui::WindowDesc& window, ui::Window* owner = nullptr);
  virtual void PrimeFields();
  virtual int PrepareRecord();
  virtual void ResetWindow(bool force);
  virtual void RestoreField(std::int32_t control);
  virtual int Run();
  virtual std::uint8_t DefaultResponse();
  virtual void SetAlerts();
  virtual void SetResponse(std::uint8_t code);
  virtual int HandleAccepted();
  virtual int HandleCompleted();
  virtual int HandleCloseRequest();
  virtual int HandleEvent();
  virtual int HandleFieldEvent();
  virtual int HandleNewSelection();
  virtual int HandleNotify(int code, int thread, long long parameter);
  virtual int HandleRejected();
  virtual int HandleSelected();
  virtual int HandleWindowEvent();
  virtual void UpdateComponents();
  virtual void SetControlState(std::int32_t control, int flag);
  virtual int InsertRecordAction();
  virtual int ChangeRecordAction();
  virtual int DeleteRecordAction();
  virtual int SaveChangedAction();
  virtual int SaveInsertedAction();

  void AddButton(std::int32_t control, std::uint8_t action);
  void AddComponent(WindowComponent* component, std::int32_t type = 0);
  void AttachToolbar(ToolbarDispatcher* dispatcher);
  void AddFile(FileBuffer* file);
  // With DISABLECANCELBUTTON set: disables (1) or enables (0) every button whose action is a
  // cancel.
  void SwitchCancelButtons(int flag);
  void SaveFieldHistory();
  void CompleteForm();

  // The calling thread's window engine.
  static ui::Engine* Engine() { return ui::Engine::Current(); }

  // Fields, in their order.
  std::uint8_t AUTOREFRESH = 0;
  std::uint8_t AUTOTOOLBAR = 0;
  std::unique_ptr<std::vector<ButtonEntry>> BUTTONS;
  std::unique_ptr<std::vector<ComponentEntry>> CL;
  std::uint8_t CANCELACTION = 0;
  std::uint8_t CHANGEACTION = 0;
  std::uint8_t DEAD = 0;
  std::uint8_t DELETEACTION = 0;
  std::uint8_t BATCHPROCESSING = 0;
  ErrorReporter* ERRORS = nullptr;
  std::unique_ptr<std::vector<FileEntry>> FILES;
  std::uint8_t FILESOPENED = 0;
  std::int32_t FIRSTFIELD = 0;
  std::uint8_t FORCEDRESET = 0;
  std::unique_ptr<std::vector<HistoryEntry>> HISTORY;
  std::int32_t HISTORYKEY = 0;
  std::uint8_t INITED = 0;
  std::uint8_t INSERTACTION = 0;
  FixedText<1024> LASTINSERTEDPOSITION;
  std::int32_t OKCONTROL = 0;
  std::int32_t SAVECONTROL = 0;
  std::uint8_t DISABLECANCELBUTTON = 0;
  std::uint8_t OPENED = 0;
  std::uint8_t ORIGINALREQUEST = 0;
  std::uint8_t RECORDSAVED = 0;
  std::uint8_t BEFORESAVEREQUEST = 0;
  RecordManager* PRIMARY = nullptr;
  std::uint8_t REQUEST = 0;
  std::uint8_t RESETONGAINFOCUS = 0;
  Resizer* RESIZE = nullptr;
  std::uint8_t RESPONSE = 0;
  std::uint16_t SAVED = 0;
  FormNavigator* FORMVCR = nullptr;
  ToolbarDispatcher* TOOLBAR = nullptr;
  Translator* TRANSLATOR = nullptr;
  std::int32_t* VCRREQUEST = nullptr;
  ui::Window* MYWINDOW = nullptr;
  ui::Window* OWNERWINDOW = nullptr;

 protected:
  // Engine helpers that do nothing without an engine or a window.
  void Post(int event, int control = 0, bool front = false);
  void Select(int control);
  void Display(int control = 0);
  // Messages through ERRORS; without a reporter a question answers its default, a Throw 0.
  int AskMessage(std::int32_t id, int buttons, int defaultButton);
  int ThrowError(std::int32_t id);
  // A batch form moves on to its next record (as request 6 does on completion); level 5.
  int MoveOnToNextRecord();
  // An insert form that stays open primes the next record; level 5.
  int PrimeNextInsert();
  // The update shared by the change and save actions: retries on Yes to message 37. Answers 0
  // on success, otherwise the level to return.
  int UpdateWithRetry(bool* saved);
  void SnapshotFiles();
};

}  // namespace vantrel::framework
