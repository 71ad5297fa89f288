// Loading the settings file into the item tables, reading the registry's current values, and the
// four commands of the main window (apply the disable, enable or saved values; save the current
// values). They work on Main's tables and report every failure with a message and carry on.
#pragma once

#include <string>
#include <string_view>

#include "app/main_data.h"

namespace vantrel::app {

// Reads the settings file into XmlQueue, rebuilds DisplayQueue from it and refreshes the current
// values. Whatever goes wrong, the list ends up with exactly the items that could be loaded, and
// MainData says whether that was the whole file and which items had a name cut. Each
// RegistryItem is one item, each field read from its own element: a file where that cannot be
// told (a field twice in one item, in any letter case; a field inside another field's element;
// an item inside an item) loads no item, and a message names the file and the item. The file is
// only read: one that may not be written can still be listed and applied.
void LoadSettingsFile(MainData& data);

// What the message about a settings file that is not there adds: the folder it was looked for in
// and where the settings files that ship with Vantrel are; `otherFileHint` ends the text (the
// command line names its --settings there). A name that is a link to nothing, or a folder that is
// not there (`folderMissing`), is said.
std::string MissingSettingsFileHint(const std::string& fileName,
                                    std::string_view otherFileHint = {},
                                    bool folderMissing = false);

// Reads every item's registry value into DisplayQueue ("N/A" when missing) and sets the row
// styles: 1 when the current value equals the disable value, 2 otherwise. A value that is there
// with another type than REG_DWORD differs from every number (Windows reads only REG_DWORD). A
// value that cannot be read for another reason (a registry file that cannot be read or parsed,
// access denied) is left blank, and one message names the first such key and the reason
// (MainData::readProblem).
void RefreshCurrentValues(MainData& data);

// What applying a mode does to one row: write the chosen value as a REG_DWORD, delete the value
// ("N/A"), or refuse: an "N/A" without a value name would delete the whole key, a key path or
// value name that loading cut or dropped a tab or line break from (`nameCut`) names another key
// or value, a value text that is not a
// number (ValueTextProblem) would write a number nobody chose, and with `smb1Guard` a value that
// switches SMB 2 off or SMB 1 on would leave the server's clients nothing safe to speak.
struct ApplyStep {
  enum Kind { kWrite, kDelete, kRefuse } kind = kWrite;
  std::string value;      // the chosen value, trailing blanks removed; kWrite: its unsigned decimal
  std::string refusal;    // kRefuse: why the item is left alone
  bool badValue = false;  // kRefuse because of the value text
};

// Empty when an item's value text may be applied: "N/A", a whole decimal number (optional sign)
// or a hexadecimal one with 0x that fits 32 bits, or a blank text (written as 0, as it always
// was). Otherwise why not, quoting the text.
std::string ValueTextProblem(std::string_view text);
ApplyStep PlanApply(const DisplayRecord& row, int mode, bool nameCut, bool smb1Guard = false);

// Whether the commands refuse what switches SMB 2 off or SMB 1 on (MainData::smb1Guard; by the
// system: where it is Windows 10 / Server 2016 or later).
bool Smb1GuardApplies(const MainData& data);

// The registry type of the current value at this DisplayQueue position (0: missing or unknown).
std::uint32_t CurrentType(const MainData& data, std::int32_t position);

// Whether the item at this DisplayQueue position had its key path, value name or a value cut on
// loading, or a tab or line break inside a name dropped (MainData::cutNameRows).
bool NameWasCut(const MainData& data, std::int32_t position);
// How its name came to be another one, for messages: "is longer than the list holds and was
// cut", or that it held a tab or line break that reading drops, or a character reference the code
// page cannot hold.
std::string NameCutReason(const MainData& data, std::int32_t position);

// The plan for DisplayQueue's current entry (the one last fetched), with what the load noted
// about its names.
ApplyStep PlanCurrentRow(MainData& data, int mode);

// Writes every item's saved (1), disable (2) or enable (3) value to the registry as a REG_DWORD,
// deleting the value for "N/A", then refreshes.
void ApplyValues(MainData& data, int mode);

// Why the list may not be saved over the settings file, or empty when it may: the file did not
// load completely (saving would lose the rest), or the list is empty (a file without items cannot
// be loaded again).
std::string SaveRefusal(MainData& data);

// Writes the current values into the settings file as the saved values, replacing the file
// atomically, and loads it again. When SaveRefusal gives a reason, or a text to be written holds
// a control character XML 1.0 has no form for (all but tab and line breaks), shows it, naming
// the item, and changes nothing. Only the SavedValue texts of the file's own text change where
// that reads back exactly; otherwise the file is written whole and MainData::wholeFileSave says
// why.
void SaveSettingsFile(MainData& data);

}  // namespace vantrel::app
