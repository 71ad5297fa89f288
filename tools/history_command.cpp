#include "tools/history_command.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/export_reg.h"
#include "app/journal.h"
#include "app/known_values.h"
#include "app/main_data.h"
#include "app/settings_file.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/system/safe_replace.h"
#include "tools/app_commands.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

// A key path or value name as Windows writes it, with one backslash; other bytes outside
// printable ASCII as everywhere in vantrelctl (\xHH).
std::string PathText(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string(1, c) : EscapeBytes(std::string_view(&c, 1));
  return out;
}

void Warn(const std::string& line) {
  std::fprintf(stderr, "vantrelctl: warning: %s\n", line.c_str());
}

// A recorded value as history prints it: "absent", a REG_DWORD as its number, any other type
// escaped with its type: "abc (REG_SZ)".
std::string ValueText(const app::RecordedValue& value) {
  if (value.absent) return "absent";
  if (value.type == registry_type::kDword) return value.data;
  return EscapeBytes(value.data) + " (" + RegistryTypeName(value.type) + ")";
}

std::string JsonValue(const app::RecordedValue& value) {
  if (value.absent) return "null";
  return "{\"type\": " + JsonString(RegistryTypeName(value.type)) +
         ", \"data\": " + JsonString(value.data) + "}";
}

void PrintEntry(const app::JournalEntry& entry) {
  std::printf("%u\t%s\t%s\t%s\n", static_cast<unsigned>(entry.number), entry.time.c_str(),
              PathText(entry.command).c_str(), PathText(entry.settingsFile).c_str());
  for (const app::JournalRow& row : entry.rows) {
    std::printf("\t%s\t%s\t%s -> %s\n", PathText(row.keyName).c_str(),
                PathText(row.valueName).c_str(), ValueText(row.before).c_str(),
                ValueText(row.after).c_str());
  }
}

void PrintJson(const app::JournalContents& contents) {
  std::printf("{\"journal\": %s, \"damage\": %s, \"changes\": [",
              JsonString(app::JournalPlace()).c_str(),
              contents.damage.empty() ? "null" : JsonString(contents.damage).c_str());
  bool firstEntry = true;
  for (const app::JournalEntry& entry : contents.entries) {
    std::printf(
        "%s\n  {\"number\": %u, \"time\": %s, \"command\": %s, \"settingsFile\": %s, "
        "\"values\": [",
        firstEntry ? "" : ",", static_cast<unsigned>(entry.number), JsonString(entry.time).c_str(),
        JsonString(entry.command).c_str(), JsonString(entry.settingsFile).c_str());
    firstEntry = false;
    bool firstRow = true;
    for (const app::JournalRow& row : entry.rows) {
      std::printf("%s\n    {\"keyName\": %s, \"valueName\": %s, \"before\": %s, \"after\": %s}",
                  firstRow ? "" : ",", JsonString(row.keyName).c_str(),
                  JsonString(row.valueName).c_str(), JsonValue(row.before).c_str(),
                  JsonValue(row.after).c_str());
      firstRow = false;
    }
    std::printf("%s]}", firstRow ? "" : "\n  ");
  }
  std::printf("%s]}\n", firstEntry ? "" : "\n");
}

std::optional<std::uint32_t> ChangeNumber(std::string_view text) {
  if (text.empty() || text.size() > 9 || text[0] == '0') return std::nullopt;
  std::uint32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return n;
}

// The journal as the commands see it: its damage said once on stderr (the command goes on with
// the entries that read whole), and the registry's place checked first, as for every command.
std::optional<app::JournalContents> LoadJournal(std::string_view command) {
  if (const std::string problem = RegistryLocationProblem(); !problem.empty()) {
    Failure(command, problem);
    return std::nullopt;
  }
  // A registry file that cannot be read is no empty journal.
  if (const std::string problem = RegistryReadProblem(kHkeyLocalMachine); !problem.empty()) {
    Failure(command, problem);
    return std::nullopt;
  }
  app::JournalContents contents = app::ReadJournal();
  if (!contents.damage.empty()) {
    Warn(contents.damage + "; it was left as it is, and the changes that read whole are used");
  }
  return contents;
}

