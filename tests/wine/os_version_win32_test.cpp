// The version record as Windows fills it, and the description composed from it, under Wine.
#include <gtest/gtest.h>

#include <string>

#include "runtime/system/os_version.h"
#include "runtime/system/registry.h"

namespace vantrel {
namespace {

TEST(WindowsVersionOnWindows, RecordMatchesWhatTheRegistrySays) {
  const OsVersionRecord& r = SystemVersionRecord();
  EXPECT_EQ(r.size, OsVersionRecord::kExtendedSize);
  EXPECT_EQ(r.platform, 2u);
  const char* kCurrent = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  const std::string build = RegistryGetValue(kHkeyLocalMachine, kCurrent, "CurrentBuildNumber");
  EXPECT_EQ(std::to_string(r.build), build);
  const std::string text = WindowsVersion();
  EXPECT_EQ(text.substr(0, 8), "Windows ");
  EXPECT_EQ(text.substr(text.size() - build.size() - 7), " Build " + build);
  if (r.major == 6 && r.minor == 1 && r.productType == kProductWorkstation) {
    const std::string sp = RegistryGetValue(kHkeyLocalMachine, kCurrent, "CSDVersion");
    EXPECT_EQ(text,
              "Windows 7 Business/Ultimate" + (sp.empty() ? "" : " " + sp) + " Build " + build);
  }
}

}  // namespace
}  // namespace vantrel
