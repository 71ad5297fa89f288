#include "runtime/system/store/store_files_posix.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/system/byte_file.h"
#include "runtime/system/safe_replace.h"
#include "runtime/system/store/registry_store.h"

namespace vantrel::store {
namespace {

thread_local std::string tProblem;
MessageSink gSink = nullptr;

void ToIdentity(const struct stat& st, FileIdentity& out) {
  out.exists = true;
  out.dev = st.st_dev;
  out.ino = st.st_ino;
  out.size = st.st_size;
  out.mtime = st.st_mtim;
}

int ReadFd(int fd, std::string& text, off_t sizeHint) {
  text.clear();
  // One byte more than expected, so that reaching the end needs no second allocation.
  text.resize(static_cast<size_t>(sizeHint > 0 ? sizeHint : 0) + 1);
  size_t got = 0;
  for (;;) {
    if (got == text.size()) text.resize(text.size() + 65536);
    ssize_t n = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  return 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The replacement's failure as an errno value (kNotRegularFile when it had none: the file was
// not a regular one).
int ReplaceError() {
  const int err = LastReplace().osError;
  return err != 0 ? err : kNotRegularFile;
}

// Creates a missing registry file with Wine's header; a file another process created first wins.
// Every writer passes here for each of the three files, so the temporaries that a writer killed
// during any file's first write left behind are cleared by the next write to any of them.
int CreateIfMissing(const std::string& linkPath) {
  const std::string path = ByteFile::LinkTarget(linkPath);
  RemoveLeftTemporaries(path);
  if (access(path.c_str(), F_OK) == 0) return 0;
  ReplaceOptions options;
  options.createOnly = true;
  if (!ReplaceWholeFile(linkPath, EmptyHiveText(linkPath), options)) return ReplaceError();
  return 0;
}

// An exclusive lock on the file now at `path`. Writers replace the file by renaming, so after
// waiting for the lock the descriptor may belong to a file that is gone; then lock again.
int LockFile(const std::string& path, int& fdOut) {
  for (;;) {
    int fd = -1;
    if (int err = OpenRegularFile(path, O_RDWR, fd)) return err;
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        int err = errno;
        close(fd);
        return err;
      }
    }
    struct stat held, now;
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      fdOut = fd;
      return 0;
    }
    close(fd);
  }
}

bool LockHeld(const std::string& lockPath) {
  int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  bool held = fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  close(fd);
  return held;
}

}  // namespace

int OpenRegularFile(const std::string& path, int flags, int& fdOut) {
  // Without O_NONBLOCK a FIFO put in a file's place would block the open forever.
  int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st;
  int err = fstat(fd, &st) != 0   ? errno
            : S_ISDIR(st.st_mode) ? EISDIR
            : S_ISREG(st.st_mode) ? 0
                                  : kNotRegularFile;
  if (err) {
    close(fd);
    return err;
  }
  fdOut = fd;
  return 0;
}

std::string ErrorText(int err) {
  return err == kNotRegularFile ? "not a regular file" : std::strerror(err);
}

