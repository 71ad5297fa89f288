// Nothing is lost: concurrent writers, corrupt files, folders the user may not write, and a
// running wineserver that would overwrite the store's changes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>

#include "runtime/system/store/registry_store.h"
#include "runtime/seam/win32_seam.h"
#include "tests/store/store_test_support.h"

using namespace vantrel::seam;
using namespace vantrel::store::testing;

namespace {

std::string gMessages;
void Capture(const char* message) { gMessages += std::string(message) + "\n"; }

LONG SetDword(HKEY root, const char* path, const char* name, DWORD value) {
  HKEY key;
  LONG r = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (r) return r;
  r = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(key);
  return r;
}

LONG GetDword(HKEY root, const char* path, const char* name, DWORD* value) {
  HKEY key;
  LONG r = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key);
  if (r) return r;
  DWORD size = 4;
  r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return r;
}

class StoreReliability : public ::testing::Test {
 protected:
  void SetUp() override {
    gMessages.clear();
    vantrel::store::SetStoreMessageSink(&Capture);
  }
  void TearDown() override { vantrel::store::SetStoreMessageSink(nullptr); }
  ScratchStore store;
};

TEST_F(StoreReliability, TwoProcessesWritingAtOnceLoseNothing) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Both", "start", 1), ERROR_SUCCESS);
  constexpr int kEach = 500;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
        if (SetDword(HKEY_LOCAL_MACHINE, "Software\\Both", name.c_str(), static_cast<DWORD>(i)) !=
            0)
          ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kEach; ++i) {
      std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
      DWORD v = 12345;
      ASSERT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Both", name.c_str(), &v), ERROR_SUCCESS)
          << name;
      EXPECT_EQ(v, static_cast<DWORD>(i));
    }
}

TEST_F(StoreReliability, CorruptFileIsNeverOverwritten) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Good", "v", 1), ERROR_SUCCESS);
  std::string path = store.File("system.reg");
  std::string corrupt = ReadFile(path) + "\n[Software\\\\Bad] 1\n\"broken\"=hex:123\n";
  WriteFile(path, corrupt);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Good", "v", 2), ERROR_BADDB);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\New", "v", 2), ERROR_BADDB);
  EXPECT_EQ(ReadFile(path), corrupt);
  EXPECT_NE(gMessages.find(path + ":"), std::string::npos) << gMessages;
  size_t line = std::count(corrupt.begin(), corrupt.end(), '\n');
  EXPECT_NE(gMessages.find(":" + std::to_string(line) + ": malformed hex data"), std::string::npos)
      << gMessages;
  EXPECT_NE(vantrel::store::LastStoreMessage().find("left as it was"), std::string::npos);
  // Nor read as a registry without the damaged key: Wine would skip it, but what it holds is not
  // known, so every read says the file is damaged and where.
  DWORD v = 0;
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Good", "v", &v), ERROR_BADDB);
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Bad", "broken", &v), ERROR_BADDB);
  // No registry file at all: every call says so.
  WriteFile(path, "not a registry\n");
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Good", "v", &v), ERROR_BADDB);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Good", "v", 3), ERROR_BADDB);
  EXPECT_EQ(ReadFile(path), "not a registry\n");
}

// The 28 bytes of a damaged system.reg that once crashed every reader: a key line whose closing
// bracket stands on the next line. Readers say it is damaged (never "not found", which would
// show every value as absent); writers refuse it.
TEST_F(StoreReliability, DamagedKeyLineIsReportedAndNeverOverwritten) {
  const std::string path = store.File("system.reg");
  const std::string damaged("WINE REGISTRY Version 2\n[\n\xb6]", 28);
  WriteFile(path, damaged);
  DWORD v = 0;
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Any", "v", &v), ERROR_BADDB);
  char name[64];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\New", "v", 1), ERROR_BADDB);
  EXPECT_EQ(ReadFile(path), damaged);
  EXPECT_NE(gMessages.find(path + ":2: malformed key line"), std::string::npos) << gMessages;
}

