#include "framework/error_reporter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/errors/error_state.h"
#include "runtime/dialog/message_dialog.h"

namespace vantrel::framework {
namespace {

namespace fs = std::filesystem;

struct Shown {
  std::string text, title, icon;
  int buttons, defaultButton, style;
  bool inHistoryWindow;
  std::vector<HistoryEntry> history;  // what the history window would list
};

// A reporter whose display operations are recorded and answered from a script, so the tests see
// exactly what would reach the screen.
class RecordingReporter : public ErrorReporter {
 public:
  std::vector<Shown> shown;
  std::deque<int> answers;  // empty: answer with the default button
  std::function<void()> whileShown;

  int DisplayMessage(std::string_view text, std::string_view title, std::string_view icon,
                     int buttons, int defaultButton, int style) override {
    shown.push_back(Shown{std::string(text),
                          std::string(title),
                          std::string(icon),
                          buttons,
                          defaultButton,
                          style,
                          false,
                          {}});
    return Answer(defaultButton);
  }
  int HistoryMessage(std::string_view caption, int icon, int buttons, int defaultButton) override {
    shown.push_back(Shown{"", std::string(caption), std::to_string(icon), buttons, defaultButton, 0,
                          true, HistorySnapshot()});
    return Answer(defaultButton);
  }

 private:
  int Answer(int defaultButton) {
    if (whileShown) whileShown();
    if (answers.empty()) return defaultButton;
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
};

class ErrorReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRuntimeError();
    ThreadErrorStatus() = ErrorStatus{};
    reporter.Init();
  }
  RecordingReporter reporter;
};

TEST_F(ErrorReporterTest, BuiltInTableHas52EntriesInCodePage1250) {
  ASSERT_TRUE(reporter.ERRORS);
  ASSERT_EQ(reporter.ERRORS->size(), 52u);
  const ErrorEntry& first = reporter.ERRORS->front();
  EXPECT_EQ(first.ID, 30);
  EXPECT_EQ(first.FATALITY, 5);
  EXPECT_EQ(first.TITLE, "Neispravan klju\xE8");
  EXPECT_EQ(first.MESSAGE,
            "Klju\xE8 tablice %File je neispravan. |Potrebno je popraviti klju\xE8.");
  const ErrorEntry& last = reporter.ERRORS->back();
  EXPECT_EQ(last.ID, 9);
  EXPECT_EQ(last.TITLE, "\xC8itanje zapisa");
  // Entry 50 keeps its double quotes; 42 to 44 keep the blank after %Message.
  EXPECT_EQ((*reporter.ERRORS)[49].MESSAGE,
            "Neispravno sastavljen komentar \"%Message\" na poziciji %Field.");
  EXPECT_EQ((*reporter.ERRORS)[41].MESSAGE, "%Message ");
  // Every letter outside ASCII is one of the code page 1250 letters the texts use.
  const std::string allowed = "\x8A\x9A\x8E\x9E\xC8\xE8\xC6\xE6\xD0\xF0";
  for (const ErrorEntry& e : *reporter.ERRORS) {
    for (char c : std::string(e.TITLE) + std::string(e.MESSAGE)) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        EXPECT_NE(allowed.find(c), std::string::npos) << e.ID;
      }
    }
  }
  // A second SetErrorLog appends the table again.
  reporter.SetErrorLog(reporter.ERRORLOG);
  EXPECT_EQ(reporter.ERRORS->size(), 104u);
}

