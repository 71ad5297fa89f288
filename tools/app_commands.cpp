#include "tools/app_commands.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "app/known_values.h"
#include "runtime/text/ansi_text.h"
#include "runtime/dialog/message_dialog.h"
#include "runtime/system/os_version.h"
#include "runtime/queue/queue.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/system/safe_replace.h"
#include "tools/binary_output.h"
#include "tools/commands.h"
#include "tools/history_command.h"
#include "tools/item_rows.h"
#include "tools/known_commands.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

// check's exit statuses beyond 0 (every item in its disable state) and 1 (failed).
constexpr int kExitDiffers = 3;    // drift: an item's current value differs from its disable value
constexpr int kExitDangerous = 4;  // a disable value switches SMB 2 off or SMB 1 on here

int gErrorsShown = 0;
std::string gSettingsFile;  // what the errors concern

// Without a window the program's messages go to the terminal: notices on stdout as the window
// would caption them, errors on stderr as every vantrelctl failure, one line naming the settings
// file ('|', the window's line break, becomes a blank). Nothing is asked: the command is the
// answer.
int PrintMessage(std::string_view text, std::string_view caption, std::string_view icon,
                 std::string_view, int, int) {
  const bool notice = icon == kIconAsterisk;
  // A warning (the journal of changes could not record a change) is said on stderr, but the
  // command did what it was asked: it does not make it fail.
  const bool warning = caption == "Warning";
  std::string line;
  for (char c : OneLine(text)) {
    if (notice) {
      line += c == '|' ? '\n' : c;
    } else if (c != '|' && c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (notice) {
    std::fprintf(stdout, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(),
                 line.c_str());
  } else if (warning) {
    std::fprintf(stderr, "vantrelctl: warning: %s\n", line.c_str());
  } else {
    ++gErrorsShown;
    Failure(gSettingsFile, line);
  }
  return kButtonOk;
}

}  // namespace

// JSON is Unicode: each byte of program text goes out as the character it stands for in the code
// page (0x80 is the euro sign in 1250), written as \uXXXX unless it is printable ASCII, so the
// output is plain ASCII whatever the terminal's encoding.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char16_t unit : AnsiToUtf16(text)) {
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit < 0x20 || unit >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
      out += buf;
    } else {
      out += static_cast<char>(unit);
    }
  }
  return out + "\"";
}

namespace {

bool Differs(const app::DisplayRecord& r) { return r.KEYNAME_STYLE != app::kStyleAsDisabled; }

// The type of the current row's value where it is not the REG_DWORD Windows reads, else "".
std::string WrongType(app::MainData& data) {
  const std::uint32_t type = app::CurrentType(data, QueuePointer(&data.displayQueue));
  const bool expected = type == registry_type::kNone || type == registry_type::kDword;
  return expected ? std::string() : RegistryTypeName(type);
}

// A row's current value as list and check print it: with its type when that is not REG_DWORD,
// which makes it differ from every number ("0 (REG_SZ)").
std::string CurrentText(app::MainData& data, const app::DisplayRecord& r, bool escaped = true) {
  std::string text = escaped ? EscapeBytes(r.CURRENTVALUE.Trimmed()) : r.CURRENTVALUE.Str();
  if (const std::string type = WrongType(data); !type.empty()) text += " (" + type + ")";
  return text;
}

// Whether the row's disable value is one the guard refuses on this system: it would switch
// SMB 2 off, or SMB 1 on, where SMB 1 is no fallback.
bool DangerousDisable(const app::DisplayRecord& r) {
  return app::LacksSmb1Fallback(SystemVersionRecord()) &&
         !app::Smb1FallbackRefusal(r.KEYNAME.Trimmed(), r.VALUENAME.Trimmed(),
                                   r.DISABLEVALUE.Trimmed())
              .empty();
}

void PrintRow(app::MainData& data, const app::DisplayRecord& r, const char* mark,
              const std::string& extra = {}) {
  std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s%s\n", mark, EscapeBytes(r.KEYNAME.Trimmed()).c_str(),
              EscapeBytes(r.VALUENAME.Trimmed()).c_str(), CurrentText(data, r).c_str(),
              EscapeBytes(r.SAVEDVALUE.Trimmed()).c_str(),
              EscapeBytes(r.DISABLEVALUE.Trimmed()).c_str(),
              EscapeBytes(r.ENABLEVALUE.Trimmed()).c_str(), extra.c_str());
}

