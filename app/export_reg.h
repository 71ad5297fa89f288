// The .reg file of an export: what "regedit /s FILE" imports on every machine it is given to
// (Group Policy, login scripts). The form regedit itself writes: UTF-16LE with a byte order
// mark, CR LF line ends, the "Windows Registry Editor Version 5.00" header, one [key] section
// per run of items under the same key, "Name"=dword:0000000a to set and "Name"=-  to remove.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/export_items.h"

namespace vantrel::app {

// A value name as a .reg line spells it: in quotes, with \ and " escaped by a backslash; the
// default value (empty name) is @. Single-byte text; the file writer converts it to UTF-16.
std::string RegValueName(std::string_view valueName);

// The whole file's bytes. With `sayRestarts`, comment lines (";") after the header say what must
// restart before Windows uses the values.
ExportResult WriteRegFile(const std::vector<ExportItem>& items, bool sayRestarts = false);

// A value of any type for a .reg file: to be removed, or its type and data as RegistryGetValue
// reads them (numbers in decimal, strings without their terminating zero).
struct RegFileValue {
  std::string keyName;  // under HKEY_LOCAL_MACHINE
  std::string valueName;
  bool remove = false;
  std::uint32_t type = 4;
  std::string data;
};

// The file for values of any type: dword:, a quoted string, or hex(N): with the bytes regedit
// stores (strings in UTF-16LE).
ExportResult WriteTypedRegFile(const std::vector<RegFileValue>& values);

}  // namespace vantrel::app