TEST_F(ErrorReporterTest, SeveritiesGiveTheirLevelsAndDialogs) {
  // id 10 is a question, id 5 a notice.
  reporter.answers = {ButtonYes, ButtonNo, ButtonCancel};
  EXPECT_EQ(reporter.Throw(10), LevelQuiet);
  EXPECT_EQ(reporter.Throw(10), LevelCancelled);
  EXPECT_EQ(reporter.Throw(10), LevelCancelled);  // anything but Yes declines
  ASSERT_EQ(reporter.shown.size(), 3u);
  const Shown& q = reporter.shown[0];
  EXPECT_EQ(q.title, "Potvrda odustajanja");
  EXPECT_EQ(q.icon, kIconQuestion);
  EXPECT_EQ(q.buttons, 6);
  EXPECT_EQ(q.defaultButton, ButtonYes);

  EXPECT_EQ(reporter.Throw(5), LevelNotice);
  const Shown& n = reporter.shown.back();
  EXPECT_EQ(n.icon, kIconExclamation);
  EXPECT_EQ(n.buttons, ButtonOk);
  EXPECT_EQ(n.defaultButton, ButtonOk);
  EXPECT_EQ(n.text,
            "Zapis nije na\xF0"
            "en. |\x8E"
            "elite li dodati novi zapis?");

  // Severity 4 is a question too.
  reporter.AddError(900, "Again?", "Q", 4);
  reporter.answers = {ButtonNo};
  EXPECT_EQ(reporter.Throw(900), LevelCancelled);

  // An undefined number is quiet: level 0, nothing shown or recorded.
  reporter.SetHistoryThreshold(-1);
  const std::size_t before = reporter.shown.size();
  EXPECT_EQ(reporter.Throw(4711), LevelQuiet);
  EXPECT_EQ(reporter.shown.size(), before);
  EXPECT_TRUE(reporter.HistorySnapshot().empty());
  EXPECT_EQ(reporter.Status().ERRORBUFFER.ID, 0);
  EXPECT_EQ(reporter.Status().PREVERRORID, 900);
}

TEST_F(ErrorReporterTest, NewestDefinitionWinsUntilRemoved) {
  reporter.AddError(5, "Mine: %File", "Own title", 1, "Mine");
  reporter.answers = {ButtonYes};
  EXPECT_EQ(reporter.Throw(5), LevelQuiet);  // now a question
  EXPECT_EQ(reporter.shown.back().title, "Own title");
  EXPECT_EQ(reporter.GetCategory(5), "Mine");
  reporter.RemoveError(5);
  EXPECT_EQ(reporter.Throw(5), LevelNotice);
  EXPECT_EQ(reporter.shown.back().title, "Unos zapisa");
  EXPECT_EQ(reporter.GetCategory(5), "Oru");  // built-in entries have no category of their own
  reporter.SetCategory(5, "Records");
  EXPECT_EQ(reporter.GetCategory(5), "Records");
  reporter.SetCategory(-1, "Other");
  EXPECT_EQ(reporter.GetCategory(-1), "Other");
  EXPECT_EQ(reporter.GetCategory(4711), "Other");
}

struct MacroCase {
  const char* message;
  const char* fileName;
  const char* expected;
};

TEST_F(ErrorReporterTest, MacrosExpandInOrderIgnoringCase) {
  const MacroCase cases[] = {
      {"Open %File now", "a.dat", "Open a.dat now"},
      {"Open %file and %FILE", "a.dat", "Open a.dat and a.dat"},
      {"Keep %File", "%File", "Keep %File"},
      {"Keep %File", "%file", "Keep %File"},  // equal but for case: unchanged
      {"x %File y %File", "<%File>", "x <%File> y <%File>"},
      {"%FileErrorCode|%FileError|%File", "f", "112|Disk full|f"},
      {"%ErrorCode %ErrorText %Error", "", "5 Access Denied (5) Access Denied"},
      {"%Key%Message%Field.", "", "k.m.n."},
      {"in %Procedure", "", "in Main"},
      {"cat %Category", "", "cat Own"},
      {"", "", ""},
  };
  reporter.SetProcedureName("Main");
  ErrorStatus& s = reporter.Status();
  s.SetKeyName("k.");
  s.SetMessageText("m.");
  s.SetFieldName("n");
  s.SAVEERRORCODE = 5;
  s.SAVEERROR = "Access Denied";
  s.SAVEFILEERRORCODE = "112";
  s.SAVEFILEERROR = "Disk full";
  for (const MacroCase& c : cases) {
    reporter.AddError(800, c.message, "T", 5, "Own");
    s.SetFileName(c.fileName);
    reporter.Message(800, ButtonOk, ButtonOk);
    EXPECT_EQ(reporter.shown.back().text, c.expected) << c.message;
    reporter.RemoveError(800);
  }
}

TEST_F(ErrorReporterTest, ThrowCapturesTheRuntimeErrorState) {
  reporter.AddError(802, "%ErrorText", "T", 5);
  SetRuntimeError(5);
  reporter.Throw(802);
  EXPECT_EQ(reporter.shown.back().text, "Access Denied (5)");
  EXPECT_EQ(reporter.Status().SAVEERRORCODE, 5);
  ClearRuntimeError();
  reporter.Throw(802);
  EXPECT_EQ(reporter.shown.back().text, " (0)");
  EXPECT_EQ(reporter.Status().SAVEFILEERRORCODE, "");
}

