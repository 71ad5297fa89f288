// Saves that cannot finish: a process killed half-way through, a full disk, a read-only folder.
// The faults are made with fork, process limits, file modes and a change of user, which only the
// POSIX build has; the Windows build runs the settings file's other cases.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "runtime/queue/queue.h"
#include "settings_file_cases.h"

namespace vantrel::app {
namespace {

using testing::AppFixture;
using testing::Item;
using testing::kParameters;
using testing::SettingsFile;
using testing::SettingsFileTest;
using testing::Shown;
using testing::Temporaries;

constexpr const char kSaved[] = "Registry settings saved to Vantrel.xml file.";
std::vector<std::string> ManyItems(int count) {
  std::vector<std::string> items;
  for (int i = 0; i < count; ++i) {
    items.push_back(Item(kParameters, "Value" + std::to_string(i), "1", "0", "1"));
  }
  return items;
}

// What a forked child did: how it ended, and the texts of the messages it showed.
struct ChildOutcome {
  int status = 0;
  std::vector<std::string> shown;
};

// Runs `body` in a forked child that shares this process's tables as they are now; a change the
// body makes to the process (limits, user, signals) dies with the child. The child's messages
// come back through a pipe once the body returns, and its result becomes the exit status; a
// killed child sends none.
ChildOutcome RunInChild(const std::function<int()>& body) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) ADD_FAILURE() << "pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeEnds[0]);
    Shown().clear();
    const int result = body();
    for (const auto& m : Shown()) {
      if (write(pipeEnds[1], m.text.c_str(), m.text.size() + 1) < 0) _exit(99);
    }
    _exit(result);
  }
  close(pipeEnds[1]);
  ChildOutcome outcome;
  std::string received;
  char chunk[4096];
  for (ssize_t n; (n = read(pipeEnds[0], chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  close(pipeEnds[0]);
  waitpid(pid, &outcome.status, 0);
  for (std::size_t at = 0; at < received.size();) {
    const std::size_t end = received.find('\0', at);
    outcome.shown.push_back(received.substr(at, end - at));
    at = end + 1;
  }
  return outcome;
}

// A process killed half-way through a save: SIGKILL from the moment the file reaches 64 KiB (the
// size limit's signal arrives in the middle of the write that crosses it, at that byte). The
// temporary file stays behind half written; the settings file is the old one, whole, and the next
// save is not hindered by the leftover.
TEST_F(SettingsFileTest, SaveKilledHalfWayLeavesThePreviousFileWhole) {
  constexpr rlim_t kKillAt = 64 * 1024;
  const std::string original = SettingsFile(ManyItems(2000));
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  ASSERT_EQ(QueueRecords(&data.displayQueue), 2000);
  ASSERT_TRUE(Shown().empty());

  const ChildOutcome child = RunInChild([&data] {
    signal(SIGXFSZ, [](int) { kill(getpid(), SIGKILL); });
    const rlimit limit{kKillAt, kKillAt};
    setrlimit(RLIMIT_FSIZE, &limit);
    SaveSettingsFile(data);
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(child.status) && WTERMSIG(child.status) == SIGKILL)
      << "status " << child.status << ": the save was not killed while writing";
  EXPECT_TRUE(ReadFile("Vantrel.xml") == original) << "the settings file was changed";
  const std::vector<std::string> left = Temporaries();
  ASSERT_EQ(left.size(), 1u) << "the killed save's temporary";
  const std::string half = ReadFile(left[0]);
  EXPECT_EQ(half.size(), kKillAt) << "killed in the middle of the write";
  // A save changes only the saved values in the file's own text: the start is the old one's.
  const std::size_t firstValue = original.find("<SavedValue>");
  EXPECT_EQ(half.substr(0, firstValue), original.substr(0, firstValue));

  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, kSaved);
  EXPECT_TRUE(Temporaries().empty()) << "the next save removed the leftover";
  EXPECT_EQ(QueueRecords(&data.displayQueue), 2000);
  EXPECT_TRUE(ReadFile("Vantrel.xml") != original) << "saved values are the current ones";
}

// A settings file that is a symbolic link (to a copy kept elsewhere, shared between setups) is
// saved where its links lead: each link stays a link and the file at the end holds the save.
TEST_F(SettingsFileTest, SaveThroughLinksKeepsTheLinks) {
  std::filesystem::create_directories("shared/conf");
  WriteFile("shared/conf/Items.xml", SettingsFile(ManyItems(3)));
  std::filesystem::create_symlink("conf/Items.xml", "shared/link.xml");  // relative, elsewhere
  std::filesystem::create_symlink("shared/link.xml", "Vantrel.xml");     // a chain of two
  MainData data;
  LoadSettingsFile(data);
  ASSERT_EQ(QueueRecords(&data.displayQueue), 3);
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, kSaved);
  EXPECT_TRUE(std::filesystem::is_symlink("Vantrel.xml")) << "the link was replaced by a file";
  EXPECT_EQ(std::filesystem::read_symlink("Vantrel.xml"), "shared/link.xml");
  EXPECT_TRUE(std::filesystem::is_symlink("shared/link.xml"));
  const std::string saved = ReadFile("shared/conf/Items.xml");
  EXPECT_EQ(saved.find("<SavedValue>1</SavedValue>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<SavedValue>N/A</SavedValue>"), std::string::npos) << saved;
  EXPECT_TRUE(Temporaries().empty());
  EXPECT_TRUE(Temporaries("shared/conf").empty());
}

// A file that changed after it was loaded is never written over: neither another program's edit
// (a whole save from the items loaded would drop it) nor a link put in its place (as root it
// would reach any file). The save says so and writes nothing; loaded again, it saves.
TEST_F(SettingsFileTest, FileChangedSinceItWasLoadedIsNeverWrittenOver) {
  WriteFile("victim", "not a settings file\n");
  const struct {
    const char* name;
    std::function<void()> change;
    const char* expected;  // what Vantrel.xml reads as after the refused save
  } kChanges[] = {
      {"edited", [] { WriteFile("Vantrel.xml", SettingsFile(ManyItems(4))); }, nullptr},
      {"linked",
       [] {
         std::filesystem::remove("Vantrel.xml");
         std::filesystem::create_symlink("victim", "Vantrel.xml");
       },
       "not a settings file\n"},
  };
  for (const auto& change : kChanges) {
    SCOPED_TRACE(change.name);
    std::filesystem::remove("Vantrel.xml");
    WriteFile("Vantrel.xml", SettingsFile(ManyItems(3)));
    MainData data;
    LoadSettingsFile(data);
    ASSERT_EQ(QueueRecords(&data.displayQueue), 3);
    change.change();
    const std::string before = ReadFile("Vantrel.xml");
    Shown().clear();
    SaveSettingsFile(data);
    ASSERT_FALSE(Shown().empty());
    EXPECT_NE(Shown()[0].text.find("changed since it was loaded"), std::string::npos)
        << Shown()[0].text;
    EXPECT_EQ(ReadFile("Vantrel.xml"), before);
    if (change.expected) {
      EXPECT_EQ(ReadFile("victim"), change.expected);
    }
    EXPECT_TRUE(Temporaries().empty());
  }
  // Loaded again, the edited file saves.
  std::filesystem::remove("Vantrel.xml");
  WriteFile("Vantrel.xml", SettingsFile(ManyItems(2)));
  MainData data;
  LoadSettingsFile(data);
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, kSaved);
}

