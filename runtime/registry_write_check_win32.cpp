// On Windows the registry is the system's own and the program runs elevated (its manifest asks
// for it): whether a key may be written is decided per key, and each write reports its own error.
#include "runtime/registry.h"

namespace vantrel {

std::string RegistryWriteProblem() { return {}; }

// The system's registry is always there.
std::string RegistryLocationProblem() { return {}; }

}  // namespace vantrel

namespace vantrel {

RegistryPlace RegistryLocation() { return {"the system registry", ""}; }

}  // namespace vantrel
