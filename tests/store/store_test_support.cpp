#include "tests/store/store_test_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vantrel::store::testing {

ScratchStore::ScratchStore() {
  char tmpl[] = "/tmp/vantrel-store-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  chmod(dir_.c_str(), 0755);
  setenv("VANTREL_REGISTRY", dir_.c_str(), 1);
}

ScratchStore::~ScratchStore() {
  unsetenv("VANTREL_REGISTRY");
  Shell("rm -rf '" + dir_ + "'");
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

int Shell(const std::string& command, std::string* out) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Wine64() {
  for (const char* p : {"/usr/lib/wine/wine64", "/usr/bin/wine64"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

std::string Wineserver() {
  for (const char* p : {"/usr/lib/wine/wineserver", "/usr/bin/wineserver"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

std::string PristinePrefix() {
  if (Wine64().empty() || Wineserver().empty()) return {};
  std::string dir = std::string(VANTREL_TEST_CACHE) + "/wine-prefix";
  std::string lockPath = std::string(VANTREL_TEST_CACHE) + "/wine-prefix.lock";
  Shell("mkdir -p '" + std::string(VANTREL_TEST_CACHE) + "'");
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  flock(fd, LOCK_EX);
  if (access((dir + "/.done").c_str(), F_OK) != 0) {
    Shell("rm -rf '" + dir + "'");
    std::string env = "WINEPREFIX='" + dir + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    Shell(env + Wine64() + " wineboot -i >/dev/null 2>&1; " + env + Wineserver() + " -w");
    if (access((dir + "/system.reg").c_str(), F_OK) == 0) WriteFile(dir + "/.done", "");
  }
  close(fd);
  return access((dir + "/.done").c_str(), F_OK) == 0 ? dir : std::string();
}

}  // namespace vantrel::store::testing
