// Helpers shared by the XML library's tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/item_records.h"
#include "xml/document.h"
#include "xml/xml.h"

namespace vantrel::xml::test {

using ItemQueue = vantrel::test::TextQueue;
using StyledQueue = vantrel::test::StyledQueue;

// Every record of the thread's document as "path=value", path names joined by '/'.
std::vector<std::string> Records();

// The five fields of every entry of the settings file's queue, trailing blanks removed, joined
// by '|'.
std::vector<std::string> ItemEntries(ItemQueue& q);

// Records the library's message boxes instead of showing them.
struct MessageLog {
  MessageLog();
  ~MessageLog();
  std::vector<std::string> captions;
  std::vector<std::string> texts;
};

// A scratch folder removed at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path dir_;
};

}  // namespace vantrel::xml::test
