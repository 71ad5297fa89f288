// vantrelctl: the command-line companion. It exposes the same libraries as the window, for scripts
// and for looking into a registry store or a settings file.
//
// Exit status: 0 success, 1 the operation failed (error <code>: <text> on stderr), 2 usage error.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/app_commands.h"
#include "tools/commands.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0.0.0"
#endif

namespace vantrel::tools {

int UsageError(std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fprintf(stderr, "Try 'vantrelctl --help' for more information.\n");
  return kExitUsage;
}

}  // namespace vantrel::tools

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
    "  reg get KEYPATH [VALUENAME] [--type]\n"
    "               print a value as text on one line (with --type: its type number, a tab,\n"
    "               then the text); KEYPATH starts with its root, e.g.\n"
    "               HKEY_LOCAL_MACHINE\\Software\\X (HKLM, HKCU, HKCR and HKU work too)\n"
    "  reg set KEYPATH VALUENAME TEXT [--type N|REG_SZ|REG_DWORD|...]\n"
    "               write a value (default REG_SZ), creating missing keys\n"
    "  reg delete KEYPATH [VALUENAME]\n"
    "               delete a value, or without VALUENAME the key and all its sub-keys\n"
    "  os           print the description of the operating system\n"
    "  xml dump FILE\n"
    "               parse FILE and print every node record: its path names joined by /,\n"
    "               a tab, its value\n"
    "  xml load FILE [NAME ...]\n"
    "               find the node named by the path (default RegistryItems RegistryItem)\n"
    "               and print the items below it as the program loads them: five fields,\n"
    "               tab-separated, escaped as below\n"
    "  xml write FILE\n"
    "               read items (five tab-separated fields a line, escaped as below) from\n"
    "               standard input and write FILE as the program saves its settings file\n"
    "\n"
    "Text is single-byte (code page 1250). Bytes outside printable ASCII are written and\n"
    "accepted as \\xHH, a backslash as \\\\; so a\\x00b\\x00 is a multi-string of a and b.\n"
    "The registry is the store in $VANTREL_REGISTRY, else $WINEPREFIX, else\n"
    "$XDG_DATA_HOME/vantrel/registry.\n"
    "\n"
    "options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  const std::string_view command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::printf(kUsage, vantrel::tools::kAppCommandsUsage);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vantrelctl %s\n", VANTREL_VERSION);
    return kExitOk;
  }
  if (vantrel::tools::IsAppCommand(command)) return vantrel::tools::RunAppCommand(args);
  const Args rest(args.begin() + 1, args.end());
  if (command == "reg") return RegCommand(rest);
  if (command == "os") return OsCommand(rest);
  if (command == "xml") return XmlCommand(rest);
  return UsageError("unknown command '" + std::string(command) + "'");
}
