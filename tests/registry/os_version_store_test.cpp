// The version record outside Windows comes from what the store records for its Windows.
#include <gtest/gtest.h>

#include <string>

#include "runtime/system/os_version.h"
#include "runtime/system/registry.h"
#include "tests/registry/registry_cases.h"

namespace vantrel::testing {
namespace {

constexpr char kCurrent[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

class VersionFromStore : public ::testing::Test {
 protected:
  void SetUp() override { Host().Prepare(); }
  void TearDown() override { Host().CleanUp(); }
  static void Put(const char* key, const char* name, const std::string& text, std::uint32_t type) {
    ASSERT_EQ(RegistryPutValue(kHkeyLocalMachine, key, name, text, type), 0) << name;
  }
  static std::string Describe() {
    return ComposeWindowsVersion(ReadSystemVersionRecord(),
                                 {OsSystemMetric, ReadProductTypeOption});
  }
};

TEST_F(VersionFromStore, EmptyStoreLeavesTheNumbersZero) {
  const OsVersionRecord r = ReadSystemVersionRecord();
  EXPECT_EQ(r.platform, 2u);
  EXPECT_EQ(r.major, 0u);
  EXPECT_EQ(r.minor, 0u);
  EXPECT_EQ(r.build, 0u);
  EXPECT_EQ(r.servicePack[0], '\0');
  // Composed, that would read "Windows  Build 0": the store's words say what is known instead.
  EXPECT_TRUE(RecordsNoVersion(r));
  EXPECT_EQ(DescribeSystem(r),
            "Windows version not recorded in the registry store " + RegistryLocation().folder);
}

TEST_F(VersionFromStore, WindowsSevenAsAWinePrefixRecordsIt) {
  Put(kCurrent, "CurrentVersion", "6.1", 1);
  Put(kCurrent, "CurrentBuildNumber", "7601", 1);
  Put(kCurrent, "CSDVersion", "Service Pack 1", 1);
  Put(kOptions, "ProductType", "WinNT", 1);
  const OsVersionRecord r = ReadSystemVersionRecord();
  EXPECT_EQ(r.size, OsVersionRecord::kExtendedSize);
  EXPECT_EQ(r.productType, kProductWorkstation);
  EXPECT_EQ(Describe(), "Windows 7 Business/Ultimate Service Pack 1 Build 7601");
}

TEST_F(VersionFromStore, NumberValuesWinOverTheFrozenVersionText) {
  Put(kCurrent, "CurrentVersion", "6.3", 1);
  Put(kCurrent, "CurrentMajorVersionNumber", "10", 4);
  Put(kCurrent, "CurrentMinorVersionNumber", "0", 4);
  Put(kCurrent, "CurrentBuildNumber", "19045", 1);
  const OsVersionRecord r = ReadSystemVersionRecord();
  EXPECT_EQ(r.major, 10u);
  EXPECT_EQ(r.minor, 0u);
  EXPECT_EQ(r.build, 19045u);
  EXPECT_EQ(r.size, OsVersionRecord::kBasicSize);   // no product type recorded
  EXPECT_EQ(Describe(), "Windows 10 Build 19045");  // no product type: named as a workstation
}

TEST_F(VersionFromStore, ServerSuiteComesFromProductSuite) {
  Put(kCurrent, "CurrentVersion", "5.2", 1);
  Put(kCurrent, "CurrentBuildNumber", "3790", 1);
  Put(kOptions, "ProductType", "ServerNT", 1);
  Put(kOptions, "ProductSuite", std::string("Enterprise\0Terminal Server\0", 27), 7);
  EXPECT_EQ(Describe(), "Windows Server 2003 Enterprise Edition Build 3790");
}

TEST_F(VersionFromStore, UnknownProductTypeAsksTheBasicWay) {
  Put(kCurrent, "CurrentVersion", "5.0", 1);
  Put(kCurrent, "CurrentBuildNumber", "2195", 1);
  Put(kOptions, "ProductType", "SomethingNT", 1);
  EXPECT_EQ(ReadSystemVersionRecord().size, OsVersionRecord::kBasicSize);
  EXPECT_EQ(Describe(), "Windows 2000 Server Build 2195");
}

}  // namespace
}  // namespace vantrel::testing
