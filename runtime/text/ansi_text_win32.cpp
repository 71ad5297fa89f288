// On Windows the program's single-byte text is the system's ANSI code page, the one the "A"
// functions of the registry and the window use. Its 256 characters are asked for once.
#include <windows.h>

#include <array>
#include <string>

#include "runtime/text/ansi_text.h"

namespace vantrel {
namespace {

struct AnsiTable {
  std::array<char32_t, 256> chars{};
  AnsiTable() {
    for (unsigned b = 0; b < 256; ++b) {
      const char in = static_cast<char>(b);
      wchar_t out[2] = {};
      // A byte the page leaves unassigned (or a lead byte of a double-byte page) keeps its number,
      // as code page 1250 maps its unassigned bytes to the C1 controls.
      const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
      chars[b] = n == 1 ? static_cast<char32_t>(out[0]) : static_cast<char32_t>(b);
    }
  }
};

const AnsiTable& Table() {
  static const AnsiTable table;
  return table;
}

}  // namespace

char32_t AnsiCharOf(unsigned char byte) { return Table().chars[byte]; }

int AnsiByteOf(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  const auto& chars = Table().chars;
  for (unsigned b = 0x80; b < 256; ++b) {
    if (chars[b] == c) return static_cast<int>(b);
  }
  return -1;
}

std::string AnsiCodePageName() { return std::to_string(GetACP()); }

}  // namespace vantrel
