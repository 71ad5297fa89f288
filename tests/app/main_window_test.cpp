// The whole program on the headless screen: start-up, the list and its colours, the questions
// before a command, the commands, closing, and the window placement kept between runs.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/main_window.h"
#include "app/main_window_desc.h"
#include "app/parse_progress.h"
#include "app/program.h"
#include "app_fixture.h"
#include "runtime/errors/error_state.h"
#include "runtime/system/registry.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace vantrel::app {
namespace {

constexpr const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Test\\Parameters";
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

std::string Settings(const std::string& items) {
  return "<?xml version=\"1.0\"?>\r\n<RegistryItems>" + items + "</RegistryItems>\r\n";
}
std::string ItemAt(const std::string& key, const std::string& value, const std::string& disable,
                   const std::string& enable) {
  return "<RegistryItem><KeyName>" + key + "</KeyName><ValueName>" + value +
         "</ValueName><SavedValue>N/A</SavedValue><DisableValue>" + disable +
         "</DisableValue><EnableValue>" + enable + "</EnableValue></RegistryItem>";
}
std::string Item(const std::string& value, const std::string& disable, const std::string& enable) {
  return ItemAt(kKey, value, disable, enable);
}

class MainWindowTest : public testing::AppFixture {
 protected:
  MainWindowTest() : AppFixture(false) {}

  // Runs the program once on a fresh headless screen; `script` queues the user's inputs.
  void RunProgram(const std::function<void(ui::HeadlessBackend&)>& script) {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    screen_ = backend.get();
    engine_ = std::make_unique<ui::Engine>(std::move(backend));
    engine_->SetSystemReader(ui::prop::WindowsVersion,
                             [] { return std::string("Windows Test Build 1"); });
    script(*screen_);
    ParseProgress progress(*engine_);
    ProgramBody();
  }
  void TearDown() override {
    engine_.reset();
    AppFixture::TearDown();
  }

  ui::HeadlessBackend* screen_ = nullptr;
  std::unique_ptr<ui::Engine> engine_;
};

TEST_F(MainWindowTest, StartsWithoutSettingsFileShowingOneErrorThenAnEmptyList) {
  // Snapshots are taken while the program runs: once it has ended, the tables the list showed
  // are gone.
  ui::DrawnWindow drawn;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.Do([&](ui::Engine&, ui::Window* w) { drawn = screen_->Snapshot(*w); });
    // A click on any command finds nothing to act on: no question, nothing written.
    for (const int button : {kBtnDisable, kBtnEnable, kBtnSave, kBtnRestore}) screen.Click(button);
    screen.Click(kBtnClose);
  });
  ASSERT_EQ(screen_->Dialogs().size(), 1u);
  EXPECT_EQ(screen_->Dialogs()[0].layout.caption, "Error");
  ASSERT_EQ(screen_->Dialogs()[0].layout.buttons.size(), 1u);
  // The message says where the file was looked for and where the shipped ones are.
  const std::string here = std::filesystem::current_path().string();
#ifdef _WIN32
  const std::string shipped = "beside vantrel.exe";
#else
  const std::string shipped = "/usr/share/vantrel/";
#endif
  const std::string& text = screen_->Dialogs()[0].layout.text;
  EXPECT_EQ(text.rfind(
                "Error opening Vantrel.xml file,\r\nFile not found.\r\nLooked for Vantrel.xml in " +
                    here + ".\r\nThe settings files that ship with Vantrel are in ",
                0),
            0u)
      << text;
  EXPECT_NE(text.find(shipped), std::string::npos) << text;
  EXPECT_EQ(text.find("--settings"), std::string::npos) << "the window takes no options";
  EXPECT_EQ(drawn.caption, "Vantrel registry settings");
  EXPECT_TRUE(drawn.Control(kLstRegistryItems)->rows.empty());
  for (const int button : {kBtnDisable, kBtnEnable, kBtnSave, kBtnRestore}) {
    EXPECT_TRUE(drawn.Control(button)->disabled) << "button " << button;
  }
  EXPECT_FALSE(drawn.Control(kBtnClose)->disabled);
  EXPECT_FALSE(std::filesystem::exists("Vantrel.xml")) << "nothing saved";
  EXPECT_EQ(ThreadResponse(), 1) << "the Close button completes the procedure";
}

