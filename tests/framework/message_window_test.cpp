#include "framework/message_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/error_reporter.h"
#include "runtime/dialog/message_dialog.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace vantrel::framework {
namespace {

using ui::HeadlessBackend;

class HistoryWindowTest : public ::testing::Test {
 protected:
  HistoryWindowTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<ui::Engine>(std::move(backend));
    reporter.Init();
  }
  // What the history window shows when the script reaches this step.
  void Look(ui::DrawnWindow* out) {
    screen->Do([this, out](ui::Engine&, ui::Window* w) { *out = screen->Snapshot(*w); });
  }
  HeadlessBackend* screen;
  std::unique_ptr<ui::Engine> engine;
  ErrorReporter reporter;
};

TEST_F(HistoryWindowTest, QuestionOfTheViewLevelIsAnsweredInTheHistoryWindow) {
  reporter.SetHistoryThreshold(5);
  reporter.SetHistoryViewLevel(1);
  reporter.AddError(700, "Plain notice", "Notice", 5, "Disk");
  screen->AnswerDialog(ui::DialogAnswer::Enter());
  EXPECT_EQ(reporter.Throw(700), LevelNotice);  // a notice still goes to the message dialog
  ASSERT_EQ(screen->Dialogs().size(), 1u);

  ui::DrawnWindow shown;
  Look(&shown);
  screen->Click(kMessageFirstButton);  // the buttons go from the highest bit down: "&No" first
  EXPECT_EQ(reporter.Throw(10), LevelCancelled);
  EXPECT_EQ(screen->Dialogs().size(), 1u);

  EXPECT_EQ(shown.caption, "Potvrda odustajanja");
  const ui::DrawnControl* no = shown.Control(kMessageFirstButton);
  const ui::DrawnControl* yes = shown.Control(kMessageFirstButton + 1);
  ASSERT_TRUE(yes && no);
  EXPECT_EQ(yes->text, "&Yes");
  EXPECT_TRUE(yes->visible);
  EXPECT_TRUE(yes->isDefault);
  EXPECT_TRUE(yes->focused);
  EXPECT_EQ(no->text, "&No");
  EXPECT_TRUE(no->visible);
  EXPECT_FALSE(no->isDefault);
  for (int i = 2; i < 8; ++i) EXPECT_FALSE(shown.Control(kMessageFirstButton + i)->visible) << i;
  EXPECT_EQ(shown.Control(kMessageIcon)->text, kIconExclamation);

  const ui::DrawnControl* list = shown.Control(kMessageList);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->rows.size(), 2u);
  EXPECT_EQ(list->rows[0][0].text, "Plain notice");
  EXPECT_EQ(list->rows[0][1].text, "Disk");
  EXPECT_EQ(list->rows[1][1].text, "Oru");
  EXPECT_EQ(list->selStart, 2);  // the latest message is selected
  EXPECT_FALSE(shown.Control(kMessageList)->columns.empty());

  // The window is gone once answered.
  const ui::Window* window = screen->FindWindow(MessageWindowDesc().name);
  ASSERT_TRUE(window);
  EXPECT_FALSE(window->IsOpen());
}

TEST_F(HistoryWindowTest, ViewHistoryShowsOkAndHelpAndKeepsTheDefaultWhenClosed) {
  ui::DrawnWindow shown;
  Look(&shown);
  screen->CloseBox();
  reporter.ViewHistory();
  EXPECT_EQ(shown.caption, "Errors History");
  EXPECT_TRUE(shown.modal);
  EXPECT_EQ(shown.Control(kMessageFirstButton)->text, "&Help");
  EXPECT_EQ(shown.Control(kMessageFirstButton + 1)->text, "O&k");
  EXPECT_TRUE(shown.Control(kMessageFirstButton + 1)->isDefault);
  EXPECT_TRUE(shown.Control(kMessageList)->rows.empty());

  // Closed by other means: the answer is the default button.
  screen->CloseBox();
  EXPECT_EQ(reporter.HistoryMessage("Caption", 0, ButtonOk + ButtonCancel, ButtonCancel),
            ButtonCancel);
  screen->Click(kMessageFirstButton + 1);  // "&Cancel" is first, "O&k" second
  EXPECT_EQ(reporter.HistoryMessage("Caption", 0, ButtonOk + ButtonCancel, ButtonCancel), ButtonOk);
}

TEST_F(HistoryWindowTest, ResetOnViewEmptiesTheHistoryAfterTheWindow) {
  reporter.SetHistoryThreshold(-1);
  reporter.SetHistoryViewLevel(5);
  reporter.SetHistoryResetOnView(true);
  ui::DrawnWindow shown;
  Look(&shown);
  screen->Click(kMessageFirstButton);
  EXPECT_EQ(reporter.Throw(5), LevelNotice);
  EXPECT_EQ(shown.Control(kMessageList)->rows.size(), 1u);
  EXPECT_TRUE(reporter.HistorySnapshot().empty());
}

TEST(HistoryWindowWithoutEngine, AnswersTheDefaultButton) {
  ASSERT_EQ(ui::Engine::Current(), nullptr);
  ErrorReporter reporter;
  reporter.Init();
  EXPECT_EQ(reporter.HistoryMessage("Caption", 0, ButtonYes + ButtonNo, ButtonNo), ButtonNo);
}

// Messages reach the screen through the runtime's dialog, and the program-wide hook sees them.
int gHookCalls = 0;
std::string gHookText, gHookButtons;
int HookAnswer(std::string_view text, std::string_view, std::string_view, std::string_view buttons,
               int, int) {
  ++gHookCalls;
  gHookText = text;
  gHookButtons = buttons;
  return ButtonNo;
}

TEST_F(HistoryWindowTest, DisplayMessageGoesThroughTheMessageDialog) {
  screen->AnswerDialog(ui::DialogAnswer::Button(6));  // "&Yes"
  EXPECT_EQ(reporter.Throw(10), LevelQuiet);
  ASSERT_EQ(screen->Dialogs().size(), 1u);
  const MessageLayout& shown = screen->Dialogs()[0].layout;
  EXPECT_EQ(shown.caption, "Potvrda odustajanja");
  EXPECT_EQ(shown.buttons.size(), 2u);

  SetMessageHook(&HookAnswer);
  EXPECT_EQ(reporter.Throw(10), LevelCancelled);
  SetMessageHook(nullptr);
  EXPECT_EQ(gHookCalls, 1);
  EXPECT_EQ(gHookButtons, "6");
  EXPECT_EQ(gHookText,
            "Promjena ne\xE6"
            "e biti zapam\xE6"
            "ena. |Jeste li sigurni da \x9E"
            "elite odustati?");
}

}  // namespace
}  // namespace vantrel::framework
