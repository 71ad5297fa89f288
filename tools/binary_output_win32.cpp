#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/binary_output.h"

namespace vantrel::tools {

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

std::string TerminalText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace vantrel::tools