TEST_F(MainWindowTest, ListShowsRowsInTheirStylesAndInfoShowsTheSystem) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Same", "0", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Other", "1", 4), 0);
  WriteFile("Vantrel.xml", Settings(Item("Same", "0", "1") + Item("Other", "0", "1")));
  ui::DrawnWindow drawn;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.Do([&](ui::Engine&, ui::Window* w) { drawn = screen_->Snapshot(*w); });
    screen.Click(kBtnClose);
  });
  EXPECT_TRUE(screen_->Dialogs().empty());
  const ui::DrawnControl* list = drawn.Control(kLstRegistryItems);
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(list->formatValid);
  ASSERT_EQ(list->columns.size(), 6u);
  EXPECT_EQ(list->columns[0].header, "Key Name");
  EXPECT_EQ(list->columns[5].header, "Enable");
  ASSERT_EQ(list->rows.size(), 2u);
  EXPECT_EQ(list->rows[0][2].text, "0");
  EXPECT_EQ(list->rows[1][2].text, "1");
  for (const ui::DrawnCell& cell : list->rows[0]) EXPECT_EQ(cell.style, 1);
  for (const ui::DrawnCell& cell : list->rows[1]) {
    EXPECT_EQ(cell.style, 2);
    if (!cell.selected) {
      EXPECT_EQ(cell.backRgb, 0xFFDDDDu) << "light red behind a row that differs";
      EXPECT_EQ(cell.textRgb, 0x000000u);
    }
  }
  EXPECT_NE(list->rows[0][0].backRgb, 0xFFDDDDu);
  EXPECT_EQ(drawn.Control(kLocOs)->text, "Windows Test Build 1");
  EXPECT_FALSE(drawn.Control(kBtnDisable)->disabled) << "a loaded list can be acted on";
  // Where the registry is a store, the Info tab says which one and why, as vantrelctl store.
  const RegistryPlace store = RegistryLocation();
  if (store.source.empty()) {
    EXPECT_EQ(drawn.Control(kLocStore), nullptr) << "Windows has only its own registry";
  } else {
    ASSERT_NE(drawn.Control(kLocStore), nullptr);
    ASSERT_NE(drawn.Control(kLocStoreSource), nullptr);
    EXPECT_EQ(drawn.Control(kPmtStore)->text, "Registry store:");
    EXPECT_EQ(drawn.Control(kLocStore)->text, (root_ / "registry").string());
    EXPECT_EQ(drawn.Control(kLocStoreSource)->text, "from VANTREL_REGISTRY");
  }
  // Loading the settings file showed the parse's progress window, and closed it again.
  const ui::Window* progress = screen_->FindWindow(ui::kProgressWindowName);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(progress->IsOpen());
}

TEST_F(MainWindowTest, CommandsAskFirstAndOnlyYesProceeds) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Flag", "1", 4), 0);
  WriteFile("Vantrel.xml", Settings(Item("Flag", "0", "1")));
  ui::DrawnWindow afterNo, afterYes;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.AnswerDialog(ui::DialogAnswer::Button(kIdNo));
    screen.Click(kBtnDisable);
    screen.Do([&](ui::Engine&, ui::Window* w) { afterNo = screen_->Snapshot(*w); });
    screen.AnswerDialog(ui::DialogAnswer::Button(kIdYes));
    screen.Click(kBtnDisable);
    screen.Do([&](ui::Engine&, ui::Window* w) { afterYes = screen_->Snapshot(*w); });
    screen.Click(kBtnClose);
  });
  ASSERT_EQ(screen_->Dialogs().size(), 2u);
  const MessageLayout& question = screen_->Dialogs()[0].layout;
  EXPECT_EQ(question.caption, "Vantrel");
  EXPECT_EQ(question.text, kAskDisable);
  ASSERT_EQ(question.buttons.size(), 2u);
  EXPECT_EQ(question.buttons[0].caption, "&Yes");
  EXPECT_EQ(question.buttons[1].caption, "&No");
  EXPECT_FALSE(question.buttons[0].isDefault || question.buttons[1].isDefault);
  EXPECT_EQ(question.focus, 0) << "the focus starts on Yes";

  EXPECT_EQ(afterNo.Control(kLstRegistryItems)->rows[0][2].text, "1") << "No changes nothing";
  EXPECT_EQ(afterYes.Control(kLstRegistryItems)->rows[0][2].text, "0");
  EXPECT_EQ(afterYes.Control(kLstRegistryItems)->rows[0][0].style, 1);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kKey, "Flag"), "0");
}

