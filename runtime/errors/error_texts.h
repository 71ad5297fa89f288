// The built-in error texts (the program's string resources for runtime error codes).
#pragma once

#include <cstdint>
#include <span>

namespace vantrel {

struct ErrorTextEntry {
  std::int32_t code;
  const char* text;
};

// All built-in texts, sorted by code.
std::span<const ErrorTextEntry> BuiltInErrorTexts();
// The built-in text of a code, or nullptr when the code has none.
const char* BuiltInErrorText(std::int32_t code);

}  // namespace vantrel