StoreLocation LocateStore() {
  if (const char* v = std::getenv("VANTREL_REGISTRY"); v && *v)
    return {v, "VANTREL_REGISTRY", true};
  if (const char* v = std::getenv("WINEPREFIX"); v && *v) return {v, "WINEPREFIX", true};
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : "/tmp";
  }
  struct stat st;
  const std::string wine = std::string(home) + "/.wine";
  if (stat(wine.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {wine, "~/.wine", false};
  std::string base;
  if (const char* v = std::getenv("XDG_DATA_HOME"); v && *v == '/') {
    base = v;
  } else {
    base = std::string(home) + "/.local/share";
  }
  return {base + "/vantrel/registry", "the default location", false};
}

std::string StoreFolder() { return LocateStore().folder; }

const std::string& StoreFolderRef() {
  thread_local std::string seen[4], folder;
  thread_local bool known = false;
  static const char* const kNames[4] = {"VANTREL_REGISTRY", "WINEPREFIX", "XDG_DATA_HOME", "HOME"};
  // Every registry call asks, and each getenv walks the environment: when VANTREL_REGISTRY or
  // WINEPREFIX is set it alone decides the folder (LocateStore's order), so the later variables
  // are not looked at.
  bool same = known;
  for (int i = 0; i < 4; ++i) {
    const char* v = std::getenv(kNames[i]);
    if (seen[i] != (v ? v : "")) {
      seen[i] = v ? v : "";
      same = false;
    }
    if (i < 2 && v && *v) break;
  }
  if (!same) {
    folder = StoreFolder();
    known = true;
  }
  return folder;
}

std::string LastStoreMessage() { return tProblem; }
void SetStoreMessageSink(MessageSink sink) { gSink = sink; }

void ReportProblem(const std::string& message, bool tellUser) {
  tProblem = message;
  if (!tellUser) return;
  if (gSink)
    gSink(message.c_str());
  else
    std::fprintf(stderr, "vantrel: %s\n", message.c_str());
}

void ClearProblem() { tProblem.clear(); }

int StatIdentity(const std::string& path, FileIdentity& out) {
  struct stat st;
  out = FileIdentity{};
  if (stat(path.c_str(), &st) != 0) return errno;
  ToIdentity(st, out);
  return 0;
}

int FstatIdentity(int fd, FileIdentity& out, bool& gone) {
  struct stat st;
  out = FileIdentity{};
  if (fstat(fd, &st) != 0) return errno;
  ToIdentity(st, out);
  gone = st.st_nlink == 0;
  return 0;
}

int ReadOpenFile(int fd, std::string& text, off_t sizeHint) { return ReadFd(fd, text, sizeHint); }

int ReadWholeFile(const std::string& path, std::string& text, FileIdentity& identity) {
  int fd = -1;
  if (int err = OpenRegularFile(path, O_RDONLY, fd)) return err;
  struct stat st;
  int err = 0;
  if (fstat(fd, &st) != 0)
    err = errno;
  else {
    ToIdentity(st, identity);
    err = ReadFd(fd, text, st.st_size);
  }
  close(fd);
  return err;
}

seam::LONG ErrnoToWin32(int err, seam::LONG fallback) {
  switch (err) {
    case 0: return 0;
    case EACCES:
    case EPERM:
    case EROFS: return seam::ERROR_ACCESS_DENIED;
    case ENOENT: return seam::ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return seam::ERROR_PATH_NOT_FOUND;
    case ENOMEM: return seam::ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return seam::ERROR_DISK_FULL;
    default: return fallback;
  }
}

std::string EmptyHiveText(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  std::string root = name == "user.reg"      ? "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000"
                     : name == "userdef.reg" ? "REGISTRY\\\\User\\\\.Default"
                                             : "REGISTRY\\\\Machine";
  return "WINE REGISTRY Version 2\n;; All keys relative to " + root + "\n\n#arch=win64\n";
}

int MakeFolders(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  std::string parent = FolderOf(dir);
  if (parent != dir && parent != "/" && parent != ".") {
    if (int err = MakeFolders(parent)) return err;
  }
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

bool WineserverRunning(const std::string& dir, std::string& where) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return false;
  char name[64];
  std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::vector<std::string> candidates;
  candidates.push_back("/tmp/.wine-" + std::to_string(getuid()) + "/" + name);
  // Some distributions keep the server folder in a private temporary folder whose name the
  // prefix's "wineserver" file records.
  if (FILE* f = std::fopen((dir + "/wineserver").c_str(), "r")) {
    char buf[512] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::string tmp(buf, n);
    while (!tmp.empty() && (tmp.back() == '\n' || tmp.back() == '\0' || tmp.back() == ' '))
      tmp.pop_back();
    if (!tmp.empty() && tmp.find("..") == std::string::npos) {
      if (tmp[0] == '/')
        candidates.push_back(tmp + "/" + name);
      else {
        candidates.push_back("/tmp/" + tmp + "/" + name);
        if (const char* t = std::getenv("TMPDIR"); t && *t)
          candidates.push_back(std::string(t) + "/" + tmp + "/" + name);
      }
    }
  }
  for (const auto& c : candidates) {
    if (LockHeld(c + "/lock")) {
      where = c;
      return true;
    }
  }
  return false;
}

int ReplaceFile(const std::string& linkPath, const std::string& data, int like,
                FileIdentity* written) {
  // The one safe replacement of every file the product writes: a file that is a symbolic link
  // is replaced where the link points, so the link stays; the mode and owner of the file
  // replaced (the one `like` holds open and locked) are kept.
  (void)like;
  if (!ReplaceWholeFile(linkPath, data)) return ReplaceError();
  if (written) StatIdentity(LastReplace().target, *written);
  return 0;
}

namespace {

std::string WineserverProblem(const std::string& dir, const std::string& where) {
  return "the registry in " + dir + " is in use by a running wineserver (" + where +
         "); it would overwrite this change when it saves. Close the Wine programs "
         "(wineserver -k) and try again";
}

// The complaint about `dir` when it is the folder a variable names and it does not exist.
std::string MissingNamedFolder(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0 || errno != ENOENT) return {};
  const StoreLocation location = LocateStore();
  if (!location.named || location.folder != dir) return {};
  return "the registry folder " + dir + " named by " + location.source +
         " does not exist; create the prefix first (wineboot) or correct " + location.source;
}

}  // namespace