TEST_F(MainWindowTest, WriteRefusedByTheRegistryIsReportedAndTheOtherItemsAreWritten) {
  // A key path copied with its leading backslash ("\SYSTEM\..."): the registry refuses such a
  // path (a bad path name) for that item alone. The file also pads it with blanks.
  const std::string refused = std::string("\\") + kKey;
  ASSERT_NE(RegistryPutValue(kHkeyLocalMachine, refused, "Flag", "0", 4), 0)
      << "the store must refuse the path for this test to mean anything";
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Before", "1", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "After", "1", 4), 0);
  WriteFile("Vantrel.xml",
            Settings(Item("Before", "0", "1") + ItemAt(refused + "   ", "Flag", "0", "1") +
                     Item("After", "0", "1")));
  ui::DrawnWindow before, after;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.AnswerDialog(ui::DialogAnswer::Enter());
    screen.Do([&](ui::Engine&, ui::Window* w) { before = screen_->Snapshot(*w); });
    screen.AnswerDialog(ui::DialogAnswer::Button(kIdYes));
    screen.AnswerDialog(ui::DialogAnswer::Enter());
    screen.AnswerDialog(ui::DialogAnswer::Enter());
    screen.Click(kBtnDisable);
    screen.Do([&](ui::Engine&, ui::Window* w) { after = screen_->Snapshot(*w); });
    screen.Click(kBtnClose);
  });
  // The path cannot be read either: that is said when the list is read (at the start and after
  // the command), never shown as a value that is not there.
  ASSERT_EQ(screen_->Dialogs().size(), 4u)
      << "the read error, the question, one error for the refused item, the read error again";
  EXPECT_EQ(
      screen_->Dialogs()[0].layout.text.rfind("Error reading " + refused + " from registry", 0), 0u)
      << screen_->Dialogs()[0].layout.text;
  EXPECT_EQ(screen_->Dialogs()[3].layout.text, screen_->Dialogs()[0].layout.text);
  const MessageLayout& error = screen_->Dialogs()[2].layout;
  EXPECT_EQ(error.text, "Error writing " + refused + " to registry");
  EXPECT_EQ(error.caption, "Error");
  ASSERT_EQ(error.buttons.size(), 1u);

  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kKey, "Before"), "0");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kKey, "After"), "0")
      << "the item after the refused one is still written";
  RegistryGetValue(kHkeyLocalMachine, kKey, "Flag");
  EXPECT_EQ(RuntimeErrorCode(), 2) << "nothing was written for the refused item elsewhere";

  const auto& was = before.Control(kLstRegistryItems)->rows;
  const auto& now = after.Control(kLstRegistryItems)->rows;
  ASSERT_EQ(was.size(), 3u);
  ASSERT_EQ(now.size(), 3u);
  EXPECT_EQ(was[0][2].text, "1");
  EXPECT_EQ(was[2][2].text, "1");
  // The list was refreshed: written items show their new value in the plain style, the refused
  // one shows no value (it could not be read, which is not "N/A").
  const std::pair<const char*, int> expected[] = {{"0", 1}, {"", 2}, {"0", 1}};
  for (std::size_t i = 0; i < now.size(); ++i) {
    EXPECT_EQ(now[i][2].text, expected[i].first) << "row " << i + 1;
    EXPECT_EQ(now[i][2].style, expected[i].second) << "row " << i + 1;
  }
}

