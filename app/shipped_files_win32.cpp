#include <windows.h>

#include <string>

#include "app/shipped_files.h"

namespace vantrel::app {

std::string CurrentFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n == 0 || n >= sizeof buffer ? std::string() : std::string(buffer, n);
}

// The zip holds the programs and the settings files in one folder: the shipped files are where
// the running program is.
std::string ShippedFilesPlace() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return "the folder of vantrel.exe";
  std::string path(buffer, n);
  path.erase(path.find_last_of("\\/") + 1);
  return path + " (beside vantrel.exe)";
}

char FolderSeparator() { return '\\'; }

}  // namespace vantrel::app
