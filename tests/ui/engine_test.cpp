#include "ui/engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "tests/ui/test_window.h"
#include "ui/headless/headless.h"

namespace vantrel::ui {
namespace {

using testing::Seen;
using testing::SheetWindowDesc;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<Engine>(std::move(backend));
  }
  // Runs the window's loop, recording every event; `level` answers each one.
  std::vector<Seen> RunLoop(Window* w, std::function<int(const Event&)> level = {}) {
    std::vector<Seen> seen;
    engine->Run(w, [&](const Event& e) {
      seen.push_back({e.number, e.control});
      return level ? level(e) : 0;
    });
    return seen;
  }
  HeadlessBackend* screen = nullptr;
  std::unique_ptr<Engine> engine;
};

TEST_F(EngineTest, OpeningQueuesOpenAndSizedThenUserInputInOrder) {
  Window* w = engine->Open(SheetWindowDesc());
  screen->Click(3);
  screen->Click(21);
  screen->CloseBox();
  const std::vector<Seen> seen = RunLoop(w);
  const std::vector<Seen> expected = {{event::OpenWindow, 0},
                                      {event::Sized, 0},
                                      {event::Accepted, 3},
                                      {event::Accepted, 21},
                                      {event::CloseWindow, 0}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(w->IsOpen());
}

TEST_F(EngineTest, LevelFiveKeepsTheWindowOpenAndLevelThreeEndsTheLoop) {
  Window* w = engine->Open(SheetWindowDesc());
  screen->CloseBox();
  screen->Click(21);
  const std::vector<Seen> seen = RunLoop(w, [](const Event& e) {
    if (e.number == event::CloseWindow) return 5;
    if (e.number == event::Accepted) return 3;
    return 0;
  });
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].number, event::CloseWindow);
  EXPECT_EQ(seen[3].number, event::Accepted);
  EXPECT_TRUE(w->IsOpen());  // level 3 ends the loop without the default close
  engine->Close(w);
  EXPECT_FALSE(w->IsOpen());
}

TEST_F(EngineTest, ARunOutScriptOffersTheCloseOnceThenGivesUp) {
  Window* w = engine->Open(SheetWindowDesc());
  const std::vector<Seen> seen = RunLoop(w, [](const Event&) { return 5; });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].number, event::CloseWindow);
}

TEST_F(EngineTest, PostToTheFrontComesNext) {
  Window* w = engine->Open(SheetWindowDesc());
  engine->Post(w, event::Accepted, 5);
  engine->Post(w, event::Accepted, 6, true);
  const std::vector<Seen> seen = RunLoop(
      w, [&](const Event& e) { return e.number == event::Accepted && e.control == 5 ? 3 : 0; });
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0], (Seen{event::Accepted, 6}));
  EXPECT_EQ(seen[1], (Seen{event::OpenWindow, 0}));
  EXPECT_EQ(seen.back(), (Seen{event::Accepted, 5}));
}

TEST_F(EngineTest, TabPagesShowOnlyTheSelectedTabsControls) {
  Window* w = engine->Open(SheetWindowDesc());
  DrawnWindow d = screen->Snapshot(*w);
  EXPECT_TRUE(d.Control(3)->visible);
  EXPECT_FALSE(d.Control(16)->visible);
  EXPECT_TRUE(d.Control(21)->visible);
  screen->SelectRow(1, 2);
  screen->Click(3);  // no longer on screen: the click cannot happen
  const std::vector<Seen> seen = RunLoop(w);
  EXPECT_NE(std::find(seen.begin(), seen.end(), Seen{event::NewSelection, 1}), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), Seen{event::Accepted, 3}), seen.end());
  d = screen->Snapshot(*w);
  EXPECT_FALSE(d.Control(3)->visible);
  EXPECT_TRUE(d.Control(16)->visible);
  EXPECT_EQ(engine->GetNumber(w, 1, prop::SelStart), 2);
}

TEST_F(EngineTest, BoundStringShowsItsVariableAfterDisplay) {
  FixedText<200> os;
  os = "Windows 10";
  Window* w = engine->Open(SheetWindowDesc(TextVar::Of(os)));
  EXPECT_EQ(engine->Get(w, 17, prop::Text), "Windows 10");
  os = "Windows 11 Pro";
  EXPECT_EQ(engine->Get(w, 17, prop::Text), "Windows 10");
  engine->Display(w, 17);
  EXPECT_EQ(screen->Snapshot(*w).Control(17)->text, "Windows 11 Pro");
}

