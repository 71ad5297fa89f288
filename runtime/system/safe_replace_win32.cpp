// Safe replacement on Windows: CreateFile with CREATE_NEW for every file we create (it fails on
// any existing name, a link included), a named mutex per folder for writers taking turns, a
// temporary held open without FILE_SHARE_DELETE while it is written (so another writer's clean-up
// cannot remove it), MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH to put
// it in place.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"
#include "runtime/system/safe_replace.h"

namespace vantrel {
namespace {

using namespace safe_replace_detail;

constexpr DWORD kLockWaitMs = 10000;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Joined(const std::string& folder, const std::string& base) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + base;
  return folder + "\\" + base;
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!out.empty() &&
         (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  return out;
}

bool FailLast(const std::string& what, DWORD error = GetLastError()) {
  return Fail(static_cast<int>(error), FileErrorCodeFromOs(static_cast<int>(error)),
              what + ": " + SystemText(error));
}

// One mutex per folder, named after its full path without regard to case.
HANDLE LockFolder(const std::string& folder, DWORD& error) {
  char full[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  std::string path = n > 0 && n < sizeof full ? std::string(full, n) : folder;
  std::uint64_t hash = 1469598103934665603ull;
  for (char c : path) {
    const char lower =
        static_cast<char>(std::tolower(static_cast<unsigned char>(c == '/' ? '\\' : c)));
    hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
  }
  char name[64];
  wsprintfA(name, "Local\\vantrel-replace-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash & 0xFFFFFFFFu));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) {
    error = 0;  // no lock to be had: each writer's file still lands whole
    return nullptr;
  }
  const DWORD waited = WaitForSingleObject(mutex, kLockWaitMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  error = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
  return nullptr;
}

void RemoveLeftovers(const std::string& folder, const std::string& base) {
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA(Joined(folder, base + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!IsTemporaryOf(found.cFileName, base)) continue;
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    // A live writer holds its temporary open without delete sharing: this fails for it.
    DeleteFileA(Joined(folder, found.cFileName).c_str());
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

HANDLE CreateTemporary(const std::string& folder, const std::string& base, std::string& name) {
  const std::string prefix = TemporaryPrefix(base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = Joined(folder, prefix + RandomSuffix());
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return h;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD want = static_cast<DWORD>(size > 0x40000000 ? 0x40000000 : size);
    DWORD n = 0;
    if (!WriteFile(h, data, want, &n, nullptr)) return false;
    if (n == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace

struct SafeReplace::Impl {
  ReplaceOptions options;
  std::string name;
  std::string target;
  std::string folder;
  HANDLE mutex = nullptr;
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool inPlace = false;
  bool active = false;
  bool writeFailed = false;

  ~Impl() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!temporary.empty()) DeleteFileA(temporary.c_str());
    if (mutex) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
  }

  bool Start();
  bool Finish();
  bool KeepBackup();
};

std::string FileFingerprint(std::string_view name) {
  const HANDLE file = CreateFileA(std::string(name).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? "absent"
               : "unreadable " + std::to_string(error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL ok = GetFileInformationByHandle(file, &info);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) return "unreadable " + std::to_string(error);
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
         "." + std::to_string(info.nFileIndexLow) + ":" + std::to_string(info.nFileSizeHigh) + "." +
         std::to_string(info.nFileSizeLow) + ":" +
         std::to_string(info.ftLastWriteTime.dwHighDateTime) + "." +
         std::to_string(info.ftLastWriteTime.dwLowDateTime);
}

bool SafeReplace::Impl::Start() {
  if (UnusableName(name))
    return Fail(0, error_code::kInvalidFileName, "the file name is empty or holds a zero byte");
  target = name;
  Report().target = target;
  if (!options.expectedFingerprint.empty() &&
      FileFingerprint(target) != options.expectedFingerprint) {
    return Fail(0, error_code::kAccessDenied,
                "cannot write " + name +
                    ": it changed since it was read (another program wrote "
                    "it, or put another file or a link in its place); nothing was written");
  }
  folder = FolderOf(target);
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      return Fail(ERROR_ACCESS_DENIED, error_code::kAccessDenied,
                  "cannot write " + target + ": it is a folder");
    }
    if (!options.followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return Fail(ERROR_ACCESS_DENIED, error_code::kAccessDenied,
                  "cannot write " + name + ": it is a link, which is not followed here");
    }
  }
  // A device name (NUL, CON, a pipe) is no file on a disk: written in place or refused.
  const HANDLE probe =
      CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    if (GetFileType(probe) != FILE_TYPE_DISK) {
      if (!options.devicesInPlace) {
        CloseHandle(probe);
        return Fail(
            ERROR_ACCESS_DENIED, error_code::kAccessDenied,
            "cannot write " + target + ": it is a device, not a regular file; nothing was written");
      }
      file = probe;
      inPlace = true;
      active = true;
      return true;
    }
    CloseHandle(probe);
  }
  DWORD error = 0;
  mutex = LockFolder(folder, error);
  if (!mutex && error != 0) {
    return FailLast("cannot write " + target + ": another process has held the folder " + folder +
                        " locked for over 10 seconds",
                    error);
  }
  const std::string base = BaseOf(target);
  RemoveLeftovers(folder, base);
  file = CreateTemporary(folder, base, temporary);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    temporary.clear();
    return FailLast("cannot create a temporary file beside " + target, e);
  }
  active = true;
  return true;
}

bool SafeReplace::Impl::KeepBackup() {
  const std::string backup = name + ".bak";
  const DWORD attributes = GetFileAttributesA(backup.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return Fail(
        ERROR_ACCESS_DENIED, error_code::kAccessDenied,
        "cannot keep the previous file as " + backup + ": that is a folder; nothing was saved");
  }
  const std::string backupFolder = FolderOf(backup);
  RemoveLeftovers(backupFolder, BaseOf(backup));
  const HANDLE in = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE)
    return FailLast("cannot keep the previous file as " + backup + ": reading " + target);
  std::string copyName;
  const HANDLE out = CreateTemporary(backupFolder, BaseOf(backup), copyName);
  if (out == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    CloseHandle(in);
    return FailLast("cannot keep the previous file as " + backup, e);
  }
  DWORD error = 0;
  char block[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in, block, sizeof block, &n, nullptr)) {
      error = GetLastError();
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, block, n)) {
      error = GetLastError();
      break;
    }
  }
  CloseHandle(in);
  if (error == 0 && !FlushFileBuffers(out)) error = GetLastError();
  CloseHandle(out);
  if (error == 0 && !MoveFileExA(copyName.c_str(), backup.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileA(copyName.c_str());
    return FailLast("cannot keep the previous file as " + backup + "; nothing was saved", error);
  }
  return true;
}

bool SafeReplace::Impl::Finish() {
  ReplaceReport& report = Report();
  if (writeFailed) return false;
  if (inPlace) {
    const bool closed = CloseHandle(file) != 0;
    file = INVALID_HANDLE_VALUE;
    if (!closed) return FailLast("cannot write " + target);
    report.replaced = true;
    return true;
  }
  if (!FlushFileBuffers(file)) return FailLast("cannot write " + target);
  CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  std::uint64_t links = 0;
  const HANDLE old =
      CreateFileA(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool exists = old != INVALID_HANDLE_VALUE;
  if (exists) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(old, &info) && info.nNumberOfLinks > 1)
      links = info.nNumberOfLinks - 1;
    CloseHandle(old);
  }
  if (exists && options.createOnly) return true;
  if (exists) {
    // The attributes a user sets (hidden, system, not indexed) go with the file. Its security
    // descriptor is the one the folder gives new files.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0) {
      SetFileAttributesA(temporary.c_str(), attributes & kKept);
    }
  }
  if (exists && options.keepBackup && !KeepBackup()) return false;
  const DWORD flags = options.createOnly ? MOVEFILE_WRITE_THROUGH
                                         : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (!MoveFileExA(temporary.c_str(), target.c_str(), flags)) {
    const DWORD e = GetLastError();
    if (options.createOnly && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return true;
    return FailLast("cannot write " + target, e);
  }
  temporary.clear();
  report.replaced = true;
  report.otherLinks = links;
  return true;
}

