// What the registry values a settings file may name mean: one table, kept beside the
// application, that vantrelctl uses to explain a settings file, to say which service must restart
// after a command changed something, and to warn before a value set that would cut a server off
// from its clients. The window does not use it; it shows the list as it always has.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::app {

// What has to happen before Windows uses a changed value. In the order the lines are printed.
enum class TakesEffect {
  kRestartServer,       // the Server service (LanmanServer) reads its parameters when it starts
  kRestartWorkstation,  // the Workstation service and its redirectors (LanmanWorkstation, MRxSmb)
  kReboot,              // only a restart of the computer
};

struct KnownValue {
  std::string_view keyName;    // under HKEY_LOCAL_MACHINE, as a settings file writes it
  std::string_view valueName;
  std::string_view meaning;    // what the value does, in a sentence or two
  std::string_view windowsDefault;  // what Windows does while the value is absent
  TakesEffect takesEffect;
  std::string_view firstWindows;    // the first Windows documented to honour it
  // Set for the one value whose disable setting switches SMB 2 and 3 off on the server: on
  // Windows 10 / Server 2016 and later SMB 1 is not installed, so nothing would remain.
  bool switchesSmb2 = false;
};

// Every value the table knows, in the order of the shipped settings files.
std::span<const KnownValue> KnownValues();

// The entry for a key and value name (letter case ignored, as the registry does), or nullptr.
const KnownValue* FindKnownValue(std::string_view keyName, std::string_view valueName);

// The line that tells an administrator what to do for `effect`.
std::string_view TakesEffectLine(TakesEffect effect);

// Each distinct service (or the reboot) that the changed values need, in the order of
// TakesEffect. A value the table does not know is taken to need a reboot: nothing smaller is
// known to be enough.
struct ValueName {
  std::string keyName;
  std::string valueName;
};
std::vector<TakesEffect> RestartsNeeded(std::span<const ValueName> changed);

// True when writing `value` to the item would switch SMB 2 and 3 off on the server.
bool TurnsSmb2Off(std::string_view keyName, std::string_view valueName, std::string_view value);

}  // namespace vantrel::app