TEST_F(ErrorReporterTest, ErrorTextUsesTheFileErrorForCodes90And100) {
  reporter.AddError(801, "(%ErrorText)", "T", 5);
  ErrorStatus& s = reporter.Status();
  s.SAVEERRORCODE = 90;
  s.SAVEERROR = "File System Error";
  s.SAVEFILEERROR = "Disk full";
  s.SAVEFILEERRORCODE = "112";
  reporter.Message(801, ButtonOk, ButtonOk);  // Message does not capture the runtime state
  EXPECT_EQ(reporter.shown.back().text, "(Disk full (112))");
  s.SAVEERRORCODE = 33;
  s.SAVEERROR = "Record Not Available";
  reporter.Message(801, ButtonOk, ButtonOk);
  EXPECT_EQ(reporter.shown.back().text, "(Record Not Available (33))");
}

TEST_F(ErrorReporterTest, PreviousOnlyWhenWrittenExactly) {
  reporter.AddError(810, "first message", "T", 5);
  reporter.AddError(811, "after: %Previous", "T", 5);
  reporter.AddError(812, "after: %previous", "T", 5);
  reporter.Throw(810);
  reporter.Throw(811);
  EXPECT_EQ(reporter.shown.back().text, "after: first message");
  reporter.Throw(810);
  reporter.Throw(812);
  EXPECT_EQ(reporter.shown.back().text, "after: %previous");
  reporter.Throw(4711);  // previous is now an undefined number
  reporter.Throw(811);
  EXPECT_EQ(reporter.shown.back().text, "after: ");
}

TEST_F(ErrorReporterTest, MacroResultIsCutAt1999Characters) {
  reporter.AddError(820, "%Message%Message%Message%Message%Message%Message%Message%Message%Message",
                    "T", 5);
  reporter.Status().SetMessageText(std::string(300, 'x'));
  reporter.Throw(820);
  EXPECT_EQ(reporter.shown.back().text, std::string(1999, 'x'));
}

TEST_F(ErrorReporterTest, HistoryKeepsThresholdEntries) {
  reporter.AddError(830, "one %Message", "T", 5);
  const auto report3 = [&] {
    for (const char* m : {"a", "b", "c"}) {
      reporter.Status().SetMessageText(m);
      reporter.Throw(830);
    }
  };
  reporter.SetHistoryThreshold(1);
  report3();
  auto history = reporter.HistorySnapshot();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].TXT, "one c");
  EXPECT_EQ(history[0].ID, 830);
  EXPECT_EQ(history[0].CATEGORY, "Oru");

  reporter.SetHistoryThreshold(-1);
  report3();
  report3();
  EXPECT_EQ(reporter.HistorySnapshot().size(), 7u);

  reporter.SetHistoryThreshold(2);
  report3();
  history = reporter.HistorySnapshot();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].TXT, "one b");
  EXPECT_EQ(history[1].TXT, "one c");

  reporter.ResetHistory();
  reporter.SetHistoryThreshold(0);
  report3();
  EXPECT_TRUE(reporter.HistorySnapshot().empty());
  reporter.ViewHistory();
  ASSERT_TRUE(reporter.shown.back().inHistoryWindow);
  EXPECT_TRUE(reporter.shown.back().history.empty());
  EXPECT_EQ(reporter.shown.back().title, "Errors History");
  EXPECT_EQ(reporter.shown.back().buttons, 129);
  EXPECT_EQ(reporter.shown.back().defaultButton, ButtonOk);
}

TEST_F(ErrorReporterTest, QuestionsOfTheViewLevelGoToTheHistoryWindow) {
  reporter.SetHistoryThreshold(5);
  reporter.SetHistoryViewLevel(1);
  reporter.Throw(5);  // a notice: shown in the dialog
  EXPECT_FALSE(reporter.shown.back().inHistoryWindow);
  reporter.answers = {ButtonNo};
  EXPECT_EQ(reporter.Throw(10), LevelCancelled);
  const Shown& w = reporter.shown.back();
  ASSERT_TRUE(w.inHistoryWindow);
  EXPECT_EQ(w.title, "Potvrda odustajanja");
  EXPECT_EQ(w.icon, "0");  // the system-icon text converts to 0: the window's default icon
  EXPECT_EQ(w.buttons, ButtonYes + ButtonNo);
  ASSERT_EQ(w.history.size(), 2u);
  EXPECT_EQ(w.history.back().ID, 10);

  reporter.SetHistoryResetOnView(true);
  reporter.Throw(10);
  EXPECT_TRUE(reporter.HistorySnapshot().empty());
}

