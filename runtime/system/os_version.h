// The operating-system description shown on the Info tab (the system property WindowsVersion).
//
// The text is composed anew on every read from a version record that is filled once. On Windows
// the record comes from GetVersionExA; elsewhere from the version that the registry store records
// for its Windows (a Wine prefix says which Windows it imitates), zero where the store has nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vantrel {

// The extended version structure's fields, as the system fills them.
struct OsVersionRecord {
  static constexpr std::uint32_t kExtendedSize = 156;
  static constexpr std::uint32_t kBasicSize = 148;

  std::uint32_t size = 0;  // kExtendedSize or kBasicSize
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;     // 95/98/Me: major in bits 24-31, minor in bits 16-23
  std::uint32_t platform = 0;  // 0 Win32s, 1 the 95/98/Me family, 2 the NT family
  char servicePack[128] = {};  // zero-terminated
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
};

// Suite mask bits and product types the description looks at.
constexpr std::uint16_t kSuiteSmallBusiness = 0x0001;
constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;
constexpr std::uint16_t kSuiteHomeServer = 0x8000;
constexpr std::uint8_t kProductWorkstation = 1;
constexpr std::uint8_t kProductDomainController = 2;
constexpr std::uint8_t kProductServer = 3;

// System metrics the description looks at.
constexpr int kSmTabletPc = 86;
constexpr int kSmMediaCenter = 87;
constexpr int kSmStarter = 88;
constexpr int kSmServerR2 = 89;

// What the composition needs besides the record: system metrics, and for a basic record the
// "ProductType" text under HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions (nullopt when it
// cannot be read or is longer than 80 bytes).
struct OsVersionSources {
  std::function<int(int)> systemMetric;
  std::function<std::optional<std::string>()> productType;
};

// Composes the one-line description.
std::string ComposeWindowsVersion(const OsVersionRecord& record, const OsVersionSources& sources);

// The record as far as GetVersion's packed number tells it (the last resort on Windows): minor in
// bits 8-15, major in bits 0-7, bit 31 set outside the NT family (3.x Win32s, else 95/98/Me),
// build in bits 16-30 except on 95/98/Me. Size and service pack stay empty.
OsVersionRecord RecordFromPackedVersion(std::uint32_t packed);

// The record of the running system, filled on first use.
const OsVersionRecord& SystemVersionRecord();
// Fills a record from the system now (platform specific).
OsVersionRecord ReadSystemVersionRecord();
// The running system's metrics (0 where there is no such system) and its ProductType option.
int OsSystemMetric(int index);
std::optional<std::string> ReadProductTypeOption();

// True when the record holds no version at all: outside Windows, a registry store that records
// none (a fresh store, or a prefix still being set up). Composed, it would read "Windows  Build 0".
bool RecordsNoVersion(const OsVersionRecord& record);

// What is known of the system that `record` was read from: its description, or, for a record
// that holds no version, the words that say so and name the registry store it came from.
std::string DescribeSystem(const OsVersionRecord& record);

// The words for a record without a version (platform specific): which store records none.
std::string NoVersionRecorded();

// The WindowsVersion property: the running system's description (DescribeSystem of its record).
std::string WindowsVersion();

}  // namespace vantrel
