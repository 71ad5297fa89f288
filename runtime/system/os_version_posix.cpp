// Filling the version record outside Windows: from the version that the registry store records
// for its Windows. A Wine prefix keeps it where Windows does; a store without it leaves the
// fields zero. The store is an NT-family registry, so the platform is always the NT family.
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/system/os_version.h"
#include "runtime/system/registry.h"
#include "runtime/system/store/registry_store.h"
#include "runtime/text/text_case.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {
namespace {

using namespace vantrel::seam;

constexpr REGSAM kQueryAccess = 0x20001;

// Reads a value straight from the seam: filling the record must not disturb the caller's
// runtime error state.
bool QueryValue(const char* keyPath, const char* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, kQueryAccess, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    data->assign(size, '\0');
    rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<LPBYTE>(data->data()), &size);
    data->resize(size < data->size() ? size : data->size());
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::optional<std::uint32_t> QueryNumber(const char* keyPath, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!QueryValue(keyPath, name, &type, &data)) return std::nullopt;
  if (type == REG_DWORD && data.size() >= 4) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(data[i]);
    return v;
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    data.resize(strnlen(data.c_str(), data.size()));
    char* end = nullptr;
    const unsigned long v = std::strtoul(data.c_str(), &end, 10);
    if (end != data.c_str()) return static_cast<std::uint32_t>(v);
  }
  return std::nullopt;
}

std::optional<std::string> QueryText(const char* keyPath, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!QueryValue(keyPath, name, &type, &data)) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::nullopt;
  if (type == REG_MULTI_SZ) return data;
  return data.substr(0, data.find('\0'));
}

constexpr const char kCurrentVersion[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

}  // namespace

OsVersionRecord ReadSystemVersionRecord() {
  OsVersionRecord record;
  record.platform = 2;
  record.size = OsVersionRecord::kBasicSize;

  // Windows 10 and later keep the numbers as DWORDs and freeze "CurrentVersion" at 6.3.
  std::optional<std::uint32_t> major = QueryNumber(kCurrentVersion, "CurrentMajorVersionNumber");
  std::optional<std::uint32_t> minor = QueryNumber(kCurrentVersion, "CurrentMinorVersionNumber");
  if (!major) {
    if (std::optional<std::string> text = QueryText(kCurrentVersion, "CurrentVersion")) {
      char* end = nullptr;
      major = static_cast<std::uint32_t>(std::strtoul(text->c_str(), &end, 10));
      if (*end == '.') minor = static_cast<std::uint32_t>(std::strtoul(end + 1, nullptr, 10));
    }
  }
  record.major = major.value_or(0);
  record.minor = minor.value_or(0);
  record.build = QueryNumber(kCurrentVersion, "CurrentBuildNumber")
                     .value_or(QueryNumber(kCurrentVersion, "CurrentBuild").value_or(0));
  if (std::optional<std::string> sp = QueryText(kCurrentVersion, "CSDVersion")) {
    std::strncpy(record.servicePack, sp->c_str(), sizeof record.servicePack - 1);
  }

  // With the product type known the record is the extended one; the suite comes from the
  // names Windows lists in ProductSuite.
  if (std::optional<std::string> type = QueryText(kProductOptions, "ProductType")) {
    record.productType = EqualsIgnoreCase(*type, "WINNT")      ? kProductWorkstation
                         : EqualsIgnoreCase(*type, "LANMANNT") ? kProductDomainController
                         : EqualsIgnoreCase(*type, "SERVERNT") ? kProductServer
                                                               : 0;
    if (record.productType != 0) record.size = OsVersionRecord::kExtendedSize;
  }
  if (std::optional<std::string> suites = QueryText(kProductOptions, "ProductSuite")) {
    struct SuiteName {
      const char* name;
      std::uint16_t bit;
    };
    static constexpr SuiteName kSuites[] = {
        {"Small Business", kSuiteSmallBusiness},
        {"Enterprise", kSuiteEnterprise},
        {"DataCenter", kSuiteDatacenter},
        {"Personal", kSuitePersonal},
        {"Blade", kSuiteBlade},
    };
    std::size_t start = 0;
    while (start < suites->size()) {
      std::size_t end = suites->find('\0', start);
      if (end == std::string::npos) end = suites->size();
      const std::string name = suites->substr(start, end - start);
      for (const SuiteName& s : kSuites) {
        if (EqualsIgnoreCase(name, s.name)) record.suiteMask |= s.bit;
      }
      start = end + 1;
    }
  }
  return record;
}

std::string NoVersionRecorded() {
  // A store that cannot be read records nothing either, but that is no fresh prefix: say why.
  if (std::string problem = RegistryReadProblem(kHkeyLocalMachine); !problem.empty()) {
    return "Windows version unknown: the registry store cannot be read: " + problem;
  }
  return "Windows version not recorded in the registry store " + store::StoreFolder();
}

// The store has no screen to ask: every metric is 0, as on a plain desktop system.
int OsSystemMetric(int) { return 0; }

}  // namespace vantrel
