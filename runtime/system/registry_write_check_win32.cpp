// On Windows the registry is the system's own and the program runs elevated (its manifest asks
// for it): whether a key may be written is decided per key, and each write reports its own error.
#include "runtime/system/registry.h"

namespace vantrel {

std::string RegistryWriteProblem() { return {}; }

// The system's registry is always there.
std::string RegistryLocationProblem() { return {}; }

// advapi32 says no more than its error numbers, which the runtime's error text already names.
std::string RegistryProblemText() { return {}; }

void SetRegistryProblemsShown(bool) {}

// Values live in the system's registry, not in files of ours.
std::vector<RegistryReplacedFile> TakeRegistryReplacedLinks() { return {}; }

}  // namespace vantrel

namespace vantrel {

RegistryPlace RegistryLocation() { return {"the system registry", ""}; }

}  // namespace vantrel
