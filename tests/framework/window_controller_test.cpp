#include "framework/window_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/error_reporter.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace vantrel::framework {
namespace {

using ui::DialogAnswer;
using ui::HeadlessBackend;
namespace event = ui::event;
namespace prop = ui::prop;

// Control numbers of the test window.
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kName = 3;
constexpr int kSheet = 4;
constexpr int kSave = 5;
constexpr int kClose = 21;

// Message dialog control identifiers of the standard buttons.
constexpr int kDlgYes = 6;
constexpr int kDlgNo = 7;
constexpr int kDlgCancel = 2;

ui::ControlDesc Control(ui::ControlKind kind, int field, std::string label, int x) {
  ui::ControlDesc c;
  c.kind = kind;
  c.field = field;
  c.label = std::move(label);
  c.text = c.label.substr(1);
  c.at = ui::Rect{x, 10, 40, 14};
  return c;
}

// A small form: OK, Cancel, a name entry, a sheet, Save, Close.
struct Form {
  FixedText<20> name{"first"};
  ui::WindowDesc desc;
  Form() {
    desc.name = "FORM";
    desc.caption = "Form";
    desc.at = ui::Rect{10, 10, 300, 100};
    desc.resizable = true;
    desc.controls.push_back(Control(ui::ControlKind::Button, kOk, "?OK", 4));
    desc.controls.push_back(Control(ui::ControlKind::Button, kCancel, "?CANCEL", 50));
    ui::ControlDesc entry = Control(ui::ControlKind::Entry, kName, "?NAME", 100);
    entry.variable = ui::TextVar::Of(name);
    desc.controls.push_back(entry);
    desc.controls.push_back(Control(ui::ControlKind::Sheet, kSheet, "?SHEET", 150));
    desc.controls.push_back(Control(ui::ControlKind::Button, kSave, "?SAVE", 200));
    desc.controls.push_back(Control(ui::ControlKind::Button, kClose, "?CLOSE", 250));
  }
};

// A controller that opens the form in Init and records what it sees.
class TestController : public WindowController {
 public:
  explicit TestController(Form& form) : form_(form) {}

  int initResult = LevelQuiet;
  std::function<void(TestController&)> setUp;  // runs in Init, after the base and the window
  std::vector<int> events;                     // every event number handled
  std::vector<int> acceptedLevels;             // the base HandleAccepted's results
  int resets = 0;

  int Init() override {
    if (const int level = WindowController::Init(); level != LevelQuiet) return level;
    if (initResult != LevelQuiet) return initResult;
    OpenWindow(form_.desc);
    if (setUp) setUp(*this);
    return LevelQuiet;
  }
  int HandleEvent() override {
    events.push_back(Engine()->EventNumber());
    return WindowController::HandleEvent();
  }
  int HandleAccepted() override {
    const int level = WindowController::HandleAccepted();
    acceptedLevels.push_back(level);
    return level;
  }
  void ResetWindow(bool force) override {
    ++resets;
    WindowController::ResetWindow(force);
  }
  int Count(int number) const {
    return static_cast<int>(std::count(events.begin(), events.end(), number));
  }

 private:
  Form& form_;
};

class CountingComponent : public WindowComponent {
 public:
  bool wantsReset = false;
  int stopEvent = 0;  // an event number the component handles fully
  int resets = 0, updates = 0, shutdowns = 0, handled = 0, alerts = 0, windowUpdates = 0;
  void Shutdown() override { ++shutdowns; }
  void Reset(bool) override { ++resets; }
  bool ResetRequired() override { return wantsReset; }
  void SetAlerts() override { ++alerts; }
  int HandleEvent() override {
    ++handled;
    return ui::Engine::Current()->EventNumber() == stopEvent ? LevelNotice : LevelQuiet;
  }
  void Update() override { ++updates; }
  void UpdateWindow() override { ++windowUpdates; }
};

class WindowControllerTest : public ::testing::Test {
 protected:
  WindowControllerTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<ui::Engine>(std::move(backend));
  }
  HeadlessBackend* screen;
  std::unique_ptr<ui::Engine> engine;
  Form form;
};

