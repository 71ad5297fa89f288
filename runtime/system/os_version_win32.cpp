// Filling the version record on Windows: the extended record, else the basic one, else the
// packed number of GetVersion.
#include <cstring>

#include "runtime/system/os_version.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {

OsVersionRecord ReadSystemVersionRecord() {
  OsVersionRecord record;
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  bool filled = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
  if (!filled) {
    info = OSVERSIONINFOEXA{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    filled = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
  }
  if (filled) {
    record.size = info.dwOSVersionInfoSize;
    record.major = info.dwMajorVersion;
    record.minor = info.dwMinorVersion;
    record.build = info.dwBuildNumber;
    record.platform = info.dwPlatformId;
    std::memcpy(record.servicePack, info.szCSDVersion, sizeof record.servicePack);
    record.servicePack[sizeof record.servicePack - 1] = '\0';
    if (record.size == OsVersionRecord::kExtendedSize) {
      record.servicePackMajor = info.wServicePackMajor;
      record.servicePackMinor = info.wServicePackMinor;
      record.suiteMask = info.wSuiteMask;
      record.productType = info.wProductType;
    }
    return record;
  }
  return RecordFromPackedVersion(GetVersion());
}

// Windows always tells its version; should every way of asking fail, the record is empty.
std::string NoVersionRecorded() { return "Windows version not known: the system did not tell it"; }

int OsSystemMetric(int index) { return GetSystemMetrics(index); }

}  // namespace vantrel
