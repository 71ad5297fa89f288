#include "ui/progress_window.h"

#include <gtest/gtest.h>

#include "ui/headless/headless.h"

namespace vantrel::ui {
namespace {

TEST(Progress, PercentOfTheRange) {
  EXPECT_EQ(ProgressPercent(0, 200), 0);
  EXPECT_EQ(ProgressPercent(50, 200), 25);
  EXPECT_EQ(ProgressPercent(199, 200), 99);
  EXPECT_EQ(ProgressPercent(300, 200), 100);
  EXPECT_EQ(ProgressPercent(-5, 200), 0);
  EXPECT_EQ(ProgressPercent(5, 0), 0);                               // a 0-byte document
  EXPECT_EQ(ProgressPercent(3'000'000'000LL, 4'000'000'000LL), 75);  // beyond 32 bits
}

TEST(Progress, OwnWindowShowsPromptAndBarThenGoes) {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend* screen = backend.get();
  Engine engine(std::move(backend));
  ProgressWindow progress(engine);
  progress.Open("Loading XML Data ...", 200);
  ASSERT_TRUE(progress.IsOpen());
  DrawnWindow d = screen->Snapshot(*progress.GetWindow());
  EXPECT_EQ(d.name, kProgressWindowName);
  EXPECT_EQ(d.Control(kProgressPrompt)->text, "Loading XML Data ...");
  EXPECT_EQ(engine.GetNumber(progress.GetWindow(), kProgressBar, prop::Progress), 0);
  progress.SetValue(150);
  EXPECT_EQ(engine.GetNumber(progress.GetWindow(), kProgressBar, prop::Progress), 75);
  Window* shown = progress.GetWindow();
  progress.Close();
  EXPECT_FALSE(shown->IsOpen());
  EXPECT_FALSE(progress.IsOpen());
  progress.SetValue(10);  // after closing: nothing to move
  EXPECT_EQ(engine.ActiveWindow(), nullptr);
}

TEST(Progress, ControlOnTheActiveWindow) {
  auto backend = std::make_unique<HeadlessBackend>();
  Engine engine(std::move(backend));
  WindowDesc desc;
  ControlDesc bar;
  bar.kind = ControlKind::Progress;
  bar.field = 5;
  desc.controls = {bar};
  Window* w = engine.Open(desc);
  EXPECT_EQ(engine.ActiveWindow(), w);
  ProgressWindow::SetControlRange(engine, nullptr, 5, 1000);
  ProgressWindow::SetControlValue(engine, nullptr, 5, 500);
  EXPECT_EQ(engine.GetNumber(w, 5, prop::Progress), 50);
  ProgressWindow::SetControlValue(engine, w, 5, 2000);
  EXPECT_EQ(engine.GetNumber(w, 5, prop::Progress), 100);
}

}  // namespace
}  // namespace vantrel::ui
