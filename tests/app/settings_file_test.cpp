#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/errors/error_state.h"
#include "runtime/queue/queue.h"
#include "runtime/system/registry.h"
#include "runtime/text/ansi_text.h"
#include "settings_file_cases.h"

namespace vantrel::app {
namespace {

using testing::Item;
using testing::kParameters;
using testing::SettingsFile;
using testing::SettingsFileTest;
using testing::Shown;
using testing::Temporaries;

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

TEST_F(SettingsFileTest, MissingFileGivesOneMessageAndEmptyTables) {
  MainData data;
  LoadSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text.rfind(
                "Error opening Vantrel.xml file,|File not found.|Looked for Vantrel.xml in ", 0),
            0u)
      << Shown()[0].text;
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
  ASSERT_EQ(
      RegistryPutValue(kHkeyLocalMachine, kParameters, "Long", "abcdefghijklmnopqrstuvwxyz", 1), 0);
  WriteFile("Vantrel.xml", SettingsFile({
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
            "0")
      << "missing keys are created";
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
  WriteFile("Vantrel.xml", "<?xml version=\"1.0\"?><RegistryItems><RegistryItem><KeyName>" + key +
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

// Windows reads these values as REG_DWORD only: a "0" kept as text, or as a QWORD, is no 0 to it.
TEST_F(SettingsFileTest, AValueOfAnotherTypeThanDwordDiffersFromEveryNumber) {
  const struct {
    const char* name;
    std::uint32_t type;
    int style;
  } cases[] = {{"Dword", 4, 1}, {"Text", 1, 2}, {"Expand", 2, 2}, {"Quad", 11, 2}, {"Big", 5, 2}};
  std::vector<std::string> items;
  for (const auto& c : cases) {
    ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, c.name, "0", c.type), 0) << c.name;
    items.push_back(Item(kParameters, c.name, "N/A", "0", "1"));
  }
  WriteFile("Vantrel.xml", SettingsFile(items));
  MainData data;
  LoadSettingsFile(data);
  const std::vector<Row> rows = Rows(data);
  ASSERT_EQ(rows.size(), std::size(cases));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].current, "0") << cases[i].name;
    EXPECT_EQ(rows[i].style, cases[i].style) << cases[i].name;
    EXPECT_EQ(CurrentType(data, static_cast<std::int32_t>(i + 1)), cases[i].type) << cases[i].name;
  }
  EXPECT_EQ(CurrentType(data, 99), 0u);
}

// Where SMB 1 is no fallback, a value that switches SMB 2 off or SMB 1 on is refused with the
// row's own message and the reason; the other rows are written. Forced, it is written.
TEST_F(SettingsFileTest, Smb2OffAndSmb1OnAreRefusedWhereTheGuardHolds) {
  constexpr char kServer[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
  auto removeServerValues = [&] {
    RegistryDelete(kHkeyLocalMachine, kServer, "Smb2");
    RegistryDelete(kHkeyLocalMachine, kServer, "SMB1");
  };
  removeServerValues();
  WriteFile("Vantrel.xml", SettingsFile({
                               Item(kServer, "Smb2", "N/A", "0", "1"),
                               Item(kParameters, "Flag", "N/A", "1", "0"),
                               Item(kServer, "SMB1", "N/A", "1", "0"),
                           }));
  MainData data;
  data.smb1Guard = Smb1Guard::kAlways;
  LoadSettingsFile(data);
  ApplyValues(data, kApplyDisable);
  ASSERT_EQ(Shown().size(), 2u);
  const std::string head = std::string("Error writing ") + kServer + " to registry,|";
  EXPECT_EQ(Shown()[0].text.rfind(head + "Smb2 = 0 switches SMB 2 and 3 off", 0), 0u)
      << Shown()[0].text;
  EXPECT_EQ(Shown()[1].text.rfind(head + "SMB1 = 1 switches SMB 1 back on", 0), 0u)
      << Shown()[1].text;
  EXPECT_EQ(Shown()[0].caption, "Error");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kServer, "Smb2"), "");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kServer, "SMB1"), "");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Flag"), "1");
  // Enable switches SMB 2 on and SMB 1 off: nothing to refuse.
  Shown().clear();
  ApplyValues(data, kApplyEnable);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kServer, "Smb2"), "1");

  data.smb1Guard = Smb1Guard::kNever;
  ApplyValues(data, kApplyDisable);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kServer, "Smb2"), "0");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kServer, "SMB1"), "1");
  removeServerValues();
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
            std::string::npos)
      << file;
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
  // The previous file cannot be kept: its backup's name is taken by a folder.
  data.keepBackup = true;
  std::filesystem::create_directory("Vantrel.xml.bak");
  SaveSettingsFile(data);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown()[0].caption, "Error");
  EXPECT_EQ(Shown()[0].text.rfind("Error writing Vantrel.xml file,|", 0), 0u) << Shown()[0].text;
  EXPECT_NE(Shown()[0].text.find("cannot keep the previous file as Vantrel.xml.bak"),
            std::string::npos)
      << Shown()[0].text;
  EXPECT_TRUE(Temporaries().empty());
  for (const auto& m : Shown()) EXPECT_NE(m.text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_EQ(ReadFile("Vantrel.xml"), original);
  EXPECT_EQ(QueueRecords(&data.displayQueue), 1) << "the old file is read again";

  // The failure does not make the next save fail.
  std::filesystem::remove("Vantrel.xml.bak");
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
}