TEST_F(ErrorReporterTest, SilentReportsStillRecordButShowNothing) {
  reporter.SILENT = 1;
  reporter.SetHistoryThreshold(-1);
  EXPECT_EQ(reporter.Throw(10), LevelQuiet);  // default Yes
  EXPECT_EQ(reporter.Message(10, ButtonYes + ButtonNo, ButtonNo), ButtonNo);
  EXPECT_TRUE(reporter.shown.empty());
  EXPECT_EQ(reporter.HistorySnapshot().size(), 1u);  // Message never records
}

TEST_F(ErrorReporterTest, MessageShowsTheGivenButtonsWithoutRecording) {
  reporter.SetHistoryThreshold(-1);
  reporter.answers = {ButtonCancel};
  EXPECT_EQ(reporter.Message(38, ButtonYes + ButtonNo + ButtonCancel, ButtonCancel), ButtonCancel);
  const Shown& m = reporter.shown.back();
  EXPECT_EQ(m.text,
            "\x8E"
            "elite li spremiti izmjene zapisa?");
  EXPECT_EQ(m.icon, kIconQuestion);
  EXPECT_EQ(m.buttons, 70);
  EXPECT_EQ(m.defaultButton, ButtonCancel);
  EXPECT_TRUE(reporter.HistorySnapshot().empty());
}

TEST_F(ErrorReporterTest, NoLockIsHeldWhileAMessageIsShown) {
  bool lockFree = false;
  reporter.whileShown = [&] {
    lockFree = std::async(std::launch::async, [&] {
                 if (!reporter.CRITSECT->try_lock()) return false;
                 reporter.CRITSECT->unlock();
                 return true;
               }).get();
  };
  reporter.SetHistoryThreshold(3);
  reporter.LOGERRORS = 0;
  reporter.Throw(5);
  EXPECT_TRUE(lockFree);
  lockFree = false;
  reporter.SetHistoryViewLevel(5);
  reporter.Throw(5);  // through the history window
  EXPECT_TRUE(lockFree);
}

TEST_F(ErrorReporterTest, ProcedureNamesArePerThread) {
  EXPECT_EQ(reporter.GetProcedureName(), "");
  reporter.SetProcedureName("Main   ");
  reporter.SetProcedureName("Child");
  std::string seenElsewhere = "unset";
  std::thread([&] {
    seenElsewhere = reporter.GetProcedureName();
    reporter.SetProcedureName("Worker");
  }).join();
  EXPECT_EQ(seenElsewhere, "");
  EXPECT_EQ(reporter.GetProcedureName(), "Child");
  reporter.SetProcedureName("ignored", true);
  EXPECT_EQ(reporter.GetProcedureName(), "Main");
  reporter.SetProcedureName({}, true);
  EXPECT_EQ(reporter.GetProcedureName(), "");
  reporter.SetProcedureName({}, true);  // nothing left for this thread: the worker's name stays
  ASSERT_EQ(reporter.PROCNAMES->size(), 1u);
  EXPECT_EQ(reporter.PROCNAMES->front().NAME, "Worker");
}

TEST_F(ErrorReporterTest, SecondInitOnlyRebindsTheStatus) {
  reporter.SetHistoryThreshold(4);
  reporter.SetDefaultCategory("Mine");
  reporter.Init();
  EXPECT_EQ(reporter.GetHistoryThreshold(), 4);
  EXPECT_EQ(reporter.GetDefaultCategory(), "Mine");
  EXPECT_EQ(reporter.ERRORS->size(), 52u);
  reporter.Kill();
  EXPECT_FALSE(reporter.ERRORS);
  EXPECT_FALSE(reporter.STDERRORLOG);
  EXPECT_EQ(reporter.ERRORLOG, nullptr);
  EXPECT_EQ(reporter.Throw(5), LevelQuiet);  // nothing is defined any more
}

