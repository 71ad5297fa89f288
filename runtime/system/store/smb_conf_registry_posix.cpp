#include "runtime/system/store/smb_conf_registry_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "runtime/text/ansi_text.h"
#include "runtime/text/cp1250.h"
#include "runtime/system/safe_replace.h"
#include "runtime/system/store/smb_conf.h"
#include "runtime/system/store/store_files_posix.h"

namespace vantrel::store::smbconf {
namespace {

using namespace vantrel::seam;

constexpr LONG ERROR_INVALID_DATA = 13;
constexpr std::u16string_view kPrefix = u"Software\\Samba\\smbconf";
constexpr std::uintptr_t kHandleBase = 0x40000000u;
// testparm loads the whole configuration in well under a second; a hung one (a stale network
// include, a locked state folder) must not hold a command for ever.
constexpr int kTestparmSeconds = 30;

struct Slot {
  bool used = false;
  bool top = false;     // the smbconf key itself
  std::string section;  // UTF-8, as the key path named it
  REGSAM access = 0;
};

std::recursive_mutex gMutex;
std::vector<Slot> gSlots;

// The file as last read: one parse serves every query until the file changes.
struct Cache {
  std::string path;
  FileIdentity identity;
  std::vector<std::pair<std::string, FileIdentity>> included;  // as they were read
  bool valid = false;
  bool loaded = false;
  SmbConf conf;
};
Cache gCache;

// Files replaced that had other hard links, until the caller takes them.
std::vector<ReplacedLinks> gReplacedLinks;

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool SameAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) AppendUtf8(out, c);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string units;
  while (!text.empty()) {
    Utf8Char c = DecodeUtf8(text);
    if (c.size == 0) break;
    units += c.valid && c.c < 0x10000 ? static_cast<char16_t>(c.c) : u'?';
    text.remove_prefix(c.size);
  }
  return units;
}

std::string AnsiToUtf8Text(std::string_view text) { return Utf16ToUtf8(Cp1250ToUtf16(text)); }

// File text (UTF-8) as program text; characters the code page lacks become '?', as the "A"
// registry calls give them on Windows.
std::string Utf8ToAnsiText(std::string_view text) { return Utf16ToCp1250(Utf8ToUtf16(text)); }

Slot* FindSlot(HKEY key) {
  auto value = reinterpret_cast<std::uintptr_t>(key);
  if (value < kHandleBase || (value & 3) != 0) return nullptr;
  size_t slot = (value - kHandleBase) / 4;
  return slot < gSlots.size() && gSlots[slot].used ? &gSlots[slot] : nullptr;
}

HKEY NewHandle(const Slot& s) {
  size_t i = 0;
  while (i < gSlots.size() && gSlots[i].used) ++i;
  if (i == gSlots.size()) gSlots.emplace_back();
  gSlots[i] = s;
  gSlots[i].used = true;
  return reinterpret_cast<HKEY>(kHandleBase + 4 * i);
}

LONG Fail(LONG code, const std::string& message) {
  ReportProblem(message);
  return code;
}

// Reads a whole configuration file (never waiting on a FIFO or device in its place): 0, or the
// errno (EFBIG for a file larger than any configuration).
int ReadConfigFile(const std::string& path, std::string& text, FileIdentity& identity) {
  int fd = -1;
  if (int err = OpenRegularFile(path, O_RDONLY, fd)) return err;
  bool gone = false;
  int err = FstatIdentity(fd, identity, gone);
  if (!err) {
    err = identity.size > static_cast<off_t>(kSmbConfMaxBytes)
              ? EFBIG
              : ReadOpenFile(fd, text, identity.size);
  }
  close(fd);
  return err;
}

std::string ReadProblem(const std::string& path, int err) {
  if (err == EFBIG) {
    return path + ": larger than " + std::to_string(kSmbConfMaxBytes >> 20) +
           " MiB, which no Samba configuration is";
  }
  return "cannot read " + path + ": " + ErrorText(err);
}

