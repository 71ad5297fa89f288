// vantrelctl's application commands: the main window's list and its four commands without the
// window, for scripts and for machines without a display.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "app/main_data.h"

namespace vantrel::tools {

// True when `command` is one of the application commands (list, check, disable, enable,
// restore, save).
bool IsAppCommand(std::string_view command);

// Runs one: args[0] is the command. Returns the process exit status (0 ok, 1 a message reported a
// failure, 2 usage error).
int RunAppCommand(std::span<const std::string_view> args);

// Loads the settings file and reads every item's current value as `list` does, the program's
// messages going to the terminal. False when any of them reported a failure.
bool LoadSettingsForCommand(app::MainData& data);

// Program text as a JSON string, every byte as the character it stands for in the code page.
std::string JsonString(std::string_view text);

// The lines of --help that describe these commands.
extern const char kAppCommandsUsage[];
// The note on which settings file they read, among the notes every command's help ends with.
extern const char kSettingsNote[];

}  // namespace vantrel::tools