TEST_F(WindowControllerTest, FailedInitSkipsTheLoopButShutsDown) {
  TestController c(form);
  c.initResult = LevelCancelled;
  screen->Click(kOk);
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_TRUE(c.events.empty());
  EXPECT_EQ(c.DEAD, 1);
  EXPECT_EQ(screen->PendingInputs(), 1u);

  TestController answered(form);
  answered.initResult = LevelFatal;
  answered.setUp = nullptr;
  answered.RESPONSE = RequestCompleted;
  EXPECT_EQ(answered.Run(), RequestCompleted);
  EXPECT_EQ(answered.Shutdown(), LevelNotice);  // a second shutdown does nothing
}

TEST_F(WindowControllerTest, BaseInitSetsTheDefaults) {
  TestController c(form);
  c.REQUEST = ChangeRecord;
  engine->SetKeyCode(130);
  ASSERT_EQ(c.Init(), LevelQuiet);
  EXPECT_EQ(c.ORIGINALREQUEST, ChangeRecord);
  EXPECT_EQ(engine->KeyCode(), 0);
  EXPECT_EQ(c.INSERTACTION, 2);
  EXPECT_EQ(c.DELETEACTION, 2);
  EXPECT_EQ(c.CHANGEACTION, 2);
  EXPECT_EQ(c.CANCELACTION, 3);
  EXPECT_EQ(c.AUTOTOOLBAR, 1);
  EXPECT_EQ(c.AUTOREFRESH, 1);
  EXPECT_TRUE(c.CL && c.BUTTONS);
  EXPECT_EQ(c.OPENED, 1);
  c.Shutdown();
}

TEST_F(WindowControllerTest, RegisteredButtonEndsTheWindowWithItsResponse) {
  TestController c(form);
  CountingComponent component;
  c.setUp = [&](TestController& t) {
    t.AddButton(kClose, RequestCompleted);
    t.AddButton(kClose, RequestCancelled);  // the first registration wins
    t.AddComponent(&component);
  };
  screen->Click(kOk);  // neither a button of the table nor OK/Save of a form
  screen->Click(kClose);
  EXPECT_EQ(c.Run(), RequestCompleted);
  ASSERT_EQ(c.acceptedLevels.size(), 2u);
  EXPECT_EQ(c.acceptedLevels[0], LevelQuiet);
  EXPECT_EQ(c.acceptedLevels[1], LevelNotice);
  // The button's accept was fully handled: the component saw only the other events.
  const int acceptsSeen = c.Count(event::Accepted);
  EXPECT_EQ(acceptsSeen, 2);
  EXPECT_EQ(c.events.back(), event::CloseWindow);
  EXPECT_FALSE(c.MYWINDOW->IsOpen());
  EXPECT_EQ(component.shutdowns, 1);
  EXPECT_FALSE(c.CL);
  EXPECT_FALSE(c.BUTTONS);
}

TEST_F(WindowControllerTest, FirstSizedEventDoesNotResetLaterOnesDo) {
  TestController c(form);
  c.setUp = [](TestController& t) { t.AddButton(kClose, RequestCompleted); };
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Post(w, event::Sized); });
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Post(w, event::Sized); });
  screen->Click(kClose);
  c.Run();
  // Opening queues EVENT:OpenWindow and the first EVENT:Sized; then two more.
  EXPECT_EQ(c.Count(event::Sized), 3);
  EXPECT_EQ(c.Count(event::Resizer), 3);  // each Sized posts the resizer's event
  EXPECT_EQ(c.INITED, 3);
  // One reset from PrepareWindow on opening, then one per later Sized.
  EXPECT_EQ(c.resets, 1 + 2);
}

