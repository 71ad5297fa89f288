// Files whose bytes must reach standard output unchanged (an export in UTF-16 with CR LF).
#pragma once

#include <string>
#include <string_view>

namespace vantrel::tools {

// Stops the C library from turning LF into CR LF on standard output (Windows' text mode).
void SetStdoutBinary();

// Program text as a terminal shows it: UTF-8 on Linux, the system's own code page on Windows
// (its console takes the program's bytes). Control characters come out as \xHH, so a name can
// never move the cursor or end a line.
std::string TerminalText(std::string_view text);

}  // namespace vantrel::tools
