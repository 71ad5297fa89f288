#include "tools/app_commands.h"

#include <cstdio>
#include <string>

#include "app/settings_file.h"
#include "runtime/message_dialog.h"
#include "runtime/queue.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

int gErrorsShown = 0;

// Without a window the program's messages go to the terminal: errors and questions on stderr,
// notices on stdout. '|' starts a new line in a message.
int PrintMessage(std::string_view text, std::string_view caption, std::string_view icon,
                 std::string_view, int, int) {
  std::string out;
  for (char c : text) out += c == '|' ? '\n' : c;
  const bool notice = icon == kIconAsterisk;
  if (!notice) ++gErrorsShown;
  std::FILE* stream = notice ? stdout : stderr;
  std::fprintf(stream, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(), out.c_str());
  return kButtonOk;
}

void PrintRows(app::MainData& data) {
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const app::DisplayRecord& r = data.displayQueue.buffer;
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%d\n", EscapeBytes(r.KEYNAME.Trimmed()).c_str(),
                EscapeBytes(r.VALUENAME.Trimmed()).c_str(),
                EscapeBytes(r.CURRENTVALUE.Trimmed()).c_str(),
                EscapeBytes(r.SAVEDVALUE.Trimmed()).c_str(),
                EscapeBytes(r.DISABLEVALUE.Trimmed()).c_str(),
                EscapeBytes(r.ENABLEVALUE.Trimmed()).c_str(), r.KEYNAME_STYLE);
  }
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "vantrelctl: %s\nTry 'vantrelctl --help' for more information.\n",
               message.c_str());
  return 2;
}

}  // namespace

const char kAppCommandsUsage[] =
    "  list                      load Vantrel.xml from the current folder, read every item's\n"
    "                            current value and print one row per item: key, value name,\n"
    "                            current, saved, disable, enable value and the row's style\n"
    "                            (1 = current equals disable, 2 = differs), tab-separated\n"
    "  apply disable|enable|restore\n"
    "                            write every item's disable, enable or saved value to the\n"
    "                            registry (\"N/A\" deletes the value), then print the rows\n"
    "  save                      save the current values into Vantrel.xml as the saved values\n";

bool IsAppCommand(std::string_view command) {
  return command == "list" || command == "apply" || command == "save";
}

int RunAppCommand(std::span<const std::string_view> args) {
  const std::string_view command = args[0];
  int mode = 0;
  if (command == "apply") {
    if (args.size() != 2) return Usage("apply takes one of: disable, enable, restore");
    if (args[1] == "disable") mode = app::kApplyDisable;
    else if (args[1] == "enable") mode = app::kApplyEnable;
    else if (args[1] == "restore") mode = app::kApplySaved;
    else return Usage("apply takes one of: disable, enable, restore, not '" + std::string(args[1]) + "'");
  } else if (args.size() != 1) {
    return Usage(std::string(command) + " takes no arguments");
  }

  SetMessageHook(&PrintMessage);
  gErrorsShown = 0;
  app::MainData data;
  app::LoadSettingsFile(data);
  if (command == "apply") app::ApplyValues(data, mode);
  if (command == "save") app::SaveSettingsFile(data);
  if (command != "save") PrintRows(data);
  SetMessageHook(nullptr);
  return gErrorsShown ? 1 : 0;
}

}  // namespace vantrel::tools