// The JSON members every row has in list --json and check --json: names, values, whether it
// differs, the current value's type (null when missing) and the disable value's effect here. The
// members list --json always had come first, in their order.
std::string JsonRow(app::MainData& data, const app::DisplayRecord& r) {
  const std::uint32_t type = app::CurrentType(data, QueuePointer(&data.displayQueue));
  const app::Effect effect = DisableEffect(r);
  return "{\"keyName\": " + JsonString(r.KEYNAME.Trimmed()) +
         ", \"valueName\": " + JsonString(r.VALUENAME.Trimmed()) +
         ", \"current\": " + JsonString(r.CURRENTVALUE.Trimmed()) +
         ", \"saved\": " + JsonString(r.SAVEDVALUE.Trimmed()) +
         ", \"disable\": " + JsonString(r.DISABLEVALUE.Trimmed()) +
         ", \"enable\": " + JsonString(r.ENABLEVALUE.Trimmed()) +
         ", \"differs\": " + (Differs(r) ? "true" : "false") +
         ", \"currentType\": " + (type == 0 ? "null" : JsonString(RegistryTypeName(type))) +
         ", \"effect\": {\"kind\": " + JsonString(app::EffectKindName(effect.kind)) +
         ", \"why\": " + JsonString(effect.why) + "}" +
         (app::NameWasCut(data, QueuePointer(&data.displayQueue)) ? ", \"textCut\": true}" : "}");
}

void PrintJsonRows(app::MainData& data, const char* indent) {
  std::printf("[");
  bool first = true;
  ForEachRow(data, [&](const app::DisplayRecord& r) {
    std::printf("%s\n%s  %s", first ? "" : ",", indent, JsonRow(data, r).c_str());
    first = false;
  });
  std::printf("%s%s]", first ? "" : "\n", first ? "" : indent);
}

// How many characters a terminal shows for UTF-8 text (its lead bytes).
std::size_t ShownWidth(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A key path as Windows writes it, to paste into regedit or reg query: from its root, one
// backslash between names.
std::string WindowsKeyPath(std::string_view key) {
  std::string path = "HKEY_LOCAL_MACHINE";
  for (const char c : key) {
    if (c == '\\' && path.back() == '\\') continue;
    if (path.size() == 18 && c != '\\') path += '\\';
    path += c;
  }
  return path;
}

// list for people: a legend and a header, then the rows in aligned columns, names as Windows
// writes them and text as the terminal shows it.
void PrintTable(app::MainData& data) {
  std::vector<std::array<std::string, 7>> rows;
  rows.push_back({"", "Key", "Value name", "Current", "Saved", "Disable", "Enable"});
  ForEachRow(data, [&](const app::DisplayRecord& r) {
    rows.push_back({Differs(r) ? "*" : "", TerminalText(WindowsKeyPath(r.KEYNAME.Trimmed())),
                    TerminalText(r.VALUENAME.Trimmed()), TerminalText(CurrentText(data, r, false)),
                    TerminalText(r.SAVEDVALUE.Trimmed()), TerminalText(r.DISABLEVALUE.Trimmed()),
                    TerminalText(r.ENABLEVALUE.Trimmed())});
  });
  std::array<std::size_t, 7> widths{};
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c)
      widths[c] = std::max(widths[c], ShownWidth(row[c]));
  }
  std::printf("%s (* marks a current value that differs from the disable value)\n",
              TerminalText(data.settingsFile).c_str());
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - ShownWidth(row[c]) + (c == 0 ? 1 : 2), ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  }
}

enum class ListForm { kTable, kTsv, kJson };

