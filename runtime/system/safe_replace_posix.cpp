// Safe replacement on POSIX systems: openat() with O_CREAT | O_EXCL | O_NOFOLLOW for every file
// we create, flock() on the folder for writers taking turns and on each temporary to mark it as
// held by a live writer, rename() to put the new file in place.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"
#include "runtime/system/safe_replace.h"

namespace vantrel {
namespace {

using namespace safe_replace_detail;

// How long a writer waits for another one working in the same folder. A save takes
// milliseconds; a lock held longer is a stuck or hostile process, and the user is told.
constexpr int kLockTries = 1000;
constexpr long kLockPauseNs = 10'000'000;  // 10 ms: 10 s in all

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool FailErrno(int error, const std::string& what) {
  return Fail(error, FileErrorCodeFromOs(error), what + ": " + std::strerror(error));
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Gives the new file the mode and owner of the one it replaces. Only the superuser may hand a
// file to another owner; anyone else keeps their own, as any editor would.
void TakeModeAndOwner(int fd, const struct stat& old) {
  struct stat now;
  if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, now.st_uid, old.st_gid) != 0) {
      // Not ours to give away: the file stays with this user.
    }
  }
  // After fchown, which clears the set-user-ID and set-group-ID bits.
  ::fchmod(fd, old.st_mode & 07777);
}

// A temporary of `base` in the folder open as `dirFd`, created exclusively and locked. The lock
// tells a later writer's clean-up that a live writer holds it; one that was removed between
// creation and locking is given up for another name.
int CreateTemporary(int dirFd, const std::string& base, mode_t mode, std::string& name,
                    int& fdOut) {
  const std::string prefix = TemporaryPrefix(base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = prefix + RandomSuffix();
    const int fd = ::openat(dirFd, name.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return errno;
    }
    struct stat st;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      fdOut = fd;
      return 0;
    }
    ::close(fd);
  }
  return EEXIST;
}

void RemoveLeftovers(int dirFd, const std::string& base) {
  const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* d = ::fdopendir(listFd);
  if (d == nullptr) {
    ::close(listFd);
    return;
  }
  while (const dirent* e = ::readdir(d)) {
    if (!IsTemporaryOf(e->d_name, base)) continue;
    struct stat named;
    if (::fstatat(dirFd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode)) {
      continue;  // a link or anything else at such a name is not ours to remove
    }
    const int fd =
        ::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat held;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        ::fstatat(dirFd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named)) {
      ::unlinkat(dirFd, e->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(d);
}

int OpenFolder(const std::string& folder, int& fd) {
  fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? errno : 0;
}

// The folders this process holds locked, with how many of its writers work in each. flock()
// locks belong to one opening of the folder, so a second writer of this process in the same
// folder (a side file written while its document is) shares the lock instead of waiting for
// itself.
struct HeldFolder {
  dev_t dev;
  ino_t ino;
  int fd;
  int users;
};
std::mutex gHeldMutex;
std::vector<HeldFolder> gHeld;

// Waits (a bounded time) for the folder's writer lock. A file system without flock() on folders
// (some network ones) gets no lock: each writer's file still lands whole.
int LockFolder(int dirFd) {
  struct stat st;
  if (::fstat(dirFd, &st) != 0) return errno;
  std::lock_guard<std::mutex> guard(gHeldMutex);
  for (HeldFolder& h : gHeld) {
    if (h.dev == st.st_dev && h.ino == st.st_ino) {
      ++h.users;
      return 0;
    }
  }
  const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  for (int i = 0; i < kLockTries; ++i) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR)) {
      gHeld.push_back({st.st_dev, st.st_ino, fd, 1});
      return 0;
    }
    const timespec pause{0, kLockPauseNs};
    ::nanosleep(&pause, nullptr);
  }
  ::close(fd);
  return EWOULDBLOCK;
}

void UnlockFolder(int dirFd) {
  struct stat st;
  if (::fstat(dirFd, &st) != 0) return;
  std::lock_guard<std::mutex> guard(gHeldMutex);
  for (std::size_t i = 0; i < gHeld.size(); ++i) {
    if (gHeld[i].dev != st.st_dev || gHeld[i].ino != st.st_ino) continue;
    if (--gHeld[i].users == 0) {
      ::close(gHeld[i].fd);  // releases the lock
      gHeld.erase(gHeld.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return;
  }
}

}  // namespace

struct SafeReplace::Impl {
  ReplaceOptions options;
  std::string name;       // as given
  std::string target;     // where its links lead
  std::string folder;     // the target's folder
  int dirFd = -1;         // the folder
  bool locked = false;    // this writer counts among the folder lock's users
  std::string temporary;  // the temporary's name in the folder
  int fd = -1;
  bool inPlace = false;
  bool active = false;
  int writeError = 0;

  ~Impl() { Drop(); }

  void Drop() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!temporary.empty() && dirFd >= 0) ::unlinkat(dirFd, temporary.c_str(), 0);
    temporary.clear();
    if (locked) UnlockFolder(dirFd);
    locked = false;
    if (dirFd >= 0) ::close(dirFd);
    dirFd = -1;
    active = false;
  }

  bool Start();
  bool StartInPlace(const struct stat& st);
  bool Finish();
  bool KeepBackup(const struct stat& old);
};

