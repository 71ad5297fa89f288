#include "app/settings_file.h"

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

#include "app_fixture.h"
#include "runtime/error_state.h"
#include "runtime/queue.h"
#include "runtime/registry.h"
#include "runtime/store/registry_store.h"

namespace vantrel::app {
namespace {

using testing::AppFixture;
using testing::Shown;

constexpr const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\Test\\Parameters";

std::string Item(const std::string& key, const std::string& value, const std::string& saved,
                 const std::string& disable, const std::string& enable) {
  return "<RegistryItem><KeyName>" + key + "</KeyName><ValueName>" + value +
         "</ValueName><SavedValue>" + saved + "</SavedValue><DisableValue>" + disable +
         "</DisableValue><EnableValue>" + enable + "</EnableValue></RegistryItem>";
}

std::string SettingsFile(const std::vector<std::string>& items) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<RegistryItems>";
  for (const auto& i : items) text += i;
  return text + "</RegistryItems>\r\n";
}

struct Row {
  std::string key, value, current, saved, disable, enable;
  std::int32_t style;
};

std::vector<Row> Rows(MainData& data) {
  std::vector<Row> rows;
  const std::int32_t n = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= n; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& r = data.displayQueue.buffer;
    EXPECT_TRUE(r.KEYNAME_STYLE == r.VALUENAME_STYLE && r.KEYNAME_STYLE == r.CURRENTVALUE_STYLE &&
                r.KEYNAME_STYLE == r.SAVEDVALUE_STYLE && r.KEYNAME_STYLE == r.DISABLEVALUE_STYLE &&
                r.KEYNAME_STYLE == r.ENABLEVALUE_STYLE)
        << "all six cells of a row share one style";
    rows.push_back({r.KEYNAME.Str(), r.VALUENAME.Str(), r.CURRENTVALUE.Str(), r.SAVEDVALUE.Str(),
                    r.DISABLEVALUE.Str(), r.ENABLEVALUE.Str(), r.KEYNAME_STYLE});
  }
  return rows;
}

class SettingsFileTest : public AppFixture {};

TEST_F(SettingsFileTest, MissingFileGivesOneMessageAndEmptyTables) {
  MainData data;
  LoadSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Error opening Vantrel.xml file,|File not found.");
  EXPECT_EQ(Shown()[0].caption, "Error");
  EXPECT_EQ(Shown()[0].icon, std::string(kIconExclamation));
  EXPECT_EQ(QueueRecords(&data.xmlQueue), 0);
  EXPECT_EQ(QueueRecords(&data.displayQueue), 0);
}

TEST_F(SettingsFileTest, DocumentWithoutItemsSaysNodeNotFound) {
  for (const char* text : {"<?xml version=\"1.0\"?><Other><RegistryItem/></Other>",
                           "<?xml version=\"1.0\"?><RegistryItems></RegistryItems>"}) {
    Shown().clear();
    WriteFile("Vantrel.xml", text);
    MainData data;
    LoadSettingsFile(data);
    ASSERT_EQ(Shown().size(), 1u) << text;
    EXPECT_EQ(Shown()[0].text, "Error finding RegistryItems node,|Node Not Found.");
    EXPECT_EQ(QueueRecords(&data.displayQueue), 0);
  }
}

TEST_F(SettingsFileTest, LoadReadsCurrentValuesAndSetsStyles) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Equal", "0", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Differs", "1", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "AllBits", "-1", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Long",
                             "abcdefghijklmnopqrstuvwxyz", 1), 0);
  WriteFile("Vantrel.xml",
            SettingsFile({
                Item(kParameters, "Equal", "N/A", "0", "1"),
                Item(kParameters, "Differs", "", "0", "1"),
                Item(kParameters, "Missing", "", "0", "1"),
                Item(kParameters, "MissingDisabledNA", "", "N/A", "1"),
                Item(kParameters, "AllBits", "", "4294967295", "0"),
                Item(kParameters, "Long", "", "abcdefghijklmnopqrst", "0"),
                Item(kParameters, "LowerNA", "", "n/a", "0"),
                Item(kParameters, "Equal", "", "0   ", "1"),
            }));
  MainData data;
  LoadSettingsFile(data);
  EXPECT_TRUE(Shown().empty());
  const std::vector<Row> rows = Rows(data);
  ASSERT_EQ(rows.size(), 8u);
  struct Expect {
    const char* current;
    int style;
  };
  const Expect expected[] = {{"0", 1},   {"1", 2},          {"N/A", 2},
                             {"N/A", 1}, {"4294967295", 1}, {"abcdefghijklmnopqrst", 1},
                             {"N/A", 2}, {"0", 1}};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].current, expected[i].current) << "row " << i + 1;
    EXPECT_EQ(rows[i].style, expected[i].style) << "row " << i + 1;
  }
  EXPECT_EQ(rows[0].saved, "N/A");
  EXPECT_EQ(rows[0].key, kParameters);
}

