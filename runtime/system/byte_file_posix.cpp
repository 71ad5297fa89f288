// Byte files on POSIX systems. Windows share modes become advisory flock() locks, so two Vantrel
// processes keep each other out the way two Windows openers would; other programs are not held
// back, as POSIX gives no way to.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {
namespace {

// The Win32 error number that stands for an errno value, kept as the thread's last error.
seam::DWORD Win32ErrorFor(int error) {
  switch (error) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return 5;
    case EWOULDBLOCK: return 32;  // ERROR_SHARING_VIOLATION
    case ENOMEM: return 8;
    case ENOSPC: return 112;        // ERROR_DISK_FULL
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EINVAL: return 123;        // ERROR_INVALID_NAME
    default: return 31;             // ERROR_GEN_FAILURE
  }
}

std::int32_t Report(int error, std::int32_t code) {
  seam::SetLastError(Win32ErrorFor(error));
  return code;
}

// ENOENT stands for both "no such file" and "no such folder"; the runtime tells them apart.
bool ParentFolderExists(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return true;
  const std::string parent = slash == 0 ? "/" : name.substr(0, slash);
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int32_t CodeFor(int error, const std::string& name) {
  if (error == ENOENT && !ParentFolderExists(name)) return Report(error, error_code::kPathNotFound);
  return Report(error, FileErrorCodeFromOs(error));
}

}  // namespace

std::int32_t FileErrorCodeFromOs(int error) {
  switch (error) {
    case 0: return 0;
    case ENOENT: return error_code::kFileNotFound;
    case ENOTDIR:
    case ELOOP: return error_code::kPathNotFound;
    case EMFILE:
    case ENFILE: return error_code::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EWOULDBLOCK: return error_code::kAccessDenied;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: return error_code::kInvalidFileName;
    default: return error_code::kFileSystemError;
  }
}

namespace byte_file_os {

std::int32_t Open(const std::string& name, std::uint32_t mode, std::intptr_t* handle) {
  const std::uint32_t access = mode & 0x0F;
  const std::uint32_t share = mode & 0xF0;
  int flags = O_CLOEXEC;
  bool writes = true;
  if (access == kAccessRead) {
    flags |= O_RDONLY;
    writes = false;
  } else if (access == kAccessWrite) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDWR;
  }
  // O_NONBLOCK: a FIFO put where a file is expected would otherwise hold the open until a
  // writer comes; the caller sees what it got (IsRegular). Reads of regular files ignore it.
  const int fd = ::open(name.c_str(), flags | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return CodeFor(errno, name);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Report(EISDIR, error_code::kAccessDenied);
  }
  // Denying writes to others while writing ourselves, or denying reads, excludes everyone else;
  // a reader that denies writes shares with other such readers.
  int lock = 0;
  if (share == kDenyAll || share == kDenyRead)
    lock = LOCK_EX;
  else if (share == kDenyWrite)
    lock = writes ? LOCK_EX : LOCK_SH;
  if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return Report(error, error_code::kAccessDenied);
  }
  *handle = fd;
  return 0;
}

std::int32_t Create(const std::string& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return CodeFor(errno, name);
  if (::close(fd) != 0) return Report(errno, error_code::kFileSystemError);
  return 0;
}

std::int32_t Read(std::intptr_t handle, char* out, std::size_t size, std::size_t* got) {
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::read(static_cast<int>(handle), out + *got, size - *got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Report(errno, error_code::kFileSystemError);
    }
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return 0;
}

std::int32_t Write(std::intptr_t handle, const char* data, std::size_t size) {
  // Appends go to the end even when another opener has moved it.
  if (::lseek(static_cast<int>(handle), 0, SEEK_END) < 0)
    return Report(errno, error_code::kFileSystemError);
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Report(errno,
                    errno == ENOSPC ? error_code::kFileSystemError : FileErrorCodeFromOs(errno));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

std::int32_t Sync(std::intptr_t handle) {
  if (::fsync(static_cast<int>(handle)) != 0) return Report(errno, FileErrorCodeFromOs(errno));
  return 0;
}

std::int64_t Size(std::intptr_t handle) {
  struct stat st;
  if (::fstat(static_cast<int>(handle), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool IsRegular(std::intptr_t handle) {
  struct stat st;
  return ::fstat(static_cast<int>(handle), &st) == 0 && S_ISREG(st.st_mode);
}

bool RegularOrMissing(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

std::int32_t Close(std::intptr_t handle) {
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR) {
    return Report(errno, error_code::kFileSystemError);
  }
  return 0;
}

std::int32_t Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return CodeFor(errno, to);
  // The new name is an entry of the folder: sync the folder too, or a power cut may bring back
  // the old file (or none). A folder that cannot be synced does not undo the rename.
  const std::string::size_type slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : to.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return 0;
}

std::string LinkTarget(const std::string& name) {
  std::string at = name;
  // As many links as the system itself follows; a longer chain is left for open() to refuse.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return at;
    target.resize(static_cast<std::size_t>(n));
    if (target[0] == '/') {
      at = target;
    } else {
      const std::size_t slash = at.rfind('/');
      at = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + target;
    }
  }
  return at;
}

std::int32_t Remove(const std::string& name) {
  if (::unlink(name.c_str()) != 0) return CodeFor(errno, name);
  return 0;
}

}  // namespace byte_file_os
}  // namespace vantrel
