// The data the main window procedure owns for one run: its two item tables, the work field that
// receives each registry value read, and the operating-system text of the Info tab.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/item_tables.h"
#include "runtime/text/fixed_text.h"

namespace vantrel::app {

// The settings file, opened by its bare name: it lives in the current folder.
inline constexpr const char kSettingsFileName[] = "Vantrel.xml";

// The list styles a row can take: 1 while the current value equals the disable value, 2 otherwise.
inline constexpr int kStyleAsDisabled = 1;
inline constexpr int kStyleDiffers = 2;

// ApplyValues modes.
enum ApplyMode : int {
  kApplySaved = 1,    // "Restore saved"
  kApplyDisable = 2,  // "Disable Vantrel"
  kApplyEnable = 3,   // "Enable Vantrel"
};

// When the commands refuse a value that switches SMB 2 off or SMB 1 on (Smb1FallbackRefusal):
// where the running system has no SMB 1 to fall back on, always (an export, whose target is not
// known), or never (vantrelctl --force).
enum class Smb1Guard { kBySystem, kAlways, kNever };

struct MainData {
  XmlQueue xmlQueue;
  DisplayQueue displayQueue;
  FixedText<20> work;  // each registry value read, cut to 20 characters
  FixedText<200> os;   // LOC:OS
  // The window always uses the bare name; vantrelctl may name another file.
  std::string settingsFile = kSettingsFileName;
  // Ends the message about a settings file that is not there: vantrelctl names its --settings.
  std::string otherFileHint;
  // Every save (the window's "Save current" and vantrelctl save) keeps the file it replaces as
  // FILE.bak: the one way back to the values it held.
  bool keepBackup = true;
  // Why the last load did not take in the whole settings file, or empty when it did. Saving over
  // such a file would lose what was not read, so it is refused.
  std::string incompleteLoad;
  // What the settings file was when it was loaded (runtime FileFingerprint): a save writes over
  // that file only, never over one another program put there since.
  std::string loadedFingerprint;
  // DisplayQueue positions (ascending) of the items whose texts as loaded are not the file's: a
  // key path, value name or value longer than its field and cut, or a tab or line break inside a
  // name dropped. They name another key or value or another number, so they are not applied.
  std::vector<std::int32_t> cutNameRows;
  // DisplayQueue positions (ascending) whose current value (a string) was longer than the list's
  // 20 characters and is shown cut: saved so, it would be another value.
  std::vector<std::int32_t> cutCurrentRows;
  // Of them, those whose name lost a tab or line break rather than being cut.
  std::vector<std::int32_t> droppedBreakRows;
  // Why the last save wrote the settings file whole, without its comments and layout (its
  // previous text is in FILE.bak), or empty when it changed only the saved values in the file's
  // own text or wrote nothing. vantrelctl says so; the window keeps its one message.
  std::string wholeFileSave;
  // The registry type of each row's current value (DisplayQueue position - 1), 0 when missing:
  // Windows reads these values only as REG_DWORD, so another type differs from every number.
  std::vector<std::uint32_t> currentTypes;
  Smb1Guard smb1Guard = Smb1Guard::kBySystem;
  // What the journal of changes records as the command behind ApplyValues' writes (vantrelctl's
  // command line); empty for the window, which is named by its button.
  std::string journalCommand;
  // Text of the Info tab beside the system line: the registry store and where it was chosen.
  FixedText<200> storeFolder;
  FixedText<200> storeSource;
  // Why the last refresh could not read the registry, naming the key, the file and the reason, or
  // empty when every value was read (a missing one reads as "N/A"). Values that could not be
  // read are unknown, not absent: saving or exporting them would record "N/A" for values that
  // exist, so both are refused.
  std::string readProblem;
};

}  // namespace vantrel::app
