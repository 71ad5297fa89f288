#include "runtime/system/os_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace vantrel {
namespace {

struct VersionCase {
  const char* expected;
  std::uint32_t size;
  std::uint32_t platform;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  const char* servicePack;
  std::uint16_t suite = 0;
  std::uint8_t productType = 0;
  int metric = 0;                      // the one system metric that is nonzero, if any
  const char* registryType = nullptr;  // ProductType text for a basic record
};

constexpr std::uint32_t kExt = OsVersionRecord::kExtendedSize;
constexpr std::uint32_t kBasic = OsVersionRecord::kBasicSize;

std::string Compose(const VersionCase& c, int* productTypeReads) {
  OsVersionRecord r;
  r.size = c.size;
  r.platform = c.platform;
  r.major = c.major;
  r.minor = c.minor;
  r.build = c.build;
  std::strncpy(r.servicePack, c.servicePack, sizeof r.servicePack - 1);
  r.suiteMask = c.suite;
  r.productType = c.productType;
  OsVersionSources sources;
  sources.systemMetric = [&c](int index) { return index == c.metric ? 1 : 0; };
  sources.productType = [&c, productTypeReads]() -> std::optional<std::string> {
    ++*productTypeReads;
    if (c.registryType == nullptr) return std::nullopt;
    return std::string(c.registryType);
  };
  return ComposeWindowsVersion(r, sources);
}

TEST(WindowsVersion, ComposesEveryBranch) {
  const std::uint32_t b98 = (4u << 24) | (10u << 16) | 2222u;
  const VersionCase cases[] = {
      // The three worked examples.
      {"Windows XP Professional Service Pack 3 Build 2600", kExt, 2, 5, 1, 2600, "Service Pack 3",
       0, 1},
      {"Windows 7 Business/Ultimate Service Pack 1 Build 7601", kExt, 2, 6, 1, 7601,
       "Service Pack 1", 0x0100, 1},
      {"Windows Server 2003 Enterprise Edition Build 3790", kExt, 2, 5, 2, 3790, "", 0x0002, 3},
      // Win32s and the 95/98/Me family.
      {"Win32s", kExt, 0, 3, 10, 1234, "Service Pack 9", 0, 1},
      {"Windows 98 SE Build 4.10.2222 A ", kExt, 1, 4, 10, b98, " A ", 0, 0},
      {"Windows 98 Build 4.10.2222 x", kExt, 1, 4, 10, b98, "x", 0, 0},
      {"Windows 95 OSR2 Build 4.0.950 B", kExt, 1, 4, 0, (4u << 24) | 950u, " B", 0, 0},
      {"Windows 95 OSR2 Build 4.0.950 xC", kExt, 1, 4, 0, (4u << 24) | 950u, "xC", 0, 0},
      {"Windows 95 Build 4.0.950", kExt, 1, 4, 0, (4u << 24) | 950u, "", 0, 0},
      {"Windows Me Build 4.90.3000", kExt, 1, 4, 90, (4u << 24) | (90u << 16) | 3000u, "", 0, 0},
      {"Windows Unknown Build 4.20.1", kExt, 1, 4, 20, (4u << 24) | (20u << 16) | 1u, "", 0, 0},
      {"Windows Unknown Build 5.0.1", kExt, 1, 5, 0, (5u << 24) | 1u, "", 0, 0},
      // NT names and workstation editions.
      {"Windows NT 3.5 WorkStation Build 1057", kExt, 2, 3, 51, 1057, "", 0, 1},
      {"Windows NT 4 WorkStation Service Pack 6 Build 1381", kExt, 2, 4, 0, 1381, "Service Pack 6",
       0, 1},
      {"Windows 2000 Professional Build 2195", kExt, 2, 5, 0, 2195, "", 0, 1},
      {"Windows XP Home Edition Build 2600", kExt, 2, 5, 1, 2600, "", 0x0200, 1},
      {"Windows XP Tablet PC Edition Build 2600", kExt, 2, 5, 1, 2600, "", 0x0200, 1, 86},
      {"Windows XP Media Center Edition Build 2600", kExt, 2, 5, 1, 2600, "", 0, 1, 87},
      {"Windows XP Starter Edition Build 2600", kExt, 2, 5, 1, 2600, "", 0x0200, 1, 88},
      {"Windows Vista Home Premium/Basic Build 6000", kExt, 2, 6, 0, 6000, "", 0x0200, 1},
      {"Windows Vista Business/Ultimate Build 6002", kExt, 2, 6, 0, 6002, "", 0, 1},
      // 6.2 and 6.3 are Windows 8 and 8.1; a later 6.x keeps the name of 6.1.
      {"Windows 8 Home Premium/Basic Build 9200", kExt, 2, 6, 2, 9200, "", 0x0200, 1},
      {"Windows 8 Business/Ultimate Build 9200", kExt, 2, 6, 2, 9200, "", 0, 1},
      {"Windows 8.1 Business/Ultimate Build 9600", kExt, 2, 6, 3, 9600, "", 0, 1},
      {"Windows 7 Business/Ultimate Build 9700", kExt, 2, 6, 4, 9700, "", 0, 1},
      // From major 10 on the build names the release.
      {"Windows 10 Build 19045", kExt, 2, 10, 0, 19045, "", 0, 1},
      {"Windows 10 Build 21999", kExt, 2, 10, 0, 21999, "", 0x0200, 1},
      {"Windows 11 Build 22000", kExt, 2, 10, 0, 22000, "", 0, 1},
      {"Windows 11 Build 26100", kExt, 2, 10, 0, 26100, "", 0, 1},
      {"Windows 10 Build 10240", kExt, 2, 10, 0, 10240, "", 0, 0},
      // Servers.
      {"Windows Server 2008 Build 6001", kExt, 2, 6, 0, 6001, "", 0, 3},
      {"Windows Server 2008 R2 Service Pack 1 Build 7601", kExt, 2, 6, 1, 7601, "Service Pack 1", 0,
       3},
      {"Windows Server 2012 Build 9200", kExt, 2, 6, 2, 9200, "", 0, 3},
      {"Windows Server 2012 R2 Build 9600", kExt, 2, 6, 3, 9600, "", 0x0002, 3},
      {"Windows Server 2003 R2 Build 3790", kExt, 2, 5, 2, 3790, "", 0x0002, 3, 89},
      {"Windows Home Server Build 3790", kExt, 2, 5, 2, 3790, "", 0x8000, 3, 89},
      {"Windows Server 2003 Datacenter Edition Build 3790", kExt, 2, 5, 2, 3790, "", 0x0082, 3},
      {"Windows Server 2003 Web Edition Build 3790", kExt, 2, 5, 2, 3790, "", 0x0400, 3},
      {"Windows Server 2003 Standard Edition Build 3790", kExt, 2, 5, 2, 3790, "", 0, 3},
      {"Windows 2000 Datacenter Server Build 2195", kExt, 2, 5, 0, 2195, "", 0x0083, 3},
      {"Windows 2000 Advanced Server Build 2195", kExt, 2, 5, 0, 2195, "", 0x0003, 3},
      {"Windows 2000 Small Business Server Build 2195", kExt, 2, 5, 0, 2195, "", 0x0001, 3},
      {"Windows 2000 Server Build 2195", kExt, 2, 5, 0, 2195, "", 0, 3},
      {"Windows XP Build 2600", kExt, 2, 5, 1, 2600, "", 0x0002, 3},
      {"Windows NT 4 Server, Enterprise Edition Build 1381", kExt, 2, 4, 0, 1381, "", 0x0002, 3},
      {"Windows NT 4 Server Build 1381", kExt, 2, 4, 0, 1381, "", 0, 3},
      {"Windows NT 3.5 Advanced Server Build 1057", kExt, 2, 3, 51, 1057, "", 0x0002, 3},
      {"Windows Server 2016 Build 14393", kExt, 2, 10, 0, 14393, "", 0, 3},
      {"Windows Server 2016 Build 17762", kExt, 2, 10, 0, 17762, "", 0x0002, 3},
      {"Windows Server 2019 Build 17763", kExt, 2, 10, 0, 17763, "", 0, 3},
      {"Windows Server 2022 Build 20348", kExt, 2, 10, 0, 20348, "", 0, 3},
      {"Windows Server 2025 Build 26100", kExt, 2, 10, 0, 26100, "", 0, 2},
      // A domain controller and unknown product types get no edition.
      {"Windows Server 2003 Service Pack 2 Build 3790", kExt, 2, 5, 2, 3790, "Service Pack 2",
       0x0002, 2, 89},
      {"Windows XP Build 2600", kExt, 2, 5, 1, 2600, "", 0, 0},
      // The basic record asks the registry.
      {"Windows XP Professional Build 2600", kBasic, 2, 5, 1, 2600, "", 0, 0, 0, "WinNT"},
      {"Windows 2000 Advanced Server Build 2195", kBasic, 2, 5, 0, 2195, "", 0, 0, 0, "ServerNT"},
      {"Windows NT 4 Advanced Server Build 1381", kBasic, 2, 4, 1, 1381, "", 0, 0, 0, "SERVERNT"},
      {"Windows Server 2003 Enterprise Server Build 3790", kBasic, 2, 5, 2, 3790, "", 0, 0, 0,
       "servernt"},
      {"Windows Server 2003 Server Build 3790", kBasic, 2, 5, 2, 3790, "", 0, 0, 0, "LanmanNT"},
      {"Windows XP Service Pack 1 Build 2600", kBasic, 2, 5, 1, 2600, "Service Pack 1", 0, 0, 0,
       nullptr},
      {"Windows Server 2022 Build 20348", kBasic, 2, 10, 0, 20348, "", 0, 0, 0, "ServerNT"},
      {"Windows 11 Build 22631", kBasic, 2, 10, 0, 22631, "", 0, 0, 0, "WinNT"},
      {"Windows 10 Build 19045", kBasic, 2, 10, 0, 19045, "", 0, 0, 0, nullptr},
      // Neither record size: no edition at all.
      {"Windows XP Build 2600", 0, 2, 5, 1, 2600, "", 0, 1},
      {"Windows NT 4 Build 4294967295", 0, 2, 4, 0, 0xFFFFFFFFu, "", 0, 0},
  };
  for (const VersionCase& c : cases) {
    int reads = 0;
    EXPECT_EQ(Compose(c, &reads), c.expected);
    // Only a basic NT record looks into the registry.
    EXPECT_EQ(reads, c.size == kBasic && c.platform == 2 ? 1 : 0) << c.expected;
  }
}

TEST(WindowsVersion, ServicePackTextStopsAtItsZeroOrItsEnd) {
  OsVersionRecord r;
  r.size = kExt;
  r.platform = 2;
  r.major = 5;
  r.minor = 1;
  r.build = 2600;
  r.productType = 1;
  std::memset(r.servicePack, 'S', sizeof r.servicePack);  // no terminator at all
  const std::string text = ComposeWindowsVersion(r, {});
  EXPECT_EQ(text, "Windows XP Professional " + std::string(128, 'S') + " Build 2600");
}

TEST(WindowsVersion, PackedVersionNumberFillsTheRecord) {
  const struct {
    std::uint32_t packed;
    std::uint32_t platform, major, minor, build;
    const char* text;
  } cases[] = {
      {0x0A280105u, 2, 5, 1, 2600, "Windows XP Build 2600"},
      {0x1DB10106u, 2, 6, 1, 7601, "Windows  Build 7601"},  // "7" is an edition: no record size
      {0x80000A03u, 0, 3, 10, 0, "Win32s"},
      {0xC0000A04u, 1, 4, 10, 0, "Windows 98 Build 0.0.0"},
      {0xF4560A03u, 0, 3, 10, 0x7456, "Win32s"},
      {0x80000005u, 1, 5, 0, 0, "Windows Unknown Build 0.0.0"},
  };
  for (const auto& c : cases) {
    const OsVersionRecord r = RecordFromPackedVersion(c.packed);
    EXPECT_EQ(r.platform, c.platform) << c.text;
    EXPECT_EQ(r.major, c.major) << c.text;
    EXPECT_EQ(r.minor, c.minor) << c.text;
    EXPECT_EQ(r.build, c.build) << c.text;
    EXPECT_EQ(r.size, 0u);
    EXPECT_EQ(ComposeWindowsVersion(r, {}), c.text);
  }
}

}  // namespace
}  // namespace vantrel