// A file that did not load completely is never written over: the save says why and leaves it byte
// for byte, whatever part of it the list shows.
TEST_F(SettingsFileTest, SaveNeverWritesOverAFileThatDidNotLoadCompletely) {
  const std::string whole = SettingsFile({Item(kParameters, "First", "1", "0", "1"),
                                          Item(kParameters, "Second", "2", "0", "1"),
                                          Item(kParameters, "Third", "3", "0", "1")});
  const std::size_t secondEnd = whole.find("</RegistryItem>", whole.find("Second"));
  const struct {
    const char* name;
    std::string text;
    const char* reason;  // in the refusal
  } cases[] = {
      // Cut inside a tag: the parser says so and keeps the items before it.
      {"CutInATag", whole.substr(0, secondEnd + 3), "ends before its elements are closed"},
      // Cut between two tags: the parser has nothing to say.
      {"CutBetweenTags", whole.substr(0, secondEnd + 15), "ends before its elements are closed"},
      {"NotXml", "Flag=1\r\nOther=0\r\n", "no RegistryItems node"},
      {"Empty", "", "no RegistryItems node"},
      {"ParseFailure", "<?xml version=\"1.0\"?><RegistryItems><?bad", "could not be read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Shown().clear();
    WriteFile("Vantrel.xml", c.text);
    MainData data;
    LoadSettingsFile(data);
    const std::int32_t shownRows = QueueRecords(&data.displayQueue);
    Shown().clear();
    SaveSettingsFile(data);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].caption, "Error");
    EXPECT_EQ(Shown()[0].text.rfind("Error saving Vantrel.xml file,|The settings file did not "
                                    "load completely (",
                                    0),
              0u)
        << Shown()[0].text;
    EXPECT_NE(Shown()[0].text.find(c.reason), std::string::npos) << Shown()[0].text;
    EXPECT_TRUE(ReadFile("Vantrel.xml") == c.text) << "the file was written over";
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_EQ(QueueRecords(&data.displayQueue), shownRows) << "the list stays as it was";
  }
}

// No file to load gives an empty list; saving it would leave a file the next start rejects.
TEST_F(SettingsFileTest, AnEmptyListIsNeverSaved) {
  MainData data;
  LoadSettingsFile(data);
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text,
            "Error saving Vantrel.xml file,|The list is empty. A settings file without items "
            "cannot be loaded again, so nothing was saved.");
  EXPECT_FALSE(std::filesystem::exists("Vantrel.xml"));
  EXPECT_TRUE(Temporaries().empty());
}