void PrintRows(app::MainData& data, ListForm form) {
  switch (form) {
    case ListForm::kJson:
      PrintJsonRows(data, "");
      std::printf("\n");
      break;
    case ListForm::kTsv:
      ForEachRow(data,
                 [&](const app::DisplayRecord& r) { PrintRow(data, r, Differs(r) ? "*" : "-"); });
      break;
    case ListForm::kTable: PrintTable(data); break;
  }
}

// check: the rows that differ from their disable value (*) or whose disable value the guard
// refuses here (!), each with its effect; one line when every item holds its disable value.
// Returns the exit status: 0, kExitDiffers, kExitDangerous, or 1 when loading failed.
int Check(app::MainData& data, bool json, bool failed) {
  std::int32_t differing = 0, dangerous = 0, count = 0;
  std::string rows;
  ForEachRow(data, [&](const app::DisplayRecord& r) {
    ++count;
    const bool differs = Differs(r), harms = DangerousDisable(r);
    differing += differs;
    dangerous += harms;
    if (json || (!differs && !harms)) return;
    const app::Effect effect = DisableEffect(r);
    PrintRow(data, r, harms ? "!" : "*",
             "\t" + std::string(app::EffectKindName(effect.kind)) + ": " + effect.why);
  });
  const int status = failed      ? kExitFailed
                     : dangerous ? kExitDangerous
                     : differing ? kExitDiffers
                                 : kExitOk;
  const char* result = status == kExitFailed      ? "failed"
                       : status == kExitDangerous ? "dangerous"
                       : status == kExitDiffers   ? "drift"
                                                  : "disable state";
  if (json) {
    std::printf("{\"result\": \"%s\", \"exitStatus\": %d, \"system\": %s, \"rows\": ", result,
                status, JsonString(WindowsVersion()).c_str());
    PrintJsonRows(data, "");
    std::printf("}\n");
  } else if (status == kExitOk) {
    std::printf("All %d items hold their disable values.\n", static_cast<int>(count));
  }
  return status;
}

// Prints what applying the mode would do, row by row. True when it would refuse a row, so that a
// dry run exits as the real run would.
bool PrintPlan(app::MainData& data, int mode) {
  bool refuses = false;
  ForEachRow(data, [&](const app::DisplayRecord& r) {
    const app::ApplyStep step = app::PlanCurrentRow(data, mode);
    const std::string where =
        EscapeBytes(r.KEYNAME.Trimmed()) + "\t" + EscapeBytes(r.VALUENAME.Trimmed());
    switch (step.kind) {
      case app::ApplyStep::kWrite:
        std::printf("write\t%s\t%s\n", where.c_str(), EscapeBytes(step.value).c_str());
        break;
      case app::ApplyStep::kDelete: std::printf("delete\t%s\n", where.c_str()); break;
      case app::ApplyStep::kRefuse:
        std::printf("refuse\t%s\t%s\n", where.c_str(), step.refusal.c_str());
        refuses = true;
        break;
    }
  });
  return refuses;
}

int ModeOf(std::string_view command) {
  if (command == "disable") return app::kApplyDisable;
  if (command == "enable") return app::kApplyEnable;
  if (command == "restore") return app::kApplySaved;
  return 0;
}

}  // namespace

