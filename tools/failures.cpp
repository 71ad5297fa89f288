#include "tools/failures.h"

#include <cstdio>
#include <string>

namespace vantrel::tools {

// A message names files and keys as the user or a file gave them; a control character among
// them (an escape sequence in a file name) would steer the terminal or start a line of its own,
// so it is shown as \xHH. Other bytes are text and stay.
std::string OneLine(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

int UsageError(std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %s\n", OneLine(message).c_str());
  std::fprintf(stderr, "Try 'vantrelctl --help' for more information.\n");
  return kExitUsage;
}

int Failure(std::string_view subject, std::string_view message) {
  std::fprintf(stderr, "vantrelctl: %s: %s\n", OneLine(subject).c_str(), OneLine(message).c_str());
  return kExitFailed;
}

}  // namespace vantrel::tools
