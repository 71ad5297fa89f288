#include "runtime/ansi_text.h"

#include "runtime/cp1250.h"

namespace vantrel {

std::u16string AnsiToUtf16(std::string_view text) { return Cp1250ToUtf16(text); }

}  // namespace vantrel
