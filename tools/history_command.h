// vantrelctl history and undo: the journal of changes, listed, exported and put back.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tools/commands.h"

namespace vantrel::tools {

// "vantrelctl disable --settings X": the command line as the journal records it.
std::string JournalCommandLine(std::span<const std::string_view> args);

int HistoryCommand(const Args& args);  // history [--json] | history --export FILE --format reg [N]
int UndoCommand(const Args& args);     // undo [N] [--dry-run] [--force]

// The lines of --help that describe them.
extern const char kHistoryUsage[];

}  // namespace vantrel::tools
