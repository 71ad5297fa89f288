#include "tools/binary_output.h"

#include "runtime/text/ansi_text.h"

namespace vantrel::tools {

void SetStdoutBinary() {}  // POSIX streams never translate line ends

std::string TerminalText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // The code page's unassigned bytes stand for the C1 controls, which terminals obey as well.
    const char32_t ch = AnsiCharOf(byte);
    if (ch < 0x20 || (ch >= 0x7F && ch <= 0x9F)) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      AppendUtf8(out, ch);
    }
  }
  return out;
}

}  // namespace vantrel::tools
