// The program's single-byte text in Unicode, for files other programs read in Unicode (the
// exports for deployment). The single-byte page is the one the registry calls use: the system's
// ANSI code page on Windows, code page 1250 on other systems (the registry store's mapping).
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

std::u16string AnsiToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

}  // namespace vantrel
