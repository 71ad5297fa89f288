// The registry values an export for deployment carries: one per item of the settings file, with
// the value one of the window's commands would write (or "N/A": the value is removed). The file
// writers (export_reg.h, export_ansible.h) turn them into what administrators' tools import.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/known_values.h"
#include "app/main_data.h"

namespace vantrel::app {

// Which of an item's values the export sets: what "Disable Vantrel", "Enable Vantrel" or
// "Restore saved" would write, or the value the registry holds now.
enum class ExportValues { kDisable, kEnable, kSaved, kCurrent };

// "disable", "enable", "saved", "current"; nothing for another word.
std::optional<ExportValues> ExportValuesNamed(std::string_view name);
std::string_view ExportValuesName(ExportValues values);

struct ExportItem {
  int position = 0;        // the item's place in the settings file, from 1
  std::string keyName;     // under HKEY_LOCAL_MACHINE, single-byte text, no trailing blanks
  std::string valueName;   // "" is the key's default value
  bool remove = false;     // "N/A": the value is to be absent
  std::uint32_t data = 0;  // otherwise the REG_DWORD, converted as the commands convert it
};

// An item as errors name it: item 3 (SYSTEM\...\Parameters, OplocksDisabled).
std::string DescribeExportItem(const ExportItem& item);

// What a writer gives back: the file's bytes, or why it cannot be written (error is not empty).
struct ExportResult {
  std::string bytes;
  std::string error;
};

// The items of DisplayQueue (loaded, current values read) in list order. Fails with an error
// naming the first item no registry can hold or no export may carry: a key path that is empty or
// has an empty part, a control character in a key or value name, "N/A" for an item without a
// value name (the commands refuse that, as it would delete the whole key), or a value that
// switches SMB 2 off or SMB 1 on: the machines an export reaches are not known, so that guard
// holds unless MainData::smb1Guard is Smb1Guard::kNever.
bool CollectExportItems(MainData& data, ExportValues values, std::vector<ExportItem>* items,
                        std::string* error);

// The value text the commands would write for the item: "N/A" or the number in decimal.
std::string ExportItemValueText(const ExportItem& item);

// What must restart before Windows uses the item's value (a value the table of known values does
// not know needs a reboot), and the distinct restarts of all items, in the order of TakesEffect.
TakesEffect ExportItemTakesEffect(const ExportItem& item);
std::vector<TakesEffect> ExportRestarts(const std::vector<ExportItem>& items);

}  // namespace vantrel::app