// A key path cut to the 200 characters of its field names one of the key's parents, a value name
// cut to 100 another value: such an item is shown but never written or deleted, and the file that
// holds it is not saved with the cut names.
TEST_F(SettingsFileTest, ItemsWhoseNamesWereCutOnLoadingAreNeverApplied) {
  const std::string parent =
      std::string(kParameters) + "\\" + std::string(199 - std::string(kParameters).size(), 'p');
  ASSERT_EQ(parent.size(), 200u);
  const std::string longKey = parent + "\\Deeper";
  const std::string valueStem(100, 'v');
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, parent, "Flag", "5", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, valueStem, "7", 4), 0);
  const std::string original = SettingsFile({
      Item(longKey, "Flag", "N/A", "1", "N/A"),
      Item(kParameters, valueStem + "Tail", "N/A", "1", "N/A"),
      Item(kParameters, "After", "N/A", "1", "N/A"),
  });
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
  ASSERT_EQ(Rows(data).size(), 3u) << "the rows still show";

  for (const int mode : {kApplyDisable, kApplyEnable}) {
    Shown().clear();
    ApplyValues(data, mode);
    ASSERT_EQ(Shown().size(), 2u) << "one message for each cut item";
    const std::string line =
        mode == kApplyDisable ? "Error writing " + parent : "Error deleting value from " + parent;
    EXPECT_EQ(Shown()[0].text.rfind(line, 0), 0u) << Shown()[0].text;
    EXPECT_NE(Shown()[0].text.find("Item 1 (value name \"Flag\")"), std::string::npos)
        << Shown()[0].text;
    EXPECT_NE(Shown()[1].text.find("Item 2 (value name \"" + valueStem + "\")"), std::string::npos)
        << Shown()[1].text;
    EXPECT_NE(Shown()[1].text.find("was cut"), std::string::npos) << Shown()[1].text;
    EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, parent, "Flag"), "5");
    EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, valueStem), "7");
  }
  RegistryGetValue(kHkeyLocalMachine, kParameters, "After");
  EXPECT_EQ(RuntimeErrorCode(), 2) << "the item after the cut ones was applied (enabled: deleted)";

  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(Shown()[0].text.find("item 1's key path, value name or a value"), std::string::npos)
      << Shown()[0].text;
  EXPECT_EQ(ReadFile("Vantrel.xml"), original);
}

}  // namespace
}  // namespace vantrel::app

namespace vantrel::app {
namespace {

// Saving keeps the file's own text: the comments that document each value, the declaration, the
// line ends and the indentation stay; only the SavedValue texts change (an empty <SavedValue/>
// gets its value too), and the previous file is kept as Vantrel.xml.bak.
TEST_F(SettingsFileTest, SaveChangesOnlyTheSavedValuesOfTheFilesOwnText) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Flag", "7", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Text", "a<b&c", 1), 0);
  const std::string key = kParameters;
  const auto text = [&](const std::string& flag, const std::string& gone, const std::string& txt) {
    return "<?xml version=\"1.0\"?>\n<!-- Oplock values, see the README. -->\r\n<RegistryItems>\n"
           "  <!-- Flag: 1 switches it off. -->\n"
           "  <RegistryItem>\n    <KeyName>" +
           key +
           "</KeyName>\n    <ValueName>Flag</ValueName>\n"
           "    " +
           flag +
           "\n    <DisableValue>1</DisableValue>\n    <EnableValue>0</EnableValue>\n  "
           "</RegistryItem>\n"
           "\t<RegistryItem><KeyName>" +
           key + "</KeyName><ValueName>Gone</ValueName>" + gone +
           "<DisableValue>N/A</DisableValue><EnableValue>5</EnableValue></RegistryItem>\n"
           "  <RegistryItem><KeyName>" +
           key + "</KeyName><ValueName>Text</ValueName>" + txt +
           "<DisableValue>0</DisableValue><EnableValue>1</EnableValue></RegistryItem>\n"
           "</RegistryItems>\n<!-- end -->\n";
  };
  const std::string original =
      text("<SavedValue>N/A</SavedValue>", "<SavedValue/>", "<SavedValue >old</SavedValue >");
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  ASSERT_TRUE(Shown().empty()) << Shown()[0].text;
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u) << Shown()[0].text;
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_EQ(ReadFile("Vantrel.xml"),
            text("<SavedValue>7</SavedValue>", "<SavedValue>N/A</SavedValue>",
                 "<SavedValue >a&lt;b&amp;c</SavedValue >"));
  EXPECT_EQ(ReadFile("Vantrel.xml.bak"), original) << "the window's save keeps the backup too";
  // And it reads back as the values saved.
  QueueGetAt(&data.displayQueue, 3);
  EXPECT_EQ(data.displayQueue.buffer.SAVEDVALUE.Str(), "a<b&c");
}

// A file whose text cannot take the values in place is still saved, whole, as before.
TEST_F(SettingsFileTest, SaveWritesTheFileWholeWhereItsTextCannotTakeTheValues) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Flag", "7", 4), 0);
  const std::string noSaved =
      "<?xml version=\"1.0\"?>\n<!-- gone after the save -->\n<RegistryItems>"
      "<RegistryItem><KeyName>" +
      std::string(kParameters) +
      "</KeyName><ValueName>Flag</ValueName><DisableValue>1</DisableValue>"
      "<EnableValue>0</EnableValue></RegistryItem></RegistryItems>\n";
  WriteFile("Vantrel.xml", noSaved);
  MainData data;
  LoadSettingsFile(data);
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u) << Shown()[0].text;
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
  EXPECT_NE(ReadFile("Vantrel.xml").find("<SavedValue>7</SavedValue>"), std::string::npos);
  EXPECT_EQ(ReadFile("Vantrel.xml").find("gone after"), std::string::npos);
  EXPECT_EQ(ReadFile("Vantrel.xml.bak"), noSaved);
  // The window says no more than before; vantrelctl says what was not kept, and why.
  EXPECT_EQ(data.wholeFileSave, "an item has no SavedValue element");
}

}  // namespace
}  // namespace vantrel::app