// Change `number` (0: the last), or nothing after saying why.
const app::JournalEntry* FindChange(const app::JournalContents& contents, std::uint32_t number,
                                    std::string_view command) {
  if (contents.entries.empty()) {
    Failure(command, "the journal of changes " + app::JournalPlace() + " holds no changes");
    return nullptr;
  }
  if (number == 0) return &contents.entries.back();
  for (const app::JournalEntry& entry : contents.entries) {
    if (entry.number == number) return &entry;
  }
  Failure(command, "change " + std::to_string(number) +
                       " is not in the journal of changes (it "
                       "holds changes " +
                       std::to_string(contents.entries.front().number) + " to " +
                       std::to_string(contents.entries.back().number) + ")");
  return nullptr;
}

int ExportChange(const app::JournalEntry& entry, const std::string& file) {
  std::vector<app::RegFileValue> values;
  for (const app::JournalRow& row : entry.rows) {
    values.push_back(
        {row.keyName, row.valueName, row.before.absent, row.before.type, row.before.data});
  }
  const app::ExportResult result = app::WriteTypedRegFile(values);
  return WriteExportOutput(result.bytes, file);
}

void PrintRestarts(const std::vector<app::JournalRow>& rows, const char* prefix) {
  std::vector<app::ValueName> changed;
  for (const app::JournalRow& row : rows) changed.push_back({row.keyName, row.valueName});
  for (app::TakesEffect effect : app::RestartsNeeded(changed)) {
    const std::string_view line = app::TakesEffectLine(effect);
    std::printf("%s%.*s\n", prefix, static_cast<int>(line.size()), line.data());
  }
}

// One line per step, as disable --dry-run prints its plan: write, delete, unchanged or refuse.
void PrintStep(const app::UndoStep& step) {
  const std::string where = EscapeBytes(step.row.keyName) + "\t" + EscapeBytes(step.row.valueName);
  switch (step.kind) {
    case app::UndoStep::kWrite:
      std::printf("write\t%s\t%s\n", where.c_str(),
                  step.row.before.type == registry_type::kDword
                      ? step.row.before.data.c_str()
                      : ValueText(step.row.before).c_str());
      break;
    case app::UndoStep::kDelete: std::printf("delete\t%s\n", where.c_str()); break;
    case app::UndoStep::kSame:
      std::printf("unchanged\t%s\t%s\n", where.c_str(), ValueText(step.row.before).c_str());
      break;
    case app::UndoStep::kRefuse:
      std::printf("refuse\t%s\t%s\n", where.c_str(), step.refusal.c_str());
      break;
  }
}

}  // namespace

const char kHistoryUsage[] =
    "  history [--json]\n"
    "               list the changes the journal of changes holds, oldest first: for each\n"
    "               its number, time, command (vantrelctl's or the window's button) and\n"
    "               settings file on one line, then one line per value with its key, name\n"
    "               and value before -> after (\"absent\": the value did not exist).\n"
    "               Every disable, enable, restore and undo, from vantrelctl or the window,\n"
    "               records the values it is about to change before it writes, in\n"
    "               HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Journal; the newest 50 changes are\n"
    "               kept. A damaged journal is reported and left as it is; the commands go on\n"
    "  history --export FILE --format reg [N]\n"
    "               write the values recorded before change N (default: the last) as a .reg\n"
    "               file that regedit imports (\"name\"=- for a value that was absent)\n"
    "  undo [N] [--dry-run] [--force]\n"
    "               write the values recorded before change N (default: the last) back, with\n"
    "               their recorded types, and delete those that were absent; then print one\n"
    "               line per value (write, delete, unchanged or refuse) and one per service\n"
    "               to restart. The undo is recorded as a change of its own, so it can be\n"
    "               undone too. --dry-run and --force as for disable\n";

std::string JournalCommandLine(std::span<const std::string_view> args) {
  std::string line = "vantrelctl";
  for (std::string_view arg : args) {
    line += ' ';
    if (arg.empty() || arg.find_first_of(" \t\"") != std::string_view::npos) {
      line += '"';
      line += arg;
      line += '"';
    } else {
      line += arg;
    }
  }
  return line;
}