// A registry file that is a symbolic link (to a shared or versioned copy) stays one: the new
// file is written where the link points, following relative links from their own folder.
TEST_F(StoreReliability, LinkedFilesAreWrittenWhereTheyPoint) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\First", "v", 1), ERROR_SUCCESS);
  const std::string shared = store.Dir() + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
  // system.reg -> <absolute>/shared/system.reg; user.reg -> shared/user-link.reg -> user-real.reg
  ASSERT_EQ(rename(store.File("system.reg").c_str(), (shared + "/system.reg").c_str()), 0);
  ASSERT_EQ(symlink((shared + "/system.reg").c_str(), store.File("system.reg").c_str()), 0);
  ASSERT_EQ(rename(store.File("user.reg").c_str(), (shared + "/user-real.reg").c_str()), 0);
  ASSERT_EQ(symlink("user-real.reg", (shared + "/user-link.reg").c_str()), 0);
  ASSERT_EQ(symlink("shared/user-link.reg", store.File("user.reg").c_str()), 0);

  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\First", "v", 2), ERROR_SUCCESS) << gMessages;
  ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "Software\\Mine", "v", 3), ERROR_SUCCESS) << gMessages;
  struct stat st;
  for (const std::string& link :
       {store.File("system.reg"), store.File("user.reg"), shared + "/user-link.reg"}) {
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link << " was replaced by a regular file";
  }
  EXPECT_NE(ReadFile(shared + "/system.reg").find("\"v\"=dword:00000002"), std::string::npos);
  EXPECT_NE(ReadFile(shared + "/user-real.reg").find("[Software\\\\Mine]"), std::string::npos);
  DWORD v = 0;
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\First", "v", &v), ERROR_SUCCESS);
  EXPECT_EQ(v, 2u);
}

// A writer killed between writing its temporary file and renaming it leaves the file behind
// (24 MB after 200 kills of a big store); the next writer removes those no live writer holds,
// of every registry file (a kill during the first write of user.reg leaves one that later
// writes of system.reg must clear).
TEST_F(StoreReliability, TemporaryFilesOfKilledWritersAreRemoved) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\T", "v", 1), ERROR_SUCCESS);
  const char* left[] = {"system.reg.vantrel-a1B2c3", "system.reg.vantrel-ZZZZZZ",
                        "user.reg.vantrel-a1B2c3"};
  // Names that only look alike stay.
  const char* kept[] = {"system.reg.vantrel-toolong", "system.reg.vantrel-",
                        "xsystem.reg.vantrel-a1B2c3"};
  for (const char* name : left) WriteFile(store.File(name), std::string(100000, 'x'));
  for (const char* name : kept) WriteFile(store.File(name), "keep");
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\T", "v", 2), ERROR_SUCCESS);
  for (const char* name : left) EXPECT_NE(access(store.File(name).c_str(), F_OK), 0) << name;
  for (const char* name : kept) EXPECT_EQ(access(store.File(name).c_str(), F_OK), 0) << name;
}

void HungOnAFifo(int) {
  const char text[] = "a store call on a FIFO in place of system.reg hung\n";
  (void)!write(2, text, sizeof text - 1);
  _exit(1);
}

// Something else in place of system.reg: every failing call names the file (once to the user,
// not again for each read), and a FIFO does not block the caller.
TEST_F(StoreReliability, FilesThatAreNoRegistryFilesAreNamedInTheError) {
  const std::string path = store.File("system.reg");
  struct Case {
    const char* what;
    int (*make)(const char* path);
  } cases[] = {
      {"a folder", [](const char* p) { return mkdir(p, 0755); }},
      {"a FIFO", [](const char* p) { return mkfifo(p, 0644); }},
  };
  std::signal(SIGALRM, HungOnAFifo);
  alarm(60);
  for (const auto& c : cases) {
    ASSERT_EQ(Shell("rm -rf '" + path + "'"), 0);
    ASSERT_EQ(c.make(path.c_str()), 0) << c.what;
    gMessages.clear();
    DWORD v = 0;
    EXPECT_NE(GetDword(HKEY_LOCAL_MACHINE, "Software\\Any", "v", &v), ERROR_SUCCESS) << c.what;
    EXPECT_NE(gMessages.find("cannot read " + path + ": "), std::string::npos)
        << c.what << ": " << gMessages;
    EXPECT_NE(vantrel::store::LastStoreMessage().find(path), std::string::npos) << c.what;
    std::string told = gMessages;
    EXPECT_NE(GetDword(HKEY_LOCAL_MACHINE, "Software\\Any", "v", &v), ERROR_SUCCESS) << c.what;
    EXPECT_EQ(gMessages, told) << c.what;
    EXPECT_NE(vantrel::store::LastStoreMessage().find(path), std::string::npos) << c.what;
    EXPECT_NE(SetDword(HKEY_LOCAL_MACHINE, "Software\\Any", "v", 1), ERROR_SUCCESS) << c.what;
    EXPECT_NE(vantrel::store::LastStoreMessage().find(path), std::string::npos) << c.what;
  }
  alarm(0);
  std::signal(SIGALRM, SIG_DFL);
}

