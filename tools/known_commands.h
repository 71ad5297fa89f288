// What vantrelctl tells an administrator beyond the window's list: what each value means
// (explain) and does on this system, which service must restart after a change, and which
// registry store is in use (store).
#pragma once

#include <string>
#include <vector>

#include "app/known_values.h"
#include "app/main_data.h"
#include "tools/commands.h"

namespace vantrel::tools {

// Prints every row of the loaded settings file with what the value does, Windows' default, what
// must restart for a change to take effect and the first Windows that honours it; a row the
// table does not know says so.
void PrintExplanation(app::MainData& data);

// The current value of every row, in list order: taken before a command, so that the rows it
// changed can be told afterwards.
std::vector<std::string> CurrentValues(app::MainData& data);

// After a command: one line per service (or the reboot) that the rows whose current value
// changed since `before` need. Nothing when nothing changed.
void PrintRestartsAfter(app::MainData& data, const std::vector<std::string>& before);

// For a dry run: one "restart" plan line per service that applying `mode` would need.
void PrintPlannedRestarts(app::MainData& data, int mode);

// The effect of the row's disable value on the running system (app::EffectOn).
app::Effect DisableEffect(const app::DisplayRecord& row);

// vantrelctl store: the registry store in use and where the choice came from.
int StoreCommand(const Args& args);

}  // namespace vantrel::tools