// Whether the files the cached text included are still the ones read.
bool IncludesUnchanged(const Cache& cache) {
  for (const auto& [path, identity] : cache.included) {
    FileIdentity now;
    if (StatIdentity(path, now) != 0 || !(now == identity)) return false;
  }
  return true;
}

// Brings the cache up to date with the file and the files it includes. A missing file is a
// configuration without sections (Samba is not set up here); anything else that keeps the file
// or one it includes from being read whole is an error naming it.
LONG Load(Cache*& out) {
  out = &gCache;
  const std::string path = ConfigPath();
  int fd = -1;
  if (int err = OpenRegularFile(path, O_RDONLY, fd)) {
    gCache.valid = false;
    if (err == ENOENT) {
      gCache.path = path;
      gCache.identity = FileIdentity{};
      gCache.included.clear();
      gCache.loaded = gCache.conf.Load(std::string());
      gCache.valid = true;
      return ERROR_SUCCESS;
    }
    return Fail(ErrnoToWin32(err), ReadProblem(path, err));
  }
  FileIdentity now;
  bool gone = false;
  if (int err = FstatIdentity(fd, now, gone)) {
    close(fd);
    gCache.valid = false;
    return Fail(ErrnoToWin32(err), ReadProblem(path, err));
  }
  if (gCache.valid && gCache.path == path && gCache.identity == now && IncludesUnchanged(gCache)) {
    close(fd);
  } else {
    std::string text;
    int err =
        now.size > static_cast<off_t>(kSmbConfMaxBytes) ? EFBIG : ReadOpenFile(fd, text, now.size);
    close(fd);
    gCache.valid = false;
    if (err) return Fail(ErrnoToWin32(err), ReadProblem(path, err));
    gCache.path = path;
    gCache.identity = now;
    gCache.included.clear();
    // Samba reads an included file in the include line's place; so does the reader, so that a
    // value read is the one Samba takes.
    auto readInclude = [](const std::string& file, std::string& included, std::string& problem) {
      FileIdentity identity;
      if (int err = ReadConfigFile(file, included, identity)) {
        problem = "includes " + file +
                  (err == EFBIG ? ", larger than any Samba configuration"
                                : ", which cannot be read: " + ErrorText(err));
        return false;
      }
      gCache.included.emplace_back(file, identity);
      return true;
    };
    gCache.loaded = gCache.conf.Load(std::move(text), readInclude);
    gCache.valid = true;
  }
  if (!gCache.loaded) {
    // An included file that could not be read is not in the list of those to watch: read
    // everything again next time, so that one put right is seen.
    if (gCache.conf.ProblemIsInclude()) gCache.valid = false;
    const std::string& file = gCache.conf.ProblemFile();
    return Fail(
        ERROR_BADDB,
        (file.empty() ? path : file + " (included by " + path + ")") + ":" +
            std::to_string(gCache.conf.ProblemLine()) + ": " + gCache.conf.Problem() +
            (gCache.conf.ProblemIsInclude() ? "; what Samba takes from it cannot be known here"
                                            : "; Samba cannot read it as it is"));
  }
  if (std::string kept = gCache.conf.RegistryKept(); !kept.empty()) {
    return Fail(ERROR_CANTREAD, path + " is not where this server's shares are kept: " + kept);
  }
  return ERROR_SUCCESS;
}

