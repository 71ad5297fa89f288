// The Registry.pol file of an export: what Group Policy's registry extension applies from a GPO's
// Machine folder, and what Microsoft's LGPO tool imports with /m. A binary file: the "PReg"
// signature and version 1, then one [key;value;type;size;data] entry per item, every character
// (brackets and semicolons too) a UTF-16LE unit, key and value name ending in a zero unit. A
// value is set as REG_DWORD (size 4, the number little-endian); "N/A" becomes the deletion entry
// the format defines, "**del." and the name, as a REG_SZ holding one blank.
#pragma once

#include <string>
#include <vector>

#include "app/export_items.h"

namespace vantrel::app {

// Why Registry.pol cannot carry the item as meant, or "" when it can. A key's default value (an
// empty name only creates the key there), a value name beginning with "**" (the prefix of the
// format's own instructions: "**DelVals." deletes every value of the key), a name holding '[',
// ']' or ';' (readers that look for the delimiters would split the entry there), or a value
// name longer than the format's 259 characters ("**del." included).
std::string PolItemProblem(const ExportItem& item);

// The whole file's bytes, or an error naming the first item it cannot carry.
ExportResult WritePolFile(const std::vector<ExportItem>& items);

}  // namespace vantrel::app