TEST_F(EngineTest, SelectAllRunsAValidationPassEndingInCompleted) {
  WindowDesc desc;
  desc.name = "form";
  desc.at = {0, 0, 200, 100};
  FixedText<10> a, b;
  desc.controls = {testing::Make(ControlKind::Entry, 1, "?A", "", {4, 4, 50, 10}),
                   testing::Make(ControlKind::Button, 2, "?OK", "OK", {4, 20, 50, 14}),
                   testing::Make(ControlKind::Entry, 3, "?B", "", {4, 40, 50, 10})};
  desc.controls[0].variable = TextVar::Of(a);
  desc.controls[2].variable = TextVar::Of(b);
  Window* w = engine->Open(desc);
  screen->Edit(3, "typed");
  std::vector<int> acceptAll;
  std::vector<Seen> seen;
  engine->Run(w, [&](const Event& e) {
    seen.push_back({e.number, e.control});
    acceptAll.push_back(static_cast<int>(engine->GetNumber(w, 0, prop::AcceptAll)));
    if (e.number == event::Accepted && e.control == 3 && acceptAll.back() == 0)
      engine->Select(w, 0);
    if (e.number == event::Completed) return 3;
    return 0;
  });
  EXPECT_EQ(b.Str(), "typed");
  const std::vector<Seen> expected = {{event::OpenWindow, 0}, {event::Sized, 0},
                                      {event::Accepted, 3},   {event::Accepted, 1},
                                      {event::Accepted, 3},   {event::Completed, 0}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(acceptAll, (std::vector<int>{0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(engine->GetNumber(w, 0, prop::AcceptAll), 1);  // level 3: no default processing
}

TEST_F(EngineTest, SelectingAControlStopsAValidationPass) {
  WindowDesc desc;
  desc.controls = {testing::Make(ControlKind::Entry, 1, "?A", "", {4, 4, 50, 10}),
                   testing::Make(ControlKind::Entry, 2, "?B", "", {4, 20, 50, 10})};
  Window* w = engine->Open(desc);
  std::vector<Seen> seen;
  engine->Select(w, 0);
  engine->Run(w, [&](const Event& e) {
    seen.push_back({e.number, e.control});
    if (e.number == event::Accepted && e.control == 1) engine->Select(w, 1);  // field 1 refused
    return 0;
  });
  EXPECT_EQ(std::find(seen.begin(), seen.end(), Seen{event::Completed, 0}), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), Seen{event::Selected, 1}), seen.end());
  EXPECT_EQ(engine->GetNumber(w, 0, prop::AcceptAll), 0);
  EXPECT_EQ(w->Focus(), 1);
}

TEST_F(EngineTest, AlertKeysRaiseAlertKeyAndLeaveThePendingKeyCode) {
  Window* w = engine->Open(SheetWindowDesc());
  engine->SetNumber(w, 3, prop::Alrt, 0x71, 255);
  screen->Do([](Engine& e, Window* win) { e.Select(win, 3); });
  screen->Key(0x70);
  screen->Key(0x71);
  int keyAtAlert = 0;
  const std::vector<Seen> seen = RunLoop(w, [&](const Event& e) {
    if (e.number == event::AlertKey) keyAtAlert = engine->KeyCode();
    return 0;
  });
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Seen{event::AlertKey, 3}), 1);
  EXPECT_EQ(keyAtAlert, 0x71);
  engine->SetKeyCode(0);
  EXPECT_EQ(engine->KeyCode(), 0);
}

TEST_F(EngineTest, NotifyCarriesItsThreeValues) {
  Window* w = engine->Open(SheetWindowDesc());
  engine->PostNotify(w, 7, 42, 1234567890123LL);
  Event got;
  engine->Run(w, [&](const Event& e) {
    if (e.number == event::Notify) got = e;
    return 0;
  });
  EXPECT_EQ(got.notifyCode, 7);
  EXPECT_EQ(got.notifyThread, 42);
  EXPECT_EQ(got.notifyParameter, 1234567890123LL);
}

TEST_F(EngineTest, SystemPropertiesAndReaders) {
  engine->SetSystem(prop::Icon, "Vantrel.ico");
  EXPECT_EQ(engine->GetSystem(prop::Icon), "Vantrel.ico");
  int reads = 0;
  engine->SetSystemReader(prop::WindowsVersion, [&] {
    ++reads;
    return std::string("Windows 10 Pro");
  });
  engine->SetSystem(prop::WindowsVersion, "ignored");  // read only once a reader answers for it
  EXPECT_EQ(engine->GetSystem(prop::WindowsVersion), "Windows 10 Pro");
  EXPECT_EQ(engine->GetSystem(prop::WindowsVersion), "Windows 10 Pro");
  EXPECT_EQ(reads, 2);  // composed anew on every read
  engine->Beep();
  EXPECT_EQ(screen->Beeps(), 1);
}

TEST_F(EngineTest, EngineStateIsPerThread) {
  EXPECT_EQ(Engine::Current(), engine.get());
  EXPECT_EQ(ThreadMessagePresenter(), screen);
  Engine* other = engine.get();
  int shown = -1;
  std::thread t([&] {
    other = Engine::Current();
    shown = ShowMessage("from a thread without windows");
  });
  t.join();
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(screen->Dialogs().empty());
  engine.reset();
  EXPECT_EQ(Engine::Current(), nullptr);
  EXPECT_EQ(ThreadMessagePresenter(), nullptr);
  EXPECT_EQ(ShowMessage("after the engine ended"), 0);
}

TEST(DialogUnits, RoundToTheNearestPixelBothWays) {
  const FontMetrics m{6, 13};
  EXPECT_EQ(UnitsToPixelsX(9, m), 14);
  EXPECT_EQ(UnitsToPixelsX(2, m), 3);
  EXPECT_EQ(UnitsToPixelsY(11, m), 18);
  EXPECT_EQ(UnitsToPixelsX(-9, m), -14);
  EXPECT_EQ(PixelsToUnitsX(14, m), 9);
  EXPECT_EQ(PixelsToUnitsY(18, m), 11);
  EXPECT_EQ(UnitsToPixelsX(5, FontMetrics{0, 0}), 0);
  EXPECT_EQ(PixelsToUnitsX(5, FontMetrics{0, 0}), 0);
}

}  // namespace
}  // namespace vantrel::ui
