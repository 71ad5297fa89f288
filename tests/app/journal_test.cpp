// The journal of changes: what an entry holds and reads back as, the limit, a damaged journal
// left as it is, undo putting back the values (types and absence included), and the window's
// writes recorded like vantrelctl's. Runs on the Linux store and, in the Windows build, on
// Wine's registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/journal.h"
#include "app/main_window_desc.h"
#include "app/parse_progress.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "app_fixture.h"
#include "runtime/system/registry.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace vantrel::app {
namespace {

using testing::Shown;

constexpr const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Test\\Parameters";

std::string Item(const std::string& value, const std::string& saved, const std::string& disable) {
  return std::string("<RegistryItem><KeyName>") + kKey + "</KeyName><ValueName>" + value +
         "</ValueName><SavedValue>" + saved + "</SavedValue><DisableValue>" + disable +
         "</DisableValue><EnableValue>1</EnableValue></RegistryItem>";
}

class JournalTest : public testing::AppFixture {
 protected:
  JournalTest() : AppFixture(true) {}
  void SetUp() override {
    AppFixture::SetUp();
    RemoveJournal();
  }
  void TearDown() override {
    RemoveJournal();
    AppFixture::TearDown();
  }
  static void RemoveJournal() {
    RegistryDelete(kHkeyLocalMachine, kJournalKeyPath, "");
    SetRegistryError(0);
  }
  static JournalRow Row(const std::string& name, int before, int after) {
    return {kKey, name, {false, 4, std::to_string(before)}, {false, 4, std::to_string(after)}};
  }
  static RecordedValue Now(const std::string& name) {
    RecordedValue value;
    std::string problem;
    EXPECT_TRUE(ReadRecordedValue(kKey, name, &value, &problem)) << problem;
    return value;
  }
  // Every journal value's type and text, slot by slot.
  static std::vector<std::string> JournalValues() {
    std::vector<std::string> values;
    for (std::uint32_t slot = 1; slot <= kJournalLimit; ++slot) {
      std::uint32_t type = 0;
      const std::string text =
          RegistryGetValue(kHkeyLocalMachine, kJournalKeyPath, std::to_string(slot), &type);
      values.push_back(std::to_string(type) + ":" + text);
    }
    SetRegistryError(0);
    return values;
  }
};

TEST(JournalEntryText, ReadsBackWhatWasWrittenWhateverTheBytes) {
  JournalEntry entry;
  entry.number = 42;
  entry.time = "2026-12-11T08:10:00+01:00";
  entry.command = "vantrelctl disable --settings \"a b.xml\"";
  entry.settingsFile = "C:\\Users\\x\\Vantrel.xml";
  entry.rows = {
      {"SYSTEM\\A", "Dword", {false, 4, "5"}, {}},
      {"SYSTEM\\A", "", {}, {false, 4, "0"}},  // the default value, absent before
      {"SYSTEM\\A\x8a\xf8", "tab\tline\nend\\x41 ", {false, 1, "text \x01\x7f\xff "}, {}},
      {"SYSTEM\\B", "Multi", {false, 7, std::string("a\0b\0\0", 5)}, {false, 3, ""}},
  };
  const std::string text = EncodeJournalEntry(entry);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    ASSERT_TRUE((b >= 0x20 && b < 0x7F) || c == '\t' || c == '\n') << "byte " << int(b);
  }
  std::string why;
  const auto back = DecodeJournalEntry(text, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->number, entry.number);
  EXPECT_EQ(back->time, entry.time);
  EXPECT_EQ(back->command, entry.command);
  EXPECT_EQ(back->settingsFile, entry.settingsFile);
  ASSERT_EQ(back->rows.size(), entry.rows.size());
  for (std::size_t i = 0; i < entry.rows.size(); ++i) {
    EXPECT_EQ(back->rows[i].keyName, entry.rows[i].keyName) << i;
    EXPECT_EQ(back->rows[i].valueName, entry.rows[i].valueName) << i;
    EXPECT_EQ(back->rows[i].before, entry.rows[i].before) << i;
    EXPECT_EQ(back->rows[i].after, entry.rows[i].after) << i;
  }
}

