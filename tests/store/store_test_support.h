// Shared helpers of the store tests: a private store folder per test, file reading, and
// running the real Wine.
#pragma once

#include <string>
#include <vector>

namespace vantrel::store::testing {

// A fresh empty folder, used as the store (VANTREL_REGISTRY) while the object lives.
class ScratchStore {
 public:
  ScratchStore();
  ~ScratchStore();
  const std::string& Dir() const { return dir_; }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// Runs a shell command; returns its exit status and its standard output in `out`. A command that
// has not finished after two minutes (a hung Wine) is stopped, and the test fails naming it.
int Shell(const std::string& command, std::string* out = nullptr);

// The wine64 loader and wineserver, or empty when Wine is not installed.
std::string Wine64();
std::string Wineserver();

// A Wine prefix made once by tests/wine/make_prefix.sh and shared by every test of the build
// (made on first use, under a lock); tests copy it into their own folder. Empty when Wine is
// missing or the prefix could not be made.
std::string PristinePrefix();

}  // namespace vantrel::store::testing
