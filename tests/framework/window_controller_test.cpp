#include "framework/window_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
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

TEST_F(WindowControllerTest, OkCompletesTheFormAndSaveWaitsWhileProcessing) {
  // OK on a change form validates every control; the engine then reports EVENT:Completed.
  TestController change(form);
  change.REQUEST = ChangeRecord;
  change.setUp = [](TestController& t) {
    t.OKCONTROL = kOk;
    t.AddButton(kClose, RequestCompleted);
  };
  screen->Click(kOk);
  screen->Click(kClose);
  EXPECT_EQ(change.Run(), RequestCompleted);
  EXPECT_EQ(change.Count(event::Completed), 1);

  // A batch form stays open after each completion, the first field selected again.
  TestController batch(form);
  batch.REQUEST = ProcessRecords;
  batch.setUp = [](TestController& t) {
    t.OKCONTROL = kOk;
    t.SAVECONTROL = kSave;
    t.FIRSTFIELD = kName;
    t.BATCHPROCESSING = 1;
    t.AddButton(kCancel, RequestCancelled);
  };
  screen->Click(kOk);
  screen->Do([](ui::Engine& e, ui::Window* w) { e.Select(w, kSheet); });
  screen->Click(kOk);
  screen->Do([](ui::Engine&, ui::Window* w) { EXPECT_EQ(w->Focus(), kName); });
  screen->Click(kSave);  // Save does nothing while processing records
  screen->Click(kCancel);
  EXPECT_EQ(batch.Run(), RequestCancelled);
  EXPECT_EQ(batch.Count(event::Completed), 2);
  EXPECT_EQ(batch.REQUEST, ProcessRecords);
  // OK and the entry's validation, twice; then Save and Cancel, both fully handled.
  EXPECT_EQ(batch.acceptedLevels, (std::vector<int>{LevelQuiet, LevelQuiet, LevelQuiet, LevelQuiet,
                                                    LevelNotice, LevelNotice}));
}

TEST_F(WindowControllerTest, AForcedResetIsForcedOnce) {
  struct ForceRecorder : CountingComponent {
    std::vector<bool> forces;
    void Reset(bool force) override {
      forces.push_back(force);
      CountingComponent::Reset(force);
    }
  } component;
  TestController c(form);
  c.setUp = [&](TestController& t) { t.AddComponent(&component); };
  ASSERT_EQ(c.Init(), LevelQuiet);
  c.FORCEDRESET = 1;
  c.ResetWindow(false);
  EXPECT_EQ(c.FORCEDRESET, 0);
  c.ResetWindow(false);
  EXPECT_EQ(component.forces, (std::vector<bool>{true, false}));
  EXPECT_EQ(component.windowUpdates, 2);
  c.Shutdown();
}

// The index of a virtual operation in its class's table, read from the pointer to it as the
// Itanium C++ ABI lays it out (g++, clang and mingw-w64 all use it): the operation's byte offset
// in the table, marked as virtual by the lowest bit of the pointer (of the adjustment on ARM).
template <typename Pointer>
long SlotOf(Pointer operation) {
  struct Layout {
    std::uintptr_t ptr;
    std::ptrdiff_t adj;
  };
  static_assert(sizeof(Pointer) == sizeof(Layout));
  Layout l;
  std::memcpy(&l, &operation, sizeof l);
#if defined(__arm__) || defined(__aarch64__)
  if (!(l.adj & 1)) return -1;
  return static_cast<long>(l.ptr / sizeof(void*));
#else
  if (!(l.ptr & 1)) return -1;
  return static_cast<long>((l.ptr - 1) / sizeof(void*));
#endif
}

struct Slot {
  const char* name;
  long index;
};

// Each operation directly follows the one before it. The order of the table is part of the
// interface: a derived controller built against it fills and calls the same positions, so no
// operation may move, be dropped or be slipped in between.
void ExpectConsecutive(const std::vector<Slot>& slots) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    SCOPED_TRACE(slots[i].name);
    EXPECT_GE(slots[i].index, 0);
    EXPECT_EQ(slots[i].index, slots[0].index + static_cast<long>(i));
  }
}

TEST(SlotOrderTest, ControllerAndComponentOperationsKeepTheirSlots) {
  using C = WindowController;
  ExpectConsecutive({
      {"EventLoop", SlotOf(&C::EventLoop)},
      {"Init", SlotOf(&C::Init)},
      {"Shutdown", SlotOf(&C::Shutdown)},
      {"PrepareWindow", SlotOf(&C::PrepareWindow)},
      {"OpenWindow", SlotOf(&C::OpenWindow)},
      {"PrimeFields", SlotOf(&C::PrimeFields)},
      {"PrepareRecord", SlotOf(&C::PrepareRecord)},
      {"ResetWindow", SlotOf(&C::ResetWindow)},
      {"RestoreField", SlotOf(&C::RestoreField)},
      {"Run", SlotOf(&C::Run)},
      {"DefaultResponse", SlotOf(&C::DefaultResponse)},
      {"SetAlerts", SlotOf(&C::SetAlerts)},
      {"SetResponse", SlotOf(&C::SetResponse)},
      {"HandleAccepted", SlotOf(&C::HandleAccepted)},
      {"HandleCompleted", SlotOf(&C::HandleCompleted)},
      {"HandleCloseRequest", SlotOf(&C::HandleCloseRequest)},
      {"HandleEvent", SlotOf(&C::HandleEvent)},
      {"HandleFieldEvent", SlotOf(&C::HandleFieldEvent)},
      {"HandleNewSelection", SlotOf(&C::HandleNewSelection)},
      {"HandleNotify", SlotOf(&C::HandleNotify)},
      {"HandleRejected", SlotOf(&C::HandleRejected)},
      {"HandleSelected", SlotOf(&C::HandleSelected)},
      {"HandleWindowEvent", SlotOf(&C::HandleWindowEvent)},
      {"UpdateComponents", SlotOf(&C::UpdateComponents)},
      {"SetControlState", SlotOf(&C::SetControlState)},
      {"InsertRecordAction", SlotOf(&C::InsertRecordAction)},
      {"ChangeRecordAction", SlotOf(&C::ChangeRecordAction)},
      {"DeleteRecordAction", SlotOf(&C::DeleteRecordAction)},
      {"SaveChangedAction", SlotOf(&C::SaveChangedAction)},
      {"SaveInsertedAction", SlotOf(&C::SaveInsertedAction)},
  });
  using W = WindowComponent;
  ExpectConsecutive({
      {"Shutdown", SlotOf(&W::Shutdown)},
      {"Reset", SlotOf(&W::Reset)},
      {"ResetRequired", SlotOf(&W::ResetRequired)},
      {"SetAlerts", SlotOf(&W::SetAlerts)},
      {"HandleEvent", SlotOf(&W::HandleEvent)},
      {"Update", SlotOf(&W::Update)},
      {"UpdateWindow", SlotOf(&W::UpdateWindow)},
      {"SaveNeeded", SlotOf(&W::SaveNeeded)},
      {"RestoreNeeded", SlotOf(&W::RestoreNeeded)},
      {"BufferSaved", SlotOf(&W::BufferSaved)},
      {"BufferRestored", SlotOf(&W::BufferRestored)},
  });
  EXPECT_EQ(SlotOf(&W::Shutdown), 0);  // the component has no virtual destructor before it
}

}  // namespace
}  // namespace vantrel::framework
