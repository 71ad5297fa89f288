// Loading the settings file into the item tables, reading the registry's current values, and the
// four commands of the main window (apply the disable, enable or saved values; save the current
// values). They work on Main's tables and report every failure with a message and carry on.
#pragma once

#include <string>

#include "app/main_data.h"

namespace vantrel::app {

// Reads the settings file into XmlQueue, rebuilds DisplayQueue from it and refreshes the current
// values. Whatever goes wrong, the list ends up with exactly the items that could be loaded.
void LoadSettingsFile(MainData& data);

// Reads every item's registry value into DisplayQueue ("N/A" when missing) and sets the row
// styles: 1 when the current value equals the disable value, 2 otherwise.
void RefreshCurrentValues(MainData& data);

// What applying a mode does to one row: write the chosen value as a REG_DWORD, delete the value
// ("N/A"), or refuse (an "N/A" without a value name would delete the whole key).
struct ApplyStep {
  enum Kind { kWrite, kDelete, kRefuse } kind = kWrite;
  std::string value;  // the chosen value, trailing blanks removed
};
ApplyStep PlanApply(const DisplayRecord& row, int mode);

// Writes every item's saved (1), disable (2) or enable (3) value to the registry as a REG_DWORD,
// deleting the value for "N/A", then refreshes.
void ApplyValues(MainData& data, int mode);

// Writes the current values into the settings file as the saved values, replacing the file
// atomically, and loads it again.
void SaveSettingsFile(MainData& data);

}  // namespace vantrel::app