TEST_F(SettingsFileTest, ElementNamesMatchInAnyCaseAndLongValuesAreCut) {
  WriteFile("Vantrel.xml",
            "<?xml version=\"1.0\"?><RegistryItems><RegistryItem><keyname>K</keyname>"
            "<VALUENAME>V</VALUENAME><DisableValue>1234567890123456789012345</DisableValue>"
            "<Unknown>x</Unknown></RegistryItem><RegistryItem><KeyName></KeyName></RegistryItem>"
            "</RegistryItems>");
  MainData data;
  LoadSettingsFile(data);
  const std::vector<Row> rows = Rows(data);
  ASSERT_EQ(rows.size(), 1u) << "an item whose elements are all empty adds no row";
  EXPECT_EQ(rows[0].key, "K");
  EXPECT_EQ(rows[0].value, "V");
  EXPECT_EQ(rows[0].disable, "12345678901234567890");
  EXPECT_EQ(rows[0].saved, "");
}

TEST_F(SettingsFileTest, ApplyWritesDwordsDeletesNotAvailableAndRefreshes) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Gone", "7", 4), 0);
  WriteFile("Vantrel.xml", SettingsFile({
                               Item(kParameters, "Flag", "N/A", "1", "0"),
                               Item(kParameters, "Gone", "N/A", "N/A", "5"),
                               Item(std::string(kParameters) + "\\New\\Deep", "Made", "", "0", "1"),
                               Item(kParameters, "Blank", "", "0", ""),
                           }));
  MainData data;
  LoadSettingsFile(data);

  ApplyValues(data, kApplyDisable);
  EXPECT_TRUE(Shown().empty());
  std::uint32_t type = 0;
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Flag", &type), "1");
  EXPECT_EQ(type, 4u) << "values are written as REG_DWORD";
  RegistryGetValue(kHkeyLocalMachine, kParameters, "Gone");
  EXPECT_EQ(RuntimeErrorCode(), 2) << "N/A deletes the value";
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, std::string(kParameters) + "\\New\\Deep", "Made"),
            "0") << "missing keys are created";
  for (const Row& r : Rows(data)) EXPECT_EQ(r.style, 1) << r.value;
  EXPECT_EQ(Rows(data)[1].current, "N/A");

  ApplyValues(data, kApplyEnable);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Blank", &type), "0")
      << "a blank enable value writes the number blank text converts to";
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(Rows(data)[1].current, "5");
  EXPECT_EQ(Rows(data)[0].style, 2);

  ApplyValues(data, kApplySaved);
  RegistryGetValue(kHkeyLocalMachine, kParameters, "Flag");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Blank"), "0");
}

TEST_F(SettingsFileTest, NotAvailableWithoutValueNameNeverDeletesTheKey) {
  const std::string key = std::string(kParameters) + "\\Keep";
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, key + "\\Sub", "Inner", "3", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, key, "", "default", 1), 0);
  WriteFile("Vantrel.xml",
            "<?xml version=\"1.0\"?><RegistryItems><RegistryItem><KeyName>" + key +
                "</KeyName><DisableValue>N/A</DisableValue></RegistryItem>" +
                Item(kParameters, "After", "", "1", "0") + "</RegistryItems>");
  MainData data;
  LoadSettingsFile(data);
  ApplyValues(data, kApplyDisable);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(Shown()[0].text.find(key), std::string::npos) << Shown()[0].text;
  EXPECT_EQ(Shown()[0].caption, "Error");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, key + "\\Sub", "Inner"), "3");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, key, ""), "default");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "After"), "1")
      << "the items after a refused one are still written";
}

