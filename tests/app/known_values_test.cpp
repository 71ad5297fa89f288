// The table of known values: lookups as the registry matches names, the restarts a set of changed
// values needs, which values switch SMB 2 off or SMB 1 on, and what each value does on each
// Windows.
#include "app/known_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::app {
namespace {

constexpr const char kServer[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
constexpr const char kWorkstation[] =
    "SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation\\Parameters";
constexpr const char kMrxSmb[] = "SYSTEM\\CurrentControlSet\\Services\\MRXSmb\\Parameters";

TEST(KnownValues, FoundAsTheRegistryMatchesNames) {
  const struct {
    const char* key;
    const char* value;
    bool known;
  } cases[] = {
      {kServer, "EnableOplocks", true},
      {"system\\currentcontrolset\\services\\LANMANSERVER\\parameters", "enableoplocks", true},
      {"\\SYSTEM\\\\CurrentControlSet\\Services\\LanmanServer\\Parameters\\", "EnableOplocks",
       true},
      {"SYSTEM\\ControlSet001\\Services\\LanmanServer\\Parameters", "EnableOplocks", true},
      {"SYSTEM\\controlset002\\Services\\LanmanServer\\Parameters", "EnableOplocks", true},
      {"SYSTEM\\ControlSet01\\Services\\LanmanServer\\Parameters", "EnableOplocks", false},
      {"SYSTEM\\ControlSetABC\\Services\\LanmanServer\\Parameters", "EnableOplocks", false},
      {kWorkstation, "EnableOplocks", false},  // the same name under the client's key is not it
      {"SYSTEM\\CurrentControlSet\\Services\\LanmanServer", "EnableOplocks", false},
      {"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters\\X", "EnableOplocks", false},
      {kServer, "EnableOplock", false},
      {kServer, "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindKnownValue(c.key, c.value) != nullptr, c.known) << c.key << " " << c.value;
  }
  for (const KnownValue& v : KnownValues()) {
    EXPECT_EQ(FindKnownValue(v.keyName, v.valueName), &v) << v.valueName;
    EXPECT_FALSE(v.meaning.empty() || v.windowsDefault.empty() || v.firstWindows.empty())
        << v.valueName;
  }
}

TEST(KnownValues, RestartsAreNamedOncePerServiceInOrder) {
  using E = TakesEffect;
  const struct {
    std::vector<ValueName> changed;
    std::vector<E> expected;
  } cases[] = {
      {{}, {}},
      {{{kWorkstation, "FileInfoCacheLifetime"},
        {kServer, "EnableOplocks"},
        {kServer, "DisableLeasing"},
        {kMrxSmb, "OplocksDisabled"}},
       {E::kRestartServer, E::kRestartWorkstation}},
      {{{kMrxSmb, "OplocksDisabled"}}, {E::kRestartWorkstation}},
      {{{kServer, "Smb2"}, {kServer, "CachedOpenLimit"}}, {E::kRestartServer, E::kReboot}},
      // Nothing smaller than a reboot is known to be enough for a value outside the table.
      {{{kServer, "SomethingElse"}}, {E::kReboot}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RestartsNeeded(c.changed), c.expected) << c.changed.size() << " changed";
  }
  EXPECT_NE(TakesEffectLine(E::kRestartServer).find("Server service"), std::string_view::npos);
  EXPECT_NE(TakesEffectLine(E::kRestartWorkstation).find("Workstation service"),
            std::string_view::npos);
  EXPECT_NE(TakesEffectLine(E::kReboot).find("computer"), std::string_view::npos);
}

TEST(KnownValues, OnlyWhatIsWrittenAsZeroToSmb2SwitchesItOff) {
  const struct {
    const char* key;
    const char* value;
    const char* text;
    bool off;
  } cases[] = {
      {kServer, "Smb2", "0", true},
      {kServer, "SMB2", "0", true},
      {kServer, "Smb2", "x", true},  // no digits: written as 0
      {kServer, "Smb2", "", true},
      {kServer, "Smb2", "-0", true},
      {kServer, "Smb2", "1", false},
      {kServer, "Smb2", "N/A", false},  // deleted: default on
      {kServer, "Smb2", "007", false},
      {kWorkstation, "Smb2", "0", false},
      {kServer, "DisableLeasing", "0", false},
      // The same value through a numbered control set, and 0 written in hexadecimal.
      {"SYSTEM\\ControlSet001\\Services\\LanmanServer\\Parameters", "Smb2", "0", true},
      {kServer, "Smb2", "0x0", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TurnsSmb2Off(c.key, c.value, c.text), c.off) << c.value << " = '" << c.text << "'";
  }
}

TEST(KnownValues, Smb1OnIsAnyNumberButZeroWrittenToSmb1) {
  EXPECT_TRUE(TurnsSmb1On(kServer, "SMB1", "1"));
  EXPECT_TRUE(TurnsSmb1On(kServer, "smb1", "7"));
  EXPECT_FALSE(TurnsSmb1On(kServer, "SMB1", "0"));
  EXPECT_FALSE(TurnsSmb1On(kServer, "SMB1", "N/A"));
  EXPECT_FALSE(TurnsSmb1On(kWorkstation, "SMB1", "1"));
  EXPECT_FALSE(TurnsSmb1On(kServer, "Smb2", "1"));
  // The refusal names the value, what it does and the event Windows logs.
  const std::string off = Smb1FallbackRefusal(kServer, "Smb2", "0");
  EXPECT_EQ(off.rfind("Smb2 = 0 switches SMB 2 and 3 off", 0), 0u) << off;
  EXPECT_NE(off.find("Microsoft-Windows-SMBClient/Connectivity"), std::string::npos) << off;
  const std::string on = Smb1FallbackRefusal(kServer, "SMB1", "1");
  EXPECT_NE(on.find("event 3000"), std::string::npos) << on;
  EXPECT_EQ(Smb1FallbackRefusal(kServer, "Smb2", "1"), "");
  EXPECT_EQ(Smb1FallbackRefusal(kServer, "EnableOplocks", "0"), "");
}

OsVersionRecord System(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                       std::uint8_t productType) {
  OsVersionRecord r;
  r.size = OsVersionRecord::kExtendedSize;
  r.platform = 2;
  r.major = major;
  r.minor = minor;
  r.build = build;
  r.productType = productType;
  return r;
}

// Every known value with the disable value a settings file gives it, on every Windows an
// administrator runs it on: T takes effect, N has no effect here, D dangerous here.
TEST(KnownValues, EffectOfEveryValueOnEverySystem) {
  const OsVersionRecord systems[] = {
      System(6, 1, 7601, kProductWorkstation),         // Windows 7
      System(6, 2, 9200, kProductWorkstation),         // Windows 8
      System(6, 3, 9600, kProductWorkstation),         // Windows 8.1
      System(10, 0, 14393, kProductWorkstation),       // Windows 10 1607: SMB 1 still installed
      System(10, 0, 19045, kProductWorkstation),       // Windows 10 22H2
      System(10, 0, 22631, kProductWorkstation),       // Windows 11
      System(6, 2, 9200, kProductServer),              // Server 2012
      System(6, 3, 9600, kProductServer),              // Server 2012 R2
      System(10, 0, 14393, kProductServer),            // Server 2016: SMB 1 still installed
      System(10, 0, 17763, kProductServer),            // Server 2019
      System(10, 0, 20348, kProductServer),            // Server 2022
      System(10, 0, 26100, kProductDomainController),  // Server 2025
  };
  const struct {
    const char* key;
    const char* value;
    const char* disable;
    const char* expected;  // one letter per system above
  } rows[] = {
      {kMrxSmb, "OplocksDisabled", "1", "TTTTNNTTTNNN"},
      {kServer, "EnableOplocks", "0", "TTTTNNTTTNNN"},
      {kServer, "DisableLeasing", "1", "NTTTTTTTTTTT"},
      {kServer, "EnableOpLockForceClose", "1", "DDDDNNDDDNNN"},
      {kServer, "EnableOpLockForceClose", "N/A", "TTTTNNTTTNNN"},
      {kServer, "CachedOpenLimit", "0", "TTTTTTTTTTTT"},
      {kServer, "Smb2", "0", "TTTDDDTTDDDD"},
      {kServer, "Smb2", "1", "TTTTTTTTTTTT"},
      {kServer, "SMB1", "1", "TTTDDDTTDDDD"},
      {kServer, "SMB1", "0", "TTTTTTTTTTTT"},
      {kWorkstation, "UseOpportunisticLocking", "0", "NNNNNNNNNNNN"},
      {kWorkstation, "UtilizeNtCaching", "0", "NNNNNNNNNNNN"},
      {kWorkstation, "FileInfoCacheLifetime", "0", "TTTTTTTTTTTT"},
      {kWorkstation, "FileNotFoundCacheLifetime", "0", "TTTTTTTTTTTT"},
      {kWorkstation, "DirectoryCacheLifetime", "0", "TTTTTTTTTTTT"},
  };
  for (const auto& row : rows) {
    std::string got;
    for (const OsVersionRecord& system : systems) {
      const Effect effect = EffectOn(row.key, row.value, row.disable, system);
      got += effect.kind == EffectKind::kTakesEffect ? 'T'
             : effect.kind == EffectKind::kNoEffect  ? 'N'
             : effect.kind == EffectKind::kDangerous ? 'D'
                                                     : '?';
      EXPECT_FALSE(effect.why.empty()) << row.value;
    }
    EXPECT_EQ(got, row.expected) << row.value << " = " << row.disable;
  }
  // Where the guard holds: Windows 10 / Server 2016 and later, whatever their SMB 1.
  std::string guarded;
  for (const OsVersionRecord& system : systems) guarded += LacksSmb1Fallback(system) ? 'G' : '-';
  EXPECT_EQ(guarded, "---GGG--GGGG");
  // Why nothing happens, and what must restart, are said.
  EXPECT_NE(EffectOn(kServer, "EnableOplocks", "0", systems[4]).why.find("DisableLeasing"),
            std::string::npos);
  EXPECT_NE(EffectOn(kServer, "DisableLeasing", "1", systems[4]).why.find("Server service"),
            std::string::npos);
  EXPECT_NE(EffectOn(kServer, "DisableLeasing", "1", systems[0]).why.find("Windows 8"),
            std::string::npos);
}

TEST(KnownValues, EffectIsUnknownWithoutTheValueOrTheSystem) {
  const OsVersionRecord none = System(0, 0, 0, 0);
  EXPECT_EQ(EffectOn(kServer, "EnableOplocks", "0", none).kind, EffectKind::kUnknown);
  EXPECT_EQ(EffectOn(kServer, "Mystery", "0", System(10, 0, 19045, 1)).kind, EffectKind::kUnknown);
  EXPECT_EQ(EffectKindName(EffectKind::kNoEffect), "no effect here");
}

}  // namespace
}  // namespace vantrel::app