namespace vantrel::app {
namespace {

// A file whose items cannot be told apart loads no item: one message names the file and the
// item, no command writes anything, and no save writes over it. The old reader made two items
// of one, or put one item's value into another's, so Enable wrote the wrong value to the wrong
// key.
TEST_F(SettingsFileTest, AFileWhoseItemsCannotBeToldApartLoadsNoItem) {
  const std::string k = kParameters;
  const std::string good = Item(k, "Good", "N/A", "0", "1");
  const struct {
    const char* what;
    std::string item;
    std::string fault;
  } cases[] = {
      {"a second SavedValue in another letter case",
       "<RegistryItem><KeyName>" + k +
           "</KeyName><ValueName>A</ValueName><SavedValue>1</SavedValue><savedvalue>7</savedvalue>"
           "<DisableValue>0</DisableValue><EnableValue>1</EnableValue></RegistryItem>",
       "holds SavedValue twice"},
      {"a SavedValue inside the KeyName",
       "<RegistryItem><KeyName>" + k +
           "<SavedValue>5</SavedValue></KeyName><ValueName>A</ValueName><SavedValue>1"
           "</SavedValue><DisableValue>0</DisableValue><EnableValue>1</EnableValue></RegistryItem>",
       "holds SavedValue inside KeyName"},
      {"an item inside an item",
       "<RegistryItem><KeyName>" + k + "</KeyName>" + Item(k, "A", "", "0", "1") +
           "</RegistryItem>",
       "holds another registryitem element"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Shown().clear();
    ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Good", "5", 4), 0);
    const std::string original = SettingsFile({good, c.item});
    WriteFile("Vantrel.xml", original);
    MainData data;
    LoadSettingsFile(data);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].text,
              "Error opening Vantrel.xml file,|A record's fields cannot be told "
              "apart: registryitem element 2 " +
                  c.fault + ".|No item was loaded: put each value in one element of its own item.");
    EXPECT_TRUE(Rows(data).empty());
    Shown().clear();
    ApplyValues(data, kApplyEnable);
    EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Good"), "5");
    RegistryGetValue(kHkeyLocalMachine, kParameters, "A");
    EXPECT_EQ(RuntimeErrorCode(), 2) << "nothing was written for the item that could not be read";
    SaveSettingsFile(data);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_NE(Shown()[0].text.find("did not load completely (it could not be read unambiguously"),
              std::string::npos)
        << Shown()[0].text;
    EXPECT_EQ(ReadFile("Vantrel.xml"), original);
  }
}

// Well-formed files the old reader misread load as written: a '>' inside an attribute value of a
// field does not end its tag (the key name became the rest of the value), and an element of
// another name between the items does not end the list (the items after it were dropped, and a
// save wrote the file without them).
TEST_F(SettingsFileTest, WellFormedFilesTheOldReaderMisreadLoadAsWritten) {
  const std::string k = kParameters;
  const std::string noted = "<RegistryItem><KeyName note=\"values > 1 are errors\">" + k +
                            "</KeyName><ValueName>A</ValueName><SavedValue>N/A</SavedValue>"
                            "<DisableValue>0</DisableValue><EnableValue>1</EnableValue>"
                            "</RegistryItem>";
  const std::string original =
      SettingsFile({noted, "<Note>the next one is new</Note>", Item(k, "B", "N/A", "0", "2")});
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
  const std::vector<Row> rows = Rows(data);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].key, k);
  EXPECT_EQ(rows[1].value, "B");
  ApplyValues(data, kApplyEnable);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "A"), "1");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "B"), "2");
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
  std::string expected = original;
  for (std::size_t at = 0; (at = expected.find("<SavedValue>N/A<", at)) != std::string::npos;) {
    expected.replace(at, 16, "<SavedValue>1<");
  }
  expected.replace(expected.find("<SavedValue>1<", expected.find("<ValueName>B")), 14,
                   "<SavedValue>2<");
  EXPECT_EQ(ReadFile("Vantrel.xml"), expected) << "both items saved in the file's own text";
  EXPECT_TRUE(data.wholeFileSave.empty()) << data.wholeFileSave;
}

