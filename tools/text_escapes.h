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

}  // namespace vantrel::tools
