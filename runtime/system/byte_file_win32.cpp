// Byte files on Windows: CreateFileA with the share mode that the access mode's high nibble asks.
#include <windows.h>

#include <climits>

#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"

namespace vantrel {
namespace {

std::int32_t LastCode() {
  const DWORD error = GetLastError();
  return FileErrorCodeFromOs(static_cast<int>(error));
}

}  // namespace

std::int32_t FileErrorCodeFromOs(int error) {
  switch (error) {
    case 0: return 0;
    case ERROR_FILE_NOT_FOUND: return error_code::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return error_code::kPathNotFound;
    case ERROR_TOO_MANY_OPEN_FILES: return error_code::kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return error_code::kAccessDenied;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return error_code::kInvalidFileName;
    default: return error_code::kFileSystemError;
  }
}

namespace byte_file_os {

std::int32_t Open(const std::string& name, std::uint32_t mode, std::intptr_t* handle) {
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  if ((mode & 0x0F) == kAccessRead)
    access = GENERIC_READ;
  else if ((mode & 0x0F) == kAccessWrite)
    access = GENERIC_WRITE;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  switch (mode & 0xF0) {
    case kDenyAll: share = 0; break;
    case kDenyWrite: share = FILE_SHARE_READ; break;
    case kDenyRead: share = FILE_SHARE_WRITE; break;
    default: break;
  }
  HANDLE h = CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastCode();
  *handle = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

std::int32_t Create(const std::string& name) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastCode();
  if (!CloseHandle(h)) return LastCode();
  return 0;
}

std::int32_t Read(std::intptr_t handle, char* out, std::size_t size, std::size_t* got) {
  *got = 0;
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  while (*got < size) {
    const DWORD want = static_cast<DWORD>(size - *got > 0x40000000 ? 0x40000000 : size - *got);
    DWORD n = 0;
    if (!ReadFile(h, out + *got, want, &n, nullptr)) return LastCode();
    if (n == 0) break;
    *got += n;
  }
  return 0;
}

std::int32_t Write(std::intptr_t handle, const char* data, std::size_t size) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) return LastCode();
  while (size > 0) {
    const DWORD want = static_cast<DWORD>(size > 0x40000000 ? 0x40000000 : size);
    DWORD n = 0;
    if (!WriteFile(h, data, want, &n, nullptr)) return LastCode();
    if (n == 0) return 90;
    data += n;
    size -= n;
  }
  return 0;
}

std::int64_t Size(std::intptr_t handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &size)) return -1;
  return size.QuadPart;
}

bool IsRegular(std::intptr_t handle) {
  return GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_DISK;
}

// Devices have names of their own (NUL, CON, \\.\pipe\...) that IsRegular finds out once
// opened; opening them for reading does nothing. Folders are refused here.
bool RegularOrMissing(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::int32_t Sync(std::intptr_t handle) {
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(handle))) return LastCode();
  return 0;
}

std::int32_t Close(std::intptr_t handle) {
  if (!CloseHandle(reinterpret_cast<HANDLE>(handle))) return LastCode();
  return 0;
}

std::int32_t Rename(const std::string& from, const std::string& to) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastCode();
  }
  return 0;
}

// Links to files are rare on Windows and need rights to make: the name is taken as it is.
std::string LinkTarget(const std::string& name) { return name; }

std::int32_t Remove(const std::string& name) {
  if (!DeleteFileA(name.c_str())) return LastCode();
  return 0;
}

}  // namespace byte_file_os
}  // namespace vantrel