TEST(JournalEntryText, TakesNothingElse) {
  const char* const cases[] = {
      "",
      "garbage",
      "1\tt\tc\ts",                           // no line end: cut in the middle
      "1\tt\tc\n",                            // three fields
      "0\tt\tc\ts\n",                         // no change 0
      "01\tt\tc\ts\n",                        // another spelling of 1
      "1000000000\tt\tc\ts\n",                // past the numbers kept
      "1\tt\tc\ts\nK\tN\t4:5\n",              // a value's line with three fields
      "1\tt\tc\ts\nK\tN\t4:5\tx\n",           // no value
      "1\tt\tc\ts\nK\tN\t04:5\t-\n",          // another spelling of a type
      "1\tt\tc\ts\nK\tN\t4:\\x41\t-\n",       // printable text escaped
      "1\tt\tc\ts\nK\\x5cL\tN\t-\t-\n",       // a backslash escaped, not doubled
      "1\tt\tc\ts\nK\tN\t4:\\xZZ\t-\n",       // no escape
      "1\tt\tc\ts\nK\tN\t4:\\\t-\n",          // a lone backslash
      "1\tt\tc\ts\n\tN\t4:5\t-\n",            // no key
      "1\tt\tc\ts\nK\tN\t4:\x01\t-\n",        // a raw control byte
      "1\tt\tc\ts\nK\tN\t4:\xe9\t-\n",        // a raw byte of the code page
      "1\tt\tc\ts\nK\tN\t4:abc\t-\n",         // a REG_DWORD that is no number
      "1\tt\tc\ts\nK\tN\t4:05\t-\n",          // another spelling of 5
      "1\tt\tc\ts\nK\tN\t4:4294967296\t-\n",  // past 32 bits
  };
  for (const char* text : cases) {
    std::string why;
    EXPECT_FALSE(DecodeJournalEntry(text, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
}

TEST_F(JournalTest, KeepsTheNewestChangesUpToTheLimit) {
  for (std::uint32_t i = 1; i <= kJournalLimit + 1; ++i) {
    ASSERT_EQ(RecordChange("test " + std::to_string(i), "", {Row("V", int(i), int(i) + 1)}), "");
  }
  const JournalContents contents = ReadJournal();
  EXPECT_EQ(contents.damage, "");
  ASSERT_EQ(contents.entries.size(), kJournalLimit);
  EXPECT_EQ(contents.entries.front().number, 2u) << "the oldest gave way";
  EXPECT_EQ(contents.entries.front().command, "test 2");
  EXPECT_EQ(contents.entries.back().number, kJournalLimit + 1);
  EXPECT_EQ(contents.entries.back().rows.at(0).before.data, std::to_string(kJournalLimit + 1));
  // A change that changes nothing is not one.
  ASSERT_EQ(RecordChange("same", "", {Row("V", 3, 3)}), "");
  EXPECT_EQ(ReadJournal().entries.back().command, "test " + std::to_string(kJournalLimit + 1));
}

TEST_F(JournalTest, DamagedJournalIsNamedLeftAsItIsAndTheWritesGoOn) {
  ASSERT_EQ(RecordChange("first", "", {Row("V", 1, 2)}), "");
  struct Damage {
    const char* slot;
    const char* text;
    std::uint32_t type;
    const char* said;
  };
  const Damage damages[] = {
      {"2", "garbage that is no entry", 1, "does not read as a change"},
      {"3", "7", 4, "is no text (REG_DWORD)"},
      {"4", "1\tt\tc\ts\n", 1, "holds change 1, which belongs in value 1"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.slot);
    RemoveJournal();
    ASSERT_EQ(RecordChange("first", "", {Row("V", 1, 2)}), "");
    ASSERT_EQ(
        RegistryPutValue(kHkeyLocalMachine, kJournalKeyPath, damage.slot, damage.text, damage.type),
        0);
    const std::vector<std::string> before = JournalValues();
    const JournalContents contents = ReadJournal();
    EXPECT_NE(contents.damage.find(JournalPlace()), std::string::npos) << contents.damage;
    EXPECT_NE(contents.damage.find(std::string("value \"") + damage.slot + "\" " + damage.said),
              std::string::npos)
        << contents.damage;
    ASSERT_EQ(contents.entries.size(), 1u) << "the whole entries still read";

    // A command through the one write path: the value is written, the journal said and kept.
    RegistryPutValue(kHkeyLocalMachine, kKey, "V", "1", 4);
    WriteFile("Vantrel.xml", "<RegistryItems>" + Item("V", "N/A", "0") + "</RegistryItems>");
    MainData data;
    data.journalCommand = "vantrelctl disable";
    LoadSettingsFile(data);
    Shown().clear();
    ApplyValues(data, kApplyDisable);
    EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, kKey, "V"), "0");
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].caption, "Warning");
    EXPECT_NE(Shown()[0].text.find(JournalPlace()), std::string::npos) << Shown()[0].text;
    EXPECT_NE(Shown()[0].text.find("not recorded"), std::string::npos) << Shown()[0].text;
    EXPECT_EQ(JournalValues(), before) << "the damaged journal was changed";
  }
}

