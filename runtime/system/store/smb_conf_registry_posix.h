// Samba's configuration as registry keys (Linux only): HKEY_LOCAL_MACHINE\Software\Samba\smbconf
// and one sub-key per section of smb.conf, one value per parameter, as Samba's own "net conf"
// presents them. The registry store hands every call on such a key to these functions, so the
// item tables, the window and every command read and change smb.conf as they do any registry
// value.
//
// The file is VANTREL_SMB_CONF, else /etc/samba/smb.conf. A value reads as a REG_DWORD when it
// is a boolean (0 or 1, whatever word the file uses) or a decimal number, else as a REG_SZ. A
// change keeps every other line of the file, is checked with Samba's testparm (the candidate
// file, and that Samba then reads the value written) and replaces the file safely, with a backup
// beside it; nothing is written when any of that fails, and the store's message names the file
// and the reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/seam/win32_seam.h"

namespace vantrel::store::smbconf {

// The file in use and where that choice came from.
std::string ConfigPath();

// Whether a key path under HKEY_LOCAL_MACHINE (components joined by backslashes) is Samba's.
bool IsSambaPath(std::u16string_view path);
// Whether the handle is one of ours.
bool IsSambaHandle(seam::HKEY key);

// The seam's calls for Samba's keys: `path` is the whole key path under HKEY_LOCAL_MACHINE.
seam::LONG Open(std::u16string_view path, seam::REGSAM access, bool create, seam::PHKEY result,
                seam::LPDWORD disposition);
// Opens a sub-key of one of our handles.
seam::LONG OpenBelow(seam::HKEY key, seam::LPCSTR subKey, seam::REGSAM access, bool create,
                     seam::PHKEY result, seam::LPDWORD disposition);
seam::LONG QueryValue(seam::HKEY key, seam::LPCSTR name, seam::LPDWORD type, seam::LPBYTE data,
                      seam::LPDWORD dataSize);
seam::LONG SetValue(seam::HKEY key, seam::LPCSTR name, seam::DWORD type, const seam::BYTE* data,
                    seam::DWORD dataSize);
seam::LONG DeleteValue(seam::HKEY key, seam::LPCSTR name);
seam::LONG EnumKey(seam::HKEY key, seam::DWORD index, seam::LPSTR name, seam::LPDWORD nameSize,
                   seam::PFILETIME lastWriteTime);
seam::LONG QueryInfo(seam::HKEY key, seam::LPDWORD subKeys, seam::LPDWORD maxSubKeyLen,
                     seam::LPDWORD values, seam::LPDWORD maxValueNameLen,
                     seam::LPDWORD maxValueLen);
seam::LONG Close(seam::HKEY key);
// Whether deleting the key (a path under HKEY_LOCAL_MACHINE) would take Samba's keys with it:
// it is Software\Samba\smbconf, one of its sections, or a key above them.
bool HoldsSambaPath(std::u16string_view path);
// Sections are not removed through the registry: that would delete a share. Nor are the keys
// that hold them, which would report the sections gone while smb.conf still has them.
seam::LONG DeleteKey(std::u16string_view path = {});

// The Samba configurations replaced since the last call that had other hard links: those names
// keep the previous text.
struct ReplacedLinks {
  std::string file;
  std::uint64_t otherLinks = 0;
};
std::vector<ReplacedLinks> TakeReplacedLinks();

}  // namespace vantrel::store::smbconf
