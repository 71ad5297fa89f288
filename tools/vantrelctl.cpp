// vantrelctl: the command-line companion. It exposes the same libraries as the window, for scripts
// and for looking into a registry store or a settings file.
//
// Exit status: 0 success, 1 the operation failed (vantrelctl: <what>: <why> on stderr), 2 usage
// error.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/system/registry.h"
#include "tools/app_commands.h"
#include "tools/commands.h"
#include "tools/history_command.h"
#include "tools/known_commands.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0.0.0"
#endif

namespace {

using namespace vantrel::tools;

const char kUsage[] =
    "usage: vantrelctl <command> [arguments]\n"
    "\n"
    "Vantrel's command-line companion: see and set the registry values that control\n"
    "opportunistic locking and read caching of network file access.\n"
    "\n"
    "commands:\n"
    "%s"
    "%s"
    "  reg get KEYPATH [VALUENAME | --default] [--type]\n"
    "               print a value as text on one line (with --type: its type number, a tab,\n"
    "               then the text); without VALUENAME (or with --default) the key's default\n"
    "               value; KEYPATH starts with its root, e.g.\n"
    "               HKEY_LOCAL_MACHINE\\Software\\X (HKLM, HKCU, HKCR and HKU work too)\n"
    "  reg set KEYPATH VALUENAME|--default TEXT [--type N|REG_SZ|REG_DWORD|...]\n"
    "               write a value (default REG_SZ), or with --default the key's default\n"
    "               value, creating missing keys; the TEXT of a REG_DWORD or REG_QWORD is a\n"
    "               decimal number with an optional sign or a hexadecimal one with 0x,\n"
    "               within 32 or 64 bits\n"
    "  reg delete KEYPATH [VALUENAME | --default] [--recursive]\n"
    "               delete a value, the key's default value, or without either the key; a\n"
    "               key that holds sub-keys or values needs --recursive, and a root or a key\n"
    "               directly under one (also HKU\\<user>\\X and Software\\Classes\\X, which\n"
    "               are HKCU\\X and HKCR\\X) is never deleted\n"
    "  os           print the description of the operating system (on Linux the Windows\n"
    "               that the registry store records, or that it records none)\n"
    "  store        print the registry store's folder and where the choice came from;\n"
    "               exit 1 when it cannot be written (missing, or held by a wineserver)\n"
    "  xml dump FILE\n"
    "               parse FILE and print every node record: its path names joined by /,\n"
    "               a tab, its value\n"
    "  xml load FILE [NAME ...] [OPTION ...]\n"
    "               find the node named by the path (default RegistryItems RegistryItem)\n"
    "               and print the items below it as the program loads them: five fields,\n"
    "               tab-separated, escaped as below. Options:\n"
    "               --translate FIELD=NAME[/NAME...]  fill FIELD from the records whose path\n"
    "                 ends in these names (up to three ancestors, then the node's own name)\n"
    "               --fields A,B,...  load into these text fields instead of the five\n"
    "               --list FIELD=A,B,...  FIELD (of --fields or another list) holds a nested\n"
    "                 list: its repeated child elements named FIELD load as entries with the\n"
    "                 fields A,B,...; --deep-list loads them at any depth below each child.\n"
    "                 A list's entries follow their parent's line, led by '>' per level\n"
    "                 and a tab\n"
    "               --write OUT  write the loaded entries to OUT again (first NAME around\n"
    "                 them, last NAME for each entry)\n"
    "  xml write FILE\n"
    "               read items (five tab-separated fields a line, escaped as below) from\n"
    "               standard input and write FILE as the program saves its settings file\n"
    "  export --format reg|pol|gpp|ansible [--values disable|enable|saved|current]\n"
    "         [--group NAME] [--settings FILE] [-o FILE] [--force] [--no-restart]\n"
    "               write the items' values (default: the disable values) for deployment to\n"
    "               standard output or FILE: reg, a file 'regedit /s' imports; pol, a\n"
    "               Registry.pol for a GPO's Machine folder or 'LGPO.exe /m'; gpp, a Group\n"
    "               Policy Preferences Registry.xml; ansible, a playbook that applies them to\n"
    "               the inventory group NAME and restarts the services they need (handlers,\n"
    "               run only when a task changed something). reg and gpp say in comments\n"
    "               what must restart, pol in a note on stderr; --no-restart leaves that\n"
    "               and the handlers out. The machines it reaches are not known, so a value\n"
    "               that switches SMB 2 off or SMB 1 on is always refused (exit 1, nothing\n"
    "               written) unless --force is given; an item a form cannot carry is refused\n"
    "               the same way, named\n"
    "\n"
    "%s"
    "Text is single-byte (code page 1250). Bytes outside printable ASCII are written and\n"
    "accepted as \\xHH, a backslash as \\\\; so a\\x00b\\x00 is a multi-string of a and b.\n"
    "In a UTF-8 locale the letters typed in a KEYPATH, VALUENAME or TEXT are read as UTF-8\n"
    "and converted to the code page; one it has no form for is refused.\n"
    "The registry is the store in $VANTREL_REGISTRY, else $WINEPREFIX, else ~/.wine when\n"
    "it exists, else $XDG_DATA_HOME/vantrel/registry. A folder named by a variable must\n"
    "exist; only the last one is created on the first write.\n"
    "On Linux, keys under HKEY_LOCAL_MACHINE\\Software\\Samba\\smbconf\\SECTION are Samba's\n"
    "configuration: $VANTREL_SMB_CONF, else /etc/samba/smb.conf, each change checked with\n"
    "$VANTREL_TESTPARM (else /usr/bin/testparm) before it replaces the file.\n"
    "A VALUENAME may not be empty or blank, begin or end with a blank, hold a zero byte or\n"
    "exceed 16,383 characters; a KEYPATH below its root may not exceed 255 characters, and\n"
    "none of its names may begin or end with a blank (doubled backslashes count as one).\n"
    "Failures are reported on stderr as \"vantrelctl: WHAT: WHY\".\n"
    "\n"
    "options:\n"
    "  --help       show this text and exit; after a command, that command's help\n"
    "  --version    show the version and exit\n";

std::string FullUsage() {
  using vantrel::tools::kAppCommandsUsage;
  using vantrel::tools::kHistoryUsage;
  using vantrel::tools::kSettingsNote;
  const int size =
      std::snprintf(nullptr, 0, kUsage, kAppCommandsUsage, kHistoryUsage, kSettingsNote);
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), kUsage, kAppCommandsUsage, kHistoryUsage, kSettingsNote);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

