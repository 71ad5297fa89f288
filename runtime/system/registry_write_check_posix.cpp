// On Linux the registry is the store: whether it is there and can be written is the store's to
// say.
#include "runtime/system/registry.h"
#include "runtime/system/store/registry_store.h"
#include "runtime/system/store/smb_conf_registry_posix.h"

namespace vantrel {

std::string RegistryWriteProblem() { return store::StoreWriteProblem(); }

std::string RegistryLocationProblem() { return store::MissingStoreFolder(); }

RegistryPlace RegistryLocation() {
  const store::StoreLocation location = store::LocateStore();
  RegistryPlace place{location.folder, "from " + location.source};
  if (location.named) return place;
  if (location.source == "~/.wine") {
    place.source += " (VANTREL_REGISTRY and WINEPREFIX are not set; Wine uses it too)";
  } else {
    // The private store: no Wine program reads it unless a prefix is named.
    place.source += " (VANTREL_REGISTRY and WINEPREFIX are not set, ~/.wine does not exist)";
  }
  return place;
}

std::string RegistryProblemText() { return store::LastStoreMessage(); }

std::vector<RegistryReplacedFile> TakeRegistryReplacedLinks() {
  std::vector<RegistryReplacedFile> out;
  for (const auto& r : store::smbconf::TakeReplacedLinks()) out.push_back({r.file, r.otherLinks});
  return out;
}

void SetRegistryProblemsShown(bool shown) {
  store::MessageSink quiet = [](const char*) {};
  store::SetStoreMessageSink(shown ? nullptr : quiet);
}

}  // namespace vantrel