const char kAppCommandsUsage[] =
    "  list [--tsv | --json] [--settings FILE]\n"
    "               load the settings file (Vantrel.xml in the current folder unless\n"
    "               --settings names another), read every item's current value and print\n"
    "               a table: a line naming the file, a header, then one row per item, *\n"
    "               when its current value differs from the disable value, the key path as\n"
    "               Windows writes it (HKEY_LOCAL_MACHINE\\..., for regedit and reg query),\n"
    "               value name, current, saved, disable and enable value. A current value\n"
    "               that is not a REG_DWORD (the only type Windows reads here) differs from\n"
    "               every number and shows its type: 0 (REG_SZ). For scripts: --tsv prints\n"
    "               the rows alone, tab-separated, escaped as below, led by * or -, the key\n"
    "               below HKEY_LOCAL_MACHINE as the file holds it; --json adds per row\n"
    "               currentType and the disable value's effect on this system (kind, why)\n"
    "  explain [--settings FILE]\n"
    "               print every item with what its value does, Windows' default, what must\n"
    "               restart for a change to take effect, the first Windows that honours it\n"
    "               and what its disable value does on this system: takes effect (and what\n"
    "               must restart), no effect here (why) or dangerous here (why)\n"
    "  check [--json] [--settings FILE]\n"
    "               print the rows whose current value differs from the disable value (*)\n"
    "               or whose disable value is refused here (!), each with that value's\n"
    "               effect; when every item holds its disable value, one line says so.\n"
    "               Exit status: 0 every item in its disable state, 3 drift (an item\n"
    "               differs), 4 a disable value would switch SMB 2 off or SMB 1 on where\n"
    "               SMB 1 is no fallback (Windows 10 / Server 2016 and later), 1 failed\n"
    "               (the settings file or the registry could not be read). --json prints\n"
    "               {\"result\", \"exitStatus\", \"system\", \"rows\"}, result one of \"disable\n"
    "               state\", \"drift\", \"dangerous\", \"failed\", rows as in list --json\n"
    "  disable | enable | restore [--dry-run] [--force] [--settings FILE]\n"
    "               write every item's disable, enable or saved value to the registry as a\n"
    "               REG_DWORD (\"N/A\" deletes the value), then print the rows as list --tsv\n"
    "               and one line per service to restart for the change to take effect\n"
    "               (\"Restart the Server service for the change to take effect (net stop\n"
    "               server /y && net start server), or restart the computer.\", the same for\n"
    "               the Workstation service, or the computer; none when nothing changed);\n"
    "               --dry-run only prints what\n"
    "               would be written, deleted or refused and the restart lines, and exits 1\n"
    "               where the real run would refuse a row. Nothing is written when the\n"
    "               registry cannot be written (a wineserver holds the prefix). On\n"
    "               Windows 10 / Server 2016 and later a value that switches SMB 2 off\n"
    "               (Smb2 = 0) or SMB 1 on (SMB1 = 1) is refused, naming the reason, and the\n"
    "               others are written (exit 1); --force writes it anyway. Save first\n"
    "               (save) so that restore can bring back the values you had. Writing under\n"
    "               HKEY_LOCAL_MACHINE on Windows needs an elevated prompt (Run as\n"
    "               administrator): vantrelctl.exe does not ask for elevation itself\n"
    "  save [--settings FILE]\n"
    "               save the current values into the settings file as the saved values,\n"
    "               keeping the previous file as FILE.bak and the file's comments and\n"
    "               layout; a file whose text cannot take the values in place (an item\n"
    "               without a SavedValue element, markup, a comment or CDATA inside one,\n"
    "               a document type with declarations, UTF-16 text) is written whole\n"
    "               without its comments, and a notice on stderr says so; a file that\n"
    "               did not load completely, an empty list, or a value holding a control\n"
    "               character other than tab and line breaks is never saved\n";

const char kSettingsNote[] =
    "The settings file is Vantrel.xml in the current folder unless --settings FILE names\n"
    "another (before or after the command). The ones that ship with Vantrel are in\n"
    "/usr/share/vantrel/ (beside vantrel.exe on Windows): copy one into the folder you work\n"
    "in. A file that may only be read can be listed, checked and applied.\n";

// What the message about a missing settings file ends with on the command line.
constexpr const char kOtherSettingsHint[] = ", or name another with --settings FILE";

bool LoadSettingsForCommand(app::MainData& data) {
  data.otherFileHint = kOtherSettingsHint;
  SetMessageHook(&PrintMessage);
  gErrorsShown = 0;
  gSettingsFile = data.settingsFile;
  app::LoadSettingsFile(data);
  SetMessageHook(nullptr);
  return gErrorsShown == 0;
}

bool IsAppCommand(std::string_view command) {
  return command == "list" || command == "check" || command == "save" || command == "explain" ||
         ModeOf(command) != 0;
}

