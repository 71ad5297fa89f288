#include "runtime/text/cp1250.h"

namespace vantrel {

std::u16string Cp1250ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = Cp1250ToUnicode(static_cast<unsigned char>(text[i]));
  }
  return out;
}

std::string Utf16ToCp1250(std::u16string_view text) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(UnicodeToCp1250(text[i]));
  }
  return out;
}

}  // namespace vantrel
