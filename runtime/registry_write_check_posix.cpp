// On Linux the registry is the store: whether it is there and can be written is the store's to
// say.
#include "runtime/registry.h"
#include "runtime/store/registry_store.h"

namespace vantrel {

std::string RegistryWriteProblem() { return store::StoreWriteProblem(); }

std::string RegistryLocationProblem() { return store::MissingStoreFolder(); }

std::string RegistryProblemText() { return store::LastStoreMessage(); }

void SetRegistryProblemsShown(bool shown) {
  store::MessageSink quiet = [](const char*) {};
  store::SetStoreMessageSink(shown ? nullptr : quiet);
}

}  // namespace vantrel
