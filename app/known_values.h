// What the registry values a settings file may name mean: one table, kept beside the
// application, that vantrelctl uses to explain a settings file, to say which service must restart
// after a command changed something, and to warn before a value set that would cut a server off
// from its clients. The window uses only the last: it refuses to write a value that would.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/system/os_version.h"

namespace vantrel::app {

// What has to happen before Windows uses a changed value. In the order the lines are printed.
enum class TakesEffect {
  kRestartServer,       // the Server service (LanmanServer) reads its parameters when it starts
  kRestartWorkstation,  // the Workstation service and its redirectors (LanmanWorkstation, MRxSmb)
  kReboot,              // only a restart of the computer
  kReloadSamba,         // smbd reads a share parameter again on "smbcontrol smbd reload-config"
  kRestartSmbd,         // smbd uses a global parameter for connections made after it restarts
};

// Which part of Windows reads a value, and so where it can do anything at all.
enum class Reach {
  kSmb1Server,  // the SMB 1 file server (srv): nothing where SMB 1 is not installed
  kSmb1Client,  // the SMB 1 redirector (mrxsmb10): likewise
  kServer,      // the file server, every dialect
  kSmb2Server,  // the SMB 2 and 3 file server
  kSmb2Client,  // the SMB 2 and 3 redirector
  kSmb2Switch,  // switches the server's SMB 2 and 3 on or off
  kSmb1Switch,  // switches the server's SMB 1 on or off
  kSamba,       // Samba's smbd (Linux): no Windows version decides what it does
};

struct KnownValue {
  // Under HKEY_LOCAL_MACHINE, as a settings file writes it. A Samba share parameter's key ends
  // in "\\*": it means the same in [global] and in any share's section.
  std::string_view keyName;
  std::string_view valueName;
  std::string_view meaning;         // what the value does, in a sentence or two
  std::string_view windowsDefault;  // what Windows does while the value is absent
  TakesEffect takesEffect;
  std::string_view firstWindows;  // the first Windows documented to honour it
  Reach reach;
  std::uint32_t firstMajor;  // firstWindows as a version: earlier Windows ignore the value
  std::uint32_t firstMinor;
  // An NT-era value that Microsoft documents for no Windows from Vista on: there it is taken to
  // do nothing.
  bool ntEraOnly = false;
  // Set when a nonzero value harms where it takes effect: what it does.
  std::string_view nonzeroRisk = {};
};

// Every value the table knows, in the order of the shipped settings files.
std::span<const KnownValue> KnownValues();

// The entry for a key and value name (letter case ignored, as the registry does), or nullptr.
const KnownValue* FindKnownValue(std::string_view keyName, std::string_view valueName);

// True when the key (under HKEY_LOCAL_MACHINE, as a settings file writes it) is one of Samba's:
// Software\Samba\smbconf or below, which the Linux build reads and writes in smb.conf.
bool IsSambaKey(std::string_view keyName);

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

// True when writing `value` to the item would switch SMB 1 on on the server.
bool TurnsSmb1On(std::string_view keyName, std::string_view valueName, std::string_view value);

// Whether the system is Windows 10 / Server 2016 or later: SMB 1 is optional there and not
// installed from 10 1709 and Server 2019 on, so a server without SMB 2 has no dialect its clients
// speak, and SMB 1 switched back on is the flaw Microsoft removed.
bool LacksSmb1Fallback(const OsVersionRecord& system);

// Whether SMB 1 is installed on the system by default: every NT before 10, Windows 10 before
// 1709 (build 16299) and Server 2016.
bool Smb1Installed(const OsVersionRecord& system);

// Why writing `value` to the item must be refused where SMB 1 is no fallback (it switches SMB 2
// off or SMB 1 on), with the event Windows will log; empty when it may be written.
std::string Smb1FallbackRefusal(std::string_view keyName, std::string_view valueName,
                                std::string_view value);

// What a value does on a system.
enum class EffectKind { kTakesEffect, kNoEffect, kDangerous, kUnknown };
struct Effect {
  EffectKind kind = EffectKind::kUnknown;
  std::string why;  // a sentence: what must restart, why nothing happens, or what goes wrong
};

// "takes effect", "no effect here", "dangerous here", "effect unknown".
std::string_view EffectKindName(EffectKind kind);

// The effect of writing `value` ("N/A": deleting the value) to the item on `system`.
Effect EffectOn(std::string_view keyName, std::string_view valueName, std::string_view value,
                const OsVersionRecord& system);

}  // namespace vantrel::app
