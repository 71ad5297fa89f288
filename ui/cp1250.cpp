#include "ui/cp1250.h"

#include "runtime/text/ansi_text.h"

namespace vantrel::ui {

std::string Cp1250ToUtf8(std::string_view text) { return AnsiToUtf8(text); }

// What the user typed is shown again at once, so a character the code page lacks becomes the
// '?' Windows' own controls substitute, and the user sees it.
std::string Utf8ToCp1250(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char ch = DecodeUtf8(text.substr(i));
    const int byte = ch.size == 0 || !ch.valid ? -1 : AnsiByteOf(ch.c);
    out += byte < 0 ? '?' : static_cast<char>(byte);
    i += ch.size == 0 ? 1 : ch.size;
  }
  return out;
}

}  // namespace vantrel::ui