TEST_F(StoreReliability, FolderWithoutWritePermissionGivesAccessDenied) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Locked", "v", 1), ERROR_SUCCESS);
  std::string before = ReadFile(store.File("system.reg"));
  if (geteuid() == 0) {
    // Only root exists here: drop to the unprivileged "nobody" in a child process.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      DWORD v = 0;
      if (GetDword(HKEY_LOCAL_MACHINE, "Software\\Locked", "v", &v) != 0 || v != 1) _exit(4);
      _exit(SetDword(HKEY_LOCAL_MACHINE, "Software\\Locked", "v", 2) == ERROR_ACCESS_DENIED ? 0
                                                                                            : 5);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot switch to an unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
  } else {
    chmod(store.Dir().c_str(), 0555);
    chmod(store.File("system.reg").c_str(), 0444);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Locked", "v", 2), ERROR_ACCESS_DENIED);
    chmod(store.Dir().c_str(), 0755);
  }
  EXPECT_EQ(ReadFile(store.File("system.reg")), before);
}

// Holds Wine's server lock for `dir` the way wineserver does (the upstream folder layout).
class FakeWineserver {
 public:
  explicit FakeWineserver(const std::string& dir) {
    struct stat st;
    stat(dir.c_str(), &st);
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    folder_ = "/tmp/.wine-" + std::to_string(getuid()) + "/" + name;
    Shell("mkdir -p '" + folder_ + "'");
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open((folder_ + "/lock").c_str(), O_RDWR | O_CREAT, 0600);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fcntl(fd, F_SETLK, &fl);
      (void)!write(ready[1], "x", 1);
      pause();
      _exit(0);
    }
    char c;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
  }
  ~FakeWineserver() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    Shell("rm -rf '" + folder_ + "'");
  }

 private:
  std::string folder_;
  pid_t pid_ = -1;
};

TEST_F(StoreReliability, RunningWineserverBlocksWrites) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", 1), ERROR_SUCCESS);
  std::string before = ReadFile(store.File("system.reg"));
  {
    FakeWineserver server(store.Dir());
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", 2), ERROR_ACCESS_DENIED);
    EXPECT_NE(gMessages.find("wineserver"), std::string::npos) << gMessages;
    DWORD v = 0;
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", &v), ERROR_SUCCESS);
    EXPECT_EQ(v, 1u);
  }
  EXPECT_EQ(ReadFile(store.File("system.reg")), before);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", 2), ERROR_SUCCESS);

  // The real one, wherever this Wine keeps its server folder.
  std::string server = Wineserver();
  if (server.empty()) GTEST_SKIP() << "Wine is not installed";
  std::string env = "WINEPREFIX='" + store.Dir() + "' WINEDEBUG=-all ";
  ASSERT_EQ(Shell(env + server + " -p 30"), 0);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", 3), ERROR_ACCESS_DENIED);
  Shell(env + server + " -k");
  Shell(env + server + " -w");
  DWORD v = 0;
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "Software\\Served", "v", &v), ERROR_SUCCESS);
  EXPECT_EQ(v, 2u);
}

}  // namespace