bool SafeReplace::Impl::StartInPlace(const struct stat& st) {
  if (!options.devicesInPlace || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    return Fail(0, error_code::kAccessDenied,
                "cannot write " + target + ": it is " + KindOf(st.st_mode) +
                    ", not a regular file; nothing was written");
  }
  // Without O_NONBLOCK a FIFO nobody reads would hold the open forever.
  fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENXIO) {
      return Fail(ENXIO, error_code::kAccessDenied,
                  "cannot write " + target + ": it is a FIFO that no process reads");
    }
    return FailErrno(errno, "cannot write " + target);
  }
  struct stat now;
  if (::fstat(fd, &now) != 0 || !(S_ISCHR(now.st_mode) || S_ISFIFO(now.st_mode))) {
    ::close(fd);
    fd = -1;
    return Fail(0, error_code::kAccessDenied,
                "cannot write " + target + ": it changed while opened");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  inPlace = true;
  active = true;
  return true;
}

std::string FileFingerprint(std::string_view name) {
  struct stat st;
  if (::stat(std::string(name).c_str(), &st) != 0) {
    return errno == ENOENT ? "absent" : "unreadable " + std::to_string(errno);
  }
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
         std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

bool SafeReplace::Impl::Start() {
  ReplaceReport& report = Report();
  if (UnusableName(name))
    return Fail(0, error_code::kInvalidFileName, "the file name is empty or holds a zero byte");
  struct stat st;
  // The system's own links to streams (/dev/stdout, /proc/self/fd/1) are what they say; a link
  // anywhere else may have been planted to send the write elsewhere.
  const bool systemLink = name.rfind("/dev/", 0) == 0 || name.rfind("/proc/", 0) == 0;
  if (!options.followLinks && !(options.devicesInPlace && systemLink) &&
      ::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    return Fail(ELOOP, error_code::kAccessDenied,
                "cannot write " + name + ": it is a symbolic link, which is not followed here");
  }
  // /dev/stdout on a pipe leads to "pipe:[...]", no name a file can be opened by: a stream
  // behind such a link is written through the link itself.
  if (systemLink && options.devicesInPlace && ::stat(name.c_str(), &st) == 0 &&
      (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    target = name;
    report.target = target;
    return StartInPlace(st);
  }
  target = options.followLinks || systemLink ? ByteFile::LinkTarget(name) : name;
  report.target = target;
  if (!options.expectedFingerprint.empty() &&
      FileFingerprint(target) != options.expectedFingerprint) {
    return Fail(0, error_code::kAccessDenied,
                "cannot write " + name +
                    ": it changed since it was read (another program wrote "
                    "it, or put another file or a link in its place); nothing was written");
  }
  folder = FolderOf(target);
  if (::lstat(target.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      return Fail(ELOOP, error_code::kPathNotFound,
                  "cannot write " + name + ": too many symbolic links");
    }
    if (!S_ISREG(st.st_mode)) return StartInPlace(st);
  } else if (errno != ENOENT) {
    return FailErrno(errno, "cannot write " + target);
  }
  if (int err = OpenFolder(folder, dirFd)) {
    if (err == ENOENT)
      return Fail(err, error_code::kPathNotFound,
                  "cannot write " + target + ": the folder " + folder + " does not exist");
    return FailErrno(err, "cannot write " + target + ": the folder " + folder);
  }
  if (int err = LockFolder(dirFd); err == EWOULDBLOCK) {
    return Fail(EWOULDBLOCK, error_code::kAccessDenied,
                "cannot write " + target + ": another process has held the folder " + folder +
                    " locked for over 10 seconds");
  } else if (err != 0) {
    return FailErrno(err, "cannot write " + target + ": the folder " + folder);
  }
  locked = true;
  const std::string base = BaseOf(target);
  RemoveLeftovers(dirFd, base);
  // A new file gets the mode the user's umask gives any new file; one that replaces another is
  // kept private until it takes the old one's mode at the end.
  const bool exists = ::fstatat(dirFd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (int err = CreateTemporary(dirFd, base, exists ? 0600 : 0666, temporary, fd)) {
    temporary.clear();
    return FailErrno(err, "cannot create a temporary file beside " + target);
  }
  active = true;
  return true;
}

bool SafeReplace::Impl::KeepBackup(const struct stat& old) {
  const std::string backup = name + ".bak";
  const std::string backupFolder = FolderOf(backup);
  int backupDir = -1;
  if (int err = OpenFolder(backupFolder, backupDir))
    return FailErrno(err, "cannot keep the previous file as " + backup);
  struct Closer {
    int& fd;
    ~Closer() { ::close(fd); }
  } closeDir{backupDir};
  const std::string backupBase = BaseOf(backup);
  struct stat at;
  if (::fstatat(backupDir, backupBase.c_str(), &at, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(at.st_mode)) {
    return Fail(
        EISDIR, error_code::kAccessDenied,
        "cannot keep the previous file as " + backup + ": that is a folder; nothing was saved");
  }
  // Copies of the previous file that a killed save left under the backup's own temporary names.
  RemoveLeftovers(backupDir, backupBase);
  const int in = ::openat(dirFd, BaseOf(target).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (in < 0)
    return FailErrno(errno, "cannot keep the previous file as " + backup + ": reading " + target);
  std::string copyName;
  int out = -1;
  if (int err = CreateTemporary(backupDir, backupBase, 0600, copyName, out)) {
    ::close(in);
    return FailErrno(err, "cannot keep the previous file as " + backup);
  }
  int err = 0;
  struct stat inSt;
  if (::fstat(in, &inSt) != 0)
    err = errno;
  else if (!SameFile(inSt, old))
    err = EAGAIN;  // replaced meanwhile by another program
  char block[65536];
  while (err == 0) {
    const ssize_t n = ::read(in, block, sizeof block);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
    } else if (n == 0) {
      break;
    } else {
      err = WriteAll(out, block, static_cast<std::size_t>(n));
    }
  }
  ::close(in);
  if (err == 0) {
    TakeModeAndOwner(out, old);
    if (::fsync(out) != 0) err = errno;
  }
  if (err == 0 && ::renameat(backupDir, copyName.c_str(), backupDir, backupBase.c_str()) != 0)
    err = errno;
  if (err != 0) ::unlinkat(backupDir, copyName.c_str(), 0);
  ::close(out);
  if (err != 0)
    return FailErrno(err, "cannot keep the previous file as " + backup + "; nothing was saved");
  return true;
}

bool SafeReplace::Impl::Finish() {
  ReplaceReport& report = Report();
  if (writeError != 0) return false;  // said when it happened
  if (inPlace) {
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR) return FailErrno(errno, "cannot write " + target);
    report.replaced = true;
    return true;
  }
  if (::fsync(fd) != 0) return FailErrno(errno, "cannot write " + target);
  const std::string base = BaseOf(target);
  struct stat old;
  const bool exists = ::fstatat(dirFd, base.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    return Fail(
        0, error_code::kAccessDenied,
        "cannot write " + target + ": it is now " + KindOf(old.st_mode) + ", not a regular file");
  }
  if (exists && options.createOnly) {
    report.replaced = false;  // another writer created it first
    return true;
  }
  if (exists) {
    TakeModeAndOwner(fd, old);
    if (options.keepBackup && !KeepBackup(old)) return false;
  }
  if (options.createOnly) {
    if (::linkat(dirFd, temporary.c_str(), dirFd, base.c_str(), 0) != 0 && errno != EEXIST) {
      return FailErrno(errno, "cannot create " + target);
    }
  } else if (::renameat(dirFd, temporary.c_str(), dirFd, base.c_str()) != 0) {
    return FailErrno(errno, "cannot write " + target);
  } else {
    temporary.clear();
  }
  // The new name is an entry of the folder: flush it too, or a power cut may bring back the old
  // file. A folder that cannot be flushed does not undo the rename.
  ::fsync(dirFd);
  report.replaced = true;
  report.otherLinks = exists && old.st_nlink > 1 ? old.st_nlink - 1 : 0;
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
  if (impl_->writeError != 0) return false;
  if (int err = WriteAll(impl_->fd, static_cast<const char*>(data), size)) {
    impl_->writeError = err;
    return FailErrno(err, "cannot write " + impl_->target);
  }
  return true;
}

bool SafeReplace::Commit() {
  if (!impl_ || !impl_->active)
    return Fail(0, error_code::kFileNotOpen, "no file is being written");
  const bool ok = impl_->Finish();
  impl_.reset();  // removes the temporary when it did not take the name, releases the lock
  return ok;
}

void SafeReplace::Abandon() { impl_.reset(); }

bool SafeReplace::Active() const { return impl_ && impl_->active; }

FolderLock::FolderLock(std::string_view name) {
  int dirFd = -1;
  if (OpenFolder(FolderOf(ByteFile::LinkTarget(name)), dirFd) != 0) return;
  if (LockFolder(dirFd) != 0) {
    ::close(dirFd);
    return;
  }
  handle_ = dirFd;
  held_ = true;
}

FolderLock::~FolderLock() {
  if (handle_ < 0) return;
  UnlockFolder(static_cast<int>(handle_));
  ::close(static_cast<int>(handle_));
}

void RemoveLeftTemporaries(std::string_view name) {
  const std::string path(name);
  int dirFd = -1;
  if (OpenFolder(FolderOf(path), dirFd) != 0) return;
  RemoveLeftovers(dirFd, BaseOf(path));
  ::close(dirFd);
}

}  // namespace vantrel
