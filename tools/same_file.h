// Whether two names reach the same file: a command refuses to write its output over the file it
// reads its input from.
#pragma once

#include <string>

namespace vantrel::tools {

// True when both names exist and are one file (the same name spelled differently, a link, a
// second hard link). False when either is missing or cannot be looked at.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace vantrel::tools
