// How vantrelctl writes registry text on one line and reads it back from an argument.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::tools {

// Printable ASCII stays as it is; a backslash becomes \\ and every other byte (zero bytes,
// control characters, bytes of 0x7F and above) \xHH with lower-case hex digits.
std::string EscapeBytes(std::string_view bytes);

// The reverse: \xHH (two hex digits, either case) is that byte and \\ a backslash. A backslash
// that starts neither stays as it is, so a Windows path can be typed plainly.
std::string UnescapeBytes(std::string_view text);

// How the terminal's locale (LC_ALL, else LC_CTYPE, else LANG) encodes what is typed: UTF-8,
// bytes taken as they are (the C locale, code page 1250), or another character set (named).
struct TypingEncoding {
  enum Kind { kUtf8, kBytes, kOther } kind = kBytes;
  std::string codeset;
};
TypingEncoding TerminalEncoding();

// An argument as program text. Where the terminal types UTF-8 (a Linux locale naming it), its
// letters become the code page's bytes, so "Zařízení" typed there names the key the registry
// holds as "Zařízení" and not one of its bytes misread as other letters; a letter the code page
// has no form for, or bytes that are no UTF-8, leave `problem` saying so. Elsewhere (Windows
// hands the program its arguments in the code page already, and the C locale types bytes) the
// bytes are taken as they are. Another character set (Latin-2) is refused: its bytes would be
// other letters.
struct TypedText {
  std::string text;
  std::string problem;
};
TypedText ArgumentText(std::string_view argument);

}  // namespace vantrel::tools