// A save the system refuses part-way. Each fault is made in a forked child (process limits and
// the user stay there), the save reports it, the previous file stays byte for byte, nothing is
// left beside it, and once the fault is gone the same process saves again. The steps work on the
// current folder, which holds the settings file.
struct SaveFault {
  const char* name;
  void (*arrange)();    // in the parent
  bool (*make)();       // in the child before the save; false when this process cannot
  void (*remove)();     // in the child after the failed save, and in the parent at the end
  const char* message;  // what the user is told
};
void PrintTo(const SaveFault& fault, std::ostream* out) { *out << fault.name; }

constexpr int kCannotMakeFault = 42;
constexpr uid_t kNobody = 65534;

// The test's store (beside the work folder) readable by the ordinary user a child turns into: a
// store that cannot be read is an error of its own, not the fault these tests make.
void LetOthersReadTheStore() {
  chmod("..", 0755);
  chmod("../registry", 0755);
  for (const char* name :
       {"../registry/system.reg", "../registry/user.reg", "../registry/userdef.reg"}) {
    chmod(name, 0644);
  }
}

const SaveFault kSaveFaults[] = {
    {"DiskFull",
     // The file size limit stands in for a full disk: writes past it fail (EFBIG).
     [] {},
     [] {
       signal(SIGXFSZ, SIG_IGN);
       const rlimit limit{4096, RLIM_INFINITY};
       return setrlimit(RLIMIT_FSIZE, &limit) == 0;
     },
     [] {
       const rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
       setrlimit(RLIMIT_FSIZE, &limit);
     },
     "Error writing Vantrel.xml file,|File System Error|cannot write Vantrel.xml: File too large"},
    {"ReadOnlyFolder",
     // The folder and the file belong to the user; the folder is made read-only. The
     // superuser writes anyway, so as root the child turns into an ordinary user first.
     [] {
       if (geteuid() == 0) {
         EXPECT_EQ(chown(".", kNobody, kNobody), 0);
         EXPECT_EQ(chown("Vantrel.xml", kNobody, kNobody), 0);
         LetOthersReadTheStore();
       }
       chmod(".", 0555);
     },
     [] {
       if (geteuid() == 0) {
         if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
           return false;
       }
       return access(".", W_OK) != 0;
     },
     [] { chmod(".", 0755); },
     "Error creating Vantrel.xml file,|Access Denied.|cannot create a temporary file beside "
     "Vantrel.xml: Permission denied"},
};

