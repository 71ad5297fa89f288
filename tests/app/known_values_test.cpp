// The table of known values: lookups as the registry matches names, the restarts a set of changed
// values needs, and which values switch SMB 2 off.
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
      {"\\SYSTEM\\\\CurrentControlSet\\Services\\LanmanServer\\Parameters\\", "EnableOplocks", true},
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
      {{{kWorkstation, "FileInfoCacheLifetime"}, {kServer, "EnableOplocks"},
        {kServer, "DisableLeasing"}, {kMrxSmb, "OplocksDisabled"}},
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
      {kServer, "Smb2", "0", true},     {kServer, "SMB2", "0", true},
      {kServer, "Smb2", "x", true},     // no digits: written as 0
      {kServer, "Smb2", "", true},      {kServer, "Smb2", "-0", true},
      {kServer, "Smb2", "1", false},    {kServer, "Smb2", "N/A", false},  // deleted: default on
      {kServer, "Smb2", "007", false},  {kWorkstation, "Smb2", "0", false},
      {kServer, "DisableLeasing", "0", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TurnsSmb2Off(c.key, c.value, c.text), c.off) << c.value << " = '" << c.text << "'";
  }
}

}  // namespace
}  // namespace vantrel::app
