// Files, locks and messages of the registry store (Linux only).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "runtime/system/store/wine_registry_file.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel::store {

// What identifies one version of a file: a rename, an edit in place or a truncation all change it.
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  bool operator==(const FileIdentity& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

// 0 or an errno value.
int StatIdentity(const std::string& path, FileIdentity& out);
// The identity of an open file; `gone` is set when it no longer has a name (replaced by a rename
// or deleted).
int FstatIdentity(int fd, FileIdentity& out, bool& gone);
int ReadOpenFile(int fd, std::string& text, off_t sizeHint);
int ReadWholeFile(const std::string& path, std::string& text, FileIdentity& identity);

// Opens `path` with `flags` (O_RDONLY or O_RDWR); a folder gives EISDIR and any other file that
// is not a regular one kNotRegularFile, without blocking on a FIFO.
constexpr int kNotRegularFile = -1;
int OpenRegularFile(const std::string& path, int flags, int& fd);
// strerror, and words for kNotRegularFile.
std::string ErrorText(int err);

// errno as a Win32 error number (EACCES -> 5, ENOENT -> 2 ...); `fallback` for the rest.
seam::LONG ErrnoToWin32(int err, seam::LONG fallback = seam::ERROR_CANTREAD);

// The text Wine writes into a registry file that holds no keys yet.
std::string EmptyHiveText(const std::string& path);

// Records a failure the user must act on and passes it to the message sink (unless the user was
// already told: a damaged file is not reported again by every call that reads it).
void ReportProblem(const std::string& message, bool tellUser = true);
void ClearProblem();

// The state of one registry file that WriteHive brings up to date and changes.
struct WriteContext {
  const std::string& path;
  RegistryFile& file;
  FileIdentity& identity;
  bool& loaded;
  bool& unreadable;
};

// Refuses when a wineserver runs for `dir`, creates the folder and the three files when they are
// missing, locks the file, re-reads it when another process changed it, refuses a file that
// cannot be read completely, applies `change` (which returns a Win32 error number and changes
// nothing when it fails) and writes the file atomically.
seam::LONG WriteHive(const std::string& dir, WriteContext& ctx,
                     const std::function<seam::LONG(RegistryFile&)>& change);

// True when a wineserver keeps the prefix `dir` open; `where` names its lock file.
bool WineserverRunning(const std::string& dir, std::string& where);

// Replaces `path` by `data` atomically (temporary file in the same folder, flush, rename),
// keeping the mode and owner of `like` (an open descriptor of the old file, or -1).
int ReplaceFile(const std::string& path, const std::string& data, int like, FileIdentity* written);

// Creates `dir` and its parents.
int MakeFolders(const std::string& dir);

}  // namespace vantrel::store