TEST_F(WindowControllerTest, AutoRefreshResetsOnlyWhenAComponentAsks) {
  TestController quiet(form);
  quiet.setUp = [](TestController& t) { t.AddButton(kClose, RequestCompleted); };
  screen->Click(kOk);
  screen->Click(kClose);
  quiet.Run();
  EXPECT_EQ(quiet.resets, 1);  // PrepareWindow's only

  TestController busy(form);
  CountingComponent first, second;
  second.wantsReset = true;
  busy.setUp = [&](TestController& t) {
    t.AddComponent(&first);
    t.AddComponent(&second);
    t.AddButton(kClose, RequestCompleted);
  };
  screen->Click(kOk);
  screen->Click(kClose);
  busy.Run();
  // Every event that reaches the components ends with exactly one reset.
  const int reached = first.handled;
  EXPECT_GT(reached, 0);
  EXPECT_EQ(busy.resets, 1 + reached);
  EXPECT_EQ(first.resets, busy.resets);
  EXPECT_EQ(second.windowUpdates, busy.resets);
}

TEST_F(WindowControllerTest, ComponentLevelStopsTheEvent) {
  TestController c(form);
  CountingComponent stopper, later;
  stopper.stopEvent = event::Accepted;
  later.wantsReset = true;
  c.setUp = [&](TestController& t) {
    t.AddComponent(&stopper);
    t.AddComponent(&later);
    t.AddButton(kClose, RequestCompleted);
  };
  int resetsBefore = 0, laterBefore = 0;
  screen->Do([&](ui::Engine&, ui::Window*) {
    resetsBefore = c.resets;
    laterBefore = later.handled;
  });
  screen->Click(kOk);
  screen->Do([&](ui::Engine&, ui::Window*) {
    EXPECT_EQ(later.handled, laterBefore);  // the accept stopped at the first component
    EXPECT_EQ(c.resets, resetsBefore);      // and no refresh followed it
  });
  screen->Click(kClose);
  c.Run();
  EXPECT_GT(stopper.handled, 0);
}

TEST_F(WindowControllerTest, ClosingAPlainDialogNeverAsks) {
  ErrorReporter errors;
  errors.Init();
  TestController c(form);
  c.setUp = [&](TestController& t) { t.ERRORS = &errors; };
  c.REQUEST = ChangeRecord;
  form.name = "changed";
  screen->CloseBox();
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_TRUE(screen->Dialogs().empty());
  EXPECT_FALSE(c.MYWINDOW->IsOpen());
}

TEST_F(WindowControllerTest, SetResponseCancelClearsThePendingNavigation) {
  TestController c(form);
  ToolbarDispatcher toolbar;
  std::int32_t vcr = 7;
  c.setUp = [&](TestController& t) {
    t.VCRREQUEST = &vcr;
    t.AttachToolbar(&toolbar);
    t.AddButton(kCancel, RequestCancelled);
  };
  screen->Click(kCancel);
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_EQ(vcr, 0);
  EXPECT_FALSE(toolbar.LIST);  // shut down with the controller
}

class Target : public ToolbarTarget {
 public:
  bool wants = false;
  int taken = 0, displayed = 0, events = 0;
  void DisplayButtons() override { ++displayed; }
  void TakeToolbar() override { ++taken; }
  bool TryTakeToolbar() override { return wants; }
  void HandleToolbarEvent(std::int32_t* vcr) override {
    ++events;
    if (vcr) *vcr = 3;
  }
};

