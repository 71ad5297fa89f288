// On Linux the registry is the store: whether it can be written is the store's to say.
#include "runtime/registry.h"
#include "runtime/store/registry_store.h"

namespace vantrel {

std::string RegistryWriteProblem() { return store::StoreWriteProblem(); }

}  // namespace vantrel
