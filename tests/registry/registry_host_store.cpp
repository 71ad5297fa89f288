// The store host of the shared registry cases: every case gets a store folder of its own
// (VANTREL_REGISTRY), removed afterwards.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "runtime/system/store/registry_store.h"
#include "tests/registry/registry_cases.h"

namespace vantrel::testing {
namespace {

class StoreHost : public RegistryTestHost {
 public:
  void Prepare() override {
    CleanUp();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantrel-cases.XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::create_directory(folder_ + "/scratch");
    setenv("VANTREL_REGISTRY", folder_.c_str(), 1);
  }
  void CleanUp() override {
    if (folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
  std::string ScratchFile(const std::string& name) override { return folder_ + "/scratch/" + name; }

 private:
  std::string folder_;
};

}  // namespace

RegistryTestHost& Host() {
  static StoreHost host;
  return host;
}

}  // namespace vantrel::testing