std::string MissingStoreFolder() { return MissingNamedFolder(LocateStore().folder); }

std::string StoreWriteProblem() {
  const StoreLocation location = LocateStore();
  const std::string& dir = location.folder;
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    if (errno != ENOENT)
      return "cannot use the registry folder " + dir + ": " + std::strerror(errno);
    // The default location is made on the first write; a named one never is.
    return MissingNamedFolder(dir);
  }
  if (!S_ISDIR(st.st_mode)) {
    return "the registry folder " + dir + " named by " + location.source + " is not a folder";
  }
  std::string where;
  if (WineserverRunning(dir, where)) return WineserverProblem(dir, where);
  if (access(dir.c_str(), W_OK) != 0) {
    return "cannot write in the registry folder " + dir + ": " + std::strerror(errno);
  }
  // Writers lock a file by opening it for writing before they replace it.
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    const std::string path = dir + "/" + name;
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
      return "cannot write " + path + ": " + std::strerror(errno);
    }
  }
  return {};
}

seam::LONG WriteHive(const std::string& dir, WriteContext& ctx,
                     const std::function<seam::LONG(RegistryFile&)>& change) {
  std::string where;
  if (WineserverRunning(dir, where)) {
    ReportProblem(WineserverProblem(dir, where));
    return 5;
  }
  if (std::string missing = MissingNamedFolder(dir); !missing.empty()) {
    ReportProblem(missing);
    return 3;  // ERROR_PATH_NOT_FOUND
  }
  if (int err = MakeFolders(dir)) {
    ReportProblem("cannot create the registry folder " + dir + ": " + ErrorText(err));
    return ErrnoToWin32(err, 1013);
  }
  static const char* kFiles[] = {"system.reg", "user.reg", "userdef.reg"};
  for (const char* f : kFiles) {
    std::string p = dir + "/" + f;
    if (int err = CreateIfMissing(p)) {
      ReportProblem("cannot create " + p + ": " + ErrorText(err));
      return ErrnoToWin32(err, 1013);
    }
  }
  // The folder's lock before the file's: the replacement below takes the folder's lock too, and
  // so does the journal of changes around its own write, so every writer takes the two in this
  // one order and none waits for the other while holding what it needs.
  const FolderLock folderFirst(ctx.path);
  int fd = -1;
  if (int err = LockFile(ctx.path, fd)) {
    ReportProblem("cannot write " + ctx.path + ": " + ErrorText(err));
    return ErrnoToWin32(err, 1013);
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }  // also releases the lock
  } closer{fd};

  struct stat st;
  FileIdentity current;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    ReportProblem("cannot read " + ctx.path + ": " + ErrorText(err));
    return ErrnoToWin32(err, 1013);
  }
  ToIdentity(st, current);
  if (!ctx.loaded || !(ctx.identity == current)) {
    std::string text;
    if (int err = ReadFd(fd, text, st.st_size)) {
      ReportProblem("cannot read " + ctx.path + ": " + ErrorText(err));
      return ErrnoToWin32(err);
    }
    ctx.unreadable = !ctx.file.Load(std::move(text));
    ctx.identity = current;
    ctx.loaded = true;
  }
  if (ctx.unreadable || !ctx.file.Validate()) {
    ReportProblem(ctx.path + ":" + std::to_string(ctx.file.ProblemLine()) + ": " +
                  ctx.file.Problem() + "; the file was left as it was (repair or restore it)");
    return 1009;  // ERROR_BADDB
  }
  if (seam::LONG r = change(ctx.file)) return r;
  std::string out = ctx.file.Serialize();
  FileIdentity written;
  if (int err = ReplaceFile(ctx.path, out, fd, &written)) {
    ctx.loaded = false;  // the text in memory is not what the file holds
    ReportProblem("cannot write " + ctx.path + ": " + ErrorText(err));
    return ErrnoToWin32(err, 1013);
  }
  ctx.identity = written;
  return 0;
}

}  // namespace vantrel::store