TEST_F(SettingsFileTest, SaveRecordsCurrentValuesAndReloads) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Present", "9", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "AllBits", "-1", 4), 0);
  WriteFile("Vantrel.xml", SettingsFile({
                               Item(kParameters, "Present", "", "0", "1"),
                               Item(kParameters, "Missing", "1", "0", "N/A"),
                               Item(kParameters, "AllBits", "", "0", "1"),
                           }));
  MainData data;
  LoadSettingsFile(data);
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_EQ(Shown()[0].caption, "Vantrel");
  EXPECT_EQ(Shown()[0].icon, std::string(kIconAsterisk));

  const std::vector<Row> rows = Rows(data);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].saved, "9");
  EXPECT_EQ(rows[2].saved, "4294967295");
  EXPECT_EQ(rows[1].saved, "N/A");
  EXPECT_EQ(rows[1].enable, "N/A");
  const std::string file = ReadFile("Vantrel.xml");
  EXPECT_NE(file.find("<SavedValue>N/A</SavedValue>"), std::string::npos) << file;
  EXPECT_NE(file.find("<KeyName>SYSTEM\\CurrentControlSet\\Services\\Test\\Parameters</KeyName>"),
            std::string::npos) << file;
  EXPECT_EQ(file.rfind("<?xml version=\"1.0\"", 0), 0u) << file;

  // A later restore deletes the value that was missing when saved, and gives back every bit of
  // one that was saved.
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Missing", "4", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "AllBits", "0", 4), 0);
  ApplyValues(data, kApplySaved);
  RegistryGetValue(kHkeyLocalMachine, kParameters, "Missing");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "AllBits"), "4294967295");
}

TEST_F(SettingsFileTest, FailedSaveLeavesThePreviousFileWhole) {
  const std::string original = SettingsFile({Item(kParameters, "Value", "3", "0", "1")});
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  // The file cannot be written beside itself: its temporary name is taken by a folder.
  std::filesystem::create_directory("Vantrel.xml.vtmp");
  SaveSettingsFile(data);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown()[0].caption, "Error");
  EXPECT_EQ(Shown()[0].text.rfind("Error creating Vantrel.xml file,|", 0), 0u) << Shown()[0].text;
  for (const auto& m : Shown()) EXPECT_NE(m.text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_EQ(ReadFile("Vantrel.xml"), original);
  EXPECT_EQ(QueueRecords(&data.displayQueue), 1) << "the old file is read again";

  // The failure does not make the next save fail.
  std::filesystem::remove("Vantrel.xml.vtmp");
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
}

// ---- Saves that cannot finish ----------------------------------------------------------------

constexpr const char kSaved[] = "Registry settings saved to Vantrel.xml file.";
constexpr const char kTemporary[] = "Vantrel.xml.vtmp";

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
  const std::string half = ReadFile(kTemporary);
  EXPECT_EQ(half.size(), kKillAt) << "killed in the middle of the write";
  EXPECT_EQ(half.rfind("<?xml version=\"1.0\" ?>", 0), 0u);

  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, kSaved);
  EXPECT_FALSE(std::filesystem::exists(kTemporary)) << "the next save replaced the leftover";
  EXPECT_EQ(QueueRecords(&data.displayQueue), 2000);
  EXPECT_TRUE(ReadFile("Vantrel.xml") != original) << "saved values are the current ones";
}

// A save the system refuses part-way. Each fault is made in a forked child (process limits and
// the user stay there), the save reports it, the previous file stays byte for byte, nothing is
// left beside it, and once the fault is gone the same process saves again. The steps work on the
// current folder, which holds the settings file.
struct SaveFault {
  const char* name;
  void (*arrange)();  // in the parent
  bool (*make)();     // in the child before the save; false when this process cannot
  void (*remove)();   // in the child after the failed save, and in the parent at the end
  const char* message;  // what the user is told
};
void PrintTo(const SaveFault& fault, std::ostream* out) { *out << fault.name; }

constexpr int kCannotMakeFault = 42;
constexpr uid_t kNobody = 65534;

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
     "Error writing Vantrel.xml file,|File System Error"},
    {"ReadOnlyFolder",
     // The folder and the file belong to the user; the folder is made read-only. The
     // superuser writes anyway, so as root the child turns into an ordinary user first.
     [] {
       if (geteuid() == 0) {
         EXPECT_EQ(chown(".", kNobody, kNobody), 0);
         EXPECT_EQ(chown("Vantrel.xml", kNobody, kNobody), 0);
       }
       chmod(".", 0555);
     },
     [] {
       if (geteuid() == 0) {
         // The store under the root-only test folder cannot be read any more; say nothing of it.
         store::SetStoreMessageSink([](const char*) {});
         if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) return false;
       }
       return access(".", W_OK) != 0;
     },
     [] { chmod(".", 0755); },
     "Error creating Vantrel.xml file,|Access Denied."},
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
                     (std::filesystem::exists(kTemporary) ? 8 : 0) |
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
  EXPECT_FALSE(std::filesystem::exists(kTemporary));
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFaultTest, ::testing::ValuesIn(kSaveFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel::app