TEST(ToolbarDispatcherTest, TargetsByControlOrByWish) {
  ToolbarDispatcher d;
  std::int32_t vcr = 0;
  d.HandleEvent(&vcr);  // no list yet: nothing happens
  d.Init();
  Target a, b, c;
  d.AddTarget(10, &a);
  d.AddTarget(11, &b);
  d.AddTarget(12, &c);
  d.HandleEvent(&vcr);  // entries but no current target
  EXPECT_EQ(vcr, 0);
  d.SetTarget(11);
  EXPECT_EQ(d.Current(), &b);
  EXPECT_EQ(b.taken, 1);
  d.SetTarget(99);  // unknown: unchanged
  EXPECT_EQ(d.Current(), &b);
  a.wants = c.wants = true;
  d.SetTarget(0);
  EXPECT_EQ(d.Current(), &c);  // the last one that wants it
  d.HandleEvent(&vcr);
  EXPECT_EQ(c.events, 1);
  EXPECT_EQ(vcr, 3);
  d.DisplayButtons();
  EXPECT_EQ(c.displayed, 1);
  d.Shutdown();
  EXPECT_FALSE(d.LIST);
}

TEST_F(WindowControllerTest, NewSelectionOnASheetResetsAndRetargets) {
  TestController c(form);
  ToolbarDispatcher toolbar;
  Target t;
  t.wants = true;
  c.setUp = [&](TestController& ctl) {
    ctl.AttachToolbar(&toolbar);
    toolbar.AddTarget(kName, &t);
    ctl.AddButton(kClose, RequestCompleted);
  };
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Post(w, event::NewSelection, kSheet); });
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Post(w, event::NewSelection, kName); });
  screen->Click(kClose);
  c.Run();
  EXPECT_EQ(c.Count(event::NewSelection), 2);
  EXPECT_EQ(c.resets, 1 + 1);             // only the sheet's new selection resets
  EXPECT_EQ(toolbar.Current(), nullptr);  // shut down with the controller
  EXPECT_EQ(t.events, 1);                 // the Close button's accept went to the target
}

TEST_F(WindowControllerTest, RejectedBeepsAndReselects) {
  TestController c(form);
  c.setUp = [](TestController& t) { t.AddButton(kClose, RequestCompleted); };
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Post(w, event::Rejected, kName); });
  screen->Click(kClose);
  c.Run();
  EXPECT_EQ(screen->Beeps(), 1);
  EXPECT_EQ(c.MYWINDOW->Focus(), kName);
}

TEST_F(WindowControllerTest, AlertKeyRestoresTheFocusedFieldFromHistory) {
  TestController c(form);
  c.setUp = [&](TestController& t) {
    t.HISTORYKEY = 113;
    t.HISTORY = std::make_unique<std::vector<WindowController::HistoryEntry>>();
    t.HISTORY->push_back({kName, ui::TextVar::Of(form.name), {}});
    t.SaveFieldHistory();
    t.SetAlerts();
    t.AddButton(kClose, RequestCompleted);
  };
  screen->Do([&](ui::Engine& e, ui::Window* w) {
    form.name = "edited";
    e.Select(w, kName);
    e.SetKeyCode(113);
    e.Post(w, event::AlertKey, kName);
  });
  screen->Click(kClose);
  c.Run();
  EXPECT_EQ(form.name.Str(), "first");
  EXPECT_EQ(engine->GetNumber(c.MYWINDOW, kName, prop::Alrt, 255), 113);
}

// ---------------------------------------------------------------------------------------------
// The record form, over a record manager kept in memory.

class MemoryRecords : public RecordManager {
 public:
  explicit MemoryRecords(FixedText<20>& buffer) : buffer_(buffer) {}

  std::vector<std::string> rows{"first"};
  std::deque<int> updateOutcomes;  // scripted results of Update (empty: success)
  std::deque<int> insertOutcomes;
  std::vector<std::string> calls;
  std::string repositioned;
  bool primeFails = false;

