// The journal of changes: before a command writes the registry, the values it is about to change
// are recorded as they are (type and data, or absent), with the time, the command and the
// settings file, so that an administrator can see every change and put the values back
// (`vantrelctl history`, `vantrelctl undo`).
//
// The journal lives in the registry it describes, under the product's own key
// HKEY_LOCAL_MACHINE\SOFTWARE\Vantrel\Journal, and is written through the same registry layer as
// the values: it belongs to the machine (not to a settings file, which can be replaced), survives
// restarts, and is the same on Windows, on the Linux store and under Wine. Each change is one
// REG_SZ value, so an entry is written whole or not at all. The values are named by slot, 1 to
// kJournalLimit; change n takes slot (n - 1) % kJournalLimit + 1, so recording one change past
// the limit replaces the oldest in the same single write.
//
// A journal that holds anything this module did not write (a value that is not text, text that
// does not read as an entry) is damaged: it is reported, never changed, and commands go on
// without recording.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::app {

// Under HKEY_LOCAL_MACHINE.
inline constexpr const char kJournalKeyPath[] = "SOFTWARE\\Vantrel\\Journal";
// The changes kept; recording one more drops the oldest.
inline constexpr std::uint32_t kJournalLimit = 50;
// Change numbers stay below this (nine digits); the journal is full when it reaches it.
inline constexpr std::uint32_t kJournalNumberMax = 999999999;

// A value as the registry held it or is to hold it.
struct RecordedValue {
  bool absent = true;
  std::uint32_t type = 0;
  std::string data;  // as RegistryGetValue reads it: numbers in decimal, strings up to their zero
  bool operator==(const RecordedValue&) const = default;
};

struct JournalRow {
  std::string keyName;  // under HKEY_LOCAL_MACHINE
  std::string valueName;
  RecordedValue before;
  RecordedValue after;
};

struct JournalEntry {
  std::uint32_t number = 0;
  std::string time;          // local time with its offset, 2026-12-11T08:10:00+01:00
  std::string command;       // "vantrelctl disable", "window: Disable Vantrel"
  std::string settingsFile;  // the settings file the values came from (full path), or ""
  std::vector<JournalRow> rows;
};

// The journal's place as regedit names it.
std::string JournalPlace();

// An entry as its registry value holds it: printable ASCII lines (tab-separated fields, other
// bytes as \xHH, a backslash as \\), so that no code page changes it. And the reverse, which
// takes nothing else: nothing when the text is not exactly such an entry, with why.
std::string EncodeJournalEntry(const JournalEntry& entry);
std::optional<JournalEntry> DecodeJournalEntry(std::string_view text, std::string* why = nullptr);

// The name of the journal value of change `number`.
std::string JournalSlotName(std::uint32_t number);

struct JournalContents {
  std::vector<JournalEntry> entries;  // oldest first
  std::string damage;                 // one line naming the place and what is wrong, or empty
};
// Every entry that reads whole; a damaged value is left out and named in `damage`.
JournalContents ReadJournal();

// The value as the registry holds it now. False when it cannot be read (another failure than a
// missing key or value), with the reason in `problem`.
bool ReadRecordedValue(std::string_view keyName, std::string_view valueName, RecordedValue* value,
                       std::string* problem);

// Records one change before it is made: the rows whose value it is about to change (rows whose
// before equals their after are left out; nothing is recorded when none is left). Returns empty,
// or the line to show when the change could not be recorded (the journal is damaged, full, or
// cannot be written); the journal is then left as it was and the change goes on.
std::string RecordChange(std::string_view command, std::string_view settingsFile,
                         const std::vector<JournalRow>& rows);

// The full path of a settings file named as the user named it, for the journal.
std::string SettingsFilePlace(std::string_view name);

// Empty when the registry layer can write `value` back exactly as it was read; otherwise why not
// (data that ends in a blank or a zero byte, a type whose data is not kept).
std::string RestoreProblem(const RecordedValue& value);

// What undoing one row of a change does: write or delete the value recorded before, leave it
// (it holds that already), or refuse it, saying why.
struct UndoStep {
  enum Kind { kWrite, kDelete, kSame, kRefuse } kind = kWrite;
  JournalRow row;  // row.after: the value now, as read for the plan
  std::string refusal;
};
// The steps for every row of `entry`, reading each value now; with `smb1Guard` a value that
// switches SMB 2 off or SMB 1 on is refused as by the other commands.
std::vector<UndoStep> PlanUndo(const JournalEntry& entry, bool smb1Guard);

struct UndoResult {
  std::vector<std::string> failures;  // one line per row that could not be written
  std::string journalProblem;         // from RecordChange
  std::vector<JournalRow> changed;    // rows written or deleted
  std::string stopped;                // why nothing was written at all, or empty
};
// Carries out a plan: records it as a change of its own (so that it can be undone too), then
// writes and deletes, going on after a failure.
UndoResult ApplyUndo(const std::vector<UndoStep>& steps, std::string_view command,
                     std::string_view settingsFile);

}  // namespace vantrel::app
