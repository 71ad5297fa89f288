#include "tools/app_commands.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/settings_file.h"
#include "runtime/ansi_text.h"
#include "runtime/message_dialog.h"
#include "runtime/queue.h"
#include "runtime/registry.h"
#include "tools/commands.h"
#include "tools/item_rows.h"
#include "tools/known_commands.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

constexpr int kExitDiffers = 3;

int gErrorsShown = 0;
std::string gSettingsFile;  // what the errors concern

// Without a window the program's messages go to the terminal: notices on stdout as the window
// would caption them, errors on stderr as every vantrelctl failure, one line naming the settings
// file ('|', the window's line break, becomes a blank). Nothing is asked: the command is the
// answer.
int PrintMessage(std::string_view text, std::string_view caption, std::string_view icon,
                 std::string_view, int, int) {
  const bool notice = icon == kIconAsterisk;
  std::string line;
  for (char c : text) {
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
  } else {
    ++gErrorsShown;
    Failure(gSettingsFile, line);
  }
  return kButtonOk;
}

// Keeps the settings file as it is now beside it as FILE.bak before a save replaces it: the
// comments that explain the items, and the saved values written by the first save, are not
// written again. False (and said why) when the copy could not be made; a missing file needs none.
bool KeepPreviousFile(const std::string& file) {
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return true;
  const std::string backup = file + ".bak";
  std::filesystem::copy_file(file, backup, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (!error) return true;
  Failure(file, "cannot keep the previous file as " + backup + " (" + error.message() +
                    "), so nothing was saved");
  return false;
}

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

bool Differs(const app::DisplayRecord& r) { return r.KEYNAME_STYLE != app::kStyleAsDisabled; }

void PrintRow(const app::DisplayRecord& r) {
  std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", Differs(r) ? "*" : "-",
              EscapeBytes(r.KEYNAME.Trimmed()).c_str(), EscapeBytes(r.VALUENAME.Trimmed()).c_str(),
              EscapeBytes(r.CURRENTVALUE.Trimmed()).c_str(),
              EscapeBytes(r.SAVEDVALUE.Trimmed()).c_str(),
              EscapeBytes(r.DISABLEVALUE.Trimmed()).c_str(),
              EscapeBytes(r.ENABLEVALUE.Trimmed()).c_str());
}

void PrintRows(app::MainData& data, bool json) {
  if (json) {
    std::printf("[");
    bool first = true;
    ForEachRow(data, [&](const app::DisplayRecord& r) {
      std::printf("%s\n  {\"keyName\": %s, \"valueName\": %s, \"current\": %s, \"saved\": %s, "
                  "\"disable\": %s, \"enable\": %s, \"differs\": %s}",
                  first ? "" : ",", JsonString(r.KEYNAME.Trimmed()).c_str(),
                  JsonString(r.VALUENAME.Trimmed()).c_str(),
                  JsonString(r.CURRENTVALUE.Trimmed()).c_str(),
                  JsonString(r.SAVEDVALUE.Trimmed()).c_str(),
                  JsonString(r.DISABLEVALUE.Trimmed()).c_str(),
                  JsonString(r.ENABLEVALUE.Trimmed()).c_str(), Differs(r) ? "true" : "false");
      first = false;
    });
    std::printf("%s]\n", first ? "" : "\n");
    return;
  }
  ForEachRow(data, PrintRow);
}

void PrintPlan(app::MainData& data, int mode) {
  ForEachRow(data, [&](const app::DisplayRecord& r) {
    const app::ApplyStep step = app::PlanCurrentRow(data, mode);
    const std::string where =
        EscapeBytes(r.KEYNAME.Trimmed()) + "\t" + EscapeBytes(r.VALUENAME.Trimmed());
    switch (step.kind) {
      case app::ApplyStep::kWrite:
        std::printf("write\t%s\t%s\n", where.c_str(), EscapeBytes(step.value).c_str());
        break;
      case app::ApplyStep::kDelete:
        std::printf("delete\t%s\n", where.c_str());
        break;
      case app::ApplyStep::kRefuse:
        std::printf("refuse\t%s\t%s\n", where.c_str(), step.refusal.c_str());
        break;
    }
  });
}

int ModeOf(std::string_view command) {
  if (command == "disable") return app::kApplyDisable;
  if (command == "enable") return app::kApplyEnable;
  if (command == "restore") return app::kApplySaved;
  return 0;
}

}  // namespace

