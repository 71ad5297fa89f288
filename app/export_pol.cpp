#include "app/export_pol.h"

#include <cstdint>

#include "runtime/text/ansi_text.h"
#include "runtime/seam/registry_types.h"

namespace vantrel::app {
namespace {

// The prefix of an entry that deletes one value of the key.
constexpr char kDeletePrefix[] = "**del.";
// A value name has fewer than 260 characters, its terminating zero included.
constexpr std::size_t kMaxValueName = 259;

void AppendUnit(std::string& out, char16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

void AppendDword(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// Single-byte text as UTF-16LE units with the terminating zero unit.
void AppendName(std::string& out, std::string_view ansi) {
  for (char16_t unit : AnsiToUtf16(ansi)) AppendUnit(out, unit);
  AppendUnit(out, 0);
}

}  // namespace

std::string PolItemProblem(const ExportItem& item) {
  if (item.valueName.empty()) {
    return "Registry.pol cannot set a key's default value (an entry without a value name only "
           "creates the key)";
  }
  if (item.valueName.starts_with("**")) {
    return "its value name begins with \"**\", which Registry.pol reads as an instruction (such "
           "as **DelVals., delete every value of the key), not as a name";
  }
  for (const std::string* name : {&item.keyName, &item.valueName}) {
    const std::size_t at = name->find_first_of("[];");
    if (at != std::string::npos) {
      return std::string("its ") + (name == &item.keyName ? "key path" : "value name") +
             " holds '" + (*name)[at] +
             "', where readers of Registry.pol look for the delimiters of an entry";
    }
  }
  const std::size_t length =
      AnsiToUtf16(item.valueName).size() + (item.remove ? sizeof kDeletePrefix - 1 : 0);
  if (length > kMaxValueName) {
    return "its value name" + std::string(item.remove ? " with \"**del.\" before it" : "") +
           " has " + std::to_string(length) + " characters; Registry.pol holds at most " +
           std::to_string(kMaxValueName);
  }
  return "";
}

ExportResult WritePolFile(const std::vector<ExportItem>& items) {
  ExportResult result;
  std::string& out = result.bytes;
  out = "PReg";
  AppendDword(out, 1);
  for (const ExportItem& item : items) {
    if (std::string problem = PolItemProblem(item); !problem.empty()) {
      result.bytes.clear();
      result.error = DescribeExportItem(item) + ": " + problem;
      return result;
    }
    AppendUnit(out, u'[');
    AppendName(out, item.keyName);
    AppendUnit(out, u';');
    AppendName(out, item.remove ? kDeletePrefix + item.valueName : item.valueName);
    AppendUnit(out, u';');
    // Type, size and data are binary: four bytes each for the numbers, then the data's bytes.
    AppendDword(out, item.remove ? registry_type::kSz : registry_type::kDword);  // deletion: REG_SZ
    AppendUnit(out, u';');
    AppendDword(out, 4);  // a blank and its zero unit, or the DWORD
    AppendUnit(out, u';');
    if (item.remove) {
      // The deletion entry's data is not used: one blank, so no reader meets an empty string.
      AppendUnit(out, u' ');
      AppendUnit(out, 0);
    } else {
      AppendDword(out, item.data);
    }
    AppendUnit(out, u']');
  }
  return result;
}

}  // namespace vantrel::app