// A tab or line break inside a name is dropped by the reader, and what is left names another key
// or value: such an item is listed but never applied or exported, like one whose name was cut,
// and the file is never saved over. A key name cannot hold one; a value name can, written as
// &#9; or &#10; (as saves write it), and then it is kept exactly.
TEST_F(SettingsFileTest, ANameWithATabOrLineBreakInsideIsNeverApplied) {
  const std::string k = kParameters;
  const std::string split = std::string("SYSTEM\\CurrentControlSet\\Services\\Test\t") +
                            "\\Parameters";  // read as kParameters without the tab
  const std::string original = SettingsFile({
      Item(split, "Tabbed", "N/A", "0", "1"),
      Item(k, "Two\r\nLines", "N/A", "0", "1"),
      Item(k, "Kept&#9;Tab", "N/A", "0", "1"),
      Item("\r\n" + k + "\r\n", "Layout", "N/A", "0", "1"),
  });
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
  ASSERT_EQ(Rows(data).size(), 4u);
  ApplyValues(data, kApplyEnable);
  ASSERT_EQ(Shown().size(), 2u);
  for (const auto& [shown, item] : {std::pair{0, "Item 1 (value name \"Tabbed\")"},
                                    std::pair{1, "Item 2 (value name \"TwoLines\")"}}) {
    const std::string& text = Shown()[static_cast<std::size_t>(shown)].text;
    EXPECT_NE(text.find(item), std::string::npos) << text;
    EXPECT_NE(text.find("a tab or line break inside it was dropped"), std::string::npos) << text;
  }
  for (const char* value : {"Tabbed", "TwoLines"}) {
    RegistryGetValue(kHkeyLocalMachine, kParameters, value);
    EXPECT_EQ(RuntimeErrorCode(), 2) << value << " was written under another name";
  }
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Kept\tTab"), "1");
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kParameters, "Layout"), "1")
      << "line breaks around a name are layout";
  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(
      Shown()[0].text.find("item 1's key path, value name or a value holds a tab or line break"),
      std::string::npos)
      << Shown()[0].text;
  EXPECT_EQ(ReadFile("Vantrel.xml"), original);
}

// XML 1.0 has no form for control characters other than tab and line breaks (&#1; is refused
// by other programs): a save whose value holds one is refused, naming the item, and the file
// stays. A tab goes in as &#9; and reads back; a letter of the code page goes into a UTF-8 file
// as UTF-8. Both keep the file's comments.
TEST_F(SettingsFileTest, SavedTextsAreWrittenSoThatTheyReadBackOrNotAtAll) {
  const std::string k = kParameters;
  const std::string original =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- kept -->\n<RegistryItems>" +
      Item(k, "Text", "N/A", "0", "1") + "</RegistryItems>\n";
  const struct {
    std::string current;
    std::string written;  // the SavedValue in the file; empty: the save is refused
  } cases[] = {
      {"a\x01z", ""},
      {"a\x1Fz", ""},
      {"a\tz", "a&#9;z"},
      {"\x9A\xE8", AnsiToUtf8("\x9A\xE8")},  // letters of the code page (1250: s, c with caron)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kParameters, "Text", c.current, 1), 0);
    WriteFile("Vantrel.xml", original);
    std::filesystem::remove("Vantrel.xml.bak");
    MainData data;
    LoadSettingsFile(data);
    Shown().clear();
    SaveSettingsFile(data);
    ASSERT_EQ(Shown().size(), 1u);
    if (c.written.empty()) {
      EXPECT_EQ(Shown()[0].text,
                "Error saving Vantrel.xml file,|Item 1 (" + k +
                    ", value name \"Text\"): its current value holds the control character 0x" +
                    (c.current[1] == '\x01' ? "01" : "1F") +
                    ", which an XML 1.0 file cannot hold, so nothing was saved.");
      EXPECT_EQ(ReadFile("Vantrel.xml"), original);
      EXPECT_FALSE(std::filesystem::exists("Vantrel.xml.bak"));
      continue;
    }
    EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
    std::string expected = original;
    expected.replace(expected.find("N/A"), 3, c.written);
    EXPECT_EQ(ReadFile("Vantrel.xml"), expected);
    EXPECT_TRUE(data.wholeFileSave.empty()) << data.wholeFileSave;
    EXPECT_EQ(Rows(data)[0].saved, c.current);
  }
}

}  // namespace
}  // namespace vantrel::app
