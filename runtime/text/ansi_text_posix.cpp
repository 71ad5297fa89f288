// Elsewhere than on Windows the program's single-byte text is code page 1250, the page the
// registry store maps its "A" calls through.
#include "runtime/text/ansi_text.h"
#include "runtime/text/cp1250.h"

namespace vantrel {

char32_t AnsiCharOf(unsigned char byte) { return Cp1250ToUnicode(byte); }

int AnsiByteOf(char32_t c) { return Cp1250ByteOf(c); }

std::string AnsiCodePageName() { return "1250"; }

}  // namespace vantrel
