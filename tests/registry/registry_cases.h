// The registry and profile cases, shared by every host: the native build runs them against the
// registry store, the Windows build runs them under wine64 against Wine's registry. Each test
// binary supplies the host below.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::testing {

// Everything the cases touch lives under this key of HKEY_CURRENT_USER (and of
// HKEY_LOCAL_MACHINE for the few cases that need the machine root).
inline constexpr char kTestKey[] = "Software\\VantrelTest";

class RegistryTestHost {
 public:
  virtual ~RegistryTestHost() = default;
  // Gives the next case a registry without the test keys and an empty scratch folder.
  virtual void Prepare() = 0;
  // Removes what the case left behind.
  virtual void CleanUp() = 0;
  // A path the profile functions accept, for a file `name` in the scratch folder.
  virtual std::string ScratchFile(const std::string& name) = 0;
};

// Defined by each test binary.
RegistryTestHost& Host();

}  // namespace vantrel::testing
