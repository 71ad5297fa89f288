#include <windows.h>

#include "tools/same_file.h"

namespace vantrel::tools {
namespace {

// The volume and file index: what identifies a file on Windows whatever name reaches it.
bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE h =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return Identity(a, &x) && Identity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace vantrel::tools