// Hand-set values, the saved values N/A: Disable, then Restore saved, then undoing the Disable
// puts back every hand-set value with its type, and leaves absent what was absent.
TEST_F(JournalTest, UndoOfDisableAfterRestoreBringsBackTheHandSetValues) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "CachedOpenLimit", "5", 4), 0);
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "AsText", "hand set", 1), 0);
  WriteFile("Vantrel.xml", "<RegistryItems>" + Item("CachedOpenLimit", "N/A", "0") +
                               Item("AsText", "N/A", "0") + Item("Absent", "N/A", "0") +
                               "</RegistryItems>");
  const RecordedValue limit = Now("CachedOpenLimit"), text = Now("AsText");
  MainData data;
  LoadSettingsFile(data);
  ApplyValues(data, kApplyDisable);
  ApplyValues(data, kApplySaved);
  EXPECT_TRUE(Now("CachedOpenLimit").absent) << "restore of N/A deleted the hand-set value";

  const JournalContents contents = ReadJournal();
  ASSERT_EQ(contents.entries.size(), 2u);
  const JournalEntry& disable = contents.entries[0];
  EXPECT_EQ(disable.command, "window: Disable Vantrel");
  EXPECT_NE(disable.settingsFile.find("Vantrel.xml"), std::string::npos);
  EXPECT_EQ(disable.rows.size(), 3u);

  const std::vector<UndoStep> steps = PlanUndo(disable, true);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[2].kind, UndoStep::kSame) << "Absent is absent again already";
  const UndoResult result = ApplyUndo(steps, "vantrelctl undo 1", disable.settingsFile);
  EXPECT_EQ(result.stopped, "");
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(result.journalProblem, "");
  EXPECT_EQ(Now("CachedOpenLimit"), limit);
  EXPECT_EQ(Now("AsText"), text);
  EXPECT_TRUE(Now("Absent").absent);
  // The undo is a change of its own.
  const JournalContents after = ReadJournal();
  ASSERT_EQ(after.entries.size(), 3u);
  EXPECT_EQ(after.entries.back().command, "vantrelctl undo 1");
  EXPECT_EQ(after.entries.back().rows.size(), 2u);
}

TEST_F(JournalTest, UndoRefusesWhatItCannotPutBackExactlyOrTheGuardForbids) {
  JournalEntry entry;
  entry.rows = {
      {kKey, "Trailing", {false, 1, "ends in a blank "}, {false, 4, "0"}},
      {"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters",
       "Smb2",
       {false, 4, "0"},
       {false, 4, "1"}},
      // Names the registry layer would cut or trim, reaching another key or value.
      {std::string(kKey) + "\\" + std::string(300, 'k'), "V", {false, 4, "1"}, {}},
      {kKey, "V ", {false, 4, "1"}, {}},
      {std::string(kKey) + "\\\\Sub", "V", {false, 4, "1"}, {}},
  };
  const std::vector<UndoStep> steps = PlanUndo(entry, true);
  ASSERT_EQ(steps.size(), 5u);
  for (std::size_t i = 2; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].kind, UndoStep::kRefuse) << i;
    EXPECT_FALSE(steps[i].refusal.empty()) << i;
  }
  EXPECT_EQ(steps[0].kind, UndoStep::kRefuse);
  EXPECT_NE(steps[0].refusal.find("blank"), std::string::npos) << steps[0].refusal;
  EXPECT_EQ(steps[1].kind, UndoStep::kRefuse) << "Smb2 = 0 under the guard";
  EXPECT_EQ(PlanUndo(entry, false)[1].kind, UndoStep::kWrite);
}

class JournalWindowTest : public JournalTest {
 protected:
  JournalWindowTest() { recordMessages_ = false; }
};

TEST_F(JournalWindowTest, TheWindowsWritesAreRecorded) {
  ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, kKey, "Flag", "7", 4), 0);
  WriteFile("Vantrel.xml", "<RegistryItems>" + Item("Flag", "N/A", "0") + "</RegistryItems>");
  auto backend = std::make_unique<ui::HeadlessBackend>();
  ui::HeadlessBackend* screen = backend.get();
  ui::Engine engine(std::move(backend));
  screen->AnswerDialog(ui::DialogAnswer::Button(6 /* Yes */));
  screen->Click(kBtnDisable);
  screen->Click(kBtnClose);
  ParseProgress progress(engine);
  ProgramBody();
  EXPECT_EQ(screen->Dialogs().size(), 1u) << "the question only: the window's dialogs stay";
  const JournalContents contents = ReadJournal();
  ASSERT_EQ(contents.entries.size(), 1u);
  EXPECT_EQ(contents.entries[0].command, "window: Disable Vantrel");
  ASSERT_EQ(contents.entries[0].rows.size(), 1u);
  EXPECT_EQ(contents.entries[0].rows[0].before, (RecordedValue{false, 4, "7"}));
  EXPECT_EQ(contents.entries[0].rows[0].after, (RecordedValue{false, 4, "0"}));
}

}  // namespace
}  // namespace vantrel::app
