// The Registry.xml of an export: Group Policy Preferences' registry items, to copy into a GPO's
// Machine\Preferences\Registry folder or paste into the Group Policy editor. UTF-8 XML, declared
// so: a RegistrySettings root with its class identifier, one Registry item per value, its
// Properties with action "U" (update: set, creating what is missing) or "D" (delete),
// hive HKEY_LOCAL_MACHINE, the key, the name (default="1" for a key's default value), type
// REG_DWORD and the value as eight hexadecimal digits. Each item has a uid of its own and says
// in its comment (desc) what must restart before Windows uses it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/export_items.h"

namespace vantrel::app {

// The class identifiers the preference format fixes for the root and for a registry item.
inline constexpr char kGppRegistrySettingsClsid[] = "{A3CCFC41-DFDB-43a5-8D26-0FE8B954DA51}";
inline constexpr char kGppRegistryClsid[] = "{9CD4B2F4-923D-47f5-A062-E897DD1DAD50}";

// What makes one file's items new: the time written into every item's "changed"
// (YYYY-MM-DD hh:mm:ss, UTC) and the source of their uids ({8-4-4-4-12} hexadecimal digits).
struct GppStamp {
  std::string changed;
  std::function<std::string()> newUid;
};
// The present time and random (version 4) identifiers.
GppStamp GppStampNow();

// Single-byte text as the value of an XML attribute in double quotes: UTF-8, with & < > " '
// escaped and the C1 controls (code page 1250's unassigned bytes) as character references.
std::string GppAttributeText(std::string_view ansi);

// The whole file. `values` names the set in the file's comment; without `sayRestarts` neither
// that comment nor the items' desc say what must restart.
ExportResult WriteGppRegistryXml(const std::vector<ExportItem>& items, ExportValues values,
                                 const GppStamp& stamp, bool sayRestarts = true);

}  // namespace vantrel::app
