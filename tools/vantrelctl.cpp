// vantrelctl: the command-line companion. It exposes the same libraries as the window, for scripts
// and for looking into a registry store or a settings file.
//
// Exit status: 0 success, 1 the operation failed (error <code>: <text> on stderr), 2 usage error.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0.0.0"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: vantrelctl <command> [arguments]\n"
    "\n"
    "Vantrel's command-line companion: see and set the registry values that control\n"
    "opportunistic locking and read caching of network file access.\n"
    "\n"
    "options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n";

int UsageError(std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fprintf(stderr, "Try 'vantrelctl --help' for more information.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  const std::string_view command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vantrelctl %s\n", VANTREL_VERSION);
    return kExitOk;
  }
  return UsageError("unknown command '" + std::string(command) + "'");
}