// Runs a program with a time limit and returns its exit status (-1 when it could not run or ran
// too long) and what it wrote to stdout and stderr.
int RunBounded(const std::vector<std::string>& args, std::string& output) {
  output.clear();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  if (pid == 0) {
    setpgid(0, 0);
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  setpgid(pid, pid);
  close(pipeFds[1]);
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  bool timedOut = false;
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsedMs =
        (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    const long left = kTestparmSeconds * 1000L - elapsedMs;
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buffer[4096];
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (output.size() < 65536) output.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  if (timedOut) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) {
    output = "it did not finish within " + std::to_string(kTestparmSeconds) + " seconds";
    return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The last line of testparm's complaint that says what is wrong ("set_variable_helper(maybe):
// value is not boolean!"), not its banner.
std::string Complaint(const std::string& output) {
  std::string best;
  size_t at = 0;
  while (at < output.size()) {
    size_t nl = output.find('\n', at);
    if (nl == std::string::npos) nl = output.size();
    std::string line = output.substr(at, nl - at);
    at = nl + 1;
    if (line.empty() || line.rfind("Load smb config files", 0) == 0 ||
        line.rfind("Weak crypto", 0) == 0 || line == "Loaded services file OK.")
      continue;
    if (best.empty() || line.find("Error") == std::string::npos) best = line;
    if (line.find("not boolean") != std::string::npos ||
        line.find("unknown") != std::string::npos || line.find("Unknown") != std::string::npos)
      best = line;
  }
  return best.empty() ? std::string("no reason given") : best;
}

std::string TestparmPath() {
  if (const char* v = std::getenv("VANTREL_TESTPARM"); v && *v) return v;
  return "/usr/bin/testparm";
}

// Checks the changed text with testparm before it may replace `path`: Samba must load it, and
// for a value written it must read that value afterwards (an include or a later line could set
// the parameter again). Empty when it may be written; otherwise why not.
std::string CheckCandidate(const std::string& path, const std::string& text,
                           const std::string& section, const std::string& name,
                           const std::optional<std::string>& value) {
  const std::string testparm = TestparmPath();
  if (access(testparm.c_str(), X_OK) != 0) {
    return "cannot check the change to " + path + " with Samba's testparm (" + testparm + ": " +
           std::strerror(errno) + "), so the file was left as it was";
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantrel-smbconf-XXXXXX";
  if (!mkdtemp(folder.data())) {
    return "cannot make a folder for the candidate of " + path + ": " + std::strerror(errno);
  }
  const std::string candidate = folder + "/smb.conf";
  std::string problem;
  int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  bool written = fd >= 0;
  for (size_t off = 0; written && off < text.size();) {
    ssize_t n = write(fd, text.data() + off, text.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      written = false;
    else
      off += static_cast<size_t>(n);
  }
  if (fd >= 0) close(fd);
  if (!written) {
    problem =
        "cannot write the candidate of " + path + " to " + candidate + ": " + std::strerror(errno);
  } else {
    std::string output;
    std::vector<std::string> args{testparm, "-s", candidate};
    if (value) {
      args.push_back("--section-name=" + section);
      args.push_back("--parameter-name=" + name);
    }
    const int status = RunBounded(args, output);
    if (status != 0) {
      problem = "testparm rejects " + path + " with " + name +
                (value ? " = " + *value : " removed") + " in [" + section + "] (" +
                Complaint(output) + "), so the file was left as it was";
    } else if (value) {
      // With --parameter-name testparm prints only the value, on the last line.
      std::string shown = output;
      while (!shown.empty() && (shown.back() == '\n' || shown.back() == ' ')) shown.pop_back();
      shown = shown.substr(shown.rfind('\n') == std::string::npos ? 0 : shown.rfind('\n') + 1);
      if (!SameSmbValue(shown, *value)) {
        problem = "after writing " + name + " = " + *value + " in [" + section + "] of " + path +
                  ", Samba would still read \"" + shown +
                  "\" (an include or another setting overrides it), so the file was left as it was";
      }
    }
  }
  unlink(candidate.c_str());
  rmdir(folder.c_str());
  return problem;
}

// Reads the file afresh, applies the change and replaces the file when testparm accepts it.
LONG Change(const std::string& section, const std::string& name,
            const std::optional<std::string>& value) {
  const std::string path = ConfigPath();
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Written through, a link planted in the configuration's place would let this program,
    // run as root, replace whatever file it leads to.
    std::string target(4096, '\0');
    ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
    target.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return Fail(ERROR_ACCESS_DENIED, "not changing " + path + ": it is a symbolic link (to " +
                                         target + "); name the file itself with VANTREL_SMB_CONF");
  }
  FolderLock lock(path);
  if (!lock.Held())
    return Fail(ERROR_CANTWRITE, "cannot lock the folder of " + path + " for writing");
  gCache.valid = false;  // read it again under the lock: another program may have changed it
  Cache* cache;
  if (LONG r = Load(cache)) return r;
  if (!cache->identity.exists) {
    return Fail(ERROR_FILE_NOT_FOUND, "cannot change " + path +
                                          ": it does not exist (is Samba set up "
                                          "here? VANTREL_SMB_CONF names another file)");
  }
  SmbConf conf = cache->conf;
  const FileIdentity read = cache->identity;
  bool changed = false;
  if (value) {
    if (const auto old = conf.Get(section, name); old && SameSmbValue(*old, *value)) {
      // Read with its includes the file says so; with includes, Samba's own reading must agree
      // before "already so" is reported, since a success here is one Samba acts on.
      if (conf.IncludedFiles().empty()) return ERROR_SUCCESS;
      std::string problem = CheckCandidate(path, conf.Text(), section, name, value);
      return problem.empty() ? ERROR_SUCCESS : Fail(ERROR_INVALID_DATA, problem);
    }
    if (!conf.Set(section, name, *value, changed)) {
      if (!conf.Problem().empty()) {
        return Fail(ERROR_INVALID_DATA,
                    "not changing " + path + ": " + conf.Problem() + "; nothing was written");
      }
      return Fail(ERROR_FILE_NOT_FOUND,
                  path + " has no section [" + section +
                      "]; only existing sections are changed, so nothing was written");
    }
  } else {
    if (!conf.Remove(section, name)) {
      if (conf.Problem().empty()) return ERROR_FILE_NOT_FOUND;
      return Fail(ERROR_INVALID_DATA,
                  "not changing " + path + ": " + conf.Problem() + "; nothing was written");
    }
    changed = true;
  }
  if (!changed) return ERROR_SUCCESS;
  const std::string text = conf.Text();
  if (std::string problem = CheckCandidate(path, text, section, name, value); !problem.empty())
    return Fail(ERROR_INVALID_DATA, problem);
  FileIdentity now;
  if (StatIdentity(path, now) != 0 || !(now == read)) {
    return Fail(ERROR_CANTWRITE, path +
                                     " changed while it was being checked; nothing was written, "
                                     "try again");
  }
  ReplaceOptions options;
  options.keepBackup = true;
  options.followLinks = false;
  if (!ReplaceWholeFile(path, text, options)) return Fail(ERROR_CANTWRITE, LastReplace().problem);
  gCache.valid = false;
  // The other names of a hard-linked file keep the previous text, and a Samba started with one
  // of them reads that: the command says so, as it does for every file it replaces.
  if (const ReplaceReport& report = LastReplace(); report.otherLinks > 0)
    gReplacedLinks.push_back({path, report.otherLinks});
  return ERROR_SUCCESS;
}

// A value's text as the registry gives it: booleans and numbers as REG_DWORD, the rest REG_SZ.
DWORD TypeAndData(const std::string& text, std::string& data) {
  if (const auto b = SmbBoolean(text)) {
    const DWORD v = *b ? 1 : 0;
    data.assign(reinterpret_cast<const char*>(&v), sizeof v);
    return REG_DWORD;
  }
  if (!text.empty() && text.size() <= 10 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (v <= 0xFFFFFFFFull) {
      const DWORD d = static_cast<DWORD>(v);
      data.assign(reinterpret_cast<const char*>(&d), sizeof d);
      return REG_DWORD;
    }
  }
  data = Utf8ToAnsiText(text);
  data.push_back('\0');
  return REG_SZ;
}

// The section a slot names must still be in the file.
LONG SectionOf(Slot* s, Cache*& cache) {
  if (LONG r = Load(cache)) return r;
  if (!s->top && !cache->conf.HasSection(s->section)) return ERROR_KEY_DELETED;
  return ERROR_SUCCESS;
}

}  // namespace

std::string ConfigPath() {
  if (const char* v = std::getenv("VANTREL_SMB_CONF"); v && *v) return v;
  return "/etc/samba/smb.conf";
}

bool IsSambaPath(std::u16string_view path) {
  if (path.size() < kPrefix.size() || !SameAscii(path.substr(0, kPrefix.size()), kPrefix))
    return false;
  return path.size() == kPrefix.size() || path[kPrefix.size()] == u'\\';
}

bool IsSambaHandle(HKEY key) {
  std::lock_guard lock(gMutex);
  return FindSlot(key) != nullptr;
}

LONG Open(std::u16string_view path, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  std::u16string_view rest = path.substr(kPrefix.size());
  while (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);
  while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  Slot s;
  s.access = access;
  s.top = rest.empty();
  if (rest.find(u'\\') != std::u16string_view::npos) {
    if (create)
      return Fail(ERROR_ACCESS_DENIED, "Samba's configuration has no keys below a section");
    return ERROR_FILE_NOT_FOUND;
  }
  s.section = Utf16ToUtf8(rest);
  Cache* cache;
  if (LONG r = Load(cache)) return r;
  if (!s.top && !cache->conf.HasSection(s.section)) {
    if (create) {
      return Fail(ERROR_ACCESS_DENIED,
                  ConfigPath() + " has no section [" + s.section +
                      "]; only existing sections are changed, so nothing was written");
    }
    return ERROR_FILE_NOT_FOUND;
  }
  if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
  *result = NewHandle(s);
  return ERROR_SUCCESS;
}

LONG OpenBelow(HKEY key, LPCSTR subKey, REGSAM access, bool create, PHKEY result,
               LPDWORD disposition) {
  std::lock_guard lock(gMutex);
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  std::u16string path(kPrefix);
  if (!s->top) path += u"\\" + Utf8ToUtf16(s->section);
  if (subKey && *subKey) path += u"\\" + Cp1250ToUtf16(subKey);
  return Open(path, access, create, result, disposition);
}

LONG QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  if ((s->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Cache* cache;
  if (LONG r = SectionOf(s, cache)) return r;
  const DWORD room = dataSize ? *dataSize : 0;
  std::optional<std::string> value;
  if (!s->top && name && *name) value = cache->conf.Get(s->section, AnsiToUtf8Text(name));
  if (!value) {
    if (type) *type = REG_NONE;
    if (dataSize && !data) *dataSize = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  std::string bytes;
  const DWORD t = TypeAndData(*value, bytes);
  if (type) *type = t;
  if (!dataSize) return ERROR_SUCCESS;
  *dataSize = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LONG SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataSize) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  if ((s->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (s->top || !name || !*name) {
    return Fail(ERROR_ACCESS_DENIED, "not written to " + ConfigPath() +
                                         ": a Samba parameter belongs to a section and has a name");
  }
  std::string text;
  if (type == REG_DWORD && dataSize == 4) {
    DWORD v;
    std::memcpy(&v, data, 4);
    text = std::to_string(v);
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string raw(reinterpret_cast<const char*>(data), dataSize);
    raw = raw.substr(0, raw.find('\0'));
    text = AnsiToUtf8Text(raw);
  } else {
    return Fail(ERROR_INVALID_PARAMETER, "not written to " + ConfigPath() +
                                             ": a Samba parameter takes a number or a text, not "
                                             "registry type " +
                                             std::to_string(type));
  }
  // One line per parameter: a line break would add a parameter of the caller's choosing, and a
  // closing backslash would swallow the next line of the file.
  if (text.find_first_of("\r\n") != std::string::npos || (!text.empty() && text.back() == '\\')) {
    return Fail(ERROR_INVALID_PARAMETER, "not written to " + ConfigPath() +
                                             ": a Samba parameter's value cannot hold a line break "
                                             "or end in a backslash");
  }
  const std::string param = AnsiToUtf8Text(name);
  if (param.find_first_of("=[]\r\n#;") != std::string::npos ||
      param.find_first_not_of(" \t") == std::string::npos) {
    return Fail(ERROR_INVALID_PARAMETER, "not written to " + ConfigPath() + ": \"" + param +
                                             "\" is no Samba parameter name");
  }
  return Change(s->section, param, text);
}

LONG DeleteValue(HKEY key, LPCSTR name) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  if ((s->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (s->top || !name || !*name) return ERROR_FILE_NOT_FOUND;
  return Change(s->section, AnsiToUtf8Text(name), std::nullopt);
}

LONG EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, PFILETIME lastWriteTime) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  Cache* cache;
  if (LONG r = SectionOf(s, cache)) return r;
  if (!s->top) return ERROR_NO_MORE_ITEMS;
  const std::vector<std::string> sections = cache->conf.Sections();
  if (index >= sections.size()) return ERROR_NO_MORE_ITEMS;
  const std::string found = Utf8ToAnsiText(sections[index]);
  if (found.size() >= *nameSize) return ERROR_MORE_DATA;
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG QueryInfo(HKEY key, LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD values,
               LPDWORD maxValueNameLen, LPDWORD maxValueLen) {
  std::lock_guard lock(gMutex);
  ClearProblem();
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  Cache* cache;
  if (LONG r = SectionOf(s, cache)) return r;
  DWORD keys = 0, longestKey = 0, count = 0, longestName = 0, longestData = 0;
  if (s->top) {
    for (const std::string& section : cache->conf.Sections()) {
      ++keys;
      longestKey = std::max(longestKey, static_cast<DWORD>(Utf8ToAnsiText(section).size()));
    }
  } else {
    for (const SmbConf::Parameter& p : cache->conf.Parameters(s->section)) {
      ++count;
      std::string bytes;
      TypeAndData(p.value, bytes);
      longestName = std::max(longestName, static_cast<DWORD>(Utf8ToAnsiText(p.name).size()));
      longestData = std::max(longestData, static_cast<DWORD>(bytes.size()));
    }
  }
  if (subKeys) *subKeys = keys;
  if (maxSubKeyLen) *maxSubKeyLen = longestKey;
  if (values) *values = count;
  if (maxValueNameLen) *maxValueNameLen = longestName;
  if (maxValueLen) *maxValueLen = longestData;
  return ERROR_SUCCESS;
}

LONG Close(HKEY key) {
  std::lock_guard lock(gMutex);
  Slot* s = FindSlot(key);
  if (!s) return ERROR_INVALID_HANDLE;
  s->used = false;
  return ERROR_SUCCESS;
}

bool HoldsSambaPath(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return false;  // the root itself, which is never deleted
  if (IsSambaPath(path)) return true;
  return path.size() < kPrefix.size() && SameAscii(path, kPrefix.substr(0, path.size())) &&
         kPrefix[path.size()] == u'\\';
}

LONG DeleteKey(std::u16string_view path) {
  if (!path.empty() && !IsSambaPath(path)) {
    return Fail(ERROR_ACCESS_DENIED,
                "HKEY_LOCAL_MACHINE\\" + Utf16ToUtf8(path) +
                    " holds Software\\Samba\\smbconf, the sections of " + ConfigPath() +
                    ", which are not removed through the registry (that would delete shares); "
                    "nothing was deleted");
  }
  return Fail(ERROR_ACCESS_DENIED,
              "sections of " + ConfigPath() +
                  " are not removed through the registry: that would delete a share");
}

std::vector<ReplacedLinks> TakeReplacedLinks() {
  std::lock_guard lock(gMutex);
  std::vector<ReplacedLinks> out;
  out.swap(gReplacedLinks);
  return out;
}

}  // namespace vantrel::store::smbconf
