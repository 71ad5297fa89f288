// The platform seam: the Win32 primitives the runtime needs, by their own names and error numbers.
//
// On Windows this is <windows.h> itself. Everywhere else the same names are declared here, in
// namespace vantrel::seam, and implemented by the registry store (keys and typed values kept in
// Wine's registry files) and by small POSIX stand-ins. Code above the seam writes
// `using namespace vantrel::seam;` (a no-op on Windows) and calls the primitives unqualified, so
// the logic that uses them exists once for both platforms.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
namespace vantrel::seam {}
#else

#include "runtime/seam/registry_types.h"

namespace vantrel::seam {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using UINT = unsigned int;
using REGSAM = DWORD;
using LPCSTR = const char*;
using LPSTR = char*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using FARPROC = long long (*)();
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline HKEY PredefinedKey(std::uint32_t value) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(static_cast<std::int32_t>(value)));
}
#define HKEY_CLASSES_ROOT (::vantrel::seam::PredefinedKey(0x80000000u))
#define HKEY_CURRENT_USER (::vantrel::seam::PredefinedKey(0x80000001u))
#define HKEY_LOCAL_MACHINE (::vantrel::seam::PredefinedKey(0x80000002u))
#define HKEY_USERS (::vantrel::seam::PredefinedKey(0x80000003u))

// Error numbers (winerror.h).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_ACCESS = 12;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_BADKEY = 1010;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;
constexpr LONG ERROR_NO_SYSTEM_RESOURCES = 1450;

// Value types, by their Windows names.
constexpr DWORD REG_NONE = registry_type::kNone;
constexpr DWORD REG_SZ = registry_type::kSz;
constexpr DWORD REG_EXPAND_SZ = registry_type::kExpandSz;
constexpr DWORD REG_BINARY = registry_type::kBinary;
constexpr DWORD REG_DWORD = registry_type::kDword;
constexpr DWORD REG_DWORD_BIG_ENDIAN = registry_type::kDwordBigEndian;
constexpr DWORD REG_LINK = registry_type::kLink;
constexpr DWORD REG_MULTI_SZ = registry_type::kMultiSz;
constexpr DWORD REG_QWORD = registry_type::kQword;

// Access rights and options.
constexpr REGSAM STANDARD_RIGHTS_READ = 0x20000;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The thread's last error, as kernel32 keeps it.
DWORD GetLastError();
void SetLastError(DWORD error);

// Registry (advapi32).
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                      PFILETIME lastWriteTime);
LONG RegCloseKey(HKEY key);

// Dynamic libraries (kernel32): the store offers "SHLWAPI.DLL" with SHDeleteKeyA.
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// Profile files (kernel32).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out,
                               DWORD outSize, LPCSTR fileName);
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out, DWORD outSize);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName);
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text);

}  // namespace vantrel::seam

#endif