#ifndef _WIN32
// A stand-in for a wineserver running on a prefix: a process holding the lock in the server
// folder Wine keeps for that prefix (named after the prefix folder's device and inode).
class FakeWineserver {
 public:
  explicit FakeWineserver(const std::filesystem::path& prefix) {
    struct stat st {};
    if (stat(prefix.c_str(), &st) != 0) return;
    const std::filesystem::path base = "/tmp/.wine-" + std::to_string(getuid());
    mkdir(base.c_str(), 0700);  // as Wine makes it, when no wineserver ever ran
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    folder_ = base / name;
    std::filesystem::create_directory(folder_);
    const std::string lock = (folder_ / "lock").string();
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      if (fd < 0 || fcntl(fd, F_SETLKW, &fl) != 0) _exit(1);
      if (write(ready[1], "x", 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    char c = 0;
    held_ = pid_ > 0 && read(ready[0], &c, 1) == 1;
    close(ready[0]);
    close(ready[1]);
  }
  ~FakeWineserver() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  bool Held() const { return held_; }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  bool held_ = false;
};

TEST_F(MainWindowTest, RegistryThatCannotBeWrittenIsOneMessageAndNothingIsWritten) {
  // Before its first write a command asks whether the registry can be written at all and says
  // why not in one message, writing nothing: not one refusal per item. Two reasons: a running
  // wineserver, which would overwrite the change when it saves, and a prefix named by a variable
  // that does not exist (a typing slip), which must never become a new, empty registry.
  for (const char* value : {"One", "Two", "Three"}) {
    ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, value, "1", 4), 0);
  }
  WriteFile("Vantrel.xml",
            Settings(Item("One", "0", "1") + Item("Two", "0", "1") + Item("Three", "N/A", "1")));
  const std::filesystem::path store = root_ / "registry";
  const std::filesystem::path missing = root_ / "no-such-prefix";
  struct Case {
    const char* cause;
    std::filesystem::path prefix;
    std::string message;  // how the error's second line starts
    const char* shown;    // what the list shows afterwards
  };
  const Case cases[] = {
      {"a running wineserver", store,
       "The registry in " + store.string() + " is in use by a running wineserver (", "1"},
      {"a missing prefix", missing,
       "The registry folder " + missing.string() +
           " named by VANTREL_REGISTRY does not exist; "
           "create the prefix first (wineboot) or correct VANTREL_REGISTRY",
       "N/A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cause);
    setenv("VANTREL_REGISTRY", c.prefix.c_str(), 1);
    const FakeWineserver server(store);
    if (c.prefix == store) {
      ASSERT_TRUE(server.Held()) << "could not stand in for a wineserver";
    }
    ui::DrawnWindow after;
    engine_.reset();
    RunProgram([&](ui::HeadlessBackend& screen) {
      screen.AnswerDialog(ui::DialogAnswer::Button(kIdYes));
      screen.AnswerDialog(ui::DialogAnswer::Enter());
      screen.Click(kBtnDisable);
      screen.Do([&](ui::Engine&, ui::Window* w) { after = screen_->Snapshot(*w); });
      screen.Click(kBtnClose);
    });
    ASSERT_EQ(screen_->Dialogs().size(), 2u) << "the question, then one error for the command";
    const MessageLayout& error = screen_->Dialogs()[1].layout;
    EXPECT_EQ(error.caption, "Error");
    const std::string first = "Error writing to registry,\r\n";
    EXPECT_EQ(error.text.substr(0, first.size() + c.message.size()), first + c.message);
    for (const auto& row : after.Control(kLstRegistryItems)->rows) EXPECT_EQ(row[2].text, c.shown);
  }
  EXPECT_FALSE(std::filesystem::exists(missing)) << "no new, empty registry was made";
  setenv("VANTREL_REGISTRY", store.c_str(), 1);
  for (const char* value : {"One", "Two", "Three"}) {
    EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kKey, value), "1") << value << " was written";
  }
}
#endif

