#include "runtime/ansi_text.h"

#include "runtime/store/cp1250.h"

namespace vantrel {

std::u16string AnsiToUtf16(std::string_view text) { return store::Cp1250ToUtf16(text); }

}  // namespace vantrel