TEST_F(ErrorReporterTest, PackedTableThatRunsShortStopsLoading) {
  // Claims three entries; the second one's message runs past the end.
  static const std::uint8_t table[] = {3,   0,    0x2C, 0x01, 5, 1,   'T', 2,  'o',
                                       'k', 0x2D, 0x01, 5,    1, 'U', 9,   'x'};
  reporter.AddErrors(table);
  ASSERT_EQ(reporter.ERRORS->size(), 53u);
  EXPECT_EQ(reporter.ERRORS->back().ID, 300);
  EXPECT_EQ(reporter.ERRORS->back().MESSAGE, "ok");
}

class ErrorLogTest : public ErrorReporterTest {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vantrel-errlog-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    old = fs::current_path();
    fs::current_path(dir);
    ErrorReporterTest::SetUp();
  }
  void TearDown() override {
    reporter.Kill();
    fs::current_path(old);
    fs::remove_all(dir);
  }
  std::vector<std::string> LogLines() {
    std::ifstream in(dir / "OruError.Log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  fs::path dir, old;
};

TEST_F(ErrorLogTest, NothingIsLoggedUnlessTurnedOn) {
  reporter.Throw(5);
  EXPECT_FALSE(fs::exists(dir / "OruError.Log"));
}

TEST_F(ErrorLogTest, EachReportAppendsOneLine) {
  reporter.LOGERRORS = 1;
  reporter.Throw(5);
  reporter.answers = {ButtonNo};
  reporter.Throw(10);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  // Date, "@", time, " --> ", the text as shown.
  EXPECT_EQ(lines[0].size(), 10 + 1 + 8 + 5 + reporter.shown[0].text.size());
  EXPECT_EQ(lines[0][10], '@');
  EXPECT_EQ(lines[0].substr(19, 5), " --> ");
  EXPECT_EQ(lines[0].substr(24), reporter.shown[0].text);
  EXPECT_EQ(lines[1].substr(24), reporter.shown[1].text);
  EXPECT_EQ(reporter.STDERRORLOG->USAGE, 0);  // open only while a line is written
}

TEST_F(ErrorLogTest, CloseWithoutOpenKeepsTheCountAtZero) {
  ErrorLogFile& log = *reporter.STDERRORLOG;
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.USAGE, 0);
  EXPECT_EQ(log.WriteLine("never"), 5);
  reporter.LOGERRORS = 1;
  reporter.Throw(5);
  EXPECT_EQ(LogLines().size(), 1u);

  // Nested opens count; the file closes with the last close or a forced one.
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.USAGE, 2);
  EXPECT_EQ(log.WriteLine(std::string(2000, 'z')), 0);  // one record: cut at 1024
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.USAGE, 1);
  EXPECT_EQ(log.Close(true), 0);
  EXPECT_EQ(log.USAGE, 0);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::string(1024, 'z'));
}

TEST_F(ErrorLogTest, UnwritableLogDoesNotStopTheMessage) {
  fs::create_directory(dir / "OruError.Log");  // a folder where the file should be
  reporter.LOGERRORS = 1;
  EXPECT_EQ(reporter.Throw(5), LevelNotice);
  EXPECT_EQ(reporter.shown.size(), 1u);
  EXPECT_EQ(reporter.STDERRORLOG->USAGE, 0);
}

// Writes every message to stderr, so a death test can see what the dying process showed.
class PrintingReporter : public ErrorReporter {
 public:
  int DisplayMessage(std::string_view text, std::string_view title, std::string_view, int,
                     int defaultButton, int) override {
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    return defaultButton;
  }
};

TEST(ErrorReporterFatal, FatalErrorShowsTheMessageThenEndsTheProgram) {
  EXPECT_EXIT(
      {
        PrintingReporter reporter;
        reporter.Init();
        reporter.Status().SetFileName("items.dat");
        reporter.Throw(26);  // severity 3
        std::_Exit(0);       // not reached: the halt ends the process
      },
      ::testing::ExitedWithCode(kFatalExitStatus), "items.dat.*Press OK to end this application");
  EXPECT_EXIT(
      {
        PrintingReporter reporter;
        reporter.Init();
        reporter.AddError(990, "odd one", "Odd", 9);  // an unknown severity is a program error
        reporter.Throw(990);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(kFatalExitStatus), "\\[Odd\\] odd one  Press OK");
}

}  // namespace
}  // namespace vantrel::framework