// "Save current" after a start whose settings file did not load completely, or without any:
// the load's own messages, then one error saying why nothing was saved, never the success
// message; the file stays byte for byte, or is not made.
TEST_F(MainWindowTest, SaveAfterAnIncompleteLoadLeavesTheFileAndSaysWhy) {
  const std::string whole = Settings(Item("First", "0", "1") + Item("Second", "0", "1"));
  const struct {
    const char* name;
    std::optional<std::string> file;  // nothing: no settings file at all
    const char* why;                  // nullptr: nothing loaded, so Save cannot be pressed
  } cases[] = {
      {"Truncated", whole.substr(0, whole.find("</RegistryItem>", whole.find("Second")) + 4),
       "did not load completely"},
      {"NotXml", std::string("Flag=1\r\n"), nullptr},
      {"Empty", std::string(), nullptr},
      {"Missing", std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove("Vantrel.xml");
    if (c.file) WriteFile("Vantrel.xml", *c.file);
    RunProgram([&](ui::HeadlessBackend& screen) {
      screen.Click(kBtnSave);
      screen.Click(kBtnClose);
    });
    const auto& dialogs = screen_->Dialogs();
    if (c.why) {
      ASSERT_GE(dialogs.size(), 2u) << "the load's message, then the save's";
      const MessageLayout& refusal = dialogs.back().layout;
      EXPECT_EQ(refusal.caption, "Error");
      EXPECT_EQ(refusal.text.rfind("Error saving Vantrel.xml file,\r\n", 0), 0u) << refusal.text;
      EXPECT_NE(refusal.text.find(c.why), std::string::npos) << refusal.text;
    } else {
      // Nothing was loaded: the Save button is off, and the load's message is the only one.
      ASSERT_EQ(dialogs.size(), 1u) << dialogs.back().layout.text;
      EXPECT_EQ(dialogs[0].layout.caption, "Error") << dialogs[0].layout.text;
    }
    for (const auto& d : dialogs) EXPECT_NE(d.layout.caption, "Vantrel") << d.layout.text;
    if (c.file) {
      EXPECT_TRUE(ReadFile("Vantrel.xml") == *c.file) << "the file was written over";
    } else {
      EXPECT_FALSE(std::filesystem::exists("Vantrel.xml")) << "an empty list was saved";
    }
    engine_.reset();
  }
}

// "Save current" keeps the previous file as Vantrel.xml.bak, as vantrelctl save does.
TEST_F(MainWindowTest, SaveCurrentKeepsTheBackup) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Flag", "1", 4), 0);
  const std::string original = Settings(Item("Flag", "0", "1"));
  WriteFile("Vantrel.xml", original);
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.AnswerDialog(ui::DialogAnswer::Enter());
    screen.Click(kBtnSave);
    screen.Click(kBtnClose);
  });
  ASSERT_EQ(screen_->Dialogs().size(), 1u);
  EXPECT_EQ(screen_->Dialogs()[0].layout.text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_TRUE(ReadFile("Vantrel.xml.bak") == original);
  EXPECT_NE(ReadFile("Vantrel.xml").find("<SavedValue>1</SavedValue>"), std::string::npos);
}

