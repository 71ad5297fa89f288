// The running system's description: the record filled once, metrics and the ProductType option
// read when the text is composed.
#include <cstring>

#include "runtime/system/os_version.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {

std::optional<std::string> ReadProductTypeOption() {
  using namespace vantrel::seam;
  // Reading values is all this needs (KEY_QUERY_VALUE with the standard read right).
  constexpr REGSAM kQueryAccess = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                    kQueryAccess, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char buffer[80];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG rc =
      RegQueryValueExA(key, "ProductType", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (size > sizeof buffer) size = sizeof buffer;
  return std::string(buffer, strnlen(buffer, size));
}

const OsVersionRecord& SystemVersionRecord() {
  static const OsVersionRecord record = ReadSystemVersionRecord();
  return record;
}

bool RecordsNoVersion(const OsVersionRecord& record) {
  return record.platform == 2 && record.major == 0 && record.minor == 0 && record.build == 0;
}

std::string DescribeSystem(const OsVersionRecord& record) {
  if (RecordsNoVersion(record)) return NoVersionRecorded();
  return ComposeWindowsVersion(record, {OsSystemMetric, ReadProductTypeOption});
}

std::string WindowsVersion() { return DescribeSystem(SystemVersionRecord()); }

}  // namespace vantrel
