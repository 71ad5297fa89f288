#include "app/journal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/input_checks.h"
#include "app/known_values.h"
#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/fixed_text.h"
#include "runtime/system/local_time.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/system/safe_replace.h"

namespace vantrel::app {
namespace {

constexpr std::uint32_t kRegSz = registry_type::kSz;
constexpr std::uint32_t kRegDword = registry_type::kDword;

// Printable ASCII stays; a backslash is doubled, every other byte (tab and line end, which
// separate the fields, included) becomes \xHH.
std::string Escape(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      out += hex;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is never written, so it is no entry of ours
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b >= 0x7F) return std::nullopt;
    if (text[i] != '\\') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
               HexDigit(text[i + 3]) >= 0) {
      const int value = HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]);
      // Printable ASCII is never escaped (a backslash is doubled): another spelling of the same
      // text is not ours.
      if (value >= 0x20 && value < 0x7F) return std::nullopt;
      out += static_cast<char>(value);
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// 1 to 999999999 in plain decimal, nothing else.
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return std::nullopt;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n > max) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

std::string EncodeValue(const RecordedValue& value) {
  if (value.absent) return "-";
  return std::to_string(value.type) + ":" + Escape(value.data);
}

std::optional<RecordedValue> DecodeValue(std::string_view text) {
  RecordedValue value;
  if (text == "-") return value;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view type = text.substr(0, colon);
  // Types are numbers from 0 (REG_NONE) up; "0" is the one that starts with a zero.
  const auto number =
      type == "0" ? std::optional<std::uint32_t>(0) : ParseNumber(type, 0xFFFFFFFFu);
  auto data = Unescape(text.substr(colon + 1));
  if (!number || !data) return std::nullopt;
  // A number is kept in the one decimal spelling the registry layer reads back, within its type.
  if (IsNumberType(*number) && NumberText(*data, *number) != *data) return std::nullopt;
  value.absent = false;
  value.type = *number;
  value.data = std::move(*data);
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// A type as messages name it: REG_SZ, or "type 6" for a number without a name of its own.
std::string TypeWord(std::uint32_t type) {
  const std::string name = RegistryTypeName(type);
  return name == std::to_string(type) ? "type " + name : name;
}

// Why the last registry call failed, in the registry's own words where it has them.
std::string RegistryReason() {
  std::string reason = RegistryProblemText();
  if (reason.empty()) {
    reason = std::string(TrimTrailingBlanks(RuntimeErrorText())) + " (error " +
             std::to_string(RuntimeErrorCode()) + ")";
  }
  return reason;
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// Why a recorded key path or value name would reach another key or value than it names (the
// registry layer cuts long paths and drops trailing blanks), or empty. The journal only records
// names of items that were written, but it is read back from a registry anyone with the rights
// can edit.
std::string NameProblem(std::string_view keyName, std::string_view valueName) {
  std::string problem = KeyPathProblem(keyName);
  if (problem.empty()) problem = EdgeBlankProblem(keyName);
  if (problem.empty() && NormalKeyPath(keyName) != keyName) {
    problem = "the recorded key path has empty names";
  }
  if (problem.empty() && !valueName.empty()) problem = ValueNameProblem(valueName);
  if (problem.empty() && !valueName.empty() && valueName.back() == ' ') {
    problem = "the recorded value name ends in a blank, which the registry layer drops";
  }
  return problem;
}

}  // namespace

std::string JournalPlace() { return std::string("HKEY_LOCAL_MACHINE\\") + kJournalKeyPath; }

std::string JournalSlotName(std::uint32_t number) {
  return std::to_string((number - 1) % kJournalLimit + 1);
}

std::string EncodeJournalEntry(const JournalEntry& entry) {
  // Every line ends in a line end: the registry layer drops trailing blanks of a text it writes,
  // and an entry must read back as it was written.
  std::string text = std::to_string(entry.number) + "\t" + Escape(entry.time) + "\t" +
                     Escape(entry.command) + "\t" + Escape(entry.settingsFile) + "\n";
  for (const JournalRow& row : entry.rows) {
    text += Escape(row.keyName) + "\t" + Escape(row.valueName) + "\t" + EncodeValue(row.before) +
            "\t" + EncodeValue(row.after) + "\n";
  }
  return text;
}

std::optional<JournalEntry> DecodeJournalEntry(std::string_view text, std::string* why) {
  auto fail = [why](const char* reason) -> std::optional<JournalEntry> {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  if (text.empty() || text.back() != '\n') return fail("it does not end with a whole line");
  text.remove_suffix(1);
  const std::vector<std::string_view> lines = Split(text, '\n');
  const std::vector<std::string_view> head = Split(lines[0], '\t');
  if (head.size() != 4) return fail("its first line does not hold four fields");
  JournalEntry entry;
  const auto number = ParseNumber(head[0], kJournalNumberMax);
  auto time = Unescape(head[1]);
  auto command = Unescape(head[2]);
  auto settings = Unescape(head[3]);
  if (!number) return fail("it holds no change number");
  if (!time || !command || !settings) return fail("its first line holds characters it may not");
  entry.number = *number;
  entry.time = std::move(*time);
  entry.command = std::move(*command);
  entry.settingsFile = std::move(*settings);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string_view> fields = Split(lines[i], '\t');
    if (fields.size() != 4) return fail("a value's line does not hold four fields");
    auto key = Unescape(fields[0]);
    auto name = Unescape(fields[1]);
    auto before = DecodeValue(fields[2]);
    auto after = DecodeValue(fields[3]);
    if (!key || !name || !before || !after || key->empty()) {
      return fail("a value's line does not read as a key, a name and two values");
    }
    entry.rows.push_back(
        {std::move(*key), std::move(*name), std::move(*before), std::move(*after)});
  }
  return entry;
}

JournalContents ReadJournal() {
  JournalContents contents;
  std::uint32_t damaged = 0;
  for (std::uint32_t slot = 1; slot <= kJournalLimit; ++slot) {
    const std::string name = std::to_string(slot);
    std::uint32_t type = 0;
    const std::string text = RegistryGetValue(kHkeyLocalMachine, kJournalKeyPath, name, &type);
    const std::int32_t code = RuntimeErrorCode();
    if (code == error_code::kFileNotFound) continue;
    std::string problem;
    std::string why;
    std::optional<JournalEntry> entry;
    if (code != 0) {
      problem = "cannot be read: " + RegistryReason();
    } else if (type != kRegSz) {
      problem = "is no text (" + TypeWord(type) + ")";
    } else if (entry = DecodeJournalEntry(text, &why); !entry) {
      problem = "does not read as a change: " + why;
    } else if (JournalSlotName(entry->number) != name) {
      problem = "holds change " + std::to_string(entry->number) + ", which belongs in value " +
                JournalSlotName(entry->number);
    }
    if (!problem.empty()) {
      if (damaged++ == 0) {
        contents.damage = "the journal of changes " + JournalPlace() + " is damaged: its value \"" +
                          name + "\" " + problem;
      }
      continue;
    }
    contents.entries.push_back(std::move(*entry));
  }
  SetRegistryError(0);
  if (damaged > 1) {
    contents.damage += " (" + std::to_string(damaged) + " values are damaged)";
  }
  std::sort(contents.entries.begin(), contents.entries.end(),
            [](const JournalEntry& a, const JournalEntry& b) { return a.number < b.number; });
  return contents;
}

bool ReadRecordedValue(std::string_view keyName, std::string_view valueName, RecordedValue* value,
                       std::string* problem) {
  std::uint32_t type = 0;
  std::string data = RegistryGetValue(kHkeyLocalMachine, keyName, valueName, &type);
  const std::int32_t code = RuntimeErrorCode();
  *value = RecordedValue{};
  if (code == error_code::kFileNotFound) return true;
  if (code != 0) {
    *problem = RegistryReason();
    return false;
  }
  value->absent = false;
  value->type = type;
  value->data = std::move(data);
  return true;
}

namespace {

// Two commands recording at once would both read the same last change and write the same next
// slot, and one entry would be lost: the number is taken and its entry written under one lock,
// on Linux the lock of the store's folder, on Windows one named for the journal.
std::string JournalLockName() {
#ifdef _WIN32
  return "C:\\Vantrel\\Journal\\lock";
#else
  return RegistryLocation().folder + "/system.reg";
#endif
}

}  // namespace

std::string RecordChange(std::string_view command, std::string_view settingsFile,
                         const std::vector<JournalRow>& rows) {
  JournalEntry entry;
  for (const JournalRow& row : rows) {
    if (row.before != row.after) entry.rows.push_back(row);
  }
  if (entry.rows.empty()) return {};
  const std::string notRecorded = "; this change was not recorded, so it cannot be undone";
  const FolderLock oneRecorderAtATime(JournalLockName());
  JournalContents contents = ReadJournal();
  if (!contents.damage.empty()) {
    return Capitalised(contents.damage) + notRecorded +
           ", and the journal was left as it is for you to look at";
  }
  const std::uint32_t last = contents.entries.empty() ? 0 : contents.entries.back().number;
  if (last >= kJournalNumberMax) {
    return "The journal of changes " + JournalPlace() + " has reached change " +
           std::to_string(last) + notRecorded;
  }
  entry.number = last + 1;
  entry.time = FormatIso8601(CurrentLocalTime(), CurrentTimeZone());
  entry.command = command;
  entry.settingsFile = settingsFile;
  // One value written whole: the oldest change in the slot gives way in the same write.
  if (RegistryPutValue(kHkeyLocalMachine, kJournalKeyPath, JournalSlotName(entry.number),
                       EncodeJournalEntry(entry), kRegSz) != 0) {
    return "The journal of changes " + JournalPlace() + " cannot be written: " + RegistryReason() +
           notRecorded;
  }
  return {};
}

std::string SettingsFilePlace(std::string_view name) {
  if (name.empty()) return {};
  try {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(std::string(name), error);
    if (!error) return full.lexically_normal().string();
  } catch (...) {
    // A name the system cannot convert is recorded as given.
  }
  return std::string(name);
}

std::string RestoreProblem(const RecordedValue& value) {
  if (value.absent) return {};
  switch (value.type) {
    case 4:
    case 5:
    case 11: return {};  // numbers: read and written in decimal
    case 1:
    case 2:
    case 3:
    case 7: {
      // What the registry layer stores for the text: trailing blanks, then zero bytes, dropped;
      // a multi-string ends in two zero bytes again.
      std::string_view kept = TrimTrailingBlanks(value.data);
      while (!kept.empty() && kept.back() == '\0') kept.remove_suffix(1);
      std::string written(kept);
      if (value.type == 7) written.append(2, '\0');
      if (written == value.data) return {};
      return "its recorded " + TypeWord(value.type) +
             " data ends in a blank or a zero byte, which cannot be written back exactly";
    }
    default: return "its recorded type " + TypeWord(value.type) + " cannot be written back exactly";
  }
}

std::vector<UndoStep> PlanUndo(const JournalEntry& entry, bool smb1Guard) {
  std::vector<UndoStep> steps;
  for (const JournalRow& recorded : entry.rows) {
    UndoStep step;
    step.row.keyName = recorded.keyName;
    step.row.valueName = recorded.valueName;
    step.row.before = recorded.before;
    std::string problem = NameProblem(recorded.keyName, recorded.valueName);
    if (!problem.empty()) {
      step.kind = UndoStep::kRefuse;
      step.refusal = Capitalised(problem) + ", so it was left alone.";
    } else if (KeyAtOrBelow(recorded.keyName, kJournalKeyPath)) {
      // No change the commands make is there: a row naming it could only erase the record.
      step.kind = UndoStep::kRefuse;
      step.refusal =
          "It is in the journal of changes itself, which undo never writes, so it was "
          "left alone.";
    } else if (!ReadRecordedValue(recorded.keyName, recorded.valueName, &step.row.after,
                                  &problem)) {
      step.kind = UndoStep::kRefuse;
      step.refusal = "The value cannot be read now (" + problem + "), so it was left alone.";
    } else if (step.row.after == recorded.before) {
      step.kind = UndoStep::kSame;
    } else if (std::string why = RestoreProblem(recorded.before); !why.empty()) {
      step.kind = UndoStep::kRefuse;
      step.refusal = Capitalised(why) + ", so it was left alone.";
    } else if (recorded.before.absent) {
      step.kind = UndoStep::kDelete;
    } else if (smb1Guard && recorded.before.type == kRegDword) {
      if (std::string refusal =
              Smb1FallbackRefusal(recorded.keyName, recorded.valueName, recorded.before.data);
          !refusal.empty()) {
        step.kind = UndoStep::kRefuse;
        step.refusal = std::move(refusal) + " So it was not written.";
      }
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

UndoResult ApplyUndo(const std::vector<UndoStep>& steps, std::string_view command,
                     std::string_view settingsFile) {
  UndoResult result;
  if (std::string problem = RegistryWriteProblem(); !problem.empty()) {
    result.stopped = Capitalised(problem) + "; nothing was written";
    return result;
  }
  if (std::string problem = RegistryReadProblem(kHkeyLocalMachine); !problem.empty()) {
    result.stopped = Capitalised(problem) + "; nothing was written";
    return result;
  }
  std::vector<JournalRow> rows;
  for (const UndoStep& step : steps) {
    if (step.kind != UndoStep::kWrite && step.kind != UndoStep::kDelete) continue;
    // Recorded as this change sees it: the value now, then the value it writes back.
    rows.push_back({step.row.keyName, step.row.valueName, step.row.after, step.row.before});
  }
  result.journalProblem = RecordChange(command, settingsFile, rows);
  for (const UndoStep& step : steps) {
    const JournalRow& row = step.row;
    if (step.kind == UndoStep::kDelete) {
      if (row.valueName.empty()) {
        RegistryDeleteDefaultValue(kHkeyLocalMachine, row.keyName);
      } else {
        RegistryDelete(kHkeyLocalMachine, row.keyName, row.valueName);
      }
      const std::int32_t code = RuntimeErrorCode();
      if (code != 0 && code != error_code::kFileNotFound) {
        result.failures.push_back("Error deleting value from " + row.keyName + ", " +
                                  RegistryReason());
        continue;
      }
    } else if (step.kind == UndoStep::kWrite) {
      if (RegistryPutValue(kHkeyLocalMachine, row.keyName, row.valueName, row.before.data,
                           row.before.type) != 0) {
        result.failures.push_back("Error writing " + row.keyName + " to registry, " +
                                  RegistryReason());
        continue;
      }
    } else {
      continue;
    }
    result.changed.push_back(row);
  }
  SetRegistryError(0);
  return result;
}

}  // namespace vantrel::app