  int Insert() override {
    calls.push_back("insert");
    const int r = Next(insertOutcomes);
    if (r == 0) rows.push_back(buffer_.Str());
    return r;
  }
  int Update(bool) override {
    calls.push_back("update");
    const int r = Next(updateOutcomes);
    if (r == 0) rows[0] = buffer_.Str();
    return r;
  }
  int Delete(bool confirm) override {
    calls.push_back(confirm ? "delete?" : "delete");
    rows.erase(rows.begin());
    return 0;
  }
  bool Unchanged(std::uint16_t snapshot) override {
    return snapshots_.at(snapshot) == buffer_.Str();
  }
  std::uint16_t Snapshot() override {
    snapshots_.push_back(buffer_.Str());
    return static_cast<std::uint16_t>(snapshots_.size() - 1);
  }
  void Restore(std::uint16_t snapshot) override { buffer_ = snapshots_.at(snapshot); }
  bool PrimeRecord() override {
    calls.push_back("prime");
    if (primeFails) return false;
    buffer_ = "";
    return true;
  }
  bool CancelInsert() override {
    calls.push_back("cancel");
    return true;
  }
  void PrepareRecord(int request) override {
    calls.push_back("prepare " + std::to_string(request));
    if (request == InsertRecord) buffer_ = "";
  }
  std::string Position() override { return std::to_string(rows.size()); }
  void Reposition(std::string_view position) override { repositioned = position; }

 private:
  static int Next(std::deque<int>& q) {
    if (q.empty()) return 0;
    const int r = q.front();
    q.pop_front();
    return r;
  }
  FixedText<20>& buffer_;
  std::vector<std::string> snapshots_;
};

class FormController : public TestController {
 public:
  FormController(Form& form, MemoryRecords& records, ErrorReporter& errors)
      : TestController(form), records_(records), errors_(errors) {}
  int Init() override {
    PRIMARY = &records_;
    ERRORS = &errors_;
    if (const int level = TestController::Init(); level != LevelQuiet) return level;
    OKCONTROL = kOk;
    SAVECONTROL = kSave;
    FIRSTFIELD = kName;
    AddButton(kCancel, RequestCancelled);
    return PrepareRecord();
  }

 private:
  MemoryRecords& records_;
  ErrorReporter& errors_;
};

class RecordFormTest : public WindowControllerTest {
 protected:
  RecordFormTest() : records(form.name) { errors.Init(); }
  // The user types a new name, as the entry control would store it.
  void Type(std::string text) {
    screen->Do([this, text](ui::Engine&, ui::Window*) { form.name = text; });
  }
  MemoryRecords records;
  ErrorReporter errors;
};

TEST_F(RecordFormTest, ChangeSavedWithOkClosesCompleted) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  Type("second");
  screen->Click(kOk);
  EXPECT_EQ(c.Run(), RequestCompleted);
  EXPECT_EQ(records.rows[0], "second");
  EXPECT_EQ(c.Count(event::Completed), 1);
  EXPECT_TRUE(screen->Dialogs().empty());
}

TEST_F(RecordFormTest, FailedUpdateAsksAndRetriesOnYes) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  records.updateOutcomes = {1, 0};
  screen->AnswerDialog(DialogAnswer::Button(kDlgYes));
  Type("second");
  screen->Click(kOk);
  EXPECT_EQ(c.Run(), RequestCompleted);
  ASSERT_EQ(screen->Dialogs().size(), 1u);
  EXPECT_EQ(std::count(records.calls.begin(), records.calls.end(), "update"), 2);
  EXPECT_EQ(records.rows[0], "second");
}

TEST_F(RecordFormTest, FailedUpdateCancelledKeepsEditing) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  records.updateOutcomes = {1};
  screen->AnswerDialog(DialogAnswer::Button(kDlgCancel));
  Type("second");
  screen->Click(kOk);
  screen->Do([&](ui::Engine&, ui::Window* w) {
    EXPECT_TRUE(w->IsOpen());
    EXPECT_EQ(w->Focus(), kName);
    EXPECT_EQ(records.rows[0], "first");
    EXPECT_EQ(c.RESPONSE, RequestCancelled);
  });
  screen->CloseBox();
  screen->AnswerDialog(DialogAnswer::Button(kDlgNo));  // leave without saving
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_EQ(records.rows[0], "first");
  EXPECT_EQ(screen->Dialogs().size(), 2u);
}