// Made larger, the window shares the room among the list's columns, the key name gaining most;
// on the Info tab every text line sits inside the panel that frames it, its frame lines below it.
TEST_F(MainWindowTest, LargerWindowWidensTheColumnsAndInfoTextsStayInsideTheirFrames) {
  WriteFile("Vantrel.xml", Settings(Item("Flag", "0", "1")));
  ui::DrawnWindow small, large;
  ui::FontMetrics m;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.Do([&](ui::Engine&, ui::Window* w) {
      small = screen_->Snapshot(*w);
      m = w->Metrics();
    });
    screen.MoveTo({40, 40, 1500, 700});
    screen.Do([&](ui::Engine&, ui::Window* w) { large = screen_->Snapshot(*w); });
    screen.Click(kBtnClose);
  });
  const ui::DrawnControl* before = small.Control(kLstRegistryItems);
  const ui::DrawnControl* after = large.Control(kLstRegistryItems);
  ASSERT_TRUE(before && after);
  ASSERT_EQ(before->columns.size(), 6u);
  ASSERT_EQ(after->columns.size(), 6u);
  const int growth = after->rect.width - before->rect.width;
  ASSERT_GT(growth, 500) << "the list did not grow with the window";
  int gained = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    const int more = after->columns[i].headerRect.width - before->columns[i].headerRect.width;
    EXPECT_GT(more, 0) << "column " << i << " got none of the room";
    if (i > 0) {
      EXPECT_GT(after->columns[0].headerRect.width - before->columns[0].headerRect.width, more)
          << "the key name gains most";
    }
    gained += more;
  }
  EXPECT_EQ(gained, growth) << "all the room goes to the columns";

  const std::pair<int, int> framed[] = {
      {kPmtOs, kPanel1}, {kLocOs, kPanel1}, {kPmtAuthor, kPanel1b}, {kPmtMail, kPanel1b}};
  for (const ui::DrawnWindow* drawn : {&small, &large}) {
    for (const auto& [text, panel] : framed) {
      const ui::Rect t = drawn->Control(text)->rect;
      const ui::Rect f = drawn->Control(panel)->rect;
      SCOPED_TRACE("control " + std::to_string(text) + " in panel " + std::to_string(panel));
      // One line of the font, below the frame's top line and above its bottom line.
      EXPECT_GT(t.y, f.y);
      EXPECT_LE(t.y + m.cy, f.y + f.height - 2);
      EXPECT_GT(t.x, f.x + 1);
      EXPECT_LE(t.x, f.x + f.width);
    }
  }
}

TEST_F(MainWindowTest, PlacementIsRememberedBetweenRuns) {
  WriteFile("Vantrel.xml", Settings(Item("Flag", "0", "1")));
  const ui::Rect moved{123, 77, 900, 500};
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.MoveTo(moved);
    screen.CloseBox();
  });
  EXPECT_EQ(ThreadResponse(), 2) << "closing by the close box cancels";
  EXPECT_FALSE(
      RegistryGetValue(kHkeyCurrentUser, "Software\\Brenlo\\Vantrel\\Main", "XPos").empty())
      << "the placement lives under HKEY_CURRENT_USER\\Software\\Brenlo\\Vantrel";

  engine_.reset();
  ui::Rect restored;
  ui::DrawnWindow drawn;
  RunProgram([&](ui::HeadlessBackend& screen) {
    screen.Do([&](ui::Engine&, ui::Window* w) {
      restored = w->Frame();
      drawn = screen.Snapshot(*w);
    });
    screen.Click(kBtnClose);
  });
  // The placement is kept in dialog units, so a pixel may be lost to rounding.
  EXPECT_NEAR(restored.x, moved.x, 2);
  EXPECT_NEAR(restored.y, moved.y, 2);
  EXPECT_NEAR(restored.width, moved.width, 2);
  EXPECT_NEAR(restored.height, moved.height, 2);
  // The restored size is the controls' too: the list reaches as near the window's right and
  // bottom edges as at the described size, and Close stays in the bottom-right corner (the
  // headless font: 480 x 230 dialog units are 720 x 374 pixels).
  const ui::Rect list = drawn.Control(kLstRegistryItems)->rect;
  const ui::Rect close = drawn.Control(kBtnClose)->rect;
  EXPECT_EQ(restored.width - (list.x + list.width), 720 - (14 + 690));
  EXPECT_EQ(restored.height - (list.y + list.height), 374 - (39 + 260));
  EXPECT_EQ(restored.width - (close.x + close.width), 720 - (645 + 66));
  EXPECT_EQ(restored.height - (close.y + close.height), 374 - (345 + 23));
}

}  // namespace
}  // namespace vantrel::app
