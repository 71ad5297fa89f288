#include "app/known_values.h"

#include <algorithm>

#include "app/input_checks.h"
#include "runtime/system/registry.h"
#include "runtime/system/store/smb_conf.h"
#include "runtime/text/text_case.h"

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
// Samba's configuration as its registry keys present it (see Vantrel-samba.xml). [SMBCONF] is
// the smb.conf manual page of the samba package,
// https://www.samba.org/samba/docs/current/man-html/smb.conf.5.html
constexpr const char kSambaShare[] = "Software\\Samba\\smbconf\\*";
constexpr const char kSambaGlobal[] = "Software\\Samba\\smbconf\\global";

//  [NOSMB1]   "SMBv1 is not installed by default in Windows 10 version 1709, Windows Server
//              version 1709 and later versions", https://learn.microsoft.com/en-us/
//              windows-server/storage/file-server/troubleshoot/smbv1-not-installed-by-default-in-windows
//  [SETSHARE]  Set-SmbShare -LeasingMode (Full, Shared, None),
//              https://learn.microsoft.com/en-us/powershell/module/smbshare/set-smbshare
//  [AUDIT]     Set-SmbServerConfiguration -AuditSmb1Access: SMB 1 access is logged as event 3000
//              in Microsoft-Windows-SMBServer/Audit,
//              https://learn.microsoft.com/en-us/powershell/module/smbshare/set-smbserverconfiguration
constexpr KnownValue kKnown[] = {
    {kMrxSmb, "OplocksDisabled",
     "1: the SMB 1 client asks for no oplocks on remote files. SMB 2 and 3 ignore it "
     "[KB296264].",
     "0 (the client asks for oplocks)", TakesEffect::kRestartWorkstation, "Windows 2000",
     Reach::kSmb1Client, 5, 0},
    {kServer, "EnableOplocks",
     "0: the server grants no oplocks to SMB 1 clients. SMB 2 and 3 ignore it; their leases "
     "are DisableLeasing's [KB296264].",
     "1 (oplocks granted)", TakesEffect::kRestartServer, "Windows NT 3.1", Reach::kSmb1Server, 3,
     0},
    {kServer, "DisableLeasing",
     "1: the server grants no SMB 2 and 3 leases (the read, write and handle caching of "
     "current clients); oplocks stay available [SLOWSMB].",
     "0 (leases granted)", TakesEffect::kRestartServer, "Windows 8 / Server 2012",
     Reach::kSmb2Server, 6, 2},
    // Only the SMB 1 server reads it. Set, it trades a failed second open for the lost writes of
    // the client that did not answer, which is why the current settings file leaves it out.
    {kServer, "EnableOpLockForceClose",
     "1: the SMB 1 server closes a file whose oplock break the client does not answer, instead "
     "of failing the second open; the silent client's cached writes are lost [NTSRV].",
     "0 (the second open fails)", TakesEffect::kRestartServer, "Windows NT 3.1", Reach::kSmb1Server,
     3, 0, false,
     "it closes the file of a client whose oplock break goes unanswered, and that client's "
     "cached writes are lost with it"},
    {kServer, "CachedOpenLimit",
     "How many files the server keeps open after their clients closed them, for reuse; 0 "
     "turns this caching off [GETSRV].",
     "10 on current Windows (5 on Windows NT)", TakesEffect::kRestartServer, "Windows NT 3.1",
     Reach::kServer, 3, 0},
    {kServer, "Smb2",
     "0: the server speaks no SMB 2 or 3 at all, only SMB 1 (whose oplocks the values above "
     "control). Windows 10 1709 and later and Server 2019 and later do not install SMB 1: "
     "their shares would go dark [SMBVER].",
     "1 (SMB 2 and 3 on)", TakesEffect::kReboot, "Windows Vista / Server 2008", Reach::kSmb2Switch,
     6, 0},
    {kServer, "SMB1",
     "1: the server speaks SMB 1 again, the protocol Microsoft deprecated for its security flaws "
     "and no longer installs [SMBVER, NOSMB1].",
     "1 where SMB 1 is installed", TakesEffect::kReboot, "Windows Vista / Server 2008",
     Reach::kSmb1Switch, 6, 0},
    // NT-era client values: the Resource Kit documents them for Windows NT, and nothing from
    // Vista on; they live in the legacy settings file only.
    {kWorkstation, "UseOpportunisticLocking",
     "0: the Workstation service (the SMB 1 client) uses no oplocks [KB296264, NTWKS].",
     "1 (oplocks used)", TakesEffect::kRestartWorkstation, "Windows NT 3.1", Reach::kSmb1Client, 3,
     0, true},
    {kWorkstation, "UtilizeNtCaching",
     "0: the SMB 1 redirector bypasses the cache manager for remote files [NTWKS].", "1 (cached)",
     TakesEffect::kRestartWorkstation, "Windows NT 3.1", Reach::kSmb1Client, 3, 0, true},
    {kWorkstation, "FileInfoCacheLifetime",
     "Seconds the SMB 2 and 3 client keeps a file's metadata; 0 turns the cache off "
     "[CACHES].",
     "10 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008",
     Reach::kSmb2Client, 6, 0},
    {kWorkstation, "FileNotFoundCacheLifetime",
     "Seconds the SMB 2 and 3 client remembers that a file does not exist; 0 turns the cache "
     "off [CACHES].",
     "5 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008",
     Reach::kSmb2Client, 6, 0},
    {kWorkstation, "DirectoryCacheLifetime",
     "Seconds the SMB 2 and 3 client keeps directory listings; 0 turns the cache off "
     "[CACHES].",
     "10 seconds", TakesEffect::kRestartWorkstation, "Windows Vista / Server 2008",
     Reach::kSmb2Client, 6, 0},
    {kSambaShare, "oplocks",
     "0: smbd grants no oplocks (exclusive, batch or level II) on the share, and so no SMB 2 "
     "and 3 leases either, which need oplocks [SMBCONF]. In [global] it is every share's "
     "default.",
     "yes (oplocks granted)", TakesEffect::kReloadSamba, "every Samba in use (3.x, 4.x)",
     Reach::kSamba, 0, 0},
    {kSambaShare, "level2 oplocks",
     "0: smbd grants no level II (read-only) oplocks on the share; a second opener breaks the "
     "first one's oplock to none [SMBCONF].",
     "yes (level II oplocks granted)", TakesEffect::kReloadSamba, "every Samba in use (3.x, 4.x)",
     Reach::kSamba, 0, 0},
    {kSambaShare, "kernel oplocks",
     "1: smbd asks the Linux kernel for a lease on every oplocked file, so a local or NFS "
     "access breaks the oplock; it also rules out level II oplocks and SMB 2 leases [SMBCONF].",
     "no", TakesEffect::kRestartSmbd, "every Samba in use (3.x, 4.x)", Reach::kSamba, 0, 0},
    {kSambaGlobal, "smb2 leases",
     "0: smbd offers no SMB 2 and 3 leasing; oplocks stay as the share sets them [SMBCONF]. "
     "Negotiated when a client connects.",
     "yes since Samba 4.7 (leases granted)", TakesEffect::kRestartSmbd,
     "Samba 4.2 (off by default before 4.7)", Reach::kSamba, 0, 0},
};