int HistoryCommand(const Args& args) {
  bool json = false;
  std::string exportFile;
  std::string_view format;
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--export" && i + 1 < args.size()) {
      exportFile = std::string(args[++i]);
      if (std::string problem = FileNameProblem("--export", exportFile); !problem.empty()) {
        return UsageError("history: " + problem);
      }
    } else if (args[i] == "--format" && i + 1 < args.size()) {
      format = args[++i];
    } else if (const auto n = ChangeNumber(args[i]); n && number == 0) {
      number = *n;
    } else {
      return UsageError("history: unexpected argument '" + std::string(args[i]) + "'");
    }
  }
  if (exportFile.empty() != format.empty()) {
    return UsageError("history: --export FILE and --format reg go together");
  }
  if (!format.empty() && format != "reg") {
    return UsageError("history: unknown format '" + std::string(format) + "' (reg is the one)");
  }
  if (exportFile.empty() && number != 0) {
    return UsageError("history: a change number goes with --export");
  }
  if (json && !exportFile.empty()) return UsageError("history: --json does not go with --export");
  const auto contents = LoadJournal("history");
  if (!contents) return kExitFailed;
  if (!exportFile.empty()) {
    const app::JournalEntry* entry = FindChange(*contents, number, "history");
    return entry == nullptr ? kExitFailed : ExportChange(*entry, exportFile);
  }
  if (json) {
    PrintJson(*contents);
  } else if (contents->entries.empty()) {
    std::printf("The journal of changes %s holds no changes.\n", app::JournalPlace().c_str());
  } else {
    for (const app::JournalEntry& entry : contents->entries) PrintEntry(entry);
  }
  return kExitOk;
}

int UndoCommand(const Args& args) {
  std::uint32_t number = 0;
  bool dryRun = false;
  app::MainData guard;
  for (std::string_view arg : args) {
    if (arg == "--dry-run") {
      dryRun = true;
    } else if (arg == "--force") {
      guard.smb1Guard = app::Smb1Guard::kNever;
    } else if (const auto n = ChangeNumber(arg); n && number == 0) {
      number = *n;
    } else {
      return UsageError("undo: unexpected argument '" + std::string(arg) + "'");
    }
  }
  const auto contents = LoadJournal("undo");
  if (!contents) return kExitFailed;
  const app::JournalEntry* entry = FindChange(*contents, number, "undo");
  if (entry == nullptr) return kExitFailed;
  const std::vector<app::UndoStep> steps = app::PlanUndo(*entry, app::Smb1GuardApplies(guard));
  bool refused = false;
  std::vector<app::JournalRow> changing;
  for (const app::UndoStep& step : steps) {
    refused |= step.kind == app::UndoStep::kRefuse;
    if (step.kind == app::UndoStep::kWrite || step.kind == app::UndoStep::kDelete) {
      changing.push_back(step.row);
    }
  }
  if (dryRun) {
    for (const app::UndoStep& step : steps) PrintStep(step);
    PrintRestarts(changing, "restart\t");
    return refused ? kExitFailed : kExitOk;
  }
  // Recorded with the change it undid, also when that was "the last".
  const std::string numberText = std::to_string(entry->number);
  const std::string_view line[] = {"undo", numberText};
  const app::UndoResult result =
      app::ApplyUndo(steps, JournalCommandLine(line), entry->settingsFile);
  if (!result.stopped.empty()) return Failure("undo", result.stopped);
  if (!result.journalProblem.empty()) Warn(result.journalProblem);
  for (const app::UndoStep& step : steps) {
    if (step.kind == app::UndoStep::kRefuse) {
      Failure(step.row.keyName, step.refusal);
    } else {
      PrintStep(step);
    }
  }
  for (const std::string& failure : result.failures) Failure("undo", failure);
  PrintRestarts(result.changed, "");
  return refused || !result.failures.empty() ? kExitFailed : kExitOk;
}

}  // namespace vantrel::tools