class SaveFaultTest : public AppFixture, public ::testing::WithParamInterface<SaveFault> {};

TEST_P(SaveFaultTest, FailedSaveIsReportedAndLeavesThePreviousFileWhole) {
  const SaveFault& fault = GetParam();
  const std::string original = SettingsFile(ManyItems(100));
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  ASSERT_EQ(QueueRecords(&data.displayQueue), 100);
  fault.arrange();

  // The child reports in its exit status what the failed save left, then saves again once the
  // fault is removed.
  const ChildOutcome child = RunInChild([&] {
    if (!fault.make()) return kCannotMakeFault;
    SaveSettingsFile(data);
    const int left = (ReadFile("Vantrel.xml") == original ? 0 : 4) |
                     (Temporaries().empty() ? 0 : 8) |
                     (QueueRecords(&data.displayQueue) == 100 ? 0 : 16);
    fault.remove();
    SaveSettingsFile(data);
    return left;
  });
  fault.remove();
  if (WIFEXITED(child.status) && WEXITSTATUS(child.status) == kCannotMakeFault) {
    GTEST_SKIP() << "this process cannot make the fault here (the superuser writes into a "
                    "read-only folder, and this one may not turn into an ordinary user)";
  }
  ASSERT_TRUE(WIFEXITED(child.status)) << "status " << child.status;
  const int code = WEXITSTATUS(child.status);
  EXPECT_FALSE(code & 4) << "the previous file was changed";
  EXPECT_FALSE(code & 8) << "the temporary file was left behind";
  EXPECT_FALSE(code & 16) << "the previous file was not read again";
  EXPECT_EQ(code & ~(4 | 8 | 16), 0);

  ASSERT_EQ(child.shown.size(), 2u);
  EXPECT_EQ(child.shown[0], fault.message);
  EXPECT_EQ(child.shown[1], kSaved) << "the next save in the same process works";
  EXPECT_TRUE(ReadFile("Vantrel.xml") != original) << "the second save replaced the file";
  EXPECT_TRUE(Temporaries().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFaultTest, ::testing::ValuesIn(kSaveFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A settings file its owner may read but not write, in a folder he may write: it loads (and so
// can be listed, checked and applied), and saving, the one thing that writes it, is refused with
// the file left as it was, though a rename could replace it. As root the child becomes an
// ordinary user first, for whom the file's mode counts.
TEST_F(SettingsFileTest, ReadOnlyFileLoadsAndOnlyItsSaveIsRefused) {
  const std::string original = SettingsFile(ManyItems(3));
  WriteFile("Vantrel.xml", original);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(".", kNobody, kNobody), 0);
    ASSERT_EQ(chown("Vantrel.xml", kNobody, kNobody), 0);
    LetOthersReadTheStore();
  }
  ASSERT_EQ(chmod("Vantrel.xml", 0444), 0);
  const ChildOutcome child = RunInChild([] {
    if (geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
        return kCannotMakeFault;
      }
    }
    if (access("Vantrel.xml", W_OK) == 0 || access(".", W_OK) != 0) return kCannotMakeFault;
    MainData data;
    LoadSettingsFile(data);
    const int loaded = QueueRecords(&data.displayQueue) == 3 ? 0 : 4;
    SaveSettingsFile(data);
    return loaded | (QueueRecords(&data.displayQueue) == 3 ? 0 : 8);
  });
  chmod("Vantrel.xml", 0644);
  if (WIFEXITED(child.status) && WEXITSTATUS(child.status) == kCannotMakeFault) {
    GTEST_SKIP() << "this process cannot make a file it may read but not write";
  }
  ASSERT_TRUE(WIFEXITED(child.status)) << "status " << child.status;
  EXPECT_FALSE(WEXITSTATUS(child.status) & 4) << "the read-only file did not load whole";
  EXPECT_FALSE(WEXITSTATUS(child.status) & 8) << "the file was not read again after the save";
  ASSERT_EQ(child.shown.size(), 1u)
      << "loading showed a message: " << (child.shown.empty() ? "" : child.shown[0]);
  EXPECT_EQ(child.shown[0], "Error writing Vantrel.xml file,|Access Denied.");
  EXPECT_TRUE(ReadFile("Vantrel.xml") == original) << "the read-only file was replaced";
  EXPECT_TRUE(Temporaries().empty());
}

}  // namespace
}  // namespace vantrel::app
