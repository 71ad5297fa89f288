// Code page 1250 and UTF-8: the program's text is single-byte; the display speaks UTF-8. The
// code page itself is runtime/text/cp1250.h; this is only the UTF-8 side of it.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::ui {

// Every byte has a character: the five bytes the code page leaves unassigned stand for the C1
// controls of the same number, as Windows maps them.
std::string Cp1250ToUtf8(std::string_view text);
// Characters the code page lacks (and malformed UTF-8) become '?'.
std::string Utf8ToCp1250(std::string_view text);

}  // namespace vantrel::ui