// A key path as the registry resolves it: letter case and empty components (a doubled, leading
// or trailing backslash) make no difference, nor does the control set it goes through.
bool SameKey(std::string_view a, std::string_view b) {
  auto next = [](std::string_view& path) {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    const std::size_t end = std::min(path.find('\\'), path.size());
    const std::string_view part = path.substr(0, end);
    path.remove_prefix(end);
    return part;
  };
  // CurrentControlSet is a link to one of the numbered control sets (ControlSet001, ...): a
  // value reached through one is the same value, and must not slip past the guard under it.
  auto controlSet = [](std::string_view part) {
    if (EqualsIgnoreCase(part, "CurrentControlSet")) return true;
    if (part.size() != 13 || !EqualsIgnoreCase(part.substr(0, 10), "ControlSet")) return false;
    return std::all_of(part.begin() + 10, part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  for (;;) {
    const std::string_view x = next(a), y = next(b);
    if (x.empty() || y.empty()) return x.empty() && y.empty();
    if (!EqualsIgnoreCase(x, y) && !(controlSet(x) && controlSet(y))) return false;
  }
}

// A Samba key: the table's "...\\*" takes any section, "...\\global" [global] (or [globals]),
// section names compared as Samba compares them.
bool SambaKeyMatches(std::string_view pattern, std::string_view keyName) {
  const std::size_t cut = pattern.rfind('\\');
  const std::string_view section = pattern.substr(cut + 1);
  while (!keyName.empty() && keyName.back() == '\\') keyName.remove_suffix(1);
  const std::size_t at = keyName.rfind('\\');
  if (at == std::string_view::npos || !SameKey(pattern.substr(0, cut), keyName.substr(0, at)))
    return false;
  const std::string_view given = keyName.substr(at + 1);
  if (section == "*") return !given.empty();
  return store::SmbConf::SectionKey(section) == store::SmbConf::SectionKey(given);
}

}  // namespace

std::span<const KnownValue> KnownValues() { return kKnown; }

const KnownValue* FindKnownValue(std::string_view keyName, std::string_view valueName) {
  for (const KnownValue& v : kKnown) {
    if (v.reach == Reach::kSamba) {
      if (SambaKeyMatches(v.keyName, keyName) &&
          store::SmbConf::ParameterKey(v.valueName) == store::SmbConf::ParameterKey(valueName))
        return &v;
      continue;
    }
    if (EqualsIgnoreCase(v.valueName, valueName) && SameKey(v.keyName, keyName)) return &v;
  }
  return nullptr;
}

bool IsSambaKey(std::string_view keyName) {
  return KeyAtOrBelow(keyName, "Software\\Samba\\smbconf");
}

std::string_view TakesEffectLine(TakesEffect effect) {
  switch (effect) {
    case TakesEffect::kRestartServer:
      return "Restart the Server service for the change to take effect "
             "(net stop server /y && net start server), or restart the computer.";
    case TakesEffect::kRestartWorkstation:
      return "Restart the Workstation service for the change to take effect "
             "(net stop workstation /y && net start workstation), or restart the computer.";
    case TakesEffect::kReboot: break;
    case TakesEffect::kReloadSamba:
      return "Reload Samba's configuration for the change to take effect on new opens "
             "(smbcontrol smbd reload-config).";
    case TakesEffect::kRestartSmbd:
      return "Restart smbd for the change to take effect (systemctl restart smbd); clients "
             "connected before keep what they negotiated.";
  }
  return "Restart the computer for the change to take effect.";
}

std::vector<TakesEffect> RestartsNeeded(std::span<const ValueName> changed) {
  bool needed[5] = {};
  for (const ValueName& v : changed) {
    const KnownValue* known = FindKnownValue(v.keyName, v.valueName);
    needed[static_cast<int>(known ? known->takesEffect : TakesEffect::kReboot)] = true;
  }
  std::vector<TakesEffect> out;
  for (TakesEffect e :
       {TakesEffect::kRestartServer, TakesEffect::kRestartWorkstation, TakesEffect::kReboot,
        TakesEffect::kReloadSamba, TakesEffect::kRestartSmbd}) {
    if (needed[static_cast<int>(e)]) out.push_back(e);
  }
  return out;
}

bool TurnsSmb2Off(std::string_view keyName, std::string_view valueName, std::string_view value) {
  const KnownValue* known = FindKnownValue(keyName, valueName);
  // Any text that is written as the REG_DWORD 0 ("N/A" deletes the value: SMB 2 stays on).
  return known && known->reach == Reach::kSmb2Switch && value != "N/A" && DwordFromText(value) == 0;
}

bool TurnsSmb1On(std::string_view keyName, std::string_view valueName, std::string_view value) {
  const KnownValue* known = FindKnownValue(keyName, valueName);
  // Deleted, the value falls back to SMB 1 on where it is installed; Windows 10 and later no
  // longer install it, so only a written nonzero number switches it on there.
  return known && known->reach == Reach::kSmb1Switch && value != "N/A" && DwordFromText(value) != 0;
}

bool LacksSmb1Fallback(const OsVersionRecord& system) {
  return system.platform == 2 && system.major >= 10;
}

bool Smb1Installed(const OsVersionRecord& system) {
  if (system.platform != 2) return false;
  if (system.major < 10) return true;
  const bool server =
      system.productType == kProductServer || system.productType == kProductDomainController;
  return system.build < (server ? 17763u : 16299u);
}

std::string Smb1FallbackRefusal(std::string_view keyName, std::string_view valueName,
                                std::string_view value) {
  const std::string name(valueName);
  const std::string written = name + " = " + std::to_string(DwordFromText(value));
  if (TurnsSmb2Off(keyName, valueName, value)) {
    return written +
           " switches SMB 2 and 3 off, and Windows 10 / Server 2016 and later have no "
           "SMB 1 to fall back on (not installed from Windows 10 1709 and Server 2019 on): every "
           "share would go dark, and each client logs its failed connections in "
           "Microsoft-Windows-SMBClient/Connectivity.";
  }
  if (TurnsSmb1On(keyName, valueName, value)) {
    return written +
           " switches SMB 1 back on, the protocol Windows 10 / Server 2016 and later "
           "leave out for its security flaws; with SMB 1 auditing on (Set-SmbServerConfiguration "
           "-AuditSmb1Access $true) Windows logs every SMB 1 access as event 3000 in "
           "Microsoft-Windows-SMBServer/Audit.";
  }
  return {};
}

std::string_view EffectKindName(EffectKind kind) {
  switch (kind) {
    case EffectKind::kTakesEffect: return "takes effect";
    case EffectKind::kNoEffect: return "no effect here";
    case EffectKind::kDangerous: return "dangerous here";
    case EffectKind::kUnknown: break;
  }
  return "effect unknown";
}

Effect EffectOn(std::string_view keyName, std::string_view valueName, std::string_view value,
                const OsVersionRecord& system) {
  const KnownValue* known = FindKnownValue(keyName, valueName);
  if (known == nullptr) {
    return {EffectKind::kUnknown, "Vantrel's table of known values does not know it."};
  }
  if (known->reach == Reach::kSamba) {
    // smbd reads it whatever Windows the registry store belongs to.
    return {EffectKind::kTakesEffect, std::string(TakesEffectLine(known->takesEffect))};
  }
  if (system.platform != 2 || RecordsNoVersion(system)) {
    return {EffectKind::kUnknown,
            "The Windows version is not known, so neither is what the "
            "value does there."};
  }
  if (system.major < known->firstMajor ||
      (system.major == known->firstMajor && system.minor < known->firstMinor)) {
    return {EffectKind::kNoEffect, "Windows reads it from " + std::string(known->firstWindows) +
                                       " on; this Windows is older."};
  }
  const bool smb1Only = known->reach == Reach::kSmb1Server || known->reach == Reach::kSmb1Client;
  if (smb1Only && !Smb1Installed(system)) {
    std::string why =
        "Only SMB 1 reads it, and this Windows does not install SMB 1 (Windows 10 "
        "1709 and later, Server 2019 and later, unless it was added back); SMB 2 "
        "and 3 ignore it.";
    if (known->reach == Reach::kSmb1Server) {
      why +=
          " DisableLeasing is the switch that works, with a share's leasing mode from Server "
          "2022 on (Set-SmbShare -LeasingMode None) [SETSHARE].";
    }
    return {EffectKind::kNoEffect, why};
  }
  if (known->ntEraOnly && system.major >= 6) {
    return {EffectKind::kNoEffect,
            "An NT-era setting of the SMB 1 client: Microsoft documents it "
            "for no Windows from Vista on, and SMB 2 and 3 ignore it."};
  }
  if (const std::string refusal = Smb1FallbackRefusal(keyName, valueName, value);
      !refusal.empty() && LacksSmb1Fallback(system)) {
    return {EffectKind::kDangerous, refusal};
  }
  const bool nonzero = value != "N/A" && DwordFromText(value) != 0;
  if (nonzero && !known->nonzeroRisk.empty()) {
    std::string why(known->nonzeroRisk);
    why[0] = static_cast<char>(why[0] - 'a' + 'A');
    return {EffectKind::kDangerous, why + "."};
  }
  std::string why(TakesEffectLine(known->takesEffect));
  if (smb1Only) why += " Only SMB 1 connections are affected.";
  return {EffectKind::kTakesEffect, why};
}

}  // namespace vantrel::app
