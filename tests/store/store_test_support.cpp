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

#include "tests/support/bounded_command.h"

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
  const vantrel::test::CommandResult result = vantrel::test::RunBounded(command, 120);
  if (out) *out = result.output;
  return result.status;
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
    // The script bounds each of its calls into Wine and tries twice; this bound is the sum.
    using vantrel::test::ShellQuote;
    const vantrel::test::CommandResult made =
        vantrel::test::RunBounded(ShellQuote(VANTREL_MAKE_WINE_PREFIX) + " " +
                                      ShellQuote(Wine64()) + " " + ShellQuote(dir) + " 2>&1",
                                  600);
    if (made.status == 0 && access((dir + "/system.reg").c_str(), F_OK) == 0) {
      WriteFile(dir + "/.done", "");
    } else {
      std::fprintf(stderr, "%s", made.output.c_str());
    }
  }
  close(fd);
  return access((dir + "/.done").c_str(), F_OK) == 0 ? dir : std::string();
}

}  // namespace vantrel::store::testing
