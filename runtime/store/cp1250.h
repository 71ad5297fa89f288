// Windows code page 1250 (Central European), the single-byte text of the program's "A" calls
// on Linux, and its mapping to and from UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::store {

// The UTF-16 unit for one code page byte. Bytes the code page leaves undefined map to the
// control character of the same number, as Windows' own table does.
char16_t Cp1250ToUnicode(unsigned char byte);

// The code page byte for one UTF-16 unit; characters the code page cannot show become '?',
// the default character Windows substitutes.
unsigned char UnicodeToCp1250(char16_t unit);

std::u16string Cp1250ToUtf16(std::string_view text);
std::string Utf16ToCp1250(std::u16string_view text);

}  // namespace vantrel::store
