// Files whose bytes must reach standard output unchanged (an export in UTF-16 with CR LF).
#pragma once

namespace vantrel::tools {

// Stops the C library from turning LF into CR LF on standard output (Windows' text mode).
void SetStdoutBinary();

}  // namespace vantrel::tools