int RunAppCommand(std::span<const std::string_view> args) {
  const std::string_view command = args[0];
  const int mode = ModeOf(command);
  ListForm form = ListForm::kTable;
  bool dryRun = false;
  app::MainData data;
  data.journalCommand = JournalCommandLine(args);
  bool settingsGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--settings" && i + 1 < args.size()) {
      // Two would leave the command acting on the last one alone, whichever the user meant.
      if (settingsGiven) return UsageError(std::string(command) + ": --settings given twice");
      settingsGiven = true;
      data.settingsFile = std::string(args[++i]);
      if (std::string problem = FileNameProblem("--settings", data.settingsFile);
          !problem.empty()) {
        return UsageError(std::string(command) + ": " + problem);
      }
    } else if (args[i] == "--json" && (command == "list" || command == "check")) {
      form = ListForm::kJson;
    } else if (args[i] == "--tsv" && command == "list") {
      form = ListForm::kTsv;
    } else if (args[i] == "--dry-run" && mode != 0) {
      dryRun = true;
    } else if (args[i] == "--force" && mode != 0) {
      data.smb1Guard = app::Smb1Guard::kNever;
    } else {
      return UsageError(std::string(command) + ": unexpected argument '" + std::string(args[i]) +
                        "'");
    }
  }

  // A named prefix that does not exist reads as an empty registry: list, check and save would
  // present that as this machine's values.
  if (const std::string problem = RegistryLocationProblem(); !problem.empty()) {
    return Failure(command, problem);
  }
  SetMessageHook(&PrintMessage);
  gErrorsShown = 0;
  gSettingsFile = data.settingsFile;
  int status = 0;
  // A save reads the file and writes it back: two saves of one folder take turns on the lock
  // its writers share, each from its load to its last read.
  std::optional<FolderLock> saving;
  if (command == "save") saving.emplace(data.settingsFile);
  data.otherFileHint = kOtherSettingsHint;
  app::LoadSettingsFile(data);
  if (mode == 0 && command != "save") {
    // A cut key path names another key: its row shows, and check judges, that key's value. The
    // rows are still shown, but the command does not end as if they were true. (The commands
    // that write refuse such rows themselves.)
    for (const std::int32_t row : data.cutNameRows) {
      Failure(command, data.settingsFile + ": row " + std::to_string(row) +
                           "'s key path, value name or a value " + app::NameCutReason(data, row) +
                           "; the row is not what the file says");
      ++gErrorsShown;
    }
  }
  if (mode != 0) {
    if (!data.readProblem.empty()) {
      // The load has said (once) why the registry cannot be read: writing into it would fail
      // item by item, and a dry run's plan would rest on values nobody read. Nothing is written.
    } else if (dryRun) {
      if (PrintPlan(data, mode)) status = kExitFailed;
      PrintPlannedRestarts(data, mode);
    } else if (const std::string problem = RegistryWriteProblem(); !problem.empty()) {
      // Said once, before anything is written, rather than once per item.
      Failure(command, problem + "; nothing was written");
      ++gErrorsShown;
    } else {
      const std::vector<std::string> before = CurrentValues(data);
      app::ApplyValues(data, mode);
      PrintRows(data, ListForm::kTsv);
      PrintRestartsAfter(data, before);
    }
  } else if (command == "save" && !data.readProblem.empty()) {
    // Said once by the load: the values could not be read, so there is nothing true to save.
  } else if (command == "save") {
    // The previous file is kept as FILE.bak as the new one lands; a refused or failed save
    // leaves both as they were.
    data.keepBackup = true;
    app::SaveSettingsFile(data);
    SayReplacedLinks(data.settingsFile);
    if (!data.wholeFileSave.empty()) {
      // Saved, but not as the help promises: the user learns what was lost and where it is.
      const std::string file = OneLine(data.settingsFile);
      std::fprintf(stderr,
                   "vantrelctl: notice: %s was written whole, so its comments and layout were "
                   "not kept (%s); %s.bak holds the previous file.\n",
                   file.c_str(), data.wholeFileSave.c_str(), file.c_str());
    }
  } else if (command == "explain") {
    PrintExplanation(data);
  } else if (command == "check") {
    status = Check(data, form == ListForm::kJson, gErrorsShown != 0);
  } else {
    PrintRows(data, form);
  }
  SetMessageHook(nullptr);
  return gErrorsShown ? 1 : status;
}

}  // namespace vantrel::tools