TEST_F(RecordFormTest, ClosingWithChangesAsksToSave) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  Type("second");
  screen->CloseBox();  // answered Cancel: stays open
  screen->CloseBox();  // answered No: closes without saving
  screen->AnswerDialog(DialogAnswer::Button(kDlgCancel));
  screen->AnswerDialog(DialogAnswer::Button(kDlgNo));
  EXPECT_EQ(c.Run(), RequestCancelled);
  ASSERT_EQ(screen->Dialogs().size(), 2u);
  EXPECT_EQ(records.rows[0], "first");
  EXPECT_EQ(form.name.Str(), "first");  // the buffer is restored on shutdown
  EXPECT_EQ(c.Count(event::CloseWindow), 2);
}

TEST_F(RecordFormTest, ClosingWithChangesAndYesSavesThroughOk) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  Type("second");
  screen->CloseBox();
  screen->AnswerDialog(DialogAnswer::Button(kDlgYes));
  EXPECT_EQ(c.Run(), RequestCompleted);
  EXPECT_EQ(records.rows[0], "second");
}

TEST_F(RecordFormTest, CancelWithoutSaveOptionConfirmsWithMessage10) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  c.setUp = [](TestController& t) { t.CANCELACTION = 2; };
  Type("second");
  screen->CloseBox();
  screen->AnswerDialog(DialogAnswer::Button(kDlgNo));  // do not give up the changes
  screen->Do([](ui::Engine&, ui::Window* w) { EXPECT_TRUE(w->IsOpen()); });
  screen->CloseBox();
  screen->AnswerDialog(DialogAnswer::Button(kDlgYes));  // now give them up
  EXPECT_EQ(c.Run(), RequestCancelled);
  ASSERT_EQ(screen->Dialogs().size(), 2u);
  EXPECT_EQ(screen->Dialogs()[0].layout.caption, "Potvrda odustajanja");
  EXPECT_EQ(records.rows[0], "first");
}

TEST_F(RecordFormTest, InsertThatStaysOpenPrimesTheNextAndRepositionsOnClose) {
  FormController c(form, records, errors);
  c.REQUEST = InsertRecord;
  c.setUp = [](TestController& t) { t.INSERTACTION = 3; };
  Type("new one");
  screen->Click(kOk);
  screen->Click(kCancel);
  EXPECT_EQ(c.Run(), RequestCompleted);  // a record was inserted
  ASSERT_EQ(records.rows.size(), 2u);
  EXPECT_EQ(records.rows[1], "new one");
  EXPECT_EQ(records.repositioned, "2");
  EXPECT_EQ(std::count(records.calls.begin(), records.calls.end(), "cancel"), 1);
}

TEST_F(RecordFormTest, DeleteRequestDeletesBeforeTheWindowLoop) {
  FormController c(form, records, errors);
  c.REQUEST = DeleteRecord;
  screen->Click(kOk);
  EXPECT_EQ(c.Run(), RequestCompleted);
  EXPECT_TRUE(records.rows.empty());
  EXPECT_TRUE(c.events.empty());  // Init returned 3: no event loop
  EXPECT_EQ(records.calls[1], "delete?");
}

TEST_F(RecordFormTest, SaveButtonSavesAndKeepsTheFormOpen) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  c.setUp = [](TestController& t) { t.DISABLECANCELBUTTON = 1; };
  Type("saved");
  screen->Click(kSave);
  screen->Do([&](ui::Engine& e, ui::Window* w) {
    EXPECT_TRUE(w->IsOpen());
    EXPECT_EQ(records.rows[0], "saved");
    EXPECT_EQ(c.REQUEST, ChangeRecord);
    EXPECT_EQ(e.GetNumber(w, kCancel, prop::Disable), 1);  // nothing to cancel any more
  });
  screen->CloseBox();  // nothing changed since the save: closes without asking
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_TRUE(screen->Dialogs().empty());
}

