#include "app/known_values.h"

#include <algorithm>

#include "runtime/registry.h"
#include "runtime/text_case.h"

namespace vantrel::app {
namespace {

// The sources, named in the settings files' comments too:
//  [KB296264]  "Configuring opportunistic locking in Windows",
//              https://support.microsoft.com/en-us/help/296264/configuring-opportunistic-locking-in-windows
//  [SMBVER]    "How to detect, enable and disable SMBv1, SMBv2, and SMBv3 in Windows",
//              MicrosoftDocs/windowsserverdocs: WindowsServerDocs/storage/file-server/
//              Troubleshoot/detect-enable-and-disable-smbv1-v2-v3.md
//  [SLOWSMB]   "Slow SMB files transfer speed",
//              https://learn.microsoft.com/en-us/troubleshoot/windows-server/networking/slow-smb-file-transfer
//  [CACHES]    "SMB2 Client Redirector Caches Explained",
//              https://learn.microsoft.com/en-us/previous-versions/windows/it-pro/windows-7/ff686200(v=ws.10)
//  [GETSRV]    Get-SmbServerConfiguration, example output,
//              https://learn.microsoft.com/en-us/powershell/module/smbshare/get-smbserverconfiguration
//  [NTSRV]     "Server Service Entries" (Windows NT Resource Kit, KB Q102967), archived at
//              https://ftp.zx.net.nz/pub/archive/ftp.microsoft.com/MISC/KB/en-us/102/967.HTM
//  [NTWKS]     "Workstation Service Entries" (KB Q102981), archived at
//              https://helparchive.huntertur.net/viewer/document/50684
constexpr const char kMrxSmb[] = "SYSTEM\\CurrentControlSet\\Services\\MRXSmb\\Parameters";
constexpr const char kServer[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
constexpr const char kWorkstation[] =
    "SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation\\Parameters";

constexpr KnownValue kKnown[] = {
    {kMrxSmb, "OplocksDisabled",
     "1: the SMB 1 client asks for no oplocks on remote files. SMB 2 and 3 ignore it "
     "[KB296264].",
     "0 (the client asks for oplocks)", TakesEffect::kRestartWorkstation, "Windows 2000"},
    {kServer, "EnableOplocks",
     "0: the server grants no oplocks to SMB 1 clients. SMB 2 and 3 ignore it; their leases "
     "are DisableLeasing's [KB296264].",
     "1 (oplocks granted)", TakesEffect::kRestartServer, "Windows NT 3.1"},
    {kServer, "DisableLeasing",
     "1: the server grants no SMB 2 and 3 leases (the read, write and handle caching of "
     "current clients); oplocks stay available [SLOWSMB].",
     "0 (leases granted)", TakesEffect::kRestartServer, "Windows 8 / Server 2012"},
    {kServer, "EnableOpLockForceClose",
     "1: the server closes a file whose oplock break the client does not answer, instead of "
     "failing the second open [NTSRV].",
     "0 (the second open fails)", TakesEffect::kRestartServer, "Windows NT 3.1"},
    {kServer, "CachedOpenLimit",
     "How many files the server keeps open after their clients closed them, for reuse; 0 "
     "turns this caching off [GETSRV].",
     "10 on current Windows (5 on Windows NT)", TakesEffect::kRestartServer, "Windows NT 3.1"},
    {kServer, "Smb2",
     "0: the server speaks no SMB 2 or 3 at all, only SMB 1 (whose oplocks the values above "
     "control). Windows 10 1709 and later and Server 2019 and later do not install SMB 1: "
     "their shares would go dark [SMBVER].",
     "1 (SMB 2 and 3 on)", TakesEffect::kReboot, "Windows Vista / Server 2008", true},
    {kWorkstation, "UseOpportunisticLocking",
     "0: the Workstation service (the client) uses no oplocks [KB296264, NTWKS].",
     "1 (oplocks used)", TakesEffect::kRestartWorkstation, "Windows NT 3.1"},
    {kWorkstation, "UtilizeNtCaching",
     "0: the client's redirector bypasses the cache manager for remote files [NTWKS].",
     "1 (cached)", TakesEffect::kRestartWorkstation, "Windows NT 3.1"},
    {kWorkstation, "FileInfoCacheLifetime",
     "Seconds the SMB 2 and 3 client keeps a file's metadata; 0 turns the cache off "
     "[CACHES].",
     "10 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008"},
    {kWorkstation, "FileNotFoundCacheLifetime",
     "Seconds the SMB 2 and 3 client remembers that a file does not exist; 0 turns the cache "
     "off [CACHES].",
     "5 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008"},
    {kWorkstation, "DirectoryCacheLifetime",
     "Seconds the SMB 2 and 3 client keeps directory listings; 0 turns the cache off "
     "[CACHES].",
     "10 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008"},
};

// A key path as the registry resolves it: letter case and empty components (a doubled, leading
// or trailing backslash) make no difference.
bool SameKey(std::string_view a, std::string_view b) {
  auto next = [](std::string_view& path) {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    const std::size_t end = std::min(path.find('\\'), path.size());
    const std::string_view part = path.substr(0, end);
    path.remove_prefix(end);
    return part;
  };
  for (;;) {
    const std::string_view x = next(a), y = next(b);
    if (x.empty() || y.empty()) return x.empty() && y.empty();
    if (!EqualsIgnoreCase(x, y)) return false;
  }
}

}  // namespace

std::span<const KnownValue> KnownValues() { return kKnown; }

const KnownValue* FindKnownValue(std::string_view keyName, std::string_view valueName) {
  for (const KnownValue& v : kKnown) {
    if (EqualsIgnoreCase(v.valueName, valueName) && SameKey(v.keyName, keyName)) return &v;
  }
  return nullptr;
}

std::string_view TakesEffectLine(TakesEffect effect) {
  switch (effect) {
    case TakesEffect::kRestartServer:
      return "Restart the Server service for the change to take effect "
             "(net stop server /y && net start server), or restart the computer.";
    case TakesEffect::kRestartWorkstation:
      return "Restart the Workstation service for the change to take effect "
             "(net stop workstation /y && net start workstation), or restart the computer.";
    case TakesEffect::kReboot:
      break;
  }
  return "Restart the computer for the change to take effect.";
}

std::vector<TakesEffect> RestartsNeeded(std::span<const ValueName> changed) {
  bool needed[3] = {};
  for (const ValueName& v : changed) {
    const KnownValue* known = FindKnownValue(v.keyName, v.valueName);
    needed[static_cast<int>(known ? known->takesEffect : TakesEffect::kReboot)] = true;
  }
  std::vector<TakesEffect> out;
  for (TakesEffect e :
       {TakesEffect::kRestartServer, TakesEffect::kRestartWorkstation, TakesEffect::kReboot}) {
    if (needed[static_cast<int>(e)]) out.push_back(e);
  }
  return out;
}

bool TurnsSmb2Off(std::string_view keyName, std::string_view valueName, std::string_view value) {
  const KnownValue* known = FindKnownValue(keyName, valueName);
  // Any text that is written as the REG_DWORD 0 ("N/A" deletes the value: SMB 2 stays on).
  return known && known->switchesSmb2 && value != "N/A" && DwordFromText(value) == 0;
}

}  // namespace vantrel::app