SafeReplace::SafeReplace() = default;
SafeReplace::~SafeReplace() { Abandon(); }

bool SafeReplace::Begin(std::string_view name, const ReplaceOptions& options) {
  Abandon();
  ReplaceReport& report = Report();
  report = ReplaceReport{};
  impl_ = std::make_unique<Impl>();
  impl_->options = options;
  impl_->name = std::string(name);
  report.target = impl_->name;
  if (!impl_->Start()) {
    impl_.reset();
    return false;
  }
  return true;
}

bool SafeReplace::Append(const void* data, std::size_t size) {
  if (!impl_ || !impl_->active)
    return Fail(0, error_code::kFileNotOpen, "no file is being written");
  if (impl_->writeFailed) return false;
  if (!WriteAll(impl_->file, static_cast<const char*>(data), size)) {
    impl_->writeFailed = true;
    return FailLast("cannot write " + impl_->target);
  }
  return true;
}

bool SafeReplace::Commit() {
  if (!impl_ || !impl_->active)
    return Fail(0, error_code::kFileNotOpen, "no file is being written");
  const bool ok = impl_->Finish();
  impl_.reset();
  return ok;
}

void SafeReplace::Abandon() { impl_.reset(); }

bool SafeReplace::Active() const { return impl_ && impl_->active; }

FolderLock::FolderLock(std::string_view name) {
  DWORD error = 0;
  const HANDLE mutex = LockFolder(FolderOf(std::string(name)), error);
  if (!mutex) return;
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  held_ = true;
}

FolderLock::~FolderLock() {
  if (!held_) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

void RemoveLeftTemporaries(std::string_view name) {
  const std::string path(name);
  RemoveLeftovers(FolderOf(path), BaseOf(path));
}

}  // namespace vantrel
