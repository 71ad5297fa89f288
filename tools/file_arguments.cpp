// The checks every file name of the command line passes, and what a replacement reports.
#include <cstdio>
#include <string>

#include "runtime/system/registry.h"
#include "runtime/system/safe_replace.h"
#include "tools/commands.h"

namespace vantrel::tools {
namespace {

// The length of the XML library's file-name field, the shortest place a name is kept.
constexpr std::size_t kFileNameField = 384;

}  // namespace

std::string FileNameProblem(std::string_view what, std::string_view name) {
  if (name.empty()) return std::string(what) + ": the file name is empty";
  if (name.front() == ' ' || name.back() == ' ') {
    return std::string(what) + " '" + std::string(name) +
           "': a file name may not begin or end with a blank (it would be read as another file)";
  }
  if (name.size() > kFileNameField) {
    return std::string(what) + ": the file name has " + std::to_string(name.size()) +
           " characters, more than the " + std::to_string(kFileNameField) +
           " it may have (cut, it would name another file)";
  }
  return {};
}

void SayReplacedLinks(std::string_view file) {
  const ReplaceReport& report = LastReplace();
  if (!report.replaced) return;
  SayReplacedLinks(file, report.otherLinks);
}

void SayRegistryReplacedLinks() {
  for (const RegistryReplacedFile& r : TakeRegistryReplacedLinks())
    SayReplacedLinks(r.file, r.otherLinks);
}

void SayReplacedLinks(std::string_view file, std::uint64_t otherLinks) {
  if (otherLinks == 0) return;
  std::printf(
      "vantrelctl: %.*s: the file had %llu other hard link%s, which keep%s the previous "
      "content: the new file replaced it rather than being written into it\n",
      static_cast<int>(file.size()), file.data(), static_cast<unsigned long long>(otherLinks),
      otherLinks == 1 ? "" : "s", otherLinks == 1 ? "s" : "");
}

}  // namespace vantrel::tools