TEST_F(RecordFormTest, InsertFormSaveButtonInsertsThenEditsTheNewRecord) {
  FormController c(form, records, errors);
  c.REQUEST = InsertRecord;
  Type("draft");
  screen->Click(kSave);
  screen->Do([&](ui::Engine&, ui::Window* w) {
    EXPECT_TRUE(w->IsOpen());
    ASSERT_EQ(records.rows.size(), 2u);
    EXPECT_EQ(records.rows[1], "draft");
    EXPECT_EQ(c.REQUEST, ChangeRecord);  // saved once: from now on a change
  });
  Type("final");
  screen->Click(kOk);
  EXPECT_EQ(c.Run(), RequestCompleted);
  EXPECT_EQ(std::count(records.calls.begin(), records.calls.end(), "insert"), 1);
}

TEST_F(RecordFormTest, BatchProcessingMovesOnAfterEachCompletion) {
  struct Navigator : FormNavigator {
    int moves = 0;
    void MoveOn() override { ++moves; }
  } navigator;
  FormController c(form, records, errors);
  c.REQUEST = ProcessRecords;
  c.setUp = [&](TestController& t) {
    t.BATCHPROCESSING = 1;
    t.FORMVCR = &navigator;
  };
  screen->Click(kOk);
  screen->Click(kOk);
  screen->Click(kSave);  // Save does nothing while processing records
  screen->Click(kCancel);
  EXPECT_EQ(c.Run(), RequestCancelled);
  EXPECT_EQ(navigator.moves, 2);
  EXPECT_EQ(c.REQUEST, ProcessRecords);
}

// A component bound to the primary record: it may ask for the buffer to be restored before its
// reset and snapshotted after it.
class RecordComponent : public CountingComponent {
 public:
  bool restoreOnce = false, saveNeeded = false;
  std::vector<bool> forces;
  int restored = 0, saved = 0;
  void Reset(bool force) override {
    forces.push_back(force);
    CountingComponent::Reset(force);
  }
  bool RestoreNeeded() override { return std::exchange(restoreOnce, false); }
  bool SaveNeeded() override { return saveNeeded; }
  void BufferRestored() override { ++restored; }
  void BufferSaved() override { ++saved; }
};

TEST_F(RecordFormTest, ResetRestoresAndSnapshotsForRecordComponents) {
  FormController c(form, records, errors);
  c.REQUEST = ChangeRecord;
  RecordComponent bound;
  CountingComponent plain;
  c.setUp = [&](TestController& t) {
    t.AddComponent(&plain);
    t.AddComponent(&bound, 1);
  };
  ASSERT_EQ(c.Init(), LevelQuiet);
  form.name = "unsaved";
  bound.restoreOnce = true;
  c.ResetWindow(false);
  EXPECT_EQ(form.name.Str(), "first");  // restored from the snapshot
  EXPECT_EQ(bound.restored, 1);
  ASSERT_EQ(bound.forces.size(), 1u);
  EXPECT_TRUE(bound.forces[0]);
  EXPECT_EQ(plain.resets, 1);

  form.name = "accepted";
  bound.saveNeeded = true;
  c.FORCEDRESET = 1;
  c.ResetWindow(false);
  EXPECT_TRUE(bound.forces[1]);  // the one-shot forced reset
  EXPECT_EQ(c.FORCEDRESET, 0);
  EXPECT_EQ(bound.saved, 1);
  EXPECT_TRUE(records.Unchanged(c.SAVED));  // the new snapshot holds "accepted"
  EXPECT_EQ(bound.windowUpdates, 2);
  c.Shutdown();
  EXPECT_EQ(form.name.Str(), "accepted");
}

}  // namespace
}  // namespace vantrel::framework
