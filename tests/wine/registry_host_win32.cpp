// The Windows host of the shared registry cases: the real registry and profile functions, run
// under wine64 in a prefix of its own.
#include <shlwapi.h>

#include <string>

#include "runtime/seam/win32_seam.h"
#include "tests/registry/registry_cases.h"

namespace vantrel::testing {
namespace {

class WindowsHost : public RegistryTestHost {
 public:
  void Prepare() override {
    CleanUp();
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    scratch_ = std::string(temp, n) + "vantrel-cases\\";
    CreateDirectoryA(scratch_.c_str(), nullptr);
    for (const char* name : {"settings.ini", "long.ini"}) {
      DeleteFileA((scratch_ + name).c_str());
    }
  }
  void CleanUp() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kTestKey);
    SHDeleteKeyA(HKEY_CURRENT_USER, "VantrelTestTop");
    WriteProfileStringA("VantrelTest", nullptr, nullptr);
  }
  std::string ScratchFile(const std::string& name) override { return scratch_ + name; }

 private:
  std::string scratch_;
};

}  // namespace

RegistryTestHost& Host() {
  static WindowsHost host;
  return host;
}

}  // namespace vantrel::testing