const char kAppCommandsUsage[] =
    "  list [--json]  load the settings file, read every item's current value and print one\n"
    "               row per item: a mark (* when the current value differs from the disable\n"
    "               value, - when it equals it), key, value name, current, saved, disable\n"
    "               and enable value, tab-separated, escaped as below\n"
    "  explain      print every item with what its value does, Windows' default, what must\n"
    "               restart for a change to take effect and the first Windows that honours it\n"
    "  check        print the rows whose current value differs from the disable value; exit 0\n"
    "               when there are none, 3 otherwise. Warns when the disable values would\n"
    "               switch SMB 2 off on Windows 10 / Server 2016 or later\n"
    "  disable | enable | restore [--dry-run]\n"
    "               write every item's disable, enable or saved value to the registry as a\n"
    "               REG_DWORD (\"N/A\" deletes the value), then print the rows and one line\n"
    "               per service to restart (none when nothing changed); --dry-run only prints\n"
    "               what would be written or deleted and restarted. Nothing is written when\n"
    "               the registry cannot be written (a wineserver holds the prefix)\n"
    "  save         save the current values into the settings file as the saved values,\n"
    "               keeping the previous file as FILE.bak; a file that did not load\n"
    "               completely, or an empty list, is never saved\n"
    "               These take --settings FILE (default: Vantrel.xml in the current folder),\n"
    "               before or after the command; a file that may only be read can be\n"
    "               listed, checked and applied. Errors go to stderr and give exit status 1.\n";

bool LoadSettingsForCommand(app::MainData& data) {
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
  bool json = false;
  bool dryRun = false;
  app::MainData data;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--settings" && i + 1 < args.size()) {
      data.settingsFile = std::string(args[++i]);
    } else if (args[i] == "--json" && command == "list") {
      json = true;
    } else if (args[i] == "--dry-run" && mode != 0) {
      dryRun = true;
    } else {
      return UsageError(std::string(command) + ": unexpected argument '" + std::string(args[i]) +
                        "'");
    }
  }

  // A named prefix that does not exist reads as an empty registry: list, check and save would
  // present that as this machine's values.
  if (const std::string problem = RegistryLocationProblem(); !problem.empty()) {
    std::fprintf(stderr, "vantrelctl: %.*s: %s\n", static_cast<int>(command.size()),
                 command.data(), problem.c_str());
    return 1;
  }
  SetMessageHook(&PrintMessage);
  gErrorsShown = 0;
  gSettingsFile = data.settingsFile;
  int status = 0;
  app::LoadSettingsFile(data);
  if (mode != 0) {
    if (mode == app::kApplyDisable) WarnWhereSmb2GoesOff(data, mode);
    if (!data.readProblem.empty()) {
      // The load has said (once) why the registry cannot be read: writing into it would fail
      // item by item, and a dry run's plan would rest on values nobody read. Nothing is written.
    } else if (dryRun) {
      PrintPlan(data, mode);
      PrintPlannedRestarts(data, mode);
    } else if (const std::string problem = RegistryWriteProblem(); !problem.empty()) {
      // Said once, before anything is written, rather than once per item.
      std::fprintf(stderr, "vantrelctl: %.*s: %s; nothing was written\n",
                   static_cast<int>(command.size()), command.data(), problem.c_str());
      ++gErrorsShown;
    } else {
      const std::vector<std::string> before = CurrentValues(data);
      app::ApplyValues(data, mode);
      PrintRows(data, false);
      PrintRestartsAfter(data, before);
    }
  } else if (command == "save" && !data.readProblem.empty()) {
    // Said once by the load: the values could not be read, so there is nothing true to save.
  } else if (command == "save") {
    // A refused save changes nothing, so it needs no copy; it says why itself.
    if (!app::SaveRefusal(data).empty() || KeepPreviousFile(data.settingsFile)) {
      app::SaveSettingsFile(data);
    } else {
      status = kExitFailed;
    }
  } else if (command == "explain") {
    PrintExplanation(data);
  } else if (command == "check") {
    ForEachRow(data, [&](const app::DisplayRecord& r) {
      if (!Differs(r)) return;
      PrintRow(r);
      status = kExitDiffers;
    });
    WarnWhereSmb2GoesOff(data, app::kApplyDisable);
  } else {
    PrintRows(data, json);
  }
  SetMessageHook(nullptr);
  return gErrorsShown ? 1 : status;
}

}  // namespace vantrel::tools