// The names an entry of the command list starts with: "reg" for "  reg get KEYPATH ...", the
// three of "  disable | enable | restore [--dry-run]".
bool EntryNames(std::string_view line, std::string_view command) {
  std::string_view head = line.substr(2, line.find("  ", 2) - 2);
  bool expectName = true;
  while (!head.empty()) {
    const std::size_t blank = head.find(' ');
    const std::string_view word = head.substr(0, blank);
    if (expectName && word == command) return true;
    if (!expectName && word != "|") return false;
    expectName = !expectName;
    head.remove_prefix(blank == std::string_view::npos ? head.size() : blank + 1);
  }
  return false;
}

// The help of one command: the usage line, the entries of the command list that describe it
// and the notes after the list. Every command has entries, so every one answers --help.
std::string CommandHelp(std::string_view command) {
  const std::string usage = FullUsage();
  std::string entries;
  std::string notes;
  bool inCommands = false;
  bool inEntry = false;
  for (std::size_t at = 0; at < usage.size();) {
    const std::size_t end = usage.find('\n', at);
    const std::string_view line(usage.data() + at,
                                (end == std::string::npos ? usage.size() : end) - at);
    at = end == std::string::npos ? usage.size() : end + 1;
    if (line == "commands:") {
      inCommands = true;
    } else if (inCommands && line.empty()) {
      inCommands = false;
    } else if (inCommands) {
      if (line.size() > 2 && line[2] != ' ') inEntry = EntryNames(line, command);
      if (inEntry) entries.append(line).append("\n");
    } else if (!entries.empty() || inCommands) {
      notes.append(line).append("\n");
    }
  }
  if (entries.empty()) return usage;
  return "usage: vantrelctl " + std::string(command) + " [arguments]\n\n" + entries + "\n" + notes;
}

// True when the arguments after the command ask for its help ("--" ends the options).
bool AsksForHelp(const std::vector<std::string_view>& args) {
  for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "--help" || args[i] == "-h") return true;
  }
  return false;
}

}  // namespace

namespace {

int RunCommand(std::string_view command, const std::vector<std::string_view>& args) {
  if (vantrel::tools::IsAppCommand(command)) return vantrel::tools::RunAppCommand(args);
  const Args rest(args.begin() + 1, args.end());
  if (command == "reg") return RegCommand(rest);
  if (command == "os") return OsCommand(rest);
  if (command == "store") return StoreCommand(rest);
  if (command == "xml") return XmlCommand(rest);
  if (command == "export") return ExportCommand(rest);
  if (command == "history") return HistoryCommand(rest);
  if (command == "undo") return UndoCommand(rest);
  return UsageError("unknown command '" + std::string(command) + "'");
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // A file size limit (ulimit -f) makes a write past it fail, which is reported and leaves the
  // file as it was; by default the signal it raises would end the program without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::vector<std::string_view> args(argv + 1, argv + argc);
  // "--settings FILE" may come before the command as well as after it.
  if (args.size() > 2 && args[0] == "--settings")
    std::rotate(args.begin(), args.begin() + 2, args.begin() + 3);
  if (args.empty()) return UsageError("no command given");
  const std::string_view command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(FullUsage().c_str(), stdout);
    return kExitOk;
  }
  if (command[0] != '-' && AsksForHelp(args)) {
    std::fputs(CommandHelp(command).c_str(), stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vantrelctl %s\n", VANTREL_VERSION);
    return kExitOk;
  }
  // Every failure is reported once, as "vantrelctl: WHAT: WHY" with the registry's own words for
  // it; the store's line of its own on stderr would say it a second time.
  vantrel::SetRegistryProblemsShown(false);
  const int status = RunCommand(command, args);
  // Registry values kept in files of their own (Samba's smb.conf) are replaced like every file
  // the command writes, and what that did to the file's other names is said the same way.
  vantrel::tools::SayRegistryReplacedLinks();
  return status;
}
